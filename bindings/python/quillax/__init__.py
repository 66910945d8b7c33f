"""Quillax barcode images from Python.

    import quillax
    image = quillax.render(BarcodeType="EAN13", Data="5901234123457", ImageTypeStr="PNG")
    open("ean13.png", "wb").write(image.data)

Property names match without regard to case and take the values the `quillax render` command
takes: BarcodeType by number or symbology name, booleans, numbers and text. The interpreter
lock is let go while an image renders, so threads render in parallel.
"""

import ctypes
import struct
import threading

from . import _library

__all__ = ["render", "Barcode", "Image", "BarcodeError", "PropertyError"]


class PropertyError(ValueError):
    """A property that does not exist, or a value that does not convert to its type."""


class BarcodeError(Exception):
    """The image carries an error: .result is the failed step (1 to 4; negative when no image
    was made), .message the component's message, .image the error image (or None)."""

    def __init__(self, result, message, image=None):
        super().__init__(message)
        self.result = result
        self.message = message
        self.image = image


def _png_size(data):
    if data[:8] == b"\x89PNG\r\n\x1a\n" and len(data) >= 24:
        return struct.unpack(">II", data[16:24])
    return None


def _bmp_size(data):
    if data[:2] == b"BM" and len(data) >= 26:
        width, height = struct.unpack("<ii", data[18:26])
        return width, abs(height)  # a negative height stores the rows top-down
    return None


def _jpeg_size(data):
    if data[:2] != b"\xff\xd8":
        return None
    at = 2
    while at + 9 <= len(data) and data[at] == 0xFF:
        marker, length = data[at + 1], struct.unpack(">H", data[at + 2:at + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):  # a frame header
            height, width = struct.unpack(">HH", data[at + 5:at + 9])
            return width, height
        at += 2 + length
    return None


class Image:
    """An encoded image: .data (bytes), .content_type, and .width and .height in pixels as
    the image's header gives them (None when it gives none)."""

    __slots__ = ("data", "content_type", "width", "height")

    def __init__(self, data, content_type):
        self.data = data
        self.content_type = content_type
        size = _png_size(data) or _bmp_size(data) or _jpeg_size(data) or (None, None)
        self.width, self.height = size

    def __repr__(self):
        return f"<quillax.Image {self.content_type} {self.width}x{self.height}, {len(self.data)} bytes>"


def _text(value, what):
    """A value as the C API takes it: UTF-8 text without NUL (which would end it early)."""
    if isinstance(value, bool):
        value = "True" if value else "False"
    if not isinstance(value, (bytes, bytearray)):
        value = str(value).encode("utf-8", "surrogatepass")
    if b"\0" in value:
        raise PropertyError(f"{what} holds a NUL character")
    return bytes(value)


class Barcode:
    """One barcode object, reused across renders; its page starts with the page-start
    defaults. Properties are set as attributes (b.Data = "...") or with set(). One thread
    at a time uses it; a lock makes others wait."""

    def __init__(self, **properties):
        lib = _library.library()
        handle = lib.quillax_create()
        if not handle:
            raise BarcodeError(_library.E_FAILED, lib.quillax_message(None).decode("utf-8", "replace"))
        object.__setattr__(self, "_lib", lib)
        object.__setattr__(self, "_handle", handle)
        object.__setattr__(self, "_lock", threading.Lock())
        try:
            for name, value in properties.items():
                self.set(name, value)
        except BaseException:
            self.close()
            raise

    def __setattr__(self, name, value):
        if name.startswith("_"):
            raise AttributeError(f"{name} is not a Quillax property")
        self.set(name, value)

    def _message(self):
        return self._lib.quillax_message(self._handle).decode("utf-8", "replace")

    def _live(self):
        if not self._handle:
            raise ValueError("the Barcode is closed")
        return self._handle

    def set(self, name, value):
        """Sets a property; raises PropertyError for an unknown name or a value that does
        not convert (the property keeps its value)."""
        name_text, value_text = _text(name, "the property name"), _text(value, f"the value of {name}")
        with self._lock:
            code = self._lib.quillax_set(self._live(), name_text, value_text)
            if code in (_library.E_PROPERTY, _library.E_VALUE, _library.E_ARGUMENT):
                raise PropertyError(self._message())
            if code != _library.OK:
                raise BarcodeError(code, self._message())

    def render(self):
        """The image of the properties. Raises BarcodeError when it carries an error."""
        out = _library.CImage()
        with self._lock:
            result = self._lib.quillax_render(self._live(), ctypes.byref(out))
            try:
                image = None
                if out.data:
                    image = Image(ctypes.string_at(out.data, out.size), out.content_type.decode("ascii"))
            finally:
                self._lib.quillax_image_free(ctypes.byref(out))
            if result != _library.OK:
                raise BarcodeError(result, self._message(), image)
        return image

    def close(self):
        """Ends the page and frees the object; later calls raise ValueError."""
        with self._lock:
            handle = self._handle
            object.__setattr__(self, "_handle", None)
        if handle:
            self._lib.quillax_destroy(handle)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        if getattr(self, "_handle", None):
            self._lib.quillax_destroy(self._handle)


def render(**properties):
    """The image of the properties, made by a fresh Barcode. Raises PropertyError or
    BarcodeError as Barcode does."""
    with Barcode(**properties) as barcode:
        return barcode.render()
