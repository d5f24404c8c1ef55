#!/usr/bin/env bash
# install-deps.sh [run|install|test|screenshots]
# Installs what one make command needs on Debian 12, and only what is
# missing; quick when everything is there.  Run as root.
#   run          CMake, g++, make, musl and MinGW-w64: the terminal program,
#                static, with the Windows program inside it for sets made for
#                Windows
#   install      also help2man, which makes the man page
#   test         (the default) also GoogleTest, MinGW-w64, Wine and Xvfb, and
#                what runs the 32-bit Windows program here (scripts/wine-route.sh)
#   screenshots  also ImageMagick and the X tools that crop the pictures
set -euo pipefail
cd "$(dirname "$0")"
what=${1:-test}
case $what in run | install | test | screenshots) ;; *)
    echo "usage: install-deps.sh [run|install|test|screenshots]" >&2
    exit 2 ;;
esac

need=() backports=()
want() {  # want PACKAGE CHECK-COMMAND WHY
    if ! eval "$2" >/dev/null 2>&1; then
        echo "install-deps: $1 is missing ($3)"
        need+=("$1")
    fi
}

want cmake            'command -v cmake'                       'builds both programs'
want g++              'command -v g++'                         'the Linux program and the tests'
want make             'command -v make'                        'runs the build'
want coreutils        'command -v truncate'                    'pads the program images'
want g++-mingw-w64-i686-win32   'command -v i686-w64-mingw32-g++'    'the 32-bit Windows program, which the Linux one carries for head parts made for Windows'
want binutils-mingw-w64-i686    'command -v i686-w64-mingw32-windres' 'its resources'
want musl-tools       'command -v musl-gcc'                    'the Linux program, static, so that a head part starts on any Linux'
if [ "$what" != run ]; then
    want help2man     'command -v help2man'                    'makes the man page from --help'
fi

if [ "$what" = test ] || [ "$what" = screenshots ]; then
    route=$(bash wine-route.sh)
    want libgtest-dev     'test -f /usr/include/gtest/gtest.h'     'the unit tests (GoogleTest)'
    want zlib1g-dev       'test -f /usr/include/zlib.h'            'the reference the checksum tests compare with'
    want clang            'command -v clang++'                     'builds the fuzz target'
    want man-db           'command -v man'                         'the test that renders the man page'
    want util-linux       'command -v setpriv'                     'tests that act as another user'
    want busybox          'command -v busybox'                     "another system's tools, which the standard-tools recipe must do with"
    want lintian          'command -v lintian'                     'the test that checks make deb'"'"'s package'
    want strace           'command -v strace'                      'tests that stop a split dead at a chosen rename (kill -9)'
    want python3          'test -x /usr/bin/python3'               'checks that each fuzz seed reaches what its name says'
    want libclang-rt-dev  'test -f "$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a)"' 'libFuzzer and the sanitizers for clang'
    want g++-mingw-w64-x86-64-win32 'command -v x86_64-w64-mingw32-g++'  'its 64-bit twin, which Wine runs where nothing runs 32-bit code'
    want wine             'command -v wineboot'                    'runs the Windows program in the tests'
    want wine64           'test -x /usr/lib/wine/wine64'           'runs 64-bit Windows programs'
    want fonts-wine       'test -d /usr/share/wine/fonts'          "Wine's stand-in for MS Sans Serif"
    want xvfb             'command -v Xvfb'                        'a screen for the Windows dialogs'
    want xauth            'command -v xauth'                       'xvfb-run needs it'
    if [ "$route" != twin ]; then
        want wine32:i386  'test -x /usr/lib/wine/wine'             'runs the 32-bit Windows program'
    fi
    if [ "$route" = qemu ]; then
        # Bookworm's own qemu 7.2 is far too slow for Wine: it ignores
        # MAP_FIXED_NOREPLACE.
        if ! dpkg --compare-versions "$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null)" ge 1:10; then
            echo "install-deps: qemu-user 10 is missing (starts 32-bit programs where the kernel does not)"
            backports+=(qemu-user)
        fi
    fi
fi
if [ "$what" = screenshots ]; then
    want imagemagick      'test -x /usr/bin/convert'               'takes the pictures'
    want x11-utils        'command -v xwininfo'                    'finds the windows to crop to'
fi

[ ${#need[@]} -gt 0 ] || [ ${#backports[@]} -gt 0 ] || exit 0
if [ "$(id -u)" != 0 ]; then
    echo "install-deps: run as root to install: ${need[*]} ${backports[*]}" >&2
    exit 1
fi

# The Debian mirror this machine already uses for bookworm.
debian_mirror() {
    local found
    found=$(
        awk 'BEGIN { RS = "" }
             /(^|\n)Suites:[^\n]*[ \t]bookworm([ \t\n]|$)/ && match($0, /URIs:[ \t]*[^ \t\n]+/) {
                 split(substr($0, RSTART, RLENGTH), field, /[ \t]+/); print field[2] }' \
            /etc/apt/sources.list.d/*.sources 2>/dev/null
        awk '$1 == "deb" { for (i = 2; i < NF; i++) if ($(i + 1) == "bookworm") print $i }' \
            /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null
        echo http://deb.debian.org/debian
    )
    echo "${found%%$'\n'*}"
}

if [[ " ${need[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: adding the i386 architecture for wine32"
    dpkg --add-architecture i386
fi
if [ ${#backports[@]} -gt 0 ] &&
    ! grep -qsE '^[^#]*bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
        /etc/apt/sources.list.d/*.sources; then
    mirror=$(debian_mirror)
    echo "install-deps: adding bookworm-backports from $mirror for qemu-user"
    {
        printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\n' "$mirror"
        keyring=/usr/share/keyrings/debian-archive-keyring.gpg
        [ ! -f $keyring ] || echo "Signed-By: $keyring"
    } >/etc/apt/sources.list.d/bookworm-backports.sources
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
if [ ${#need[@]} -gt 0 ]; then
    echo "install-deps: installing ${need[*]}"
    apt-get install -y -q --no-install-recommends "${need[@]}"
fi
if [ ${#backports[@]} -gt 0 ]; then
    # Never qemu-user-binfmt: it would hand every foreign program on the
    # machine to qemu.  The tests register qemu-i386 in a namespace of theirs.
    echo "install-deps: installing ${backports[*]} from bookworm-backports"
    apt-get install -y -q --no-install-recommends -t bookworm-backports "${backports[@]}"
fi
