<?php
declare(strict_types=1);

namespace Quillax;

// Barcode images from PHP:
//
//     $image = \Quillax\Barcode::render(['BarcodeType' => 'EAN13', 'Data' => '5901234123457',
//                                        'ImageTypeStr' => 'PNG']);
//     header('Content-Type: ' . $image->contentType);
//     echo $image->data;
//
// Property names match without regard to case and take the values the `quillax render`
// command takes: BarcodeType by number or symbology name, booleans, numbers and text.
final class Barcode
{
    // The image of the properties, from a fresh barcode object. Raises PropertyError for an
    // unknown property or a value that does not convert, BarcodeError when the image carries
    // an error.
    /** @param array<string, string|int|float|bool> $properties */
    public static function render(array $properties): Image
    {
        $ffi = Library::ffi();
        $barcode = $ffi->quillax_create();
        if ($barcode === null) {
            throw new BarcodeError(Library::E_FAILED, $ffi->quillax_message(null));
        }
        try {
            foreach ($properties as $name => $value) {
                self::set($ffi, $barcode, (string) $name, self::text($value));
            }
            return self::show($ffi, $barcode);
        } finally {
            $ffi->quillax_destroy($barcode);
        }
    }

    // A value as the C API takes it; text with a NUL would end early, so it is refused.
    private static function text(string|int|float|bool $value): string
    {
        return is_bool($value) ? ($value ? 'True' : 'False') : (string) $value;
    }

    private static function set(\FFI $ffi, \FFI\CData $barcode, string $name, string $value): void
    {
        if (str_contains($name, "\0") || str_contains($value, "\0")) {
            throw new PropertyError("$name: a name or value holds a NUL character");
        }
        $code = $ffi->quillax_set($barcode, $name, $value);
        if ($code === Library::OK) {
            return;
        }
        $message = $ffi->quillax_message($barcode);
        if ($code === Library::E_FAILED) {
            throw new BarcodeError($code, $message);
        }
        throw new PropertyError($message);
    }

    private static function show(\FFI $ffi, \FFI\CData $barcode): Image
    {
        $out = $ffi->new('quillax_image');
        $result = $ffi->quillax_render($barcode, \FFI::addr($out));
        $image = null;
        try {
            if ($out->data !== null) {
                $image = new Image(\FFI::string($out->data, $out->size),
                                   \FFI::string($out->content_type));
            }
        } finally {
            $ffi->quillax_image_free(\FFI::addr($out));
        }
        if ($result !== Library::OK || $image === null) {
            throw new BarcodeError($result, $ffi->quillax_message($barcode), $image);
        }
        return $image;
    }
}
