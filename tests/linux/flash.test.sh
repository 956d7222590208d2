#!/usr/bin/env bash
# The Linux program end to end against virtual drives at the SG_IO boundary:
# the drive listing; a layout-A, a layout-B and an odd-size flash whose
# command blocks equal those of the same flash on the ASPI road
# (tests/linux/expected, which tests/linux/test_aspi_road_traces.cpp holds
# to the ASPI road of the same logic and virtual drive), the revision written
# back; a commit that times out as the kernel reports it (SG_IO returns 0,
# host status DID_TIME_OUT) and one whose transport fails; a failure before
# the commit; a declined prompt; a device the user may not open.
. "$(dirname "$0")/lib.sh"
dir=$(workdir flash)

# ---- --list --------------------------------------------------------------------------
echo "--list: an accepted drive, another model, a path that does not exist"
make_flasher 1A50A "$dir"
write_drive "$dir/list.ini" "$dir/dev-e"
cat >>"$dir/list.ini" <<INI
[DRIVE1]
Device=$dir/dev-f
Letter=F
Vendor=OTHERCO
Product=DVDRW-9
Revision=1A10
INI
: >"$dir/dev-f"
run "$dir/list.ini" "$dir/list.trace" --list --device "$dir/dev-e" --device "$dir/dev-f" \
    --device "$dir/absent" "$dir/1A50A.EXE"
expect_eq "--list: exit status 0 (a drive is accepted)" 0 "$RC"
expect_eq "--list: the lines" "Flasher: OPTIDRV CDRW-A100, for \"OPTIDRV CDRW-A100\" with firmware 1A00-1A99, writes revision 1A50
$dir/dev-e  0-0-0 D: OPTIDRV CDRW-A100       1A10  accepted
$dir/dev-f  0-0-0 E: OTHERCO DVDRW-9         1A10  not accepted: another model; this flasher is for \"OPTIDRV CDRW-A100\"
$dir/absent  F:  not accepted: cannot be opened: The system cannot find the file specified. (error 2)" "$OUT"
expect_eq "--list: nothing but INQUIRY was sent" "" "$(blocks "$dir/list.trace" | grep -v '^12 ' || true)"
run "$dir/list.ini" "$dir/list.trace" --list --device "$dir/dev-f" "$dir/1A50A.EXE"
expect_eq "--list: exit status 1 when no drive is accepted" 1 "$RC"

# ---- the three flashes, command for command as on the ASPI road ----------------------
for case in "${FLASH_CASES[@]}"; do
    read -r name size layout revision <<<"$case"
    echo "$name: $size bytes, layout $layout, flashed with --yes"
    make_flasher "$name" "$dir"
    write_drive "$dir/$name.ini" "$dir/dev-$name"
    : >"$dir/$name.trace"
    run "$dir/$name.ini" "$dir/$name.trace" --yes --device "$dir/dev-$name" "$dir/$name.EXE"
    expect_eq "$name: exit status 0" 0 "$RC"
    expect_in "$name: completed" $'\nFlash Completed.\n' "$OUT"
    expect_eq "$name: revision written back" "$revision" "$(revision_in "$dir/$name.ini")"
    if diff <(blocks "$LX_REPO/tests/linux/expected/$name.trace") <(blocks "$dir/$name.trace") >"$dir/$name.diff"; then
        log "ok: the same $(wc -l <"$dir/$name.trace") command blocks as the ASPI road"
    else
        fail "$name: other command blocks than the ASPI road (see $dir/$name.diff)"
        head -10 "$dir/$name.diff" >&2
    fi
    expect_eq "$name: no box but the warning and the prompt" "" \
        "$(grep '^\[' <<<"$OUT" | grep -v '^\[Warning\]$\|^\[Question\] \|^\[y/N\] ' || true)"
done
expect_eq "odd size: the short last chunk" "E: 3B 05 01 01 80 00 00 06 A1 00 00 00 out 1697" \
    "$(grep -m1 ' 06 A1 ' "$dir/1A60P.trace")"
