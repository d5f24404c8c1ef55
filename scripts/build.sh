#!/usr/bin/env bash
# Configures and builds: build/posix (the Linux program and the tests) and,
# with "all", build/windows (the 32-bit Windows program), build/asan (the
# Linux program and the tests under AddressSanitizer and UBSan) and
# build/fuzz (the libFuzzer target, with clang) too; "fuzz" builds only the
# last.
# Where this machine's kernel cannot start 32-bit programs, Wine cannot run
# the 32-bit build, and the Wine tests use build/windows64, a 64-bit build
# of the same sources, instead.
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
jobs=$(nproc 2>/dev/null || echo 2)

configure() {  # configure DIR [CMAKE-ARGS...]
    local dir=$1; shift
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=MinSizeRel "$@" >/dev/null
    fi
}

fuzz() {
    [ -f build/fuzz/CMakeCache.txt ] ||
        cmake -S tests/fuzz -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ >/dev/null
    cmake --build build/fuzz -j "$jobs"
}
if [ "$what" = fuzz ]; then
    fuzz
    exit
fi

wine_dir="" wine_loader=""
if [ "$what" = all ]; then
    configure build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
    cmake --build build/windows -j "$jobs"
    if bash scripts/i386-runs.sh; then
        wine_dir=build/windows wine_loader=wine
    else
        echo "build: this kernel cannot start 32-bit programs; the Wine tests use the 64-bit twin"
        configure build/windows64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
        cmake --build build/windows64 -j "$jobs"
        wine_dir=build/windows64 wine_loader=/usr/lib/wine/wine64
    fi
fi
configure build/posix
cmake -S . -B build/posix -DWINE_TEST_DIR="${wine_dir:+$PWD/$wine_dir}" \
    -DWINE_LOADER="$wine_loader" -DWINDOWS_BUILD_DIR="$PWD/build/windows" >/dev/null
cmake --build build/posix -j "$jobs"
if [ "$what" = all ]; then
    # Any report of either sanitizer stops the program at once.
    sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all"
    configure build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "-DCMAKE_CXX_FLAGS=$sanitize -fno-omit-frame-pointer" "-DCMAKE_EXE_LINKER_FLAGS=$sanitize"
    cmake --build build/asan -j "$jobs"
    fuzz
fi
# What runs the Windows program here, for make run-windows and the screenshots.
[ -z "$wine_dir" ] || printf 'wine_build=%s\nwine_loader=%s\n' "$wine_dir" "$wine_loader" >build/wine.env
