#!/usr/bin/env bash
# examples/curl.sh against the built command: one image per format, each of its kind, and
# the PNG read back by an independent reader.
# usage: CurlExample.sh SOURCE QUILLAX READER
set -euo pipefail
source=$1 quillax=$2 reader=$3
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT

bash "$source/examples/curl.sh" "$quillax" "$folder"
magic() { head -c "$2" "$1" | od -An -tx1 | tr -d ' \n'; }
failed=0
expect() { [ "$2" = "$3" ] || { echo "FAILED: $1: expected $2, got $3"; failed=$((failed + 1)); }; }
expect "BMP signature" 424d "$(magic "$folder/ean13.bmp" 2)"
expect "PNG signature" 89504e47 "$(magic "$folder/ean13.png" 4)"
expect "JPEG signature" ffd8ff "$(magic "$folder/ean13.jpg" 3)"
expect "PNG decodes" "EAN-13 4006381333931" "$("$reader" "$folder/ean13.png" | cut -d' ' -f2-)"
echo "$((4 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
