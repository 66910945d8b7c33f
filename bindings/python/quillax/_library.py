"""libquillax through ctypes: finding it and declaring its functions."""

import ctypes
import os
import threading

SONAME = "libquillax.so.1"

# The C API's return codes besides a render's step code (1 to 4).
OK = 0
E_PROPERTY = -1
E_VALUE = -2
E_ARGUMENT = -3
E_FAILED = -4


class CImage(ctypes.Structure):
    _fields_ = [
        ("data", ctypes.POINTER(ctypes.c_ubyte)),
        ("size", ctypes.c_size_t),
        ("content_type", ctypes.c_char_p),
    ]


def _candidates():
    """Where the library may be: QUILLAX_LIBRARY, beside an installed package, the loader path."""
    named = os.environ.get("QUILLAX_LIBRARY")
    if named:
        yield named
    # Installed by cmake --install, the package knows the library's place relative to itself.
    here = os.path.dirname(os.path.abspath(__file__))
    try:
        with open(os.path.join(here, "library-path"), encoding="utf-8") as f:
            relative = f.read().strip()
        if relative:
            yield os.path.normpath(os.path.join(here, relative))
    except OSError:
        pass
    yield SONAME


def _declare(lib):
    barcode = ctypes.c_void_p
    signatures = {
        "quillax_create": (barcode, []),
        "quillax_set": (ctypes.c_int, [barcode, ctypes.c_char_p, ctypes.c_char_p]),
        "quillax_render": (ctypes.c_int, [barcode, ctypes.POINTER(CImage)]),
        "quillax_message": (ctypes.c_char_p, [barcode]),
        "quillax_image_free": (None, [ctypes.POINTER(CImage)]),
        "quillax_destroy": (None, [barcode]),
    }
    for name, (restype, argtypes) in signatures.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


_lock = threading.Lock()
_lib = None


def library():
    """The loaded library (loaded on first use). Raises OSError naming every place tried."""
    global _lib
    with _lock:
        if _lib is None:
            tried = []
            for candidate in _candidates():
                try:
                    # CDLL lets the interpreter lock go for the length of each call.
                    _lib = _declare(ctypes.CDLL(candidate))
                    break
                except OSError as e:
                    tried.append(f"{candidate}: {e}")
            else:
                raise OSError("libquillax not found (set QUILLAX_LIBRARY to its path); tried "
                              + "; ".join(tried))
        return _lib
