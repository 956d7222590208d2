#!/usr/bin/env bash
# The main job, end to end, as a person would do it: build a flasher from the
# shipped template, then flash a virtual drive with it under Wine in 9x mode
# through the virtual ASPI layer, and once more in Wine's default (NT) mode
# through Wine's SCSI pass-through and the virtual SCSI generic device.
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
. scripts/lib/stage.sh
if kernel_refuses_i386; then
    # No package can give this kernel 32-bit programs: show the same logic
    # through the Linux program instead of failing.
    echo "demo: this machine's kernel cannot run 32-bit programs, so Wine cannot start the Windows"
    echo "      program here; the same flash is shown through the Linux program instead."
    exec bash scripts/demo-linux.sh
fi
why=$(wine_problem) || { echo "demo: cannot run the program under Wine: $why" >&2; exit 1; }
why=$(display_problem) || { echo "demo: cannot show the program's window: $why" >&2; exit 1; }

export NORVEX_E2E_OUT=$PWD/build/demo
. tests/e2e/lib.sh
DEMO=$E2E_OUT
rm -rf "$DEMO" && mkdir -p "$DEMO/work"
WORK=$DEMO/work
e2e_setup
MKFW=$PWD/dist/tools/mkfirmware
[ -x "$MKFW" ] || die "no $MKFW"

step() { echo "== $*"; }
shot() {  # NAME
    sleep 0.5  # let the window finish painting
    import -window root "$DEMO/$1.png"
    echo "   screenshot: build/demo/$1.png"
}
check() {  # WHAT EXPECTED ACTUAL
    [ "$2" == "$3" ] || die "$1: expected $(printf '%q' "$2"), got $(printf '%q' "$3")"
    echo "   ok: $1"
}

step "1. Sample firmware for the shipped catalogue's models (dist/norvexflash.ini)"
cp dist/norvexflash.exe dist/norvexflash.ini "$WORK/"
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
check "file list shows the model's firmware" "2B20PRA.BIN" "$files"
clicker file-click 0 || die "could not click the firmware file"
clicker press-button || die "could not press Build"
capture status clicker --raw wait-status "complete!" 60 || die "the build did not complete (status: $(clicker --raw status))"
check "status line" "Build 2B20.EXE complete!" "$status"
shot 1-builder
clicker close >/dev/null || true
wait_program 30 || stop_program
[ -f "$WORK/2B20.EXE" ] || die "2B20.EXE was not written"
check "built flasher has the template's size" "$(stat -c %s "$WORK/norvexflash.exe")" "$(stat -c %s "$WORK/2B20.EXE")"

step "3. Two virtual drives: a DVDRW-B200 at revision 2B05, and a CDRW-A100 (another model)"
cp dist/sim/WNASPI32.DLL "$WORK/WNASPI32.DLL"
cat >"$WORK/drives.ini" <<'INI'
[DRIVE0]
HostAdapter=0
Target=0
Vendor=OPTIDRV
Product=CDRW-A100
Revision=1A10
Medium=none

[DRIVE1]
HostAdapter=1
Target=0
Vendor=OPTIDRV
Product=DVDRW-B200
Revision=2B05
FlashId=DA C8 00 00
Medium=none
BecomingReady=3
CommandDelayMs=100
; The commit (the 19th WRITE BUFFER of this image) takes 4 s, as programming a
; flash chip does, so the screenshot can show the status line during it.
TimeoutOpcode=3B
TimeoutNth=19
TimeoutCompleteAfterMs=4000
INI
revision() { sed -n '/^\[DRIVE1\]/,/^\[/p' "$WORK/drives.ini" | sed -n 's/^Revision=//p'; }
before=$(revision)
echo "   DVDRW-B200 at 1:0 reports revision $before"
set_win98 2B20.EXE
export NORVEX_SIM_DRIVES="$(winepath -w "$WORK/drives.ini")"
export NORVEX_SIM_TRACE="$(winepath -w "$WORK/trace.txt")"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wnaspi32=n,b"

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
check "drive list" "1-0-0  : OPTIDRV DVDRW-B200      2B05" "$items"
shot 3-drive-list

