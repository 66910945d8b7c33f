"""loop.py COUNT [reuse]: COUNT renders of one EAN-13 PNG through the Python package, each with
quillax.render() or with "reuse" on one Barcode; prints the rate and the resident memory after
half the renders and at the end."""

import sys
import time

import quillax


def resident_kilobytes():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


count = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
ean13 = dict(BarcodeType="EAN13", Data="590123412345", Checksum=True, ImageTypeStr="PNG")
barcode = quillax.Barcode(**ean13) if sys.argv[2:] == ["reuse"] else None
render = barcode.render if barcode else lambda: quillax.render(**ean13)
early = 0
start = time.perf_counter()
for i in range(count):
    render()
    if i + 1 == count // 2:
        early = resident_kilobytes()
seconds = time.perf_counter() - start
print(f"{count / seconds:.0f} renders/s, resident {early} kB after half, {resident_kilobytes()} kB at the end")