run "$dir/1A50A.ini" "$dir/again.trace" --yes --device "$dir/dev-1A50A" "$dir/1A50A.EXE"
expect_eq "flashed again: already up to date, exit status 1" 1 "$RC"
expect_in "flashed again: the program's own warning" "is aready the most updated ?" "$OUT"
run "$dir/1A50A.ini" "$dir/again.trace" --list --device "$dir/dev-1A50A" "$dir/1A50A.EXE"
expect_eq "--list: exit status 5 for a drive accepted but already at the packaged revision" 5 "$RC"
expect_in "--list: and says so" "accepted (but already at 1A50: the flash would stop)" "$OUT"

# A 32 KiB image (two chunks) for the FLASH-ALL flash and the faults below.
"$MKFW" "$dir/1A70.BIN" --size 32768 --ident "$CASE_IDENT" --revision 1A70 --layout plain >/dev/null

# ---- a damaged flasher ------------------------------------------------------------------
# A byte flipped in the program, the package, the image and the trailer:
# refused before the warning, and not one command sent.
size=$(stat -c %s "$dir/1A50A.EXE")
for at in 100 200000 400000 $((size - 40)); do
    echo "a flasher with byte $at flipped"
    cp "$dir/1A50A.EXE" "$dir/DAMAGED.EXE"
    printf "$(printf '\\%03o' $(( $(od -An -tu1 -j "$at" -N1 "$dir/1A50A.EXE") ^ 1 )))" |
        dd of="$dir/DAMAGED.EXE" bs=1 seek="$at" conv=notrunc status=none
    write_drive "$dir/damaged.ini" "$dir/dev-damaged"
    : >"$dir/damaged.trace"
    run "$dir/damaged.ini" "$dir/damaged.trace" --yes --device "$dir/dev-damaged" "$dir/DAMAGED.EXE"
    expect_eq "byte $at: exit status 1" 1 "$RC"
    expect_in "byte $at: the box" "This flash utility is damaged: " "$OUT"
    expect_in "byte $at: no drive touched" "No drive was touched." "$OUT"
    expect_eq "byte $at: no warning" "" "$(grep -F 'WARNING' <<<"$OUT" || true)"
    expect_eq "byte $at: nothing was sent" 0 "$(wc -l <"$dir/damaged.trace")"
    expect_in "byte $at: nfinfo says the trailer does not hold" "integrity=d" \
        "$("$NATIVE_BUILD/nfinfo" "$dir/DAMAGED.EXE")"
done
expect_in "nfinfo: the intact flasher's trailer holds" "integrity=holds" "$("$NATIVE_BUILD/nfinfo" "$dir/1A50A.EXE")"
expect_eq "nfinfo: its SHA-256 is that of the contents before the trailer" \
    "$(head -c $((size - 52)) "$dir/1A50A.EXE" | sha256sum | cut -d' ' -f1)" \
    "$("$NATIVE_BUILD/nfinfo" "$dir/1A50A.EXE" | sed -n 's/^sha256=//p')"

# ---- one flash per drive ---------------------------------------------------------------
echo "two flashers started on one drive: the second is refused, one commit"
write_drive "$dir/two.ini" "$dir/dev-two" CommandDelayMs=100
: >"$dir/two-1.trace"
: >"$dir/two-1.out"
LD_PRELOAD=$VSG64 NORVEX_SG_DRIVES=$dir/two.ini NORVEX_SG_TRACE=$dir/two-1.trace \
    "$PROGRAM" --yes --device "$dir/dev-two" "$dir/1A60P.EXE" >"$dir/two-1.out" 2>&1 </dev/null &
first=$!
for i in $(seq 1 300); do grep -q "Write BIN" "$dir/two-1.out" && break; sleep 0.1; done
: >"$dir/two-2.trace"
run "$dir/two.ini" "$dir/two-2.trace" --yes --device "$dir/dev-two" "$dir/1A60P.EXE"
expect_eq "second: exit status 1" 1 "$RC"
expect_in "second: the holder named" "$dir/dev-two is in use: process $first (norvexflash) holds its lock" "$ERR"
expect_eq "second: nothing was sent" 0 "$(wc -l <"$dir/two-2.trace")"
RC=0
wait "$first" || RC=$?
expect_eq "first: exit status 0" 0 "$RC"
expect_eq "one commit in all" 1 "$(( $(count_commits "$dir/two-1.trace") + $(count_commits "$dir/two-2.trace") ))"

