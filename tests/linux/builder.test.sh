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
"$MKFW" "$dir/work/1A52.BIN" --size 65536 --ident "$CASE_IDENT" --revision 1A52 --layout plain >/dev/null
"$MKFW" "$dir/work/1A63.BIN" --size 70000 --ident "$CASE_IDENT" --revision 1A63 --layout plain >/dev/null
"$MKFW" "$dir/work/2B30.ROM" --size 40000 --ident "OPTIDRV DVDRW-B200      " --revision 2B30 --layout plain >/dev/null
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
build --model CDRW-A100 --firmware 1A52.BIN ../tools/norvexflash.exe </dev/null
expect_eq "exit status 0" 0 "$RC"
expect_in "the program's own status" "Build 1A52.EXE complete!" "$OUT"
"$NFPACK" "$TEMPLATE" "$dir/work/1A52.BIN" "$dir/1A52.nfpack" --model CDRW-A100 \
    --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV --note "" >/dev/null
if cmp "$dir/1A52.nfpack" "$dir/work/1A52.EXE"; then log "ok: byte for byte the Windows builder's flasher"; else
    fail "1A52.EXE differs from the Windows builder's"; fi

echo "chosen by typing: the second model, then its only file"
build ../tools/norvexflash.exe <<<$'2\n1'
expect_eq "exit status 0" 0 "$RC"
expect_in "the models as the list shows them" $'  1) 1A00-1A99 OPTIDRV CDRW-A100\n  2) 2B00-2B99 OPTIDRV DVDRW-B200\n  3) 3C00-3C99 OPTIDRV DVD-ROM KVA-204' "$OUT"
expect_in "only the files of the model's masks" $'Firmware files:\n  1) 2B30.ROM\nFirmware file' "$OUT"
"$NFPACK" "$TEMPLATE" "$dir/work/2B30.ROM" "$dir/2B30.nfpack" --model DVDRW-B200 \
    --inquiry "OPTIDRV DVDRW-B200" --range 2B00-2B99 --vendor OPTIDRV --note "" >/dev/null
if cmp "$dir/2B30.nfpack" "$dir/work/2B30.EXE"; then log "ok: byte for byte the Windows builder's flasher"; else
    fail "2B30.EXE differs from the Windows builder's"; fi

echo "refusals: nothing written"
rm -f "$dir/work/1A63.EXE"
build --model NO-SUCH --firmware 1A63.BIN ../tools/norvexflash.exe </dev/null
expect_eq "unknown model: exit status 1" 1 "$RC"
build --model CDRW-A100 --firmware 2B30.ROM ../tools/norvexflash.exe </dev/null
expect_eq "a file outside the model's masks: exit status 1" 1 "$RC"
build ../tools/norvexflash.exe <<<'q'
expect_eq "quit at the model: exit status 1" 1 "$RC"
expect_eq "nothing written" "" "$(ls "$dir/work" | grep '^1A63.EXE$' || true)"
mkdir -p "$dir/bare"
cp "$TEMPLATE" "$dir/bare/norvexflash.exe"
build ../bare/norvexflash.exe </dev/null
expect_eq "no catalogue: exit status 1" 1 "$RC"
expect_in "no catalogue: the program's own box" "[Message] Can't load ../bare/norvexflash.INI" "$OUT"
build --yes ../tools/norvexflash.exe </dev/null
expect_eq "--yes is for flashers: exit status 1" 1 "$RC"

echo "a firmware name with fewer than four characters before its extension builds nothing"
cp "$dir/work/1A52.BIN" "$dir/work/1A.BIN"
build --model CDRW-A100 --firmware 1A.BIN ../tools/norvexflash.exe </dev/null
expect_eq "short name: the build failed, exit status 2" 2 "$RC"
expect_in "short name: the box names the revision it would carry" \
    "[Message] Building fail: 1A.BIN has fewer than four characters before its extension, so its flasher's revision would be \"1A.B\"!" "$OUT"
