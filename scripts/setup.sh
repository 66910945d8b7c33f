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
#   scripts/setup.sh windows   Kemrin_Quillax.dll cross-built into build-windows/, registered
#                              in a private Wine prefix and driven from VBScript
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
    # OCR-B, the face of the EAN/UPC human-readable line in the standard layout
    fonts-ocr-b
    # command line and web host
    libcli11-dev libboost-dev libxxhash-dev
)
TEST_PACKAGES=(
    # GoogleTest, an independent barcode reader, an independent PNG reader
    libgtest-dev libgmock-dev libzxing-dev libpng-dev
    # the installed package, the examples and the man page: a web client, man
    curl man-db
    # benchmarks and their peer library (Zint, also the engine tests' module oracle), and
    # Zint's command, the batch benchmark's peer
    libbenchmark-dev libzint-dev zint
    # the front page's test in a real browser
    chromium
    # SVG rasterised for comparison with the PNG of the same picture
    librsvg2-bin
    # a second independent reader, for EAN/UPC with their add-ons
    zbar-tools
    # the deployment's test: nginx in front of several web hosts; the system calls the host
    # makes, against the unit's filter
    nginx strace
    # the language packages' tests: PHP with FFI, Python with pip (setuptools, wheel) and
    # Flask for its example, Node.js (npm below; koffi and Express come from the npm registry
    # into the build folder)
    php-cli python3-pip python3-flask nodejs
)
# Debian's npm, unless the installed Node.js brings its own (NodeSource's does, and its
# package conflicts with Debian's npm).
NODE_NPM_PACKAGES=(npm)
# The sanitizer stage builds the test suite, so it needs the test packages too.
SANITIZE_PACKAGES=("${TEST_PACKAGES[@]}")
FUZZ_PACKAGES=(
    # clang with libFuzzer; independent readers for the writers' round trips
    clang libclang-rt-14-dev libpng-dev
)

WINDOWS_PACKAGES=(
    # the cross compiler (posix threads), widl and windres, zlib built for mingw
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64 libz-mingw-w64-dev
    # widl's oaidl.idl and stdole2.tlb; Wine to run the DLL, regsvr32 and the script host
    libwine-dev wine64 wine
    # libjpeg-turbo and FreeType from Debian's source packages (nasm for libjpeg-turbo's SIMD)
    dpkg-dev nasm
    # the faces fontconfig picks on Linux, shipped beside the DLL
    fonts-liberation fonts-dejavu-core fonts-ocr-b
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
    test)
        install_packages "${TEST_PACKAGES[@]}"
        command -v npm >/dev/null || install_packages "${NODE_NPM_PACKAGES[@]}"
        ;;
    sanitize) install_packages "${SANITIZE_PACKAGES[@]}" ;;
    fuzz) install_packages "${FUZZ_PACKAGES[@]}" ;;
    load) install_packages "${LOAD_PACKAGES[@]}" ;;
    windows) install_packages "${WINDOWS_PACKAGES[@]}" ;;
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
    # Only the programs that hold tests where threads meet (and what they run) are built.
    # shellcheck disable=SC2086
    cmake --build build-tsan --parallel "$(nproc)" --target \
        ${QUILLAX_TSAN_TARGETS:-platform_tests imaging_tests hosting_tests apps_tests}
    (cd build-tsan && TSAN_OPTIONS=halt_on_error=1 \
        timeout 900 ctest --output-on-failure --timeout 600 -R "${QUILLAX_TSAN_TESTS:-Concurren|Thread}")
}

