#!/usr/bin/env bash
# Exits 0 when this machine's kernel can start 32-bit x86 programs (and so
# Wine can run the 32-bit Windows build), 1 when it cannot.  It runs a
# 93-byte i386 program that only calls exit(0).
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'    >"$probe"  # ident
printf '\002\000\003\000\001\000\000\000\124\200\004\010'             >>"$probe" # exec, i386, entry
printf '\064\000\000\000\000\000\000\000\000\000\000\000'             >>"$probe" # phoff
printf '\064\000\040\000\001\000\000\000\000\000\000\000'             >>"$probe" # sizes, 1 phdr
printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$probe" # PT_LOAD
printf '\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000' >>"$probe"
printf '\270\001\000\000\000\061\333\315\200'                       >>"$probe" # exit(0)
chmod +x "$probe"
"$probe" 2>/dev/null
