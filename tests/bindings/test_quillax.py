"""The Python package: images read back by quillax_read, the two errors, threads rendering in
parallel, the Flask example serving a request, and pip installing the package."""

import importlib.util
import os
import pathlib
import shutil
import subprocess
import statistics
import sys
import tempfile
import threading
import time
import unittest
import zlib

import quillax

PACKAGE = pathlib.Path(quillax.__file__).resolve().parent.parent
EAN13 = dict(BarcodeType="EAN13", Data="590123412345", Checksum=True, ImageTypeStr="PNG")


def read(data):
    """What an independent reader finds: "WIDTHxHEIGHT FORMAT TEXT"."""
    with tempfile.NamedTemporaryFile() as f:
        f.write(data)
        f.flush()
        return subprocess.run([os.environ["QUILLAX_READ"], f.name], check=True,
                              capture_output=True, text=True).stdout.strip()


class RenderTest(unittest.TestCase):
    def test_each_format_reads_back_with_the_size_its_header_gives(self):
        for format, content_type in (("PNG", "image/png"), ("BMP", "image/bmp"), ("JPEG", "image/jpeg")):
            with self.subTest(format):
                image = quillax.render(**dict(EAN13, ImageTypeStr=format))
                self.assertEqual(image.content_type, content_type)
                self.assertEqual(read(image.data), f"{image.width}x{image.height} EAN-13 5901234123457")
                self.assertEqual((image.width, image.height), (95, 50))

    def test_a_barcode_is_reused_with_its_properties(self):
        with quillax.Barcode(BarcodeType="ean-13", Checksum=True, ImageTypeStr="png") as barcode:
            barcode.Data = "590123412345"
            first = barcode.render()
            barcode.data = "400638133393"
            self.assertEqual(read(barcode.render().data), "95x50 EAN-13 4006381333931")
        self.assertEqual(read(first.data), "95x50 EAN-13 5901234123457")
        with self.assertRaises(ValueError):
            barcode.render()

    def test_bad_data_raises_barcode_error_with_the_message_and_the_error_image(self):
        with self.assertRaises(quillax.BarcodeError) as caught:
            quillax.render(**dict(EAN13, Data="59012341234X"))
        error = caught.exception
        self.assertIn(error.result, range(1, 5))
        self.assertIn("numeric", error.message)
        self.assertEqual((error.image.width, error.image.height), (50, 30))

    def test_unknown_properties_and_values_that_do_not_convert_raise_property_error(self):
        cases = [(dict(Colour="red"), "unknown property Colour"), (dict(Height="tall"), "tall"),
                 (dict(BarcodeType="Code 2000"), "unknown symbology"), (dict(Data="590\x001"), "NUL")]
        for properties, message in cases:
            with self.subTest(properties), self.assertRaisesRegex(quillax.PropertyError, message):
                quillax.render(**properties)
        with self.assertRaises(quillax.PropertyError):
            quillax.Barcode().Colour = "red"


class ThreadTest(unittest.TestCase):
    @unittest.skipIf((os.cpu_count() or 1) < 2, "a single core renders one image at a time")
    def test_two_threads_render_faster_than_one(self):
        # An image whose render takes about a millisecond, most of it deflating rows that fit
        # in a core's cache.
        tall = dict(EAN13, NarrowBarWidth=2, Height=200)

        def renders():
            with quillax.Barcode(**tall) as barcode:
                for _ in range(150):
                    barcode.render()

        rows = bytes(range(256)) * 512

        def compressions():  # zlib lets the lock go too: what two threads reach on this machine now
            for _ in range(300):
                zlib.compress(rows, 7)

        def seconds(work, threads):
            workers = [threading.Thread(target=work) for _ in range(threads)]
            start = time.perf_counter()
            for worker in workers:
                worker.start()
            for worker in workers:
                worker.join()
            return time.perf_counter() - start

        def trial():  # the renders' ratio and the compressions', measured interleaved
            one, compressing_one = seconds(renders, 1), seconds(compressions, 1)
            return seconds(renders, 2) / one, seconds(compressions, 2) / compressing_one

        # Twice the work on two threads takes about as long as once on one when the lock is let
        # go, twice as long when the renders are serialised. Where other programs keep the
        # cores busy, the scheduler gives this process a share that a second thread does not
        # widen: then threads that surely let the lock go (zlib's) gain nothing either, and the
        # machine cannot tell. Trials where zlib gained clearly count; three are needed.
        renders()  # the component loaded, its tables made
        trials = [trial() for _ in range(7)]
        usable = [rendering for rendering, compressing in trials if compressing < 1.3]
        if len(usable) < 3:
            self.skipTest(f"the machine is busy: (renders, compressions) on two threads {trials}")
        self.assertLess(statistics.median(usable), 1.6, trials)


class ExampleTest(unittest.TestCase):
    def test_the_flask_route_answers_with_the_barcode(self):
        if importlib.util.find_spec("flask") is None:
            self.skipTest("Flask is not installed")
        sys.path.insert(0, str(PACKAGE / "examples"))
        try:
            from flask_app import app
        finally:
            sys.path.pop(0)
        client = app.test_client()
        good = client.get("/barcode?data=590123412345")
        self.assertEqual((good.status_code, good.mimetype), (200, "image/png"))
        self.assertEqual(read(good.data), "190x80 EAN-13 5901234123457")
        bad = client.get("/barcode?data=12X")
        self.assertEqual(bad.status_code, 422)
        self.assertIn("numeric", bad.headers["X-Quillax-Error"])


class PipTest(unittest.TestCase):
    def test_pip_installs_the_package(self):
        for module in ("pip", "setuptools", "wheel"):
            if importlib.util.find_spec(module) is None:
                self.skipTest(f"{module} is not installed")
        with tempfile.TemporaryDirectory() as work:
            source, target = pathlib.Path(work, "source"), pathlib.Path(work, "site")
            shutil.copytree(PACKAGE, source, ignore=shutil.ignore_patterns("__pycache__"))
            subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--no-build-isolation",
                            "--no-index", "--no-deps", "--target", str(target), str(source)],
                           check=True, capture_output=True)
            script = "import quillax; print(quillax.render(BarcodeType='EAN13', Data='5901234123457').content_type)"
            out = subprocess.run([sys.executable, "-c", script], check=True, capture_output=True,
                                 text=True, cwd=work, env=dict(os.environ, PYTHONPATH=str(target)))
            self.assertEqual(out.stdout.strip(), "image/bmp")


if __name__ == "__main__":
    unittest.main()
