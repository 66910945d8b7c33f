<?php
// The PHP classes: images read back by quillax_read, the two errors, and the example page
// served by PHP's own web server.
//
// usage: php BindingTest.php PACKAGE   (QUILLAX_LIBRARY and QUILLAX_READ in the environment)
declare(strict_types=1);

$package = $argv[1];
require "$package/Quillax/autoload.php";

use Quillax\Barcode;
use Quillax\BarcodeError;
use Quillax\PropertyError;

$passed = 0;
$failed = 0;
function check(string $name, bool $ok, string $detail = ''): void
{
    global $passed, $failed;
    $ok ? $passed++ : $failed++;
    if (!$ok) {
        echo "FAILED: $name" . ($detail !== '' ? "\n    $detail" : '') . "\n";
    }
}

// What an independent reader finds: "WIDTHxHEIGHT FORMAT TEXT".
function read(string $data): string
{
    $file = tempnam(sys_get_temp_dir(), 'quillax-');
    file_put_contents($file, $data);
    $out = shell_exec(escapeshellarg(getenv('QUILLAX_READ')) . ' ' . escapeshellarg($file));
    unlink($file);
    return trim((string) $out);
}

$ean13 = ['BarcodeType' => 'EAN13', 'Data' => '590123412345', 'Checksum' => true];

foreach (['PNG' => 'image/png', 'BMP' => 'image/bmp', 'JPG' => 'image/jpeg'] as $format => $type) {
    $image = Barcode::render($ean13 + ['ImageTypeStr' => $format]);
    check("$format content type", $image->contentType === $type, $image->contentType);
    $read = read($image->data);
    check("$format reads back", $read === '95x50 EAN-13 5901234123457', $read);
}

try {
    Barcode::render(['Data' => '59012341234X'] + $ean13);
    check('bad data raises BarcodeError', false);
} catch (BarcodeError $e) {
    check('BarcodeError has the step', $e->result >= 1 && $e->result <= 4, (string) $e->result);
    check('BarcodeError has the message', str_contains($e->getMessage(), 'numeric'), $e->getMessage());
    check('BarcodeError has the error image', str_starts_with(read($e->image->data), '50x30 none'));
}

$refusals = [
    [['Colour' => 'red'], 'unknown property Colour'],
    [['Height' => 'tall'], 'tall'],
    [['BarcodeType' => 'Code 2000'], 'unknown symbology'],
    [['Data' => "590\0" . '1'], 'NUL'],
];
foreach ($refusals as [$properties, $message]) {
    try {
        Barcode::render($properties);
        check("$message raises PropertyError", false);
    } catch (PropertyError $e) {
        check("$message raises PropertyError", str_contains($e->getMessage(), $message), $e->getMessage());
    }
}

// The example page, served by PHP's web server as PHP-FPM serves it (FFI restricted to
// preloaded code unless ffi.enable says otherwise) with the classes on the include path:
// once with the classes preloaded, once with FFI enabled.
$user = posix_getpwuid(posix_geteuid())['name'] ?? 'root';
$configurations = [
    'preloaded' => ['ffi.enable=preload', 'opcache.enable=1', 'opcache.enable_cli=1',
                    "opcache.preload=$package/Quillax/preload.php", "opcache.preload_user=$user"],
    'FFI enabled' => ['ffi.enable=true'],
];
foreach ($configurations as $configuration => $settings) {
    $probe = stream_socket_server('tcp://127.0.0.1:0');
    $port = (int) substr(strrchr(stream_socket_get_name($probe, false), ':'), 1);
    fclose($probe);
    $command = [PHP_BINARY, '-d', "include_path=$package"];
    foreach ($settings as $setting) {
        array_push($command, '-d', $setting);
    }
    array_push($command, '-S', "127.0.0.1:$port", "$package/examples/barcode.php");
    $server = proc_open($command, [1 => ['file', '/dev/null', 'w'], 2 => ['file', '/dev/null', 'w']],
                        $pipes);
    $fetch = static function (string $query) use ($port): array {
        for ($tries = 0; $tries < 100; $tries++) {
            $context = stream_context_create(['http' => ['ignore_errors' => true]]);
            $body = @file_get_contents("http://127.0.0.1:$port/?$query", false, $context);
            if ($body !== false) {
                return [$http_response_header, $body];
            }
            usleep(50000);
        }
        return [['no answer'], ''];
    };
    [$headers, $body] = $fetch('data=590123412345');
    check("$configuration: the page answers 200", str_contains($headers[0], ' 200 '), $headers[0]);
    check("$configuration: the page sends a PNG", in_array('Content-Type: image/png', $headers, true),
          implode(' | ', $headers));
    check("$configuration: the PNG reads back", read($body) === '190x80 EAN-13 5901234123457', read($body));
    [$headers, $body] = $fetch('data=12X');
    check("$configuration: 422 for bad data", str_contains($headers[0], ' 422 '), $headers[0]);
    proc_terminate($server);
    proc_close($server);
}

echo "$passed passed, $failed failed\n";
exit($failed === 0 ? 0 : 1);
