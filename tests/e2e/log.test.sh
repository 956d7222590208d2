#!/usr/bin/env bash
# The Windows flasher's command log under Wine, on both roads: a flash
# rehearsed with scripts/practice.sh leaves FLASHER.LOG beside the flasher
# (2B20.EXE: 2B20.LOG) whose command lines are the virtual drive's trace,
# command for command; a refused commit carries its sense in words; a second
# run appends.
. "$(dirname "$0")/lib.sh"
[ -n "${NORVEX_WINEPREFIX:-}" ] || export WINEPREFIX=$E2E_OUT/wineprefix-log
e2e_setup

NFPACK=$NATIVE_BUILD/nfpack
MKFW=$E2E_REPO/dist/tools/mkfirmware
for f in "$NFPACK" "$MKFW" "$E2E_REPO/dist/tools/nfinfo"; do
    [ -e "$f" ] || die "no $f (build first: ./build.sh)"
done
dir=$(workdir log)
"$MKFW" "$dir/2B20PRA.BIN" --size 262144 --ident "OPTIDRV DVDRW-B200" --revision 2B20 --layout a >/dev/null
"$NFPACK" "$WIN_BUILD/norvexflash.exe" "$dir/2B20PRA.BIN" "$dir/2B20.EXE" --model DVDRW-B200 \
    --inquiry "OPTIDRV DVDRW-B200" --range 2B00-2B99 --vendor OPTIDRV --note "" >/dev/null ||
    die "nfpack could not build 2B20.EXE"
work=$E2E_REPO/build/practice/2B20
flasher_log=$work/2B20.LOG

# A log's command lines as trace blocks (the bytes, direction and length).
log_blocks() { tr -d '\r' <"$1" | awk '$2 == "cmd" { line = ""; for (i = 4; i <= 17; i++) line = line (i > 4 ? " " : "") $i; print line }'; }
rehearse() {  # OUT ARGS...
    local out=$dir/$1
    shift
    log "scripts/practice.sh $*"
    PRACTICE_RC=0
    bash "$E2E_REPO/scripts/practice.sh" "$@" >"$out" 2>&1 || PRACTICE_RC=$?
}

for road in 9x nt; do
    echo "$road road"
    rm -f "$flasher_log"
    rehearse "$road.out" "$dir/2B20.EXE" "$road" --auto
    expect_eq "$road: exit status" 0 "$PRACTICE_RC"
    if [ ! -s "$flasher_log" ]; then
        fail "$road: no $flasher_log"
        continue
    fi
    log "ok: $road: 2B20.LOG beside the flasher"
    if diff <(blocks "$work/trace.txt") <(log_blocks "$flasher_log") >"$dir/$road.diff"; then
        log "ok: $road: the log's $(log_blocks "$flasher_log" | wc -l) commands are the trace's"
    else
        fail "$road: the log's commands are not the trace's (see $dir/$road.diff)"
        head -5 "$dir/$road.diff" >&2
    fi
    expect_in "$road: the road named" \
        "road $([ "$road" = 9x ] && echo "ASPI (WNASPI32.DLL)" || echo "SCSI pass-through")" \
        "$(cat "$flasher_log")"
    expect_in "$road: the outcome" "status Flash Completed." "$(cat "$flasher_log")"
    expect_in "$road: the answer to the prompt" " answer Yes" "$(cat "$flasher_log")"
done

echo "9x road, the commit refused by the drive; the log grows"
before=$(wc -l <"$flasher_log")
rehearse fault.out "$dir/2B20.EXE" 9x --auto --fault FailOpcode=3B --fault FailByte=9 --fault FailValue=80 \
    --fault "FailSense=03 0C 00"
expect_eq "fault: exit status" 0 "$PRACTICE_RC"
expect_in "fault: the commit's sense in words" "SS_ERR (04), sense 03 0C 00 MEDIUM ERROR, WRITE ERROR" \
    "$(tr -d '\r' <"$flasher_log" | grep ' cmd ' | tail -1)"
expect_eq "fault: two runs in the log" 2 "$(grep -c ' start ' "$flasher_log")"
[ "$(wc -l <"$flasher_log")" -gt "$before" ] || fail "fault: the log did not grow"
"$E2E_REPO/dist/tools/nfinfo" --decode "$flasher_log" >"$dir/decoded" ||
    fail "fault: nfinfo --decode did not read the log"
expect_in "fault: decoded by name" "commit (program flash)" "$(cat "$dir/decoded")"
finish