echo "a device path that does not exist, a directory as device, a directory as flasher"
mkdir -p "$dir/a-directory"
run "$dir/two.ini" "$dir/paths.trace" --yes --device /dev/nosuch --device "$dir/a-directory" "$dir/1A60P.EXE"
expect_eq "bad paths: exit status 1" 1 "$RC"
expect_in "no such device: named after the box" 'Error opening: 2, Drive: \\.\D:
norvexflash: /dev/nosuch: No such file or directory' "$OUT"
expect_in "a directory as device: said so" "norvexflash: $dir/a-directory: is a directory, not a device" "$OUT"
run "$dir/two.ini" "$dir/paths.trace" --yes --device "$dir/dev-two" "$dir/a-directory"
expect_eq "a directory as flasher: exit status 1" 1 "$RC"
expect_in "a directory as flasher: said so" "$dir/a-directory: is a directory, not a flasher file" "$ERR"

echo "a FLASH-ALL package: the commit in its flash-all form"
"$NFPACK" "$TEMPLATE" "$dir/1A70.BIN" "$dir/ALL.EXE" --model CDRW-A100 --inquiry "OPTIDRV CDRW-A100" \
    --range 1A00-1A99 --vendor OPTIDRV --note FLASH-ALL >/dev/null
write_drive "$dir/all.ini" "$dir/dev-all"
: >"$dir/all.trace"
run "$dir/all.ini" "$dir/all.trace" --yes --device "$dir/dev-all" "$dir/ALL.EXE"
expect_eq "FLASH-ALL: exit status 0" 0 "$RC"
expect_eq "FLASH-ALL: revision written back" 1A70 "$(revision_in "$dir/all.ini")"
expect_eq "FLASH-ALL: one commit, control A0 (not 80)" "3B 05 01 00 00 00 00 00 00 A0" \
    "$(blocks "$dir/all.trace" | awk 'toupper($1) == "3B" && toupper($2) == "05" && (toupper($10) == "80" || toupper($10) == "A0")' | cut -d' ' -f1-10)"

echo "the rehearsal in one command: scripts/practice.sh FLASHER linux --auto"
RC=0
bash "$LX_REPO/scripts/practice.sh" "$dir/1A60P.EXE" linux --auto >"$dir/practice.out" 2>&1 || RC=$?
expect_eq "practice: exit status 0" 0 "$RC"
expect_in "practice: the flash completed" "(exit status 0)" "$(cat "$dir/practice.out")"
expect_in "practice: the revision written" "drive revision before: 1A00, after: 1A60" "$(cat "$dir/practice.out")"

echo "-h is --help"
RC=0
"$PROGRAM" -h >"$dir/h.out" 2>&1 || RC=$?
expect_eq "-h: exit status 0" 0 "$RC"
expect_in "-h: the usage" "Usage: norvexflash [OPTIONS] FLASHER.EXE" "$(cat "$dir/h.out")"

# ---- faults of the commit, and one before it -----------------------------------------
# A 32 KiB image: two chunks, so the commit is the third WRITE BUFFER.
"$NFPACK" "$TEMPLATE" "$dir/1A70.BIN" "$dir/FAULT.EXE" "${CASE_PACKAGE[@]}" >/dev/null
fault_flash() {  # WHAT [FAULT LINES...]
    write_drive "$dir/fault.ini" "$dir/dev-fault" "${@:2}"
    : >"$dir/fault.trace"
    run "$dir/fault.ini" "$dir/fault.trace" --yes --device "$dir/dev-fault" "$dir/FAULT.EXE"
    expect_eq "$1: the drive keeps its revision" 1A10 "$(revision_in "$dir/fault.ini")"
}
commits() { count_commits "$dir/fault.trace"; }

