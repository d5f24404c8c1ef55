#!/usr/bin/env bash
# Prints how the Wine tests can run the 32-bit Windows program on this
# machine, best first:
#   native  the kernel starts 32-bit x86 programs, so 32-bit Wine runs as is;
#   qemu    it does not, but a user namespace of our own can hand them to
#           qemu-i386 (Linux 6.7 and later give each one its own binfmt_misc);
#   twin    neither: the tests run build/windows64, the 64-bit twin.
# QCLEAVER_WINE_ROUTE=native|qemu|twin forces a route; one that this machine
# cannot take is an error.
set -uo pipefail
cd "$(dirname "$0")"

can_native() { bash i386-runs.sh; }
can_qemu() {
    unshare --user --map-root-user --mount \
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc >/dev/null 2>&1
}

case ${QCLEAVER_WINE_ROUTE:-} in
"")
    if can_native; then echo native
    elif can_qemu; then echo qemu
    else echo twin
    fi ;;
native)
    can_native || { echo "wine-route: this kernel cannot start 32-bit x86 programs" >&2; exit 1; }
    echo native ;;
qemu)
    can_qemu || { echo "wine-route: no user namespace with its own binfmt_misc here (Linux 6.7+)" >&2; exit 1; }
    echo qemu ;;
twin)
    echo twin ;;
*)
    echo "wine-route: QCLEAVER_WINE_ROUTE is native, qemu or twin, not \"$QCLEAVER_WINE_ROUTE\"" >&2
    exit 1 ;;
esac