# Each fuzz target runs for FUZZ_SECONDS (default 60), starting from a copy of its seed corpus
# in tests/fuzz/corpus/<target>; a crash, leak, sanitizer report or hang (a unit over 10 s) is
# a finding. Every target runs; the stage fails when any of them found something, and prints
# each one's executions and coverage. Logs and the inputs of findings stay in build-fuzz/findings.
fuzz() {
    deps fuzz
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUILLAX_TESTS=OFF -DQUILLAX_BENCH=OFF -DQUILLAX_FUZZ=ON \
        -DQUILLAX_SANITIZE="address;undefined"
    cmake --build build-fuzz --parallel "$(nproc)" --target fuzz_targets
    local seconds="${FUZZ_SECONDS:-60}" findings=$PWD/build-fuzz/findings failed=()
    rm -rf "$findings" && mkdir -p "$findings"
    local target corpus max_len log
    for target in EngineFuzz RenderFuzz DispatchFuzz WriterFuzz WebRequestFuzz; do
        corpus=$(mktemp -d)
        cp tests/fuzz/corpus/"$target"/* "$corpus"/
        max_len=512
        if [ "$target" = WebRequestFuzz ]; then max_len=4096; fi # room for heads at their limits
        log="$findings/$target.log"
        echo "fuzzing $target for ${seconds}s"
        if ! (cd "$findings" &&
            ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
                LSAN_OPTIONS="suppressions=$OLDPWD/scripts/lsan.supp" \
                timeout $((seconds + 120)) "$OLDPWD/build-fuzz/bin/$target" \
                -max_total_time="$seconds" -timeout=10 -max_len="$max_len" -print_final_stats=1 \
                -artifact_prefix="$findings/$target-" "$corpus" >"$log" 2>&1); then
            failed+=("$target")
            tail -n 40 "$log"
        fi
        # "#N DONE cov: C ft: F corp: ..." and the final stats.
        echo "$target: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 | sed 's/ *exec\/s.*//')"
        grep -E "^stat::(number_of_executed_units|average_exec_per_sec|slowest_unit_time_sec|peak_rss_mb)" "$log" || true
        rm -rf "$corpus"
    done
    if [ "${#failed[@]}" -gt 0 ]; then
        echo "fuzz: findings in ${failed[*]} (inputs and logs in $findings)" >&2
        return 1
    fi
}

# wrk against quillax serve (unique PNG, unique BMP, one repeated PNG) and nginx serving
# that PNG from disk, side by side; LOAD_SECONDS per run (default 8).
load() {
    deps load
    build
    bench/load-check.sh
}

# The libraries the DLL links that Debian does not build for mingw, from Debian's own source
# packages of the versions the Linux build links: libjpeg-turbo with its SIMD code (as on
# Linux, so that both make the same JPEG bytes) and FreeType without bzip2, png, harfbuzz and
# brotli. Cached in build-windows/deps while those versions stay the same.
windows_libraries() {
    local deps=$PWD/build-windows/deps
    local jpeg freetype
    jpeg=$(dpkg-query -W -f='${source:Version}' libjpeg62-turbo)
    freetype=$(dpkg-query -W -f='${source:Version}' libfreetype6)
    local stamp="$deps/prefix/built-libjpeg-turbo_${jpeg}-freetype_${freetype}"
    if [ -f "$stamp" ]; then return; fi
    rm -rf "$deps"
    mkdir -p "$deps/apt/lists/partial" "$deps/apt/cache/archives/partial" "$deps/src" \
        "$deps/prefix/lib" "$deps/prefix/include"
    # A private source list and package state: the system's lists stay as they are.
    local codename keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    {
        echo "deb-src [signed-by=$keyring] http://deb.debian.org/debian $codename main"
        echo "deb-src [signed-by=$keyring] http://deb.debian.org/debian $codename-updates main"
        echo "deb-src [signed-by=$keyring] http://deb.debian.org/debian-security $codename-security main"
    } >"$deps/apt/sources.list"
    local apt=(-o "Dir::Etc::SourceList=$deps/apt/sources.list" -o Dir::Etc::SourceParts=-
        -o "Dir::State::Lists=$deps/apt/lists" -o "Dir::Cache=$deps/apt/cache")
    apt-get "${apt[@]}" update -qq
    if ! (cd "$deps/src" && apt-get "${apt[@]}" source -qq "libjpeg-turbo=$jpeg" "freetype=$freetype"); then
        # The archive no longer has the installed versions: take its current ones (which a
        # fresh machine installs too).
        echo "windows: libjpeg-turbo $jpeg or freetype $freetype not in the archive; using its current sources" >&2
        rm -rf "${deps:?}/src" && mkdir -p "$deps/src"
        (cd "$deps/src" && apt-get "${apt[@]}" source -qq libjpeg-turbo freetype)
    fi
    local toolchain=$PWD/windows/mingw-w64.cmake
    local jpeg_src freetype_src
    jpeg_src=$(find "$deps/src" -mindepth 1 -maxdepth 1 -type d -name 'libjpeg-turbo-*')
    freetype_src=$(find "$deps/src" -mindepth 1 -maxdepth 1 -type d -name 'freetype-*')

    cmake -S "$jpeg_src" -B "$deps/build-jpeg" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps/prefix" -DWITH_SIMD=ON \
        -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF >"$deps/build-jpeg.log"
    cmake --build "$deps/build-jpeg" --target jpeg-static >>"$deps/build-jpeg.log"
    cp "$deps/build-jpeg/libjpeg.a" "$deps/prefix/lib/"
    cp "$deps/build-jpeg/jconfig.h" "$jpeg_src/jpeglib.h" "$jpeg_src/jmorecfg.h" \
        "$jpeg_src/jerror.h" "$deps/prefix/include/"

    cmake -S "$freetype_src" -B "$deps/build-freetype" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$deps/prefix" -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_BZIP2=ON \
        -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON \
        -DFT_REQUIRE_ZLIB=ON >"$deps/build-freetype.log"
    cmake --build "$deps/build-freetype" --target install >>"$deps/build-freetype.log"
    touch "$stamp"
}

