#!/usr/bin/env bash
# Installs what building and testing QCleaver needs on Debian 12, and only
# what is missing; quick when everything is there.  Run as root.
set -euo pipefail

need=()
want() {  # want PACKAGE CHECK-COMMAND WHY
    if ! eval "$2" >/dev/null 2>&1; then
        echo "install-deps: $1 is missing ($3)"
        need+=("$1")
    fi
}

want cmake            'command -v cmake'                       'builds both programs'
want g++              'command -v g++'                         'the Linux program and the tests'
want make             'command -v make'                        'runs the build'
want libgtest-dev     'test -f /usr/include/gtest/gtest.h'     'the unit tests (GoogleTest)'
want clang            'command -v clang++'                     'builds the fuzz target'
want libclang-rt-dev  'test -f "$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a)"' 'libFuzzer and the sanitizers for clang'
want zlib1g-dev      'test -f /usr/include/zlib.h'            'the reference the checksum tests compare with'
want g++-mingw-w64-i686-win32   'command -v i686-w64-mingw32-g++'    'the 32-bit Windows program'
want binutils-mingw-w64-i686    'command -v i686-w64-mingw32-windres' 'its resources'
want g++-mingw-w64-x86-64-win32 'command -v x86_64-w64-mingw32-g++'  'the Windows twin that Wine runs where 32-bit code cannot run'
want wine             'command -v wineboot'                    'runs the Windows program in the tests'
want wine64           'test -x /usr/lib/wine/wine64'           'runs 64-bit Windows programs'
want xvfb             'command -v Xvfb'                        'a screen for the Windows dialogs'
want xauth            'command -v xauth'                       'xvfb-run needs it'
want imagemagick      'test -x /usr/bin/convert'               'screenshots and the artwork'
want x11-utils        'command -v xwininfo'                    'finds the windows the screenshots crop to'
want fonts-wine       'test -d /usr/share/wine/fonts'          "Wine's stand-in for MS Sans Serif"
want coreutils        'command -v truncate'                    'pads the program images'

# wine32 runs the 32-bit program, where the kernel can start 32-bit code at
# all; elsewhere the tests run a 64-bit build of the same sources.
if bash "$(dirname "$0")/i386-runs.sh"; then
    if ! dpkg -s wine32:i386 >/dev/null 2>&1; then
        echo "install-deps: wine32 is missing (runs the 32-bit Windows program in the tests)"
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
        need+=(wine32:i386)
    fi
fi

if [ ${#need[@]} -gt 0 ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "install-deps: run as root to install: ${need[*]}" >&2
        exit 1
    fi
    echo "install-deps: installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${need[@]}"
fi
