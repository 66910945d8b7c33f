#!/usr/bin/env bash
# One place for what a fresh Debian 12 machine needs, and the three jobs built on it:
#   scripts/setup.sh deps    install the Debian packages the project needs (skips present ones)
#   scripts/setup.sh build   deps, then configure and build into build/
#   scripts/setup.sh run     build, then run the main job
#   scripts/setup.sh test    build, then the whole test suite through ctest
set -euo pipefail

cd "$(dirname "$0")/.."

PACKAGES=(
    # build
    cmake ninja-build g++ pkg-config
    # imaging: PNG deflate, JPEG, text
    zlib1g-dev libjpeg62-turbo-dev libfreetype-dev libfontconfig-dev fonts-liberation
    # command line and web host
    libcli11-dev libboost-dev
    # tests: GoogleTest, an independent barcode reader, an independent PNG reader
    libgtest-dev libgmock-dev libzxing-dev libpng-dev
    # benchmarks and their peer library
    libbenchmark-dev libzint-dev
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

deps() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    fi
}

build() {
    deps
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build --parallel "$(nproc)"
}

run() {
    build
    exec build/quillax serve "$@"
}

test() {
    build
    cd build
    ctest --output-on-failure --parallel "$(nproc)" --timeout 600
}

job="${1:-}"
shift || true
case "$job" in
deps | build | run | test) "$job" "$@" ;;
*)
    echo "usage: scripts/setup.sh deps|build|run|test" >&2
    exit 2
    ;;
esac
