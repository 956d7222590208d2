#!/usr/bin/env bash
# The main job, end to end, as a person would do it: build a flasher from the
# template, then flash a virtual drive with it under Wine in 9x mode through
# the virtual ASPI layer, and once more in Wine's default (NT) mode through
# Wine's SCSI pass-through and the virtual SCSI generic device; then the same
# through the Linux program. The Windows program is the shipped 32-bit build,
# or, where the kernel cannot run 32-bit programs (or NORVEX_WINE_BUILD=x86-64),
# the same sources built for x86-64 under Wine's 64-bit loader.
# Headless (own Xvfb) unless a display is set. Prints a transcript;
# screenshots go to build/demo/ (with --screenshots also to docs/screenshots/,
# the README's pictures). Exits non-zero with a message when any step does
# not come out as expected.
set -euo pipefail
cd "$(dirname "$0")"
refresh=0
case "${1:-}" in
"") ;;
--screenshots) refresh=1 ;;
*) echo "usage: ./demo.sh [--screenshots]   (--screenshots: also refresh docs/screenshots/)" >&2; exit 2 ;;
esac
bash scripts/deps.sh
mkdir -p build
echo "== Building: ./build.sh (log: build/demo-build.log; about 6 minutes from scratch on 2 cores)"
./build.sh >build/demo-build.log 2>&1 &
build_pid=$!
build_start=$SECONDS
next_note=$((SECONDS + 30))
while kill -0 "$build_pid" 2>/dev/null; do
    sleep 1
    if [ $SECONDS -ge $next_note ]; then
        echo "   still building ($((SECONDS - build_start)) s): $(grep -o '\[ *[0-9]*%\].*' build/demo-build.log | tail -1 | cut -c1-80)"
        next_note=$((SECONDS + 30))
    fi
done
wait "$build_pid" || { tail -30 build/demo-build.log; echo "demo: build failed" >&2; exit 1; }

export NORVEX_E2E_OUT=$PWD/build/demo
. scripts/lib/all.sh
wine_setup_build
why=$(wine_problem) || { echo "demo: cannot run the program under Wine: $why" >&2; exit 1; }
why=$(display_problem) || { echo "demo: cannot show the program's window: $why" >&2; exit 1; }
DEMO=$E2E_OUT
rm -rf "$DEMO" && mkdir -p "$DEMO/work"
WORK=$DEMO/work
build_windows_for_wine
TEMPLATE=dist/norvexflash.exe
if [ "$WINE_BUILD" = x86-64 ]; then
    TEMPLATE=$WIN_BUILD/norvexflash.exe
    echo "demo: the Windows program built for x86-64 (${WIN_BUILD#"$PWD"/}), under Wine's 64-bit loader;"
    echo "      dist/ keeps the shipped 32-bit build"
fi
wine_session demo
MKFW=$PWD/dist/tools/mkfirmware
[ -x "$MKFW" ] || die "no $MKFW"

step() { echo "== $*"; }
shot() {  # NAME
    sleep 0.5  # let the window finish painting
    import -window root "$DEMO/$1.png"
    echo "   screenshot: build/demo/$1.png"
}

step "1. Sample firmware for the shipped catalogue's models (dist/norvexflash.ini)"
cp "$TEMPLATE" "$WORK/norvexflash.exe"
cp dist/norvexflash.ini "$WORK/"
"$MKFW" "$WORK/1A50PLN.BIN" --size 262144 --ident "OPTIDRV CDRW-A100" --revision 1A50 --layout plain
"$MKFW" "$WORK/2B20PRA.BIN" --size 262144 --ident "OPTIDRV DVDRW-B200" --revision 2B20 --layout a
"$MKFW" "$WORK/3C10PRB.BIN" --size 262144 --ident "OPTIDRV DVD-ROM KVA-204" --revision 3C10 --layout b \
    --model "DVD-ROM KVA-204"
ls -l "$WORK" | awk 'NR>1 {printf "   %-16s %8s bytes\n", $9, $5}'

