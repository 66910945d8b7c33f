#!/usr/bin/env bash
# Makes the gallery: one PNG per symbology plus a rotated, a coloured and an error example,
# each in the classic layout and beside it in the standard layout (Layout=1), made by the built
# quillax, and README.md showing each pair under the commands that made them.
#
# usage: docs/gallery/make-gallery.sh [QUILLAX [FOLDER]]
#   QUILLAX  the command (default: build/quillax of this checkout)
#   FOLDER   where the images and README.md go (default: this folder)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
quillax=${1:-$here/../../build/quillax}
folder=${2:-$here}
mkdir -p "$folder"

# file | title | the properties, as written on the command line
entries=(
    "interleaved-2-of-5.png|Interleaved 2 of 5 (0)|BarcodeType=2_5_interleaved Data=12345678"
    "industrial-2-of-5.png|Industrial 2 of 5 (1)|BarcodeType=2_5_industrial Data=12345678"
    "matrix-2-of-5.png|Matrix 2 of 5 (2)|BarcodeType=2_5_matrix Data=12345678"
    "code39.png|Code 39 (3)|BarcodeType=Code39 Data=CODE-39"
    "code39-extended.png|Code 39 Extended (4)|BarcodeType=Code39Extended Data=Quillax-39"
    "code128a.png|Code 128 A (5)|BarcodeType=Code128A Data=QUILLAX-128A"
    "code128b.png|Code 128 B (6)|BarcodeType=Code128B Data=Quillax-128b"
    "code128c.png|Code 128 C (7)|BarcodeType=Code128C Data=12345678"
    "code93.png|Code 93 (8)|BarcodeType=Code93 Data=CODE-93"
    "code93-extended.png|Code 93 Extended (9)|BarcodeType=Code93Extended Data=Quillax-93"
    "msi.png|MSI (10)|BarcodeType=MSI Data=1234567"
    "postnet.png|PostNet (11)|BarcodeType=PostNet Data=12345 Checksum=true"
    "codabar.png|Codabar (12)|BarcodeType=Codabar Data=123-456"
    "ean8.png|EAN-8 (13)|BarcodeType=EAN8 Data=9638507 Checksum=true"
    "ean13.png|EAN-13 (14)|BarcodeType=EAN13 Data=400638133393 Checksum=true"
    "upc-a.png|UPC-A (15)|BarcodeType=UPC_A Data=036000291452 Checksum=true"
    "upc-e0.png|UPC-E, number system 0 (16)|BarcodeType=UPC_E0 Data=1234565 Checksum=true"
    "upc-e1.png|UPC-E, number system 1 (17)|BarcodeType=UPC_E1 Data=1234562 Checksum=true"
    "upc-supp2.png|UPC 2-digit add-on (18)|BarcodeType=UPC-Supp2 Data=12 Checksum=true"
    "upc-supp5.png|UPC 5-digit add-on (19)|BarcodeType=UPC-Supp5 Data=52495 Checksum=true"
    "ean13-add-on.png|EAN-13 with a 5-digit add-on: a book's ISBN and its price|BarcodeType=EAN13 Data=978030640615+51299 Checksum=true"
    "upc-a-add-on.png|UPC-A with a 2-digit add-on: a magazine's issue number|BarcodeType=UPC_A Data=03600029145+12 Checksum=true"
    "ean128a.png|EAN-128 A (20)|BarcodeType=EAN128A Data=10ABC123"
    "ean128b.png|EAN-128 B (21)|BarcodeType=EAN128B Data=10abc123"
    "ean128c.png|EAN-128 C (22)|BarcodeType=EAN128C Data=0101234567890128"
    "code128.png|Code 128, code sets chosen (23)|BarcodeType=Code128 Data=Quillax-0012345678"
    "gs1-128.png|GS1-128 (24)|BarcodeType=GS1-128 'Data=(01)09501101530003(17)250101(10)AB12'"
    "gs1-128-logistics.png|GS1-128 logistics label: SSCC, the GTIN of the contents, their count, the batch|BarcodeType=GS1-128 'Data=(00)095011015300000010(02)09501101530003(37)24(10)LOT42'"
    "rotated.png|Rotated by 90 degrees: Height wide, the bars keep their width|BarcodeType=EAN13 Data=400638133393 Checksum=true Orientation=90"
    "rotated-30.png|Rotated by 30 degrees: the image is the turned barcode's bounding box|BarcodeType=Code128B Data=Quillax Orientation=30"
    "coloured.png|Coloured (colours are &HBBGGRR)|BarcodeType=Code128B Data=Quillax 'BarColor=&H7A3D00' 'BGColor=&HDDF5FF'"
    "error.png|Data the symbology cannot carry: the error image (exit status 13, or 12 in the standard layout, whose measuring found it; the reason on standard error)|BarcodeType=EAN13 Data=ABC"
)
# What every example shares: a label, bars two pixels wide, 80 pixels high. The format is
# PNG because the file name ends in .png.
common="ShowText=true NarrowBarWidth=2 Height=80"

readme=$folder/README.md
{
    echo "# Gallery"
    echo
    echo "Every symbology of Quillax, and a rotated, a coloured and an error example, each in the"
    echo "classic layout and, beside it, in the standard layout (\`Layout=1\`: quiet zones and the"
    echo "symbology's own human-readable line), made by the built \`quillax\` with the commands above"
    echo "them. To make them all again (after a change of output), from the root of the repository"
    echo "once \`build/quillax\` is built:"
    echo
    echo '```sh'
    echo 'docs/gallery/make-gallery.sh'
    echo '```'
    echo
    echo "\`quillax symbologies\` prints the table of symbologies, \`man quillax\` the properties."
} >"$readme"

# Renders one image; prints the command as shown, then what it said on standard error.
render() {
    local properties=$1 file=$2 status=0 errors
    local command="quillax render $properties $common -o $file"
    errors=$(eval "\"\$quillax\" render $properties $common -o \"\$folder/\$file\"" 2>&1) ||
        status=$?
    # An error image is still an image: the exit status is then 10 + the failed step.
    if [ "$status" -ne 0 ] && [ "$status" -lt 10 ]; then
        echo "make-gallery.sh: $command failed with status $status: $errors" >&2
        exit 1
    fi
    echo "$command"
    if [ -n "$errors" ]; then echo "$errors"; fi
}

for entry in "${entries[@]}"; do
    IFS='|' read -r file title properties <<<"$entry"
    standard=${file%.png}-standard.png
    {
        echo
        echo "## $title"
        echo
        echo '```sh'
        render "$properties" "$file"
        render "$properties Layout=1" "$standard"
        echo '```'
        echo
        echo "![$title]($file) ![$title, standard layout]($standard)"
    } >>"$readme"
done
