#!/usr/bin/env bash
# The web host from the command line: starts `quillax serve` on a free loopback port, asks it
# for the same EAN-13 barcode as BMP, PNG and JPEG with curl, and stops it again.
#
# usage: examples/curl.sh [QUILLAX [FOLDER]]
#   QUILLAX  the command (default: build/quillax)
#   FOLDER   where the images go (default: a new temporary folder)
set -euo pipefail
quillax=${1:-build/quillax}
folder=${2:-$(mktemp -d)}
mkdir -p "$folder"

log=$(mktemp)
"$quillax" serve --listen 127.0.0.1:0 >"$log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -f "$log"' EXIT

# The host prints "Quillax listening on http://127.0.0.1:PORT/" once it accepts requests.
url=
for _ in $(seq 100); do
    url=$(sed -n 's/^Quillax listening on \(http:[^ ]*\)$/\1/p' "$log")
    [ -n "$url" ] && break
    kill -0 "$server" 2>/dev/null || { cat "$log" >&2; exit 1; }
    sleep 0.1
done
[ -n "$url" ] || { echo "curl.sh: the host did not start" >&2; exit 1; }

echo "health: $(curl -fsS "${url}healthz")"
query='BarcodeType=14&Data=400638133393&Checksum=true&ShowText=true&NarrowBarWidth=2&Height=80'
for format in BMP PNG JPG; do
    file="$folder/ean13.$(echo "$format" | tr 'A-Z' 'a-z')"
    curl -fsS -o "$file" -w "%{http_code} %{content_type} %{size_download} bytes -> $file\n" \
        "${url}barcode?${query}&ImageTypeStr=${format}"
done
# A value that does not convert is the request's fault: 400 with the reason.
status=$(curl -sS -o "$log.body" -w '%{http_code}' "${url}barcode?Height=tall")
echo "$status $(cat "$log.body")"
rm -f "$log.body"