step "2. The builder: choose DVDRW-B200, click its firmware file, press \"Build\""
start_program "$WORK/norvexflash.exe"
clicker wait-window "Flash Utility" 30 >/dev/null || die "the builder window did not come up"
clicker combo-select 1 || die "could not choose the model"
capture files clicker --raw files
require_eq "file list shows the model's firmware" "2B20PRA.BIN" "$files"
clicker file-click 0 || die "could not click the firmware file"
clicker press-button || die "could not press Build"
capture status clicker --raw wait-status "complete!" 60 || die "the build did not complete (status: $(clicker --raw status))"
require_eq "status line" "Build 2B20.EXE complete!" "$status"
shot 1-builder
close_program
[ -f "$WORK/2B20.EXE" ] || die "2B20.EXE was not written"
require_eq "built flasher has the template's size and the 52-byte trailer" \
    "$(($(stat -c %s "$WORK/norvexflash.exe") + 52))" "$(stat -c %s "$WORK/2B20.EXE")"

step "3. Two virtual drives: a DVDRW-B200 at revision 2B05, and a CDRW-A100 (another model)"
B200=(Vendor=OPTIDRV Product=DVDRW-B200 Revision=2B05 "FlashId=DA C8 00 00" Medium=none)
{
    drive_section 0 HostAdapter=0 Target=0 Vendor=OPTIDRV Product=CDRW-A100 Revision=1A10 Medium=none
    echo
    # The commit (the 19th WRITE BUFFER of this image) takes 4 s, as
    # programming a flash chip does, so the screenshot can show the status
    # line during it.
    drive_section 1 HostAdapter=1 Target=0 "${B200[@]}" BecomingReady=3 CommandDelayMs=100 \
        TimeoutOpcode=3B TimeoutNth=19 TimeoutCompleteAfterMs=4000
} >"$WORK/drives.ini"
revision() { sed -n '/^\[DRIVE1\]/,/^\[/p' "$WORK/drives.ini" | sed -n 's/^Revision=//p'; }
before=$(revision)
echo "   DVDRW-B200 at 1:0 reports revision $before"
road_9x "$WORK/2B20.EXE" "$WORK/drives.ini" "$WORK/trace.txt"

step "4. The flasher (9x mode): accept the warning"
start_program "$WORK/2B20.EXE"
capture warning clicker --raw wait-box "WARNING:" 30 || die "no warning box"
case "$warning" in *"OPTIDRV DVDRW-B200 drive with firmware:2B00-2B99"*) echo "   ok: the warning names the model and its range" ;;
    *) die "unexpected warning: $(printf '%q' "$warning")" ;; esac
shot 2-warning
clicker press-box Yes >/dev/null

step "5. The drive list: only the DVDRW-B200"
clicker wait-window "DVDRW-B200" 60 >/dev/null || die "no drive list"
capture items clicker --raw combo-items
require_eq "drive list" "1-0-0  : OPTIDRV DVDRW-B200      2B05" "$items"
shot 3-drive-list

step "6. Press \"FLASH\", answer Yes, wait for \"Flash Completed.\""
: >"$WORK/trace.txt"
clicker press-button >/dev/null
capture prompt clicker --raw wait-box "Update FW" 30 || die "no update prompt"
require_eq "prompt" $'\nUpdate FW:2B05 to FW:2B20 ?\n' "$prompt"
started=$(date +%s.%N)
clicker press-box Yes >/dev/null
# The window still answers while it waits on the drive; the screenshot shows
# the status line during the commit, its longest moment that matters most.
capture commit clicker --raw wait-status "Don't turn off the system" 120 \
    || die "no commit phase seen (status: $(clicker --raw status))"
import -window root "$DEMO/4-flash-in-progress.png"
echo "   screenshot: build/demo/4-flash-in-progress.png"
final=""
for _ in $(seq 1 600); do
    capture final clicker --raw status || true
    case "$final" in "Flash Completed." | *Fail*) break ;; esac
    sleep 0.2
done
ended=$(date +%s.%N)
require_eq "status line" "Flash Completed." "$final"
shot 5-completed
capture items clicker --raw combo-items
require_eq "drive list shows the new revision" "1-0-0  : OPTIDRV DVDRW-B200      2B20" "$items"
close_program
after=$(revision)
require_eq "the drive now reports" 2B20 "$after"
require_eq "one commit was sent" 1 "$(count_commits "$WORK/trace.txt")"

