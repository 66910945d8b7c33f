#!/usr/bin/env bash
# One place for what a fresh Debian 12 machine needs, and the three jobs built on it:
#   scripts/setup.sh deps [STAGE]  install the Debian packages building and running need, and
#                                  those of a stage (test, sanitize, fuzz, load); skips present
#                                  ones
#   scripts/setup.sh build   deps, then configure and build the programs into build/
#   scripts/setup.sh run     build, then run the main job
#   scripts/setup.sh test    build, then the whole test suite through ctest
# and the further CI stages, each bounded in time:
#   scripts/setup.sh sanitize  the test suite built with AddressSanitizer + UBSan, then the
#                              concurrency tests built with ThreadSanitizer
#   scripts/setup.sh fuzz      the libFuzzer targets (clang), each for a fixed time
# and, apart from CI:
#   scripts/setup.sh load      the web host's load check: wrk against quillax serve and nginx
set -euo pipefail

cd "$(dirname "$0")/.."

# What each job installs: building and running need only RUN_PACKAGES; the test suite, the
# benchmarks and each further CI stage add their own, so a user who only runs Quillax never
# downloads a test tool.
RUN_PACKAGES=(
    # build
    cmake ninja-build g++ pkg-config
    # imaging: PNG deflate, JPEG, text
    zlib1g-dev libjpeg62-turbo-dev libfreetype-dev libfontconfig-dev fonts-liberation
    # command line and web host
    libcli11-dev libboost-dev
)
TEST_PACKAGES=(
    # GoogleTest, an independent barcode reader, an independent PNG reader
    libgtest-dev libgmock-dev libzxing-dev libpng-dev
    # the installed package, the examples and the man page: a web client, man
    curl man-db
    # benchmarks and their peer library
    libbenchmark-dev libzint-dev
    # the front page's test in a real browser
    chromium
)
# The sanitizer stage builds the test suite, so it needs the test packages too.
SANITIZE_PACKAGES=("${TEST_PACKAGES[@]}")
FUZZ_PACKAGES=(
    # clang with libFuzzer; independent readers for the writers' round trips
    clang libclang-rt-14-dev libpng-dev
)

# The load check: the load generator, and nginx as the yardstick serving a static file.
LOAD_PACKAGES=(wrk nginx)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the named packages that are not installed yet.
install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    fi
}

# deps [STAGE]: what building and running need, plus the stage's own extras.
deps() {
    install_packages "${RUN_PACKAGES[@]}"
    case "${1:-run}" in
    test) install_packages "${TEST_PACKAGES[@]}" ;;
    sanitize) install_packages "${SANITIZE_PACKAGES[@]}" ;;
    fuzz) install_packages "${FUZZ_PACKAGES[@]}" ;;
    load) install_packages "${LOAD_PACKAGES[@]}" ;;
    esac
}

# build [test]: configure and build into build/; the tests and benchmarks only for "test".
build() {
    local with_tests=OFF
    if [ "${1:-}" = test ]; then with_tests=ON; fi
    deps "${1:-run}"
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUILLAX_TESTS="$with_tests" -DQUILLAX_BENCH="$with_tests"
    cmake --build build --parallel "$(nproc)"
}

run() {
    build
    exec build/quillax serve "$@"
}

test() {
    build test
    cd build
    ctest --output-on-failure --parallel "$(nproc)" --timeout 600
}

# Builds the tests instrumented and runs them; TSan only where threads meet.
sanitize() {
    deps sanitize
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLAX_BENCH=OFF \
        -DQUILLAX_SANITIZE="address;undefined"
    cmake --build build-asan --parallel "$(nproc)"
    (cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/../scripts/lsan.supp:print_suppressions=0" UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        timeout 1200 ctest --output-on-failure --parallel "$(nproc)" --timeout 600)
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLAX_BENCH=OFF \
        -DQUILLAX_SANITIZE=thread
    cmake --build build-tsan --parallel "$(nproc)"
    (cd build-tsan && TSAN_OPTIONS=halt_on_error=1 \
        timeout 900 ctest --output-on-failure --timeout 600 -R "${QUILLAX_TSAN_TESTS:-Concurren|Thread}")
}

# Each fuzz target runs for FUZZ_SECONDS (default 60) from a fresh corpus.
fuzz() {
    deps fuzz
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUILLAX_TESTS=OFF -DQUILLAX_BENCH=OFF -DQUILLAX_FUZZ=ON \
        -DQUILLAX_SANITIZE="address;undefined"
    cmake --build build-fuzz --parallel "$(nproc)" --target fuzz_targets
    local seconds="${FUZZ_SECONDS:-60}"
    for target in build-fuzz/bin/*Fuzz; do
        local corpus
        corpus=$(mktemp -d)
        echo "fuzzing $(basename "$target") for ${seconds}s"
        (cd "$corpus" && LSAN_OPTIONS="suppressions=$OLDPWD/scripts/lsan.supp" timeout $((seconds + 120)) "$OLDPWD/$target" -max_total_time="$seconds" \
            -max_len=512 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12)
        rm -rf "$corpus"
    done
}

# wrk against quillax serve (unique PNG, unique BMP, one repeated PNG) and nginx serving
# that PNG from disk, side by side; LOAD_SECONDS per run (default 8).
load() {
    deps load
    build
    bench/load-check.sh
}

job="${1:-}"
shift || true
case "$job" in
deps | build | run | test | sanitize | fuzz | load) "$job" "$@" ;;
*)
    echo "usage: scripts/setup.sh deps|build|run|test|sanitize|fuzz|load" >&2
    exit 2
    ;;
esac
