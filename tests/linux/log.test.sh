#!/usr/bin/env bash
# The Linux program's command log (--log FILE, --verbose): a good flash, a
# failed download with sense, a refused commit and a commit that times out,
# each checked command for command against the virtual drive's trace; a log
# that grows across runs; a log that cannot be written leaves the run as it
# was; nfinfo --decode reads the log with the trace's names.
. "$(dirname "$0")/lib.sh"
dir=$(workdir log)
NFINFO=$(at_repo dist/tools/nfinfo)

# The command lines of a log as trace blocks (bytes, direction, length; the
# address aside: the program calls the first device D:, the drive file's
# Letter names it in the trace).
log_blocks() { tr -d '\r' <"$1" | awk '$2 == "cmd" { line = ""; for (i = 4; i <= 17; i++) line = line (i > 4 ? " " : "") $i; print line }'; }
same_commands() {  # WHAT LOG TRACE
    if diff <(blocks "$3") <(log_blocks "$2") >"$dir/$1.diff"; then
        log "ok: $1: the log's $(log_blocks "$2" | wc -l) commands are the trace's"
    else
        fail "$1: the log's commands are not the trace's (see $dir/$1.diff)"
        head -5 "$dir/$1.diff" >&2
    fi
}

"$MKFW" "$dir/1A70.BIN" --size 32768 --ident "$CASE_IDENT" --revision 1A70 --layout plain >/dev/null
"$NFPACK" "$TEMPLATE" "$dir/1A70.BIN" "$dir/LOGTEST.EXE" "${CASE_PACKAGE[@]}" >/dev/null
logged_flash() {  # NAME [FAULT LINES...]
    write_drive "$dir/$1.ini" "$dir/dev-$1" "${@:2}"
    : >"$dir/$1.trace"
    run "$dir/$1.ini" "$dir/$1.trace" --yes --log "$dir/$1.log" --device "$dir/dev-$1" \
        "$dir/LOGTEST.EXE"
}

echo "a good flash with --log and --verbose"
write_drive "$dir/good.ini" "$dir/dev-good"
: >"$dir/good.trace"
run "$dir/good.ini" "$dir/good.trace" --yes --verbose --log "$dir/good.log" \
    --device "$dir/dev-good" "$dir/LOGTEST.EXE"
expect_eq "good: exit status 0" 0 "$RC"
same_commands good "$dir/good.log" "$dir/good.trace"
expect_in "good: the header" " start " "$(head -1 "$dir/good.log")"
expect_in "good: the version" "norvexflash $(head -1 "$LX_REPO/VERSION"), Flash Utility V1.048A" "$(head -1 "$dir/good.log")"
expect_in "good: the package" 'package model "CDRW-A100", identification "OPTIDRV CDRW-A100       ", range "1A00-1A99", revision "1A70", layout plain, image 32768 bytes' "$(cat "$dir/good.log")"
expect_in "good: the road" "road Linux SCSI generic (SG_IO)" "$(cat "$dir/good.log")"
expect_in "good: the drive, eligible" '"0-0-0 D: OPTIDRV CDRW-A100       1A10" eligible' "$(cat "$dir/good.log")"
expect_in "good: the prompt and its answer" " answer Yes" "$(cat "$dir/good.log")"
expect_in "good: the outcome" 'status Flash Completed.' "$(cat "$dir/good.log")"
expect_eq "good: the exit status last" "exit 0" "$(tail -1 "$dir/good.log" | awk '{ print $2, $3 }')"
expect_eq "good: every command good but readiness's" "" \
    "$(grep ' cmd ' "$dir/good.log" | grep -v ' ms: good$' | grep -v ' cmd D: 00 00 ' || true)"
expect_in "good: readiness's answer in words" "sense 02 04 01 NOT READY, LOGICAL UNIT IS IN PROCESS OF BECOMING READY" "$(cat "$dir/good.log")"
expect_eq "good: --verbose printed the command lines" "$(grep ' cmd ' "$dir/good.log" | cut -c11- | sed 's/ took .*//')" \
    "$(grep ' cmd ' <<<"$ERR" | cut -c11- | sed 's/ took .*//')"

echo "a failed download with sense"
logged_flash download FailOpcode=3B FailNth=2 FailSense="03 0C 00" FailByte=9 FailValue=00
expect_eq "download: exit status 2" 2 "$RC"
same_commands download "$dir/download.log" "$dir/download.trace"
expect_in "download: the sense in words" "CHECK CONDITION (02), sense 03 0C 00 MEDIUM ERROR, WRITE ERROR" "$(grep ' cmd ' "$dir/download.log" | tail -1)"
expect_in "download: the box" 'box plain "Write Buffer> 03 0C 00.' "$(cat "$dir/download.log")"

echo "a refused commit"
logged_flash commit FailOpcode=3B FailNth=3 FailSense="05 24 00"
expect_eq "commit: exit status 3" 3 "$RC"
same_commands commit "$dir/commit.log" "$dir/commit.trace"
expect_in "commit: the sense in words" "sense 05 24 00 ILLEGAL REQUEST, INVALID FIELD IN CDB" "$(grep ' cmd ' "$dir/commit.log" | tail -1)"
expect_eq "commit: the exit status" "exit 3" "$(tail -1 "$dir/commit.log" | awk '{ print $2, $3 }')"

echo "a commit that times out"
logged_flash timeout TimeoutOpcode=3B TimeoutNth=3
expect_eq "time-out: exit status 3" 3 "$RC"
same_commands timeout "$dir/timeout.log" "$dir/timeout.trace"
expect_in "time-out: the error in words" "transport failed, error 121 The semaphore timeout period has expired." "$(grep ' cmd ' "$dir/timeout.log" | tail -1)"

echo "the log grows across runs"
cp "$dir/commit.log" "$dir/commit.first"
before=$(wc -c <"$dir/commit.log")
logged_flash commit FailOpcode=3B FailNth=3 FailSense="05 24 00"
expect_eq "grows: two runs' headers" 2 "$(grep -c ' start ' "$dir/commit.log")"
cmp -s -n "$before" "$dir/commit.first" "$dir/commit.log" || fail "grows: the first run was not kept"
[ "$(wc -c <"$dir/commit.log")" -gt "$((before * 3 / 2))" ] || fail "grows: the second run was not appended"

echo "a log that cannot be written"
write_drive "$dir/nolog.ini" "$dir/dev-nolog"
: >"$dir/nolog.trace"
run "$dir/nolog.ini" "$dir/nolog.trace" --yes --log "$dir/absent/dir/x.log" --device "$dir/dev-nolog" \
    "$dir/LOGTEST.EXE"
expect_eq "no log: exit status 0" 0 "$RC"
expect_in "no log: said on stderr" "cannot write the log $dir/absent/dir/x.log; going on without it" "$ERR"
expect_eq "no log: the same commands" "$(blocks "$dir/good.trace")" "$(blocks "$dir/nolog.trace")"

echo "nfinfo --decode reads the log and the trace by the same names"
"$NFINFO" --decode "$dir/timeout.trace" >"$dir/trace.decoded"
"$NFINFO" --decode "$dir/timeout.log" >"$dir/log.decoded"
expect_eq "decode: the same names in the same runs" \
    "$(sed -E 's/ +x[0-9]+$//' "$dir/trace.decoded")" \
    "$(sed -nE 's/^ *[0-9.]+ (.*[^ ]) +x[0-9]+ .*/\1/p' "$dir/log.decoded" | uniq)"
expect_in "decode: the time-out in words" "error 121 The semaphore timeout period has expired." "$(cat "$dir/log.decoded")"
finish
