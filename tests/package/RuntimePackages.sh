#!/usr/bin/env bash
# The README's list of runtime packages for a server that did not build Quillax names every
# Debian package that the built command and libraries link a library of (required ones aside,
# as every system has them) and the font packages the build installs.
# usage: RuntimePackages.sh README SETUP FILE...
set -euo pipefail
readme=$1 setup=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=../support/Checks.sh
source "$(dirname "$0")/../support/Checks.sh"

# The packages of the README's apt-get line (continued over a backslash).
listed=$(sed -n '/^apt-get install libstdc/,/[^\\]$/p' "$readme" | tr -d '\\' | tr ' ' '\n' |
    grep -vE '^(apt-get|install|)$' | sort -u)
named() { grep -qx "$1" <<<"$listed"; }
check "the README lists runtime packages" test -n "$listed"

# The libraries each file names itself (what those load comes with their packages).
loaded() {
    local file
    for file in "$@"; do
        ldd "$file" | awk -v needed="$(readelf -d "$file" | grep -o 'NEEDED.*\[.*\]' | tr -d '[]')" \
            'BEGIN { n = split(needed, words, " "); for (i = 1; i <= n; i++) want[words[i]] = 1 }
             $1 in want && $3 ~ /^\// { print $3 }'
    done | sort -u
}
for package in $(loaded "$@" | while read -r library; do
    path=$(readlink -f "$library")
    dpkg -S "$path" 2>/dev/null || dpkg -S "/usr${path#/usr}" 2>/dev/null || true
done | cut -d: -f1 | sort -u); do
    [ "$(dpkg-query -W -f '${Priority}' "$package")" = required ] && continue
    check "$package, loaded by the build, is listed" named "$package"
done
for font in $(sed -n '/^RUN_PACKAGES=(/,/^)/p' "$setup" | grep -oE '\bfonts-[a-z0-9-]+'); do
    check "$font, installed to run, is listed" named "$font"
done
checks_summary
