#!/usr/bin/env bash
# One flash at a time, under Wine in 9x mode with a slow virtual drive: a
# flasher flashes; a second copy of it, started meanwhile, is refused after
# its warning (another flash is in progress) and ends with exit code 0
# without scanning; the first completes, and the drive received one commit
# and no command of the second copy. Once the first has ended, the second
# copy starts normally and lists the drive.
. "$(dirname "$0")/lib.sh"
e2e_setup

NFPACK=$NATIVE_BUILD/nfpack
MKFW=$NATIVE_BUILD/mkfirmware
DLL=$WIN_BUILD/WNASPI32.DLL
for f in "$NFPACK" "$MKFW" "$DLL"; do [ -e "$f" ] || die "no $f (build first: ./build.sh)"; done

dir=$(workdir oneflash)
"$MKFW" "$dir/1A50.BIN" --size 262144 --ident "OPTIDRV CDRW-A100       " --revision 1A50 >/dev/null
"$NFPACK" "$WIN_BUILD/norvexflash.exe" "$dir/1A50.BIN" "$dir/ONE9X.EXE" --model CDRW-A100 \
    --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV --note "" >/dev/null \
    || die "nfpack could not write the flasher"
# Each of the 32 data transfers takes 300 ms: the flash lasts about 10 s,
# time enough to start a second copy while it runs.
cat >"$dir/drives.ini" <<'INI'
[DRIVE0]
HostAdapter=0
Target=0
Vendor=OPTIDRV
Product=CDRW-A100
Revision=1A10
Medium=none
CommandDelayMs=300
INI
road_9x "$dir/ONE9X.EXE" "$dir/drives.ini" "$dir/trace.txt"
unmanaged ONE9X.EXE
: >"$dir/trace.txt"

SECOND_PID=""
second_cleanup() {
    [ -n "$SECOND_PID" ] && kill "$SECOND_PID" 2>/dev/null || true
    e2e_cleanup
}
trap second_cleanup EXIT

echo "first copy: flash"
start_program "$dir/ONE9X.EXE"
accept_warning CDRW-A100 >/dev/null
clicker press-button
clicker wait-box "Update FW:1A10 to FW:1A50" 30 >/dev/null || die "no update prompt"
clicker press-box Yes
clicker --raw wait-status "Write BIN to drive's DRAM" 30 >/dev/null || die "the flash did not start"

echo "second copy, started while the first flashes"
(cd "$dir" && exec wine ONE9X.EXE) >"$dir/second.log" 2>&1 &
SECOND_PID=$!
clicker wait-box "WARNING:" 60 >/dev/null || die "no warning box from the second copy"
clicker press-box Yes
if capture text clicker --raw wait-box "Another drive firmware flash" 30; then
    expect_eq "refusal box" $'\nAnother drive firmware flash is in progress on this computer.\n\nStart this flasher again when that flash has ended.\n' "$text"
    # (The status line is no witness here: the clicker may find the second
    # copy's hidden window first.) No commit yet: the first is still flashing.
    expect_eq "commits when the second copy was refused" 0 "$(count_commits "$dir/trace.txt")"
    screenshot oneflash-refused
    clicker press-box OK
else
    fail "no refusal from the second copy"
    screenshot oneflash-not-refused
fi
second_rc=""
for _ in $(seq 1 300); do
    if ! kill -0 "$SECOND_PID" 2>/dev/null; then
        second_rc=0
        wait "$SECOND_PID" || second_rc=$?
        SECOND_PID=""
        break
    fi
    sleep 0.1
done
expect_eq "second copy's exit code" 0 "$second_rc"

if clicker --raw wait-status "Flash Completed." 120 >/dev/null; then
    log "ok: the first copy completed"
else
    fail "no \"Flash Completed.\" (status: $(clicker --raw status))"
fi
close_program

trace=$(tr -d '\r' <"$dir/trace.txt")
expect_eq "commits in the trace" 1 "$(count_commits "$dir/trace.txt")"
# The first copy's scan, its drive-list line (each line is a fresh INQUIRY)
# and its list refresh after the commit; the second copy scanned nothing.
expect_eq "INQUIRY commands in the trace" 3 "$(grep -c '^0:0 12 ' <<<"$trace" || true)"
expect_eq "revision written back" "Revision=1A50" "$(grep '^Revision=' "$dir/drives.ini" | tr -d '\r')"

echo "second copy, started after the flash"
start_program "$dir/ONE9X.EXE"
clicker wait-box "WARNING:" 30 >/dev/null || die "no warning box"
clicker press-box Yes
if items=$(clicker --raw wait-window "CDRW-A100" 60 >/dev/null && clicker --raw combo-items); then
    expect_eq "drive listed" "0-0-0  : OPTIDRV CDRW-A100       1A50" "$items"
else
    fail "no drive list once the first copy had ended"
fi
close_program
finish
