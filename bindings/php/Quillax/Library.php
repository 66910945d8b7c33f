<?php
// libquillax through FFI: finding it and declaring its functions. Internal to the package.
declare(strict_types=1);

namespace Quillax;

final class Library
{
    // The C API's return codes besides a render's step code (1 to 4).
    public const OK = 0;
    public const E_PROPERTY = -1;
    public const E_VALUE = -2;
    public const E_ARGUMENT = -3;
    public const E_FAILED = -4;

    private const SONAME = 'libquillax.so.1';

    private const DECLARATIONS = <<<'C'
        typedef struct quillax_barcode quillax_barcode;
        typedef struct { unsigned char *data; size_t size; const char *content_type; } quillax_image;
        quillax_barcode *quillax_create(void);
        int quillax_set(quillax_barcode *barcode, const char *name, const char *value);
        int quillax_render(quillax_barcode *barcode, quillax_image *out);
        const char *quillax_message(const quillax_barcode *barcode);
        void quillax_image_free(quillax_image *image);
        void quillax_destroy(quillax_barcode *barcode);
        C;

    private static ?\FFI $ffi = null;

    // The loaded library: QUILLAX_LIBRARY, the one the installed classes name beside them,
    // else the loader's path. Raises \RuntimeException naming every place tried.
    public static function ffi(): \FFI
    {
        if (self::$ffi !== null) {
            return self::$ffi;
        }
        $tried = [];
        foreach (self::candidates() as $candidate) {
            try {
                return self::$ffi = \FFI::cdef(self::DECLARATIONS, $candidate);
            } catch (\FFI\Exception $e) {
                if (str_contains($e->getMessage(), 'ffi.enable')) {
                    throw new \RuntimeException($e->getMessage() . ': set ffi.enable=true, or '
                        . 'preload the classes with opcache.preload=' . __DIR__ . '/preload.php');
                }
                $tried[] = $candidate . ': ' . $e->getMessage();
            }
        }
        throw new \RuntimeException(
            'libquillax not found (set QUILLAX_LIBRARY to its path); tried ' . implode('; ', $tried));
    }

    /** @return list<string> */
    private static function candidates(): array
    {
        $candidates = [];
        $named = getenv('QUILLAX_LIBRARY');
        if (is_string($named) && $named !== '') {
            $candidates[] = $named;
        }
        $relative = @file_get_contents(__DIR__ . '/library-path');
        if (is_string($relative) && trim($relative) !== '') {
            $candidates[] = __DIR__ . '/' . trim($relative);
        }
        $candidates[] = self::SONAME;
        return $candidates;
    }
}
