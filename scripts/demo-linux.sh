#!/usr/bin/env bash
# The demonstration through the Linux program, for a machine that cannot run
# the Windows program under Wine: the shipped template builds a flasher from
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
die() { echo "demo: $*" >&2; exit 1; }
check() {  # WHAT EXPECTED ACTUAL
    [ "$2" == "$3" ] || die "$1: expected $(printf '%q' "$2"), got $(printf '%q' "$3")"
    echo "   ok: $1"
}
for f in "$PROGRAM" "$MKFW" dist/sim/vsg64.so dist/norvexflash.exe dist/norvexflash.ini; do
    [ -e "$f" ] || die "no $f (./build.sh makes it)"
done

echo "== 1. Sample firmware for the shipped catalogue's DVDRW-B200 (dist/norvexflash.ini)"
cp dist/norvexflash.exe dist/norvexflash.ini "$WORK/"
"$MKFW" "$WORK/2B20PRA.BIN" --size 262144 --ident "OPTIDRV DVDRW-B200" --revision 2B20 --layout a

echo "== 2. The builder: model DVDRW-B200, firmware 2B20PRA.BIN"
(cd "$WORK" && "$PROGRAM" --model DVDRW-B200 --firmware 2B20PRA.BIN norvexflash.exe) | sed 's/^/   /'
[ -f "$WORK/2B20.EXE" ] || die "2B20.EXE was not written"
check "built flasher has the template's size" "$(stat -c %s "$WORK/norvexflash.exe")" \
    "$(stat -c %s "$WORK/2B20.EXE")"

echo "== 3. A virtual DVDRW-B200 at revision 2B05"
: >"$WORK/dev-e"
cat >"$WORK/drives.ini" <<INI
[DRIVE0]
Device=$WORK/dev-e
Letter=E
Vendor=OPTIDRV
Product=DVDRW-B200
Revision=2B05
FlashId=DA C8 00 00
Medium=none
BecomingReady=2
INI
revision() { sed -n 's/^Revision=//p' "$WORK/drives.ini" | tr -d '\r'; }
echo "   revision before: $(revision)"

echo "== 4. The flasher: list the drives, then flash (answers Yes to the warning and the prompt)"
export LD_PRELOAD=$PWD/dist/sim/vsg64.so NORVEX_SG_DRIVES=$WORK/drives.ini NORVEX_SG_TRACE=$WORK/trace.txt
"$PROGRAM" --list --device "$WORK/dev-e" "$WORK/2B20.EXE" | sed 's/^/   /'
rc=0
"$PROGRAM" --yes --device "$WORK/dev-e" "$WORK/2B20.EXE" </dev/null >"$WORK/flash.txt" 2>&1 || rc=$?
unset LD_PRELOAD
sed 's/^/   /' "$WORK/flash.txt"
check "exit status" 0 "$rc"
grep -q "^Flash Completed\.$" "$WORK/flash.txt" || die "no \"Flash Completed.\""
echo "   ok: Flash Completed."
check "revision after" 2B20 "$(revision)"
echo "   command trace: $WORK/trace.txt ($(wc -l <"$WORK/trace.txt") command blocks)"
echo "Demonstration complete (the Linux program; the Windows program needs a kernel that runs 32-bit programs)."
