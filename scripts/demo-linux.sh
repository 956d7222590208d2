#!/usr/bin/env bash
# The demonstration through the Linux program (./demo.sh ends with it; it
# needs no Wine): the shipped template builds a flasher from
# the shipped catalogue, and the flasher updates a virtual drive served by the
# x86-64 virtual SCSI generic device. Needs a finished ./build.sh (demo.sh
# runs it first). Prints a transcript; exits non-zero when a step does not
# come out as expected.
set -euo pipefail
cd "$(dirname "$0")/.."
WORK=build/demo-linux
rm -rf "$WORK" && mkdir -p "$WORK"
WORK=$(realpath "$WORK")
PROGRAM=$PWD/dist/linux/norvexflash
MKFW=$PWD/dist/tools/mkfirmware
. scripts/lib/checks.sh
. scripts/lib/trace.sh
for f in "$PROGRAM" "$MKFW" dist/sim/vsg64.so dist/norvexflash.exe dist/norvexflash.ini; do
    [ -e "$f" ] || die "no $f (./build.sh makes it)"
done

echo "== 1. Sample firmware for the shipped catalogue's DVDRW-B200 (dist/norvexflash.ini)"
cp dist/norvexflash.exe dist/norvexflash.ini "$WORK/"
"$MKFW" "$WORK/2B20PRA.BIN" --size 262144 --ident "OPTIDRV DVDRW-B200" --revision 2B20 --layout a

echo "== 2. The builder: model DVDRW-B200, firmware 2B20PRA.BIN"
(cd "$WORK" && "$PROGRAM" --model DVDRW-B200 --firmware 2B20PRA.BIN norvexflash.exe) | sed 's/^/   /'
[ -f "$WORK/2B20.EXE" ] || die "2B20.EXE was not written"
require_eq "built flasher has the template's size and the 52-byte trailer" \
    "$(($(stat -c %s "$WORK/norvexflash.exe") + 52))" "$(stat -c %s "$WORK/2B20.EXE")"

echo "== 3. A virtual DVDRW-B200 at revision 2B05"
: >"$WORK/dev-e"
write_drive_file "$WORK/drives.ini" "Device=$WORK/dev-e" Letter=E Vendor=OPTIDRV Product=DVDRW-B200 \
    Revision=2B05 "FlashId=DA C8 00 00" Medium=none BecomingReady=2
revision() { revision_in "$WORK/drives.ini"; }
echo "   revision before: $(revision)"

echo "== 4. The flasher: list the drives, then flash (answers Yes to the warning and the prompt)"
export LD_PRELOAD=$PWD/dist/sim/vsg64.so NORVEX_SG_DRIVES=$WORK/drives.ini NORVEX_SG_TRACE=$WORK/trace.txt
"$PROGRAM" --list --device "$WORK/dev-e" "$WORK/2B20.EXE" | sed 's/^/   /'
rc=0
"$PROGRAM" --yes --device "$WORK/dev-e" "$WORK/2B20.EXE" </dev/null >"$WORK/flash.txt" 2>&1 || rc=$?
unset LD_PRELOAD
sed 's/^/   /' "$WORK/flash.txt"
require_eq "exit status" 0 "$rc"
grep -q "^Flash Completed\.$" "$WORK/flash.txt" || die "no \"Flash Completed.\""
echo "   ok: Flash Completed."
require_eq "revision after" 2B20 "$(revision)"
require_eq "one commit was sent" 1 "$(count_commits "$WORK/trace.txt")"
echo "   command trace: $WORK/trace.txt ($(wc -l <"$WORK/trace.txt") command blocks)"
echo "Demonstration complete (the Linux program)."
