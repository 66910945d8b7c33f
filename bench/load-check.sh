#!/usr/bin/env bash
# The web host under load, beside nginx in the same run: wrk -t2 -c32 --latency on loopback
# against `quillax serve` (unique EAN-13 PNGs, unique EAN-13 BMPs, one repeated PNG) and
# against nginx (one worker, sendfile, long keep-alive, no access log) serving that PNG as a
# static file, before and after ours. Prints requests/s, p50/p99, each rate as a share of
# nginx's (the mean of its two runs), socket errors, non-2xx answers, the server's memory and
# its processor time per answer, and that time for unique BMPs against the object's own
# render of the same image (build/bin/object_bench, in the same run).
#   LOAD_SECONDS  length of each run (default 8)
#   QUILLAX       the command (default build/quillax)
#   LOAD_PORT     first of the two loopback ports used (default 18480)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${LOAD_SECONDS:-8}
quillax=${QUILLAX:-build/quillax}
quillax_port=${LOAD_PORT:-18480}
nginx_port=$((quillax_port + 1))
script=$PWD/bench/load/wrk-report.lua
work=$(mktemp -d)
quillax_pid=
nginx_pid=

cleanup() {
    [ -n "$quillax_pid" ] && kill "$quillax_pid" 2>/dev/null && wait "$quillax_pid" 2>/dev/null
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

wait_for_port() {
    for _ in $(seq 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
        sleep 0.1
    done
    echo "nothing listens on port $1" >&2
    return 1
}

rss_mib() {
    awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"
}

# Processor time of the process so far (user and system), in clock ticks.
cpu_ticks() {
    awk '{ print $14 + $15 }' "/proc/$1/stat"
}

# The repeated request, and the same bytes as nginx's static file.
repeated="BarcodeType=14&Data=590123412345&Checksum=true&ShowText=true&NarrowBarWidth=2&Height=80&ImageTypeStr=PNG"
mkdir -p "$work/html" "$work/temp"
chmod 755 "$work" "$work/html" # nginx's worker reads as another user
"$quillax" render ${repeated//&/ } -o "$work/html/barcode.png"

cat >"$work/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
    access_log off;
    sendfile on;
    keepalive_requests 100000;
    keepalive_timeout 65;
    client_body_temp_path $work/temp;
    proxy_temp_path $work/temp;
    fastcgi_temp_path $work/temp;
    uwsgi_temp_path $work/temp;
    scgi_temp_path $work/temp;
    types { image/png png; }
    server {
        listen 127.0.0.1:$nginx_port;
        root $work/html;
    }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
"$quillax" serve --listen "127.0.0.1:$quillax_port" --quiet &
quillax_pid=$!
wait_for_port "$nginx_port"
wait_for_port "$quillax_port"

# run NAME PORT [VAR=VALUE...]: one wrk run; its figures go to $work/NAME.
run() {
    local name=$1 port=$2
    shift 2
    local before
    before=$(cpu_ticks "$quillax_pid")
    env "$@" wrk -t2 -c32 -d"${seconds}s" --latency -s "$script" "http://127.0.0.1:$port" \
        >"$work/$name.out"
    grep '^result ' "$work/$name.out" | cut -d' ' -f2- >"$work/$name"
    echo "$(rss_mib "$quillax_pid")" >"$work/$name.rss"
    echo $(($(cpu_ticks "$quillax_pid") - before)) >"$work/$name.cpu"
}

rss_start=$(rss_mib "$quillax_pid")
run nginx-before "$nginx_port" LOAD_MODE=fixed LOAD_PATH=/barcode.png
run unique-png "$quillax_port" LOAD_MODE=unique LOAD_FORMAT=PNG
run unique-bmp "$quillax_port" LOAD_MODE=unique LOAD_FORMAT=BMP
run repeated-png "$quillax_port" LOAD_MODE=fixed LOAD_PATH="/barcode?$repeated"
run nginx-after "$nginx_port" LOAD_MODE=fixed LOAD_PATH=/barcode.png

read -r nginx_before _ <"$work/nginx-before"
read -r nginx_after _ <"$work/nginx-after"
yardstick=$(((nginx_before + nginx_after) / 2))

echo
echo "wrk -t2 -c32 -d${seconds}s on loopback, $(nproc) cores; quillax serve on $(
    "$quillax" serve --help | sed -n 's/.*--threads[^=]*=\([0-9]*\).*/\1/p') threads"
ticks=$(getconf CLK_TCK)
printf '%-14s %10s %9s %9s %8s %7s %8s %8s %9s\n' run "req/s" "p50 ms" "p99 ms" share errors \
    non-2xx "RSS MiB" "CPU us"
for name in nginx-before unique-png unique-bmp repeated-png nginx-after; do
    rss=- cpu=0
    case $name in nginx*) ;; *) rss=$(cat "$work/$name.rss") cpu=$(cat "$work/$name.cpu") ;; esac
    awk -v name="$name" -v yardstick="$yardstick" -v rss="$rss" -v cpu="$cpu" -v ticks="$ticks" '{
        per = cpu > 0 ? sprintf("%.1f", cpu * 1e6 / ticks / $6) : "-"
        printf "%-14s %10d %9.2f %9.2f %7.0f%% %7d %8d %8s %9s\n", name, $1, $2 / 1000, $3 / 1000,
            100 * $1 / yardstick, $4, $5, rss, per }' "$work/$name"
