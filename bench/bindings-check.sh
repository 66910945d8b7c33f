#!/usr/bin/env bash
# The language packages beside the C API: COUNT (default 100,000) renders of the same EAN-13
# PNG in a loop through each, with its rate and its resident memory after a tenth of the
# renders and at the end; a package whose memory grows by more than GROWTH_KB (default 4096)
# over the last nine tenths is reported as leaking. Not a test: run it at a quiet moment.
#
# usage: bench/bindings-check.sh [BUILD]   (after a build with -DQUILLAX_BENCH=ON; the Node.js
#        rows need the npm package installed by the test suite, build/tests/bindings/node-project)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
count=${COUNT:-100000}
growth_kb=${GROWTH_KB:-4096}
export QUILLAX_LIBRARY=$build/libquillax.so
node_project=$build/tests/bindings/node-project

leaking=0
run() { # run NAME COMMAND...: one row of the table
    local name=$1 line early end
    shift
    line=$("$@")
    early=$(sed -n 's/.*resident \([0-9]*\) kB after.*/\1/p' <<<"$line")
    end=$(sed -n 's/.*, \([0-9]*\) kB at the end.*/\1/p' <<<"$line")
    local verdict=flat
    if ((end - early > growth_kb)); then
        verdict="GROWS by $((end - early)) kB"
        leaking=1
    fi
    printf '%-28s %s: %s\n' "$name" "$line" "$verdict"
}

echo "$count renders of an EAN-13 PNG (590123412345 with its check digit) each"
run "C API, fresh barcode" "$build/bin/capi_loop" "$count"
run "C API, one barcode" "$build/bin/capi_loop" "$count" reuse
run "Python render()" env PYTHONPATH=bindings/python python3 bench/bindings/loop.py "$count"
run "Python, one Barcode" env PYTHONPATH=bindings/python python3 bench/bindings/loop.py "$count" reuse
if command -v php >/dev/null; then
    run "PHP Barcode::render" php bench/bindings/loop.php bindings/php "$count"
fi
if [ -d "$node_project/node_modules/quillax" ]; then
    run "Node.js render" env NODE_PATH="$node_project/node_modules" node bench/bindings/loop.js "$count"
    run "Node.js renderAsync, 4 at once" env NODE_PATH="$node_project/node_modules" \
        node bench/bindings/loop.js "$count" async
fi
exit "$leaking"