step "6. Press \"FLASH\", answer Yes, wait for \"Flash Completed.\""
: >"$WORK/trace.txt"
clicker press-button >/dev/null
capture prompt clicker --raw wait-box "Update FW" 30 || die "no update prompt"
check "prompt" $'\nUpdate FW:2B05 to FW:2B20 ?\n' "$prompt"
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
    [ "$final" == "Flash Completed." ] || [ "$final" == "Flash Fail." ] && break
    case "$final" in *Fail*) break ;; esac
    sleep 0.2
done
ended=$(date +%s.%N)
check "status line" "Flash Completed." "$final"
shot 5-completed
capture items clicker --raw combo-items
check "drive list shows the new revision" "1-0-0  : OPTIDRV DVDRW-B200      2B20" "$items"
clicker close >/dev/null || true
wait_program 30 || stop_program
after=$(revision)
check "the drive now reports" 2B20 "$after"

step "6b. A read-back that differs: the flash stops before the commit, its failure in full view"
cat >"$WORK/drives-fail.ini" <<'INI'
[DRIVE0]
HostAdapter=1
Target=0
Vendor=OPTIDRV
Product=DVDRW-B200
Revision=2B05
FlashId=DA C8 00 00
Medium=none
FlipReadBufferNth=5
FlipReadBufferByte=100
INI
drives_ini=$NORVEX_SIM_DRIVES trace_txt=$NORVEX_SIM_TRACE
export NORVEX_SIM_DRIVES="$(winepath -w "$WORK/drives-fail.ini")"
export NORVEX_SIM_TRACE="$(winepath -w "$WORK/trace-fail.txt")"
start_program "$WORK/2B20.EXE"
export NORVEX_SIM_DRIVES=$drives_ini NORVEX_SIM_TRACE=$trace_txt
clicker wait-box "WARNING:" 30 >/dev/null || die "no warning box"
clicker press-box Yes >/dev/null
clicker wait-window "DVDRW-B200" 60 >/dev/null || die "no drive list"
clicker press-button >/dev/null
clicker wait-box "Update FW:2B05 to FW:2B20" 30 >/dev/null || die "no update prompt"
clicker press-box Yes >/dev/null
clicker wait-box "Compare BIN and DRAM fail!" 120 >/dev/null || die "no compare failure"
clicker press-box OK >/dev/null
capture failed clicker --raw status
check "status line" "Read back and Verify drive's DRAM... , Compare BIN and DRAM Fail! " "$failed"
shot 6-compare-failed
clicker close >/dev/null || true
wait_program 30 || stop_program
check "no commit was sent" 0 "$(grep -c ' 3B 05 01 00 00 00 00 00 00 80 ' "$WORK/trace-fail.txt" || true)"

step "7. The NT road: the same flasher in Wine's default mode; drive E: is a virtual drive behind"
echo "   Wine's own SCSI pass-through (SG_IO answered by dist/sim/vsg.so)"
bash scripts/wine-virtual-cdrom.sh "$WINEPREFIX" E "$WORK/sr-e" | sed 's/^/   /'
cat >"$WORK/sg-drives.ini" <<INI
[DRIVE0]
Device=$WORK/sr-e
Letter=E
Vendor=OPTIDRV
Product=DVDRW-B200
Revision=2B05
FlashId=DA C8 00 00
Medium=none
BecomingReady=3
INI
cp "$WORK/2B20.EXE" "$WORK/2B20NT.EXE"  # another name: the 9x setting of 2B20.EXE does not apply
# $LIB: the loader picks dist/sim/lib/<its own architecture>/vsg.so, so the
# 32-bit Wine process and its 64-bit helpers each load the device silently.
VSG="$PWD/dist/sim/\$LIB/vsg.so"
(cd "$WORK" && LD_PRELOAD=$VSG NORVEX_SG_DRIVES="$WORK/sg-drives.ini" \
    NORVEX_SG_TRACE="$WORK/sg-trace.txt" exec wine 2B20NT.EXE) >"$DEMO/program-nt.log" 2>&1 &
