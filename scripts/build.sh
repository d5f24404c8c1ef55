#!/usr/bin/env bash
# build.sh [all|posix|fuzz]
# Configures and builds build/posix (the Linux program, and the tests where
# GoogleTest is installed) and, with "all", build/windows (the 32-bit Windows
# program), build/windows64 (its 64-bit twin from the same sources),
# build/asan (the Linux program and the tests under AddressSanitizer and
# UBSan) and build/fuzz (the libFuzzer target, with clang); "fuzz" builds
# only the last.
# "all" also chooses, once, how the Wine tests run the Windows program here
# (scripts/wine-route.sh; QCLEAVER_WINE_ROUTE=native|qemu|twin forces it),
# passes that to the tests and writes it to build/wine.env.
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

wine_dir="" wine_loader="" wine_wrapper="" wine_about=""
if [ "$what" = all ]; then
    route=$(bash scripts/wine-route.sh)
    case $route in
    native)
        wine_dir=build/windows wine_loader=/usr/lib/wine/wine
        wine_about="the 32-bit build/windows/cleaver.exe, natively" ;;
    qemu)
        wine_dir=build/windows wine_loader=/usr/lib/wine/wine
        wine_wrapper=$PWD/scripts/in-i386-namespace.sh
        wine_about="the 32-bit build/windows/cleaver.exe, through qemu-i386 in a user namespace" ;;
    twin)
        wine_dir=build/windows64 wine_loader=/usr/lib/wine/wine64
        wine_about="the 64-bit twin build/windows64/cleaver.exe, not the 32-bit program" ;;
    esac
    if [ -n "${QCLEAVER_WINE_ROUTE:-}" ]; then
        wine_about+=" (QCLEAVER_WINE_ROUTE=$route)"
    elif [ "$route" = twin ]; then
        wine_about+=": nothing here starts 32-bit x86 code"
    fi
    for tool in $wine_loader ${wine_wrapper:+/usr/bin/qemu-i386}; do
        [ -x "$tool" ] || { echo "build: $tool is missing (scripts/install-deps.sh test)" >&2; exit 1; }
    done
    echo "build: the Wine tests will run $wine_about"
    configure build/windows64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
    cmake --build build/windows64 -j "$jobs"
fi

# The Linux program carries the 32-bit Windows one, which its own build
# makes first in build/windows where MinGW is here; without, it makes sets
# for Linux only.
command -v i686-w64-mingw32-g++ >/dev/null ||
    echo "build: no MinGW here: the Linux program will make head parts for Linux only" >&2
# Without GoogleTest (make run installs none), build/posix has no tests.
configure build/posix
cmake -S . -B build/posix -DWINE_TEST_DIR="${wine_dir:+$PWD/$wine_dir}" \
    -DWINE_LOADER="$wine_loader" -DWINE_TEST_WRAPPER="$wine_wrapper" \
    -DQCLEAVER_WINDOWS_BUILD_DIR="$PWD/build/windows" >/dev/null
cmake --build build/posix -j "$jobs"
if [ "$what" = all ]; then
    # Any report of either sanitizer stops the program at once, and the
    # contracts' asserts are on.
    sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all"
    configure build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
        -DQCLEAVER_WINDOWS_BUILD_DIR="$PWD/build/windows" \
        "-DCMAKE_CXX_FLAGS=$sanitize -fno-omit-frame-pointer" "-DCMAKE_EXE_LINKER_FLAGS=$sanitize"
    cmake --build build/asan -j "$jobs"
    # The threads that share the recovery arithmetic, under ThreadSanitizer:
    # only the tests go there, and make test runs those that start threads.
    thread="-fsanitize=thread"
    configure build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
        -DQCLEAVER_WINDOWS_BUILD_DIR="$PWD/build/windows" \
        "-DCMAKE_CXX_FLAGS=$thread" "-DCMAKE_EXE_LINKER_FLAGS=$thread"
    cmake --build build/tsan -j "$jobs" --target unit_tests
    fuzz
fi
# What runs the Windows program here, for make test, make run-windows and
# the screenshots: the loader, inside the namespace that the route needs.
if [ -n "$wine_dir" ]; then
    printf 'wine_route=%s\nwine_build=%s\nwine_loader=%q\nwine_about=%q\n' "$route" "$wine_dir" \
        "${wine_wrapper:+$wine_wrapper }$wine_loader" "$wine_about" >build/wine.env
fi
