#!/usr/bin/env bash
# `quillax batch` beside `zint --batch` in the same run: the same EAN-13 numbers (random,
# fixed seed) written as PNG files into a folder on disk, the two commands taking turns, each
# into a new empty folder after a `sync`, so neither pays for the other's writes. Prints the
# median wall time of each with a bar, rows per second, the median processor time (user and
# system; less sensitive to a busy machine), and quillax's wall time as a share of zint's.
# Zint writes its files without syncing them; quillax's time includes making every image
# durable. So Zint runs twice a turn: as it is, and followed by `sync -f` on the folder's file
# system (one syncfs, as quillax makes its groups durable), the like-for-like comparison.
#   BATCH_ROWS   rows (default 10000)
#   BATCH_RUNS   turns each (default 5)
#   BATCH_JOBS   quillax's render threads (default 2)
#   BATCH_DIR    where the folders go (default /var/tmp: on disk, where /tmp may be memory)
#   QUILLAX      the command (default build/quillax)
set -euo pipefail
cd "$(dirname "$0")/.."

rows=${BATCH_ROWS:-10000}
runs=${BATCH_RUNS:-5}
jobs=${BATCH_JOBS:-2}
quillax=${QUILLAX:-build/quillax}
command -v zint >/dev/null || { echo "zint is not installed (scripts/setup.sh deps test)" >&2; exit 1; }
work=$(mktemp -d "${BATCH_DIR:-/var/tmp}/quillax-batch-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "$rows EAN-13 PNG rows into $(df --output=fstype "$work" | tail -1) at $work, $runs turns each"

# Twelve digits per row; both add the check digit.
awk -v rows="$rows" 'BEGIN { srand(12); for (i = 0; i < rows; i++)
    printf "%06d%06d\n", int(rand() * 1000000), int(rand() * 1000000) }' >"$work/numbers"
{
    echo "BarcodeType,Data,Checksum,ShowText,ImageTypeStr"
    sed 's/.*/EAN13,&,true,true,PNG/' "$work/numbers"
} >"$work/rows.csv"

# "WALL CPU": the seconds the command took, and the processor seconds it used (user and
# system), writing into the new empty folder $out. The folders of earlier turns stay until
# the end: a file system that has just freed many inodes spends a while skipping them when it
# allocates new ones, which would measure the deletion rather than the writing.
timed() {
    mkdir "$out"
    sync
    local TIMEFORMAT='%R %U %S' times
    times=$({ time "$@" >/dev/null 2>"$work/err"; } 2>&1) || { cat "$work/err" >&2; exit 1; }
    local written
    written=$(find "$out" -name '*.png' | wc -l)
    [ "$written" -eq "$rows" ] || { echo "$1 wrote $written of $rows files" >&2; exit 1; }
    echo "$times" | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'
}

median() { # median of column $1 of standard input
    awk -v c="$1" '{ print $c }' | sort -n |
        awk '{ v[NR] = $1 } END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

: >"$work/quillax.times"
: >"$work/zint.times"
: >"$work/zint-synced.times"
for turn in $(seq "$runs"); do
    out=$work/quillax-$turn
    timed "$quillax" batch -j "$jobs" -o "$out" "$work/rows.csv" >>"$work/quillax.times"
    out=$work/zint-$turn
    timed zint -b EANX --batch -i "$work/numbers" -o "$out/~~~~~~.png" >>"$work/zint.times"
    out=$work/zint-synced-$turn
    timed sh -c 'zint -b EANX --batch -i "$1" -o "$2/~~~~~~.png" && sync -f "$2"' zint \
        "$work/numbers" "$out" >>"$work/zint-synced.times"
    echo "turn $turn (wall, processor seconds): quillax $(tail -1 "$work/quillax.times")," \
        "zint $(tail -1 "$work/zint.times"), zint + sync $(tail -1 "$work/zint-synced.times")"
done

quillax_s=$(median 1 <"$work/quillax.times")
zint_s=$(median 1 <"$work/zint.times")
synced_s=$(median 1 <"$work/zint-synced.times")
bar() { # bar SECONDS LONGEST: a bar of up to 40 characters
    awk -v s="$1" -v m="$2" 'BEGIN { n = int(40 * s / m + 0.5); for (i = 0; i < n; i++) printf "#" }'
}
longest=$(printf '%s\n%s\n%s\n' "$quillax_s" "$zint_s" "$synced_s" | sort -n | tail -1)
echo
line() { # line NAME TIMES: the median wall time as a bar, rows per second, processor time
    local wall cpu
    wall=$(median 1 <"$2")
    cpu=$(median 2 <"$2")
    printf '%-22s %-40s %6.2f s %7.0f rows/s  %5.2f s processor\n' "$1" \
        "$(bar "$wall" "$longest")" "$wall" "$(awk -v r="$rows" -v s="$wall" 'BEGIN { print r / s }')" "$cpu"
}
line "quillax batch -j $jobs" "$work/quillax.times"
line "zint --batch" "$work/zint.times"
line "zint --batch; sync -f" "$work/zint-synced.times"
awk -v q="$quillax_s" -v z="$zint_s" -v d="$synced_s" 'BEGIN {
    printf "quillax / zint (wall): %.2f (target: at most 1)\n", q / z
    printf "quillax / zint with its files made durable (wall): %.2f\n", q / d }'