# Builds Kemrin_Quillax.dll into build-windows/ (and build/quillax, whose files the suite
# compares with the DLL's), registers it in a private Wine prefix, runs the VBScript suite
# and the test host (a page host with a Response object of its own), unregisters it and
# checks that the class is gone. Passes only when each printed its own "N passed, 0 failed".
windows() {
    deps windows
    if [ -f build/CMakeCache.txt ]; then
        cmake --build build --target quillax
    else
        cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLAX_TESTS=OFF \
            -DQUILLAX_BENCH=OFF
        cmake --build build --target quillax
    fi
    windows_libraries
    cmake -S windows -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/windows/mingw-w64.cmake" \
        -DQUILLAX_WINDOWS_DEPS="$PWD/build-windows/deps/prefix"
    cmake --build build-windows --parallel "$(nproc)"

    local work
    work=$(mktemp -d)
    export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # shellcheck disable=SC2064
    trap "wineserver -k 2>/dev/null || true; rm -rf '$work'" EXIT
    timeout 300 wine wineboot --init >/dev/null 2>&1 || true
    timeout 300 wineserver -w

    # Installed in a folder whose name has a space, as under "Program Files".
    local folder="$WINEPREFIX/drive_c/Program Files/Quillax"
    mkdir -p "$folder" "$work/reference" "$work/output"
    cp build-windows/Kemrin_Quillax.dll build-windows/*.ttf build-windows/*.otf build-windows/*.txt \
        "$folder/"
    local dll='C:\Program Files\Quillax\Kemrin_Quillax.dll'

    # The Linux build's file and step code (exit status 10 + code) for each case.
    local name props status
    while IFS='|' read -r name props; do
        case "$name" in '' | '#'*) continue ;; esac
        IFS='|' read -r -a assignments <<<"$props"
        status=0
        build/quillax render "${assignments[@]}" -o "$work/reference/$name" 2>/dev/null ||
            status=$?
        if [ "$status" -ne 0 ] && [ "$status" -lt 10 ]; then
            echo "windows: quillax render failed for $name" >&2
            return 1
        fi
        echo "$name $((status == 0 ? 0 : status - 10))" >>"$work/results.txt"
    done <tests/windows/cases.txt

    timeout 120 wine regsvr32 /s "$dll"
    timeout 600 wine cscript //nologo "$(winepath -w tests/windows/QuillaxSuite.vbs)" \
        "$(winepath -w tests/windows/cases.txt)" "$(winepath -w "$work/reference")" \
        "$(winepath -w "$work/output")" "$dll" | tr -d '\r' | tee "$work/suite.log"
    mkdir -p "$work/host-output"
    timeout 600 wine build-windows/quillax_host.exe "$(winepath -w tests/windows/cases.txt)" \
        "$(winepath -w "$work/reference")" "$(winepath -w "$work/results.txt")" \
        "$(winepath -w "$work/host-output")" | tr -d '\r' | tee "$work/host.log"
    timeout 120 wine regsvr32 /s /u "$dll"
    timeout 120 wine cscript //nologo "$(winepath -w tests/windows/Unregistered.vbs)" |
        tr -d '\r' | tee "$work/unregistered.log"

    local log
    for log in suite host unregistered; do
        if ! grep -qE '^[0-9]+ passed, 0 failed$' "$work/$log.log"; then
            echo "windows: the $log script did not pass" >&2
            return 1
        fi
    done
}

job="${1:-}"
shift || true
case "$job" in
deps | build | run | test | sanitize | fuzz | windows | load) "$job" "$@" ;;
*)
    echo "usage: scripts/setup.sh deps|build|run|test|sanitize|fuzz|windows|load" >&2
    exit 2
    ;;
esac
