#!/usr/bin/env bash
# The builder on Linux: the template with the catalogue beside it under its
# shipped name (norvexflash.ini), firmware files in the working directory;
# the flasher it writes is byte for byte the one the Windows builder's file
# code writes from the same inputs (nfpack), and it flashes a virtual drive.
. "$(dirname "$0")/lib.sh"
dir=$(workdir builder)
mkdir -p "$dir/tools" "$dir/work"
cp "$TEMPLATE" "$dir/tools/norvexflash.exe"
cp "$LX_REPO/samples/norvexflash.ini" "$dir/tools/norvexflash.ini"
"$MKFW" "$dir/work/A1B2.BIN" --size 65536 --ident "$CASE_IDENT" --revision A1B2 --layout plain >/dev/null
"$MKFW" "$dir/work/A1C3.BIN" --size 70000 --ident "$CASE_IDENT" --revision A1C3 --layout plain >/dev/null
"$MKFW" "$dir/work/B2C0.HEX" --size 40000 --ident "OPTIDRV DVDRW-B200      " --revision B2C0 --layout plain >/dev/null
: >"$dir/work/OTHER.TXT"

build() {  # ARGS... (in the working directory; stdin as given)
    local o e
    o=$(mktemp) e=$(mktemp)
    RC=0
    (cd "$dir/work" && "$PROGRAM" "$@") >"$o" 2>"$e" || RC=$?
    OUT=$(cat "$o") ERR=$(cat "$e")
    rm -f "$o" "$e"
}

echo "model and firmware named on the command line"
build --model CDRW-A100 --firmware A1B2.BIN ../tools/norvexflash.exe </dev/null
expect_eq "exit status 0" 0 "$RC"
expect_in "the program's own status" "Build A1B2.EXE complete!" "$OUT"
"$NFPACK" "$TEMPLATE" "$dir/work/A1B2.BIN" "$dir/A1B2.nfpack" --model CDRW-A100 \
    --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV --note "" >/dev/null
if cmp "$dir/A1B2.nfpack" "$dir/work/A1B2.EXE"; then log "ok: byte for byte the Windows builder's flasher"; else
    fail "A1B2.EXE differs from the Windows builder's"; fi

echo "chosen by typing: the second model, then its only file"
build ../tools/norvexflash.exe <<<$'2\n1'
expect_eq "exit status 0" 0 "$RC"
expect_in "the models as the list shows them" $'  1) 1A00-1A99 OPTIDRV CDRW-A100\n  2) 2B00-2B40 OPTIDRV DVDRW-B200' "$OUT"
expect_in "only the files of the model's masks" $'Firmware files:\n  1) B2C0.HEX\nFirmware file' "$OUT"
"$NFPACK" "$TEMPLATE" "$dir/work/B2C0.HEX" "$dir/B2C0.nfpack" --model DVDRW-B200 \
    --inquiry "OPTIDRV DVDRW-B200" --range 2B00-2B40 --vendor OPTIDRV --note FLASH-ALL >/dev/null
if cmp "$dir/B2C0.nfpack" "$dir/work/B2C0.EXE"; then log "ok: byte for byte the Windows builder's flasher"; else
    fail "B2C0.EXE differs from the Windows builder's"; fi

echo "refusals: nothing written"
rm -f "$dir/work/A1C3.EXE"
build --model NO-SUCH --firmware A1C3.BIN ../tools/norvexflash.exe </dev/null
expect_eq "unknown model: exit status 1" 1 "$RC"
build --model CDRW-A100 --firmware B2C0.HEX ../tools/norvexflash.exe </dev/null
expect_eq "a file outside the model's masks: exit status 1" 1 "$RC"
build ../tools/norvexflash.exe <<<'q'
expect_eq "quit at the model: exit status 1" 1 "$RC"
expect_eq "nothing written" "" "$(ls "$dir/work" | grep '^A1C3.EXE$' || true)"
mkdir -p "$dir/bare"
cp "$TEMPLATE" "$dir/bare/norvexflash.exe"
build ../bare/norvexflash.exe </dev/null
expect_eq "no catalogue: exit status 1" 1 "$RC"
expect_in "no catalogue: the program's own box" "[Message] Can't load ../bare/norvexflash.INI" "$OUT"
build --yes ../tools/norvexflash.exe </dev/null
expect_eq "--yes is for flashers: exit status 1" 1 "$RC"

echo "the written flasher flashes a virtual drive natively"
write_drive "$dir/drive.ini" "$dir/dev-e"
run "$dir/drive.ini" "$dir/drive.trace" --yes --device "$dir/dev-e" "$dir/work/A1B2.EXE"
expect_eq "flash: exit status 0" 0 "$RC"
expect_eq "flash: revision written back" A1B2 "$(revision_in "$dir/drive.ini")"
finish
