#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix elsewhere (the installed tree
# must not depend on where it was put), then checks what a user of the package sees: the
# layout and library names, every public header compiling on its own, the example host built
# with the CMake package and with pkg-config on a plain compiler line, each run and its PNG
# decoded by an independent reader, the installed command finding its component, and its man
# page; the C API's example built with pkg-config as C99, and the Python and PHP packages
# finding the C API from where they are installed.
#
# usage: InstallAndHost.sh BUILD SOURCE READER BINDIR LIBDIR INCLUDEDIR MANDIR
set -euo pipefail
build=$1 source=$2 reader=$3
bindir=$4 libdir=$5 includedir=$6 mandir=$7

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=../support/Checks.sh
source "$(dirname "$0")/../support/Checks.sh"

cmake --install "$build" --prefix "$work/installed" >/dev/null
mv "$work/installed" "$work/prefix"
prefix=$work/prefix

# --- Layout ---------------------------------------------------------------------------------
for file in "$bindir/quillax" \
    "$libdir/libKemrin_Quillax.so" "$libdir/libKemrin_Quillax.so.1" \
    "$libdir/libquillax_platform.so" "$libdir/libquillax_platform.so.1" \
    "$libdir/libquillax.so" "$libdir/libquillax.so.1" \
    "$includedir/quillax/Quillax.h" "$includedir/quillax/quillax.h" \
    lib/python3/dist-packages/quillax/__init__.py share/php/Quillax/Barcode.php \
    "$libdir/cmake/Quillax/QuillaxConfig.cmake" \
    "$libdir/cmake/Quillax/QuillaxConfigVersion.cmake" \
    "$libdir/pkgconfig/quillax.pc" "$mandir/man1/quillax.1" \
    share/doc/quillax/LICENSE share/doc/quillax/NOTICE \
    share/bash-completion/completions/quillax; do
    check "installed $file" test -e "$prefix/$file"
done
soname() { readelf -d "$1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p'; }
check "component SONAME" expect_equal libKemrin_Quillax.so.1 \
    "$(soname "$prefix/$libdir/libKemrin_Quillax.so")"
check "platform SONAME" expect_equal libquillax_platform.so.1 \
    "$(soname "$prefix/$libdir/libquillax_platform.so")"
check "C API SONAME" expect_equal libquillax.so.1 "$(soname "$prefix/$libdir/libquillax.so")"
check "C API exports only its functions" expect_equal \
    "quillax_create quillax_destroy quillax_image_free quillax_message quillax_render quillax_set" \
    "$(nm -D --defined-only "$prefix/$libdir/libquillax.so" | awk '{print $3}' | sort | xargs)"
check "component needs the platform by SONAME" \
    grep -q 'libquillax_platform.so.1' <(readelf -d "$prefix/$libdir/libKemrin_Quillax.so.1")

# --- Every public header on its own, against the installed include folder only --------------
compiles_alone() { # compiles_alone HEADER: a file that includes only the header compiles
    echo "#include <$1>" | c++ -std=c++20 -Wall -Wextra -Werror -fsyntax-only \
        -I"$prefix/$includedir" -x c++ -
}
# The helpers over the platform's names come in through the header of those names.
included_through=(quillax/platform/ComUtils.h quillax/platform/OleUtils.h)
while IFS= read -r header; do
    [[ " ${included_through[*]} " == *" $header "* ]] && continue
    check "header $header" compiles_alone "$header"
done < <(cd "$prefix/$includedir" && find quillax -name '*.h' | sort)

# --- The example host, both ways ------------------------------------------------------------
expected="EAN-13 4006381333931"
decoded() { "$reader" "$1" | cut -d' ' -f2-; }

cmake -S "$source/examples/minimal-host" -B "$work/cmake-build" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake.log" 2>&1 || cat "$work/cmake.log"
check "example builds with find_package(Quillax)" cmake --build "$work/cmake-build"
check "example runs (CMake package)" "$work/cmake-build/minimal-host" "$work/cmake.png"
check "example's PNG decodes (CMake package)" expect_equal "$expected" "$(decoded "$work/cmake.png")"

pc="env PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig pkg-config"
check "pkg-config knows the version" expect_equal 1.0.0 "$($pc --modversion quillax)"
# shellcheck disable=SC2046
check "example builds with pkg-config" c++ -std=c++20 -Wall -Wextra -Werror \
    "$source/examples/minimal-host/minimal-host.cpp" $($pc --cflags --libs quillax) \
    -Wl,-rpath,"$($pc --variable=libdir quillax)" -o "$work/minimal-host"
check "example runs (pkg-config)" "$work/minimal-host" "$work/pc.png"
check "example's PNG decodes (pkg-config)" expect_equal "$expected" "$(decoded "$work/pc.png")"

# --- The C API and the language packages, as installed ------------------------------------------
# shellcheck disable=SC2046
check "C API example builds as C99 with pkg-config" cc -std=c99 -Wall -Wextra -Werror -pedantic \
    "$source/examples/c-api/ean13.c" $($pc --cflags --libs quillax) \
    -Wl,-rpath,"$($pc --variable=libdir quillax)" -o "$work/ean13"
check "C API example runs" "$work/ean13" 400638133393 "$work/c.png"
check "C API example's PNG decodes" expect_equal "$expected" "$(decoded "$work/c.png")"
check "C API example reports bad data" bash -c "'$work/ean13' 40063813339X '$work/bad.png' 2>&1 | grep -q numeric"
if command -v python3 >/dev/null; then
    check "installed Python package renders" env -u QUILLAX_LIBRARY \
        PYTHONPATH="$prefix/lib/python3/dist-packages" python3 -c "import quillax, sys
image = quillax.render(BarcodeType='EAN13', Data='400638133393', Checksum=True, ImageTypeStr='PNG')
open(sys.argv[1], 'wb').write(image.data)" "$work/py.png"
    check "installed Python package's PNG decodes" expect_equal "$expected" "$(decoded "$work/py.png")"
fi
if command -v php >/dev/null; then
    check "installed PHP classes render" env -u QUILLAX_LIBRARY php \
        -d include_path="$prefix/share/php" -r "require 'Quillax/autoload.php';
        \$image = Quillax\Barcode::render(['BarcodeType' => 'EAN13', 'Data' => '400638133393',
                                           'Checksum' => true, 'ImageTypeStr' => 'PNG']);
        file_put_contents(\$argv[1], \$image->data);" "$work/php.png"
    check "installed PHP classes' PNG decodes" expect_equal "$expected" "$(decoded "$work/php.png")"
fi

# --- The installed command ------------------------------------------------------------------
check "installed command renders" "$prefix/$bindir/quillax" render Data=400638133393 \
    Checksum=true ImageTypeStr=PNG -o "$work/command.png"
check "installed command's PNG decodes" expect_equal "$expected" "$(decoded "$work/command.png")"
check "installed command registers" "$prefix/$bindir/quillax" register --registry "$work/registry"
# Registered by the versioned link, so that an upgrade of the file behind it keeps it valid.
check "registered path is the versioned link" \
    grep -qF "@=\"$prefix/$libdir/libKemrin_Quillax.so.1\"" "$work/registry"
check "installed man page renders" bash -c "man -l '$prefix/$mandir/man1/quillax.1' | grep -q '^SYNOPSIS'"

checks_summary
