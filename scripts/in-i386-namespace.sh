#!/usr/bin/env bash
# in-i386-namespace.sh COMMAND [ARG...]
# Runs COMMAND, and everything it starts, where 32-bit x86 programs start
# through qemu-i386: in a user and mount namespace of its own, whose
# binfmt_misc (each user namespace has its own from Linux 6.7) hands i386 ELF
# files to qemu.  Nothing changes outside the namespace.
set -euo pipefail
qemu=/usr/bin/qemu-i386

if [ "${1:-}" != --inside ]; then
    [ -x "$qemu" ] || { echo "in-i386-namespace: no $qemu (scripts/install-deps.sh test)" >&2; exit 1; }
    exec unshare --user --map-root-user --mount bash "$0" --inside "$@"
fi
shift
mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
# An i386 ELF executable or shared object, as qemu's own binfmt set-up
# describes it.  F: the kernel opens qemu now, not at each start.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":qemu-i386:M::$magic:$mask:$qemu:F" >/proc/sys/fs/binfmt_misc/register
exec "$@"