expect_eq "short name: no file" "" "$(ls "$dir/work" | grep '^1A\.B\.EXE$' || true)"
rm -f "$dir/work/1A.BIN"

echo "a catalogue's missing key and a gap in its numbering, each on a line of its own"
mkdir -p "$dir/keys" "$dir/gap"
cp "$TEMPLATE" "$dir/keys/norvexflash.exe"
cp "$TEMPLATE" "$dir/gap/norvexflash.exe"
printf '[MODEL00]\nModel=A\nInquiry=I\nFW-Range=1A00-1A99\nVendor=V\nNote=\n' >"$dir/keys/norvexflash.ini"
build ../keys/norvexflash.exe </dev/null
expect_eq "missing key: exit status 1" 1 "$RC"
expect_in "missing key: the box, then the key" "/keys/norvexflash.INI > Session MODEL00 error!
norvexflash: MODEL00 has no BINMask key (or its value is FAIL, which counts as none): every model needs all six keys." "$OUT"
printf '[MODEL00]\nModel=A\nInquiry=I\nFW-Range=1A00-1A99\nBINMask=*.BIN\nVendor=V\nNote=\n[MODEL02]\nModel=B\nInquiry=J\nFW-Range=2B00-2B99\nBINMask=*.BIN\nVendor=V\nNote=\n' >"$dir/gap/norvexflash.ini"
build --model B ../gap/norvexflash.exe </dev/null
expect_eq "gap: the model after it is not offered, exit status 1" 1 "$RC"
expect_in "gap: named" "norvexflash: MODEL01 has no Model key (or its value is FAIL, which counts as none), so the catalogue ends before it and MODEL02 is never read: number the sections from MODEL00 without a gap." "$OUT"

echo "a build that runs out of room leaves the earlier flasher as it was"
# A file size limit of 500 KiB with SIGXFSZ ignored makes the shipped
# program's own write fail part-way (EFBIG), as a full disk does.
build_short_of_room() {
    local o
    o=$(mktemp)
    RC=0
    (cd "$dir/work" && trap '' XFSZ && ulimit -f 500 &&
        exec "$PROGRAM" --model CDRW-A100 --firmware 1A63.BIN ../tools/norvexflash.exe) \
        </dev/null >"$o" 2>&1 || RC=$?
    OUT=$(cat "$o")
    rm -f "$o"
}
others() { (cd "$dir/work" && ls | grep -v -E '^(1A52|1A63|2B30)\.(BIN|ROM|EXE)$|^OTHER\.TXT$' || true); }
rm -f "$dir/work/1A63.EXE"
build_short_of_room
expect_eq "out of room: exit status 2" 2 "$RC"
expect_in "out of room: the program's box" "Building fail: write error in 1A63.EXE" "$OUT"
expect_eq "out of room: no 1A63.EXE" "" "$(ls "$dir/work" | grep '^1A63.EXE$' || true)"
expect_eq "out of room: no file of the build's stays" "" "$(others)"
cp "$dir/work/1A52.EXE" "$dir/work/1A63.EXE"  # an earlier flasher of that name
build_short_of_room
expect_eq "out of room over an earlier flasher: exit status 2" 2 "$RC"
if cmp -s "$dir/work/1A52.EXE" "$dir/work/1A63.EXE"; then log "ok: the earlier 1A63.EXE is as it was"; else
    fail "a build that failed changed the earlier 1A63.EXE"; fi
expect_eq "no file of the build's stays" "" "$(others)"
rm -f "$dir/work/1A63.EXE"

echo "the written flasher flashes a virtual drive natively"
write_drive "$dir/drive.ini" "$dir/dev-e"
run "$dir/drive.ini" "$dir/drive.trace" --yes --device "$dir/dev-e" "$dir/work/1A52.EXE"
expect_eq "flash: exit status 0" 0 "$RC"
expect_eq "flash: revision written back" 1A52 "$(revision_in "$dir/drive.ini")"
finish
