<?php
// loop.php PACKAGE COUNT: COUNT renders of one EAN-13 PNG through the PHP classes; prints the
// rate and the resident memory after half of the renders and at the end.
require $argv[1] . '/Quillax/autoload.php';

function residentKilobytes(): int
{
    preg_match('/^VmRSS:\s+(\d+)/m', file_get_contents('/proc/self/status'), $match);
    return (int) $match[1];
}

$count = (int) ($argv[2] ?? 100000);
$ean13 = ['BarcodeType' => 'EAN13', 'Data' => '590123412345', 'Checksum' => true, 'ImageTypeStr' => 'PNG'];
$early = 0;
$start = hrtime(true);
for ($i = 0; $i < $count; $i++) {
    Quillax\Barcode::render($ean13);
    if ($i + 1 === intdiv($count, 2)) {
        $early = residentKilobytes();
    }
}
$seconds = (hrtime(true) - $start) / 1e9;
printf("%.0f renders/s, resident %d kB after half, %d kB at the end\n", $count / $seconds, $early,
       residentKilobytes());
