<?php
// For PHP-FPM with ffi.enable=preload (the default): name this file in opcache.preload (and
// the pool's user in opcache.preload_user), so that the classes that call FFI are preloaded.
foreach (['Library', 'Image', 'BarcodeError', 'PropertyError', 'Barcode'] as $class) {
    opcache_compile_file(__DIR__ . "/$class.php");
}
