#!/usr/bin/env bash
# The bash completion as bash runs it: the script sourced into a clean bash, the line up to
# the cursor handed to its function as bash hands it, the offers compared; every symbology
# name it offers is one the command takes.
# usage: BashCompletion.sh SCRIPT QUILLAX
set -euo pipefail
script=$1 quillax=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=../support/Checks.sh
source "$(dirname "$0")/../support/Checks.sh"
mkdir "$work/labels" "$work/lots"
touch "$work/labels.csv"

# offers LINE: what completing LINE (the cursor at its end) offers, one a line, sorted.
offers() {
    bash --norc --noprofile -c '
        source "$1"
        COMP_LINE="quillax $3" COMP_POINT=$((8 + ${#3}))
        _quillax "$2" "" ""
        printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$script" "$quillax" "$1"
}
offered() { # offered LINE EXPECTED...: exactly these offers
    expect_equal "$(printf '%s\n' "${@:2}" | sort)" "$(offers "$1")"
}

check "commands" offered "" --help --version batch register render serve symbologies unregister
check "a command by its start" offered "re" register render
check "render's properties, any case" offered "render bar" BarcodeType= BarColor=
check "symbology names" offered "render BarcodeType=ean1" EAN13 EAN128A EAN128B EAN128C
check "names without their spaces" offered "render barcodetype=code39" Code39 Code39Extended
check "image formats" offered "render ImageTypeStr=" BMP JPEG JPG PNG SVG
check "True and False" offered "render ShowText=f" False
check "render's options" offered "render --" --headers --help --output
check "serve's options" offered "serve --render-" --render-memory --render-queue --render-threads
check "symbologies' options" offered "symbologies --" --help --json
check "batch's folder: folders only" offered "batch -o $work/la" "$work/labels"
check "batch's input: files" offered "batch $work/la" "$work/labels" "$work/labels.csv"
check "nothing for a number" offered "serve --threads " 

taken() { # taken NAME: the command takes NAME for BarcodeType (a usage error is status 2)
    local status=0
    "$quillax" render "BarcodeType=$1" Data=0 -o "$work/image.bmp" || status=$?
    [ "$status" -ne 2 ]
}
while IFS= read -r name; do
    check "symbology $name is taken by that name" taken "$name"
done < <(offers "render BarcodeType=")

checks_summary
