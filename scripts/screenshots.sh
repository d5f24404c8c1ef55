#!/usr/bin/env bash
# Renders the split dialog, the join dialog of a real set and a message box
# under Wine to docs/screenshots/*.png, in an Xvfb and a Wine prefix of its
# own.  Builds first.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${QCLEAVER_SCREEN:-}" ]; then
    bash scripts/build.sh all
    QCLEAVER_SCREEN=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

# The build that Wine can run here, and its loader.
. build/wine.env
wine=$wine_loader
build=$(cd "$wine_build" && pwd)
out=$PWD/docs/screenshots
hold=3000  # ms the driver keeps each picture on the screen

work=$(mktemp -d /tmp/qcleaver-shots-XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$WINEPREFIX" "$out"
wineserver -p
WINEDLLOVERRIDES="mscoree,mshtml=" $wine wineboot -i >/dev/null 2>&1
# Debian's Wine does not look in /usr/share/wine/fonts: without this copy
# "MS Sans Serif" falls back to DejaVu Sans and the caption buttons, drawn
# in Marlett, come out as letters.
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
# Unmanaged windows: Wine draws their frames itself, which an Xvfb without
# a window manager needs, and closes them without waiting for one.
$wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

# Folders on C:, so that the pictures show short, reproducible paths.
c=$WINEPREFIX/drive_c
mkdir -p "$c/QCleaver" "$c/Data" "$c/Download"
winpath() { echo "C:${1#"$c"}" | tr / '\\'; }

# drive LOG PROGRAM STEP...: the driver, in the background, in PROGRAM's folder.
drive() {
    local log=$1 program=$2
    shift 2
    : >"$log"
    $wine "$build/dialog_driver.exe" "$(winpath "$program")" "$(winpath "$(dirname "$program")")" \
        "$@" >"$log" 2>&1 &
    driver=$!
}

# wait_for LOG PATTERN: until the driver has logged a line matching PATTERN
# (its lines end in CR LF).
wait_for() {
    for _ in $(seq 300); do
        tr -d '\r' <"$1" | grep -q -- "$2" && return 0
        kill -0 "$driver" 2>/dev/null || break
        sleep 0.1
    done
    echo "screenshots: the driver never got to \"$2\":" >&2
    cat "$1" >&2
    exit 1
}

# shoot TITLE FILE: the visible top-level window whose title matches the
# pattern TITLE (an awk pattern), frame included.
shoot() {
    local id geometry=""
    for _ in $(seq 50); do
        for id in $(xwininfo -root -tree | awk -v t="^ *0x[0-9a-f]+ \"$1\":" '$0 ~ t { print $1 }'); do
            geometry=$(xwininfo -id "$id" | awk '
                /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
                /Width:/ { w = $NF } /Height:/ { h = $NF }
                /Map State: IsViewable/ { seen = 1 }
                END { if (seen) printf "%dx%d+%d+%d", w, h, x, y }')
            [ -n "$geometry" ] && break 2
        done
        sleep 0.1
    done
    [ -n "$geometry" ] || { echo "screenshots: no window \"$1\"" >&2; exit 1; }
    sleep 0.5  # lets it finish painting
    import -window root -crop "$geometry" +repage -strip "$2"
    echo "screenshots: $2 ($geometry)"
}

finish() {  # the driver must have done every step
    wait "$driver" || { echo "screenshots: the driver failed:" >&2; cat "$1" >&2; exit 1; }
}

cp "$build/cleaver.exe" "$c/QCleaver/cleaver.exe"
head -c 4567890 /dev/zero >"$c/Data/Report.PDF"

drive "$work/split.log" "$c/QCleaver/cleaver.exe" split click:1000 \
    'open:C:\Data\Report.PDF' "sleep:$hold" \
    click:1017 type:1018:9 click:1 "sleep:$hold" \
    "warning:Cleaver:Size must be between 10 KB and 4 GB" \
    click:1003 type:1023:2 click:1 "sleep:$hold" "info:Cleaver:Report_00.exe: *" ends
wait_for "$work/split.log" " open:"
shoot QCleaver "$out/split-dialog.png"
wait_for "$work/split.log" " click:1$"
shoot Cleaver "$out/message-box.png"
wait_for "$work/split.log" " type:1023:2$"
shoot Cleaver "$out/result-box.png"
finish "$work/split.log"

# At work on a large file: the caption shows the percentage, the rate and the time left.
truncate -s 3G "$c/Data/Video.ISO"
drive "$work/work.log" "$c/QCleaver/cleaver.exe" split click:1000 \
    'open:C:\Data\Video.ISO' click:1017 type:1018:65536 click:1 working:10 \
    "sleep:$hold" click:2 caption:QCleaver close
wait_for "$work/work.log" " working:"
shoot "[0-9]+% .* left" "$out/split-at-work.png"
finish "$work/work.log"
rm -f "$c/Data/Video.ISO"

# Two recovery parts, and a slice lost on the way: the join says it will rebuild it.
cp "$c"/Data/Report_* "$c/Download/"
rm "$c/Download/Report_02.QCB"
drive "$work/join.log" "$c/Download/Report_00.exe" join "sleep:$hold" close
wait_for "$work/join.log" " join$"
shoot QCleaver "$out/join-dialog.png"
finish "$work/join.log"

# A different file of the name it rebuilds: the join asks first.
echo "an edited copy" >"$c/Download/Report.PDF"
drive "$work/ask.log" "$c/Download/Report_00.exe" join click:1 "sleep:$hold" \
    "no:UnCleaver:Report.PDF already exists. Replace it?" close
wait_for "$work/ask.log" " click:1$"
shoot UnCleaver "$out/replace-question.png"
finish "$work/ask.log"

# The same dialog on a screen of 192 dpi: drawn at the screen's resolution,
# not stretched.
$wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
wineserver -k; wineserver -w; wineserver -p
drive "$work/dpi.log" "$c/QCleaver/cleaver.exe" split click:1000 \
    'open:C:\Data\Report.PDF' "sleep:$hold" close
wait_for "$work/dpi.log" " open:"
shoot QCleaver "$out/split-dialog-192dpi.png"
finish "$work/dpi.log"