step "6b. A read-back that differs: the flash stops before the commit, its failure in full view"
write_drive_file "$WORK/drives-fail.ini" HostAdapter=1 Target=0 "${B200[@]}" \
    FlipReadBufferNth=5 FlipReadBufferByte=100
road_9x "$WORK/2B20.EXE" "$WORK/drives-fail.ini" "$WORK/trace-fail.txt"
start_program "$WORK/2B20.EXE"
accept_warning DVDRW-B200 >/dev/null
clicker press-button >/dev/null
clicker wait-box "Update FW:2B05 to FW:2B20" 30 >/dev/null || die "no update prompt"
clicker press-box Yes >/dev/null
clicker wait-box "Compare BIN and DRAM fail!" 120 >/dev/null || die "no compare failure"
clicker press-box OK >/dev/null
capture failed clicker --raw status
require_eq "status line" "Read back and Verify drive's DRAM... , Compare BIN and DRAM Fail! " "$failed"
shot 6-compare-failed
close_program
require_eq "no commit was sent" 0 "$(count_commits "$WORK/trace-fail.txt")"

step "7. The NT road: the same flasher in Wine's default mode; drive E: is a virtual drive behind"
echo "   Wine's own SCSI pass-through (SG_IO answered by dist/sim/vsg.so or vsg64.so)"
bash scripts/wine-virtual-cdrom.sh "$WINEPREFIX" E "$WORK/sr-e" | sed 's/^/   /'
write_drive_file "$WORK/sg-drives.ini" "Device=$WORK/sr-e" Letter=E "${B200[@]}" BecomingReady=3
cp "$WORK/2B20.EXE" "$WORK/2B20NT.EXE"  # another name: the 9x setting of 2B20.EXE does not apply
start_program_nt "$WORK/2B20NT.EXE" "$WORK/sg-drives.ini" "$WORK/sg-trace.txt" "$DEMO/program-nt.log"
capture items accept_warning DVDRW-B200
require_eq "drive list (NT road)" "0-0-0 E: OPTIDRV DVDRW-B200      2B05" "$items"
: >"$WORK/sg-trace.txt"
run_flash
require_eq "status line (NT road)" "Flash Completed." "$STATUS"
require_eq "no box during the flash (NT road)" 0 "${#BOXES[@]}"
capture items clicker --raw combo-items
require_eq "drive list shows the new revision (NT road)" "0-0-0 E: OPTIDRV DVDRW-B200      2B20" "$items"
close_program
require_eq "the drive now reports (NT road)" 2B20 "$(revision_in "$WORK/sg-drives.ini")"
require_eq "command blocks of the NT road equal the 9x road's" "$(blocks "$WORK/trace.txt")" \
    "$(blocks "$WORK/sg-trace.txt")"
if grep -q "ERROR: ld.so" "$DEMO/program-nt.log"; then
    die "the loader complained about the preloaded device: $(grep "ERROR: ld.so" "$DEMO/program-nt.log" | head -1)"
fi
[ "$CHECK_FAILURES" -eq 0 ] || die "$CHECK_FAILURES check(s) failed"

step "Transcript ($WINE_BUILD build of the Windows program)"
printf '   model DVDRW-B200 at 1:0, revision %s -> %s\n' "$before" "$after"
printf '   command blocks sent by the flash: %s (the same on the NT road)\n' "$(wc -l <"$WORK/trace.txt")"
dist/tools/nfinfo --decode "$WORK/trace.txt" | sed 's/^/     /'  # in the one SCSI vocabulary
printf '   time from "Yes" to "Flash Completed.": %.1f s (the virtual drive takes 100 ms per data transfer and 4 s to commit)\n' \
    "$(awk -v a="$ended" -v b="$started" 'BEGIN { print a - b }')"

step "8. The same build and flash through the Linux program (scripts/demo-linux.sh)"
bash scripts/demo-linux.sh | sed 's/^/   /'
if [ "$refresh" = 1 ]; then
    # The README's pictures; refreshed only when asked, so a run leaves the tree as it was.
    cp "$DEMO"/[1-6]-*.png docs/screenshots/
    echo "Demonstration complete: build/demo/ holds the screenshots (copied to docs/screenshots/)."
else
    echo "Demonstration complete: build/demo/ holds the screenshots (./demo.sh --screenshots also refreshes docs/screenshots/)."
fi