echo "time-out of the commit (SG_IO returns 0 with host status DID_TIME_OUT)"
fault_flash "time-out" TimeoutOpcode=3B TimeoutNth=3
expect_eq "time-out: exit status 3 (commit failed or unknown)" 3 "$RC"
expect_eq "time-out: the commit was sent once" 1 "$(commits)"
expect_in "time-out: the command's box, error 121" "[Message] Write Buffer> 00 00 00. 00, 0079" "$OUT"
expect_in "time-out: the code in Linux words, after the box" "[Message] Write Buffer> 00 00 00. 00, 0079
norvexflash: 0079 is system error 121: the command timed out" "$OUT"
expect_in "time-out: Flash Fail." $'\nFlash Fail.\n' "$OUT"
expect_in "time-out: what to do" "run this flasher again now" "$OUT"

echo "transport failure of the commit (SG_IO fails with ENODEV)"
fault_flash "transport failure" TransportFailOpcode=3B TransportFailNth=3
expect_eq "transport failure: exit status 3" 3 "$RC"
expect_eq "transport failure: the commit was sent once" 1 "$(commits)"
expect_in "transport failure: the box, error 31" "[Message] Write Buffer> 00 00 00. 00, 001F" "$OUT"
expect_in "transport failure: in Linux words" "norvexflash: 001F is system error 31: the device is gone: SG_IO failed with ENODEV." "$OUT"
expect_in "transport failure: Flash Fail." $'\nFlash Fail.\n' "$OUT"

echo "a flipped byte in the read-back: stopped before the commit"
fault_flash "read-back" FlipReadBufferNth=2 FlipReadBufferByte=100
expect_eq "read-back: exit status 2 (firmware untouched)" 2 "$RC"
expect_eq "read-back: no commit" 0 "$(commits)"
expect_in "read-back: the program's box" "[Message] Compare BIN and DRAM fail!" "$OUT"

echo "the prompt declined, then quit"
write_drive "$dir/declined.ini" "$dir/dev-declined"
: >"$dir/declined.trace"
run "$dir/declined.ini" "$dir/declined.trace" --device "$dir/dev-declined" "$dir/FAULT.EXE" <<<$'y\n\nn\nq'
expect_eq "declined: exit status 1" 1 "$RC"
expect_eq "declined: nothing but INQUIRY was sent" "" "$(blocks "$dir/declined.trace" | grep -v '^12 ' || true)"
expect_in "declined: the drive is offered again" $'[y/N] n\nDrive to FLASH [1, Enter: 1, q: quit]: q\n' "$OUT"

# ---- a device without permission -----------------------------------------------------
echo "a device the user may not open"
write_drive "$dir/denied.ini" "$dir/dev-denied"
# As root the check runs as nobody (below), whom rw-rw---- keeps out; any
# other user owns the file, and ---rw---- keeps its owner out.
if [ "$(id -u)" -eq 0 ]; then chmod 660 "$dir/dev-denied"; else chmod 060 "$dir/dev-denied"; fi
# The group an optical drive's node has on Debian, when this system has it.
getent group cdrom >/dev/null && chgrp cdrom "$dir/dev-denied" 2>/dev/null || true
: >"$dir/denied.trace"
chmod 666 "$dir/denied.trace"
group=$(stat -c %G "$dir/dev-denied")
if [ "$(id -u)" -eq 0 ]; then
    # root opens anything: the check runs as nobody, in no group.
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
else
    as_user=()
fi
RC=0
"${as_user[@]}" env LD_PRELOAD="$VSG64" NORVEX_SG_DRIVES="$dir/denied.ini" NORVEX_SG_TRACE="$dir/denied.trace" \
    "$PROGRAM" --yes --device "$dir/dev-denied" "$dir/FAULT.EXE" >"$dir/denied.out" 2>"$dir/denied.err" || RC=$?
expect_eq "no permission: exit status 1" 1 "$RC"
expect_in "no permission: names the device and the group" \
    "You may not open $dir/dev-denied for reading and writing. It belongs to the group \"$group\": add yourself to it (sudo adduser \$USER $group, then log in again), or run as root." \
    "$(cat "$dir/denied.err")"
expect_in "no permission: the program's own box" '[Message] Error opening: 5, Drive: \\.\D:' "$(cat "$dir/denied.out")"
expect_eq "no permission: nothing was sent" 0 "$(wc -l <"$dir/denied.trace")"
finish