E2E_PROGRAM_PID=$!
clicker wait-box "WARNING:" 30 >/dev/null || die "no warning box (NT road)"
clicker press-box Yes >/dev/null
clicker wait-window "DVDRW-B200" 60 >/dev/null || die "no drive list (NT road)"
capture items clicker --raw combo-items
check "drive list (NT road)" "0-0-0 E: OPTIDRV DVDRW-B200      2B05" "$items"
: >"$WORK/sg-trace.txt"
clicker press-button >/dev/null
clicker wait-box "Update FW:2B05 to FW:2B20" 30 >/dev/null || die "no update prompt (NT road)"
clicker press-box Yes >/dev/null
capture final clicker --raw wait-status "Flash Completed." 120 || die "no \"Flash Completed.\" (NT road)"
check "status line (NT road)" "Flash Completed." "$final"
capture items clicker --raw combo-items
check "drive list shows the new revision (NT road)" "0-0-0 E: OPTIDRV DVDRW-B200      2B20" "$items"
clicker close >/dev/null || true
wait_program 30 || stop_program
check "the drive now reports (NT road)" 2B20 "$(sed -n 's/^Revision=//p' "$WORK/sg-drives.ini")"
check "command blocks of the NT road equal the 9x road's" "$(cut -d' ' -f2- "$WORK/trace.txt")" \
    "$(cut -d' ' -f2- "$WORK/sg-trace.txt")"

step "Transcript"
blocks=$(wc -l <"$WORK/trace.txt")
printf '   model DVDRW-B200 at 1:0, revision %s -> %s\n' "$before" "$after"
printf '   command blocks sent by the flash: %s (the same on the NT road)\n' "$blocks"
awk '{ op = $2
       if (op == "1B") name = ($6 == "03") ? "START STOP UNIT (load)" : "START STOP UNIT (stop)"
       else if (op == "00") name = "TEST UNIT READY"
       else if (op == "4E") name = "STOP PLAY/SCAN"
       else if (op == "25") name = "READ CAPACITY"
       else if (op == "DF") name = "read flash ID"
       else if (op == "3B" && $11 == "7F" && $14 == "out") name = "write profile"
       else if (op == "3B" && $11 == "7F") name = "entry critical"
       else if (op == "3B" && ($11 == "80" || $11 == "A0")) name = "commit (program flash)"
       else if (op == "3B") name = "WRITE BUFFER (image)"
       else if (op == "3C" && $5 == "08") name = "read profile back"
       else if (op == "3C") name = "READ BUFFER (verify)"
       else if (op == "12") name = "INQUIRY (new revision)"
       else name = "operation " op
       if (name != last) { if (last != "") printf "     %-26s x%d\n", last, n; last = name; n = 0 }
       n++ }
     END { if (last != "") printf "     %-26s x%d\n", last, n }' "$WORK/trace.txt"
printf '   time from "Yes" to "Flash Completed.": %.1f s (the virtual drive takes 100 ms per data transfer and 4 s to commit)\n' \
    "$(awk -v a="$ended" -v b="$started" 'BEGIN { print a - b }')"
if grep -q "ERROR: ld.so" "$DEMO/program-nt.log"; then
    die "the loader complained about the preloaded device: $(grep "ERROR: ld.so" "$DEMO/program-nt.log" | head -1)"
fi
if [ "$refresh" = 1 ]; then
    # The README's pictures; refreshed only when asked, so a run leaves the tree as it was.
    cp "$DEMO"/[1-6]-*.png docs/screenshots/
    echo "Demonstration complete: build/demo/ holds the screenshots (copied to docs/screenshots/)."
else
    echo "Demonstration complete: build/demo/ holds the screenshots (./demo.sh --screenshots also refreshes docs/screenshots/)."
fi
