<?php
// A PHP page that answers barcode.php?data=590123412345 with an EAN-13 PNG.
//
//   php -S 127.0.0.1:8000 barcode.php   (then open http://127.0.0.1:8000/?data=590123412345)
// With the classes installed into /usr/share/php (on PHP's include_path); with Composer,
// require 'vendor/autoload.php' instead.
require_once 'Quillax/autoload.php';

use Quillax\Barcode;
use Quillax\BarcodeError;
use Quillax\PropertyError;

try {
    $image = Barcode::render([
        'BarcodeType' => $_GET['type'] ?? 'EAN13',
        'Data' => $_GET['data'] ?? '',
        'Checksum' => true,
        'ShowText' => true,
        'NarrowBarWidth' => 2,
        'Height' => 80,
        'ImageTypeStr' => 'PNG',
    ]);
    header('Content-Type: ' . $image->contentType);
    echo $image->data;
} catch (PropertyError $e) {
    http_response_code(400);
    header('Content-Type: text/plain');
    echo $e->getMessage();
} catch (BarcodeError $e) {
    // The image carries an error: the error image, and the message in a header.
    http_response_code($e->image !== null ? 422 : 500);
    header('X-Quillax-Error: ' . preg_replace('/[^\x20-\x7E]/', '?', $e->getMessage()));
    if ($e->image !== null) {
        header('Content-Type: ' . $e->image->contentType);
        echo $e->image->data;
    }
}
