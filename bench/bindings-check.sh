#!/usr/bin/env bash
# The language packages beside the C API: COUNT (default 100,000) renders of the same EAN-13
# PNG in a loop through each, with its rate and its resident memory after half of the
# renders (when allocators and collectors have settled) and at the end; a package whose memory
# grows by more than LEAK_BYTES (default 12) a render over the second half is reported as
# leaking. Not a test: run it at a quiet moment (COUNT=1000000 for a finer measure).
#
# usage: bench/bindings-check.sh [BUILD]   (after a build with -DQUILLAX_BENCH=ON; the Node.js
#        rows need the npm package installed by the test suite, build/tests/bindings/node-project)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
count=${COUNT:-100000}
leak_bytes=${LEAK_BYTES:-12}
export QUILLAX_LIBRARY=$build/libquillax.so
node_project=$build/tests/bindings/node-project

leaking=0
run() { # run NAME RENDERS COMMAND...: one row of the table
    local name=$1 renders=$2 line early end
    shift 2
    line=$("$@")
    early=$(sed -n 's/.*resident \([0-9]*\) kB after.*/\1/p' <<<"$line")
    end=$(sed -n 's/.*, \([0-9]*\) kB at the end.*/\1/p' <<<"$line")
    local per_render=$(((end - early) * 1024 / (renders - renders / 2)))
    local verdict="flat ($per_render bytes a render)"
    if ((per_render > leak_bytes)); then
        verdict="GROWS by $per_render bytes a render"
        leaking=1
    fi
    printf '%-32s %s: %s\n' "$name" "$line" "$verdict"
}

echo "$count renders of an EAN-13 PNG (590123412345 with its check digit) each (Node.js four times as many)"
run "C API, fresh barcode" "$count" "$build/bin/capi_loop" "$count"
run "C API, one barcode" "$count" "$build/bin/capi_loop" "$count" reuse
run "Python render()" "$count" env PYTHONPATH=bindings/python python3 bench/bindings/loop.py "$count"
run "Python, one Barcode" "$count" env PYTHONPATH=bindings/python python3 bench/bindings/loop.py "$count" reuse
if command -v php >/dev/null; then
    run "PHP Barcode::render" "$count" php bench/bindings/loop.php bindings/php "$count"
fi
if [ -d "$node_project/node_modules/quillax" ]; then
    # Node.js's resident memory moves by a megabyte as its collector and its worker threads'
    # allocators work, so its rows render four times as many images.
    node_count=$((count * 4))
    for mode in sync async; do
        name="Node.js render"
        [ "$mode" = async ] && name="Node.js renderAsync, 4 at once"
        run "$name" "$node_count" env NODE_PATH="$node_project/node_modules" \
            node --expose-gc bench/bindings/loop.js "$node_count" "$mode"
    done
fi
exit "$leaking"