done
# The object's own render of the unique BMPs' image, CPU time, median of 5.
bench=${OBJECT_BENCH:-build/bin/object_bench}
if [ -x "$bench" ]; then
    render_ns=$("$bench" --benchmark_filter='LoadCheckImage/bmp$' --benchmark_repetitions=5 \
        --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
        awk -F, '/_median/ { print $4 }')
    awk -v cpu="$(cat "$work/unique-bmp.cpu")" -v ticks="$ticks" -v ns="$render_ns" '{
        host = cpu * 1e6 / ticks / $6
        printf "host CPU per unique BMP answer %.1f us; the object'"'"'s render of it %.1f us; " \
            "ratio %.1f (target 3)\n", host, ns / 1000, host * 1000 / ns }' "$work/unique-bmp"
fi
echo "quillax serve memory: ${rss_start} MiB at the start, $(rss_mib "$quillax_pid") MiB at the end (response cache bounded at 64 MiB)"

# Expensive renders beside cheap answers: 6 clients loop on unique Code 128 B of 4,000
# characters at 90 degrees (hundreds of milliseconds and tens of megabytes each) while wrk asks
# for /healthz and for a cached image; the host's latencies for those and its peak memory,
# with the default threads and with --threads 8.
heavy_port=$((quillax_port + 2))
long=$(head -c 4000 /dev/zero | tr '\0' 'Q')
heavy() {
    "$quillax" serve --listen "127.0.0.1:$heavy_port" --quiet "$@" &
    local pid=$! loops=()
    wait_for_port "$heavy_port"
    curl -s -o /dev/null "http://127.0.0.1:$heavy_port/barcode?$repeated"
    for client in 1 2 3 4 5 6; do
        (for i in $(seq 100000); do
            curl -s -o /dev/null "http://127.0.0.1:$heavy_port/barcode?BarcodeType=6&Orientation=90&Data=$client$i$long" || break
        done) &
        loops+=($!)
    done
    sleep 2
    for path in /healthz "/barcode?$repeated"; do
        LOAD_MODE=fixed LOAD_PATH=$path wrk -t1 -c2 -d"${seconds}s" --latency -s "$script" \
            "http://127.0.0.1:$heavy_port" | grep '^result ' | cut -d' ' -f2- |
            awk -v what="$path" -v threads="${*:-defaults}" '{
                printf "%-22s %-16s p50 %6.2f ms  p99 %7.2f ms  max %7.2f ms  (%d answers)\n",
                    threads, substr(what, 1, 16), $2 / 1000, $3 / 1000, $7 / 1000, $6 }'
    done
    kill "${loops[@]}" 2>/dev/null || true
    wait "${loops[@]}" 2>/dev/null || true
    echo "${*:-defaults}: peak resident memory $(awk '/^VmHWM/ { printf "%.0f", $2 / 1024 }' "/proc/$pid/status") MiB"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}
echo
echo "6 clients looping on unique 4,000-character Code 128 at 90 degrees:"
heavy
heavy --threads 8
heavy --render-threads 8
