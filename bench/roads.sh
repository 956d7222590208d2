#!/usr/bin/env bash
# The host's share of a flash on the three roads, side by side in one run:
# the same 262,144-byte layout-A flasher, the same virtual drive (50 ms per
# data command, becoming ready after two TEST UNIT READY, no disc: the drive
# scripts/practice.sh describes), flashed by the Linux program through
# dist/sim/vsg64.so, and by the Windows program under Wine on the NT road
# and on the 9x road (scripts/practice.sh --auto). Each run's command log
# gives, from the prompt's Yes to the outcome: the span, the commands' own
# time (measured around each system call), the virtual drive's delay within
# it, the program's readiness pauses (the time before each TEST UNIT READY
# since the command before it), and the rest: the host's share (the
# program, its front end, the virtual layer outside the drive's delay,
# Wine), also as a ratio of the span. Build first (./build.sh); needs Wine
# and a display (or Xvfb) for the Wine roads, as scripts/practice.sh does.
#
#   bench/roads.sh [RUNS]     (RUNS per road, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/checks.sh
. scripts/lib/trace.sh
RUNS=${1:-3}
DELAY_MS=50  # CommandDelayMs of the practice drive
PROGRAM=dist/linux/norvexflash VSG64=dist/sim/vsg64.so
for f in "$PROGRAM" "$VSG64" build/native/nfpack dist/tools/mkfirmware dist/norvexflash.exe; do
    [ -e "$f" ] || die "no $f (run ./build.sh)"
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
dist/tools/mkfirmware "$dir/2B20PRA.BIN" --size 262144 --ident "OPTIDRV DVDRW-B200" --revision 2B20 \
    --layout a >/dev/null
build/native/nfpack dist/norvexflash.exe "$dir/2B20PRA.BIN" "$dir/2B20.EXE" --model DVDRW-B200 \
    --inquiry "OPTIDRV DVDRW-B200" --range 2B00-2B99 --vendor OPTIDRV --note "" >/dev/null

# One log's figures: span, commands, in-call time, data commands, pauses (ms).
figures() {  # LOG
    tr -d '\r' <"$1" | awk '
        $2 == "box" && $3 == "confirmation" { asked = 1; next }
        asked && !t0 && $2 == "answer" { t0 = $1; lastEnd = $1; next }
        t0 && !t1 && $2 == "status" && ($3 " " $4 == "Flash Completed." || $3 " " $4 == "Flash Fail.") { t1 = $1 }
        t0 && !t1 && $2 == "cmd" {
            took = 0
            for (i = 18; i < NF; i++) if ($i == "took") took = $(i + 1)
            n++; incall += took
            if ($17 + 0 > 0) data++
            # The readiness wait sleeps before each TEST UNIT READY.
            if ($4 == "00" && $16 == "in" && $17 == "0") pause += ($1 - took) - lastEnd
            lastEnd = $1
        }
        END { printf "%.3f %d %.3f %d %.3f\n", t1 - t0, n, incall, data, pause }'
}

linux_run() {  # LOG
    write_drive_file "$dir/drive.ini" "Device=$dir/dev" Vendor=OPTIDRV Product=DVDRW-B200 Revision=2B00 \
        Medium=none BecomingReady=2 CommandDelayMs=$DELAY_MS FlashId="DA C8 00 00"
    : >"$dir/dev"
    : >"$dir/trace"
    LD_PRELOAD="$VSG64" NORVEX_SG_DRIVES="$dir/drive.ini" NORVEX_SG_TRACE="$dir/trace" \
        "$PROGRAM" --yes --log "$1" --device "$dir/dev" "$dir/2B20.EXE" >"$dir/out" 2>&1 ||
        { cat "$dir/out" >&2; die "the Linux flash failed"; }
}
wine_run() {  # ROAD LOG
    local work=build/practice/2B20
    rm -f "$work/2B20.LOG"
    bash scripts/practice.sh "$dir/2B20.EXE" "$1" --auto >"$dir/out" 2>&1 ||
        { cat "$dir/out" >&2; die "the $1 flash under Wine failed"; }
    grep -q "^practice: status: Flash Completed\.$" "$dir/out" ||
        { cat "$dir/out" >&2; die "the $1 flash under Wine did not complete"; }
    cp "$work/2B20.LOG" "$2"
}

echo "== machine: $(uname -m), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== $RUNS runs per road; the drive: $DELAY_MS ms per data command"
printf '%-28s %10s %5s %12s %12s %10s %12s %8s\n' road "Yes→outcome" cmds "in the call" "drive delay" pauses "host share" ratio
for road in linux nt 9x; do
    for run in $(seq 1 "$RUNS"); do
        log=$dir/$road-$run.log
        case $road in
            linux) linux_run "$log" ;;
            *) wine_run "$road" "$log" ;;
        esac
        read -r span n incall data pause <<<"$(figures "$log")"
        awk -v road="$road" -v span="$span" -v n="$n" -v incall="$incall" -v data="$data" \
            -v pause="$pause" -v delay="$DELAY_MS" 'BEGIN {
            name = road == "linux" ? "Linux, vsg64.so" : road == "nt" ? "Wine, NT (pass-through)" : "Wine, 9x (ASPI)"
            host = span - incall - pause
            printf "%-28s %9.1f ms %5d %9.1f ms %9.1f ms %7.1f ms %9.1f ms %7.2f%%\n", name, span, n, incall,
                data * delay, pause, host, (span > 0 ? 100 * host / span : 0) }'
    done
done
echo "(in the call: the commands' own time, the virtual drive's delay included; host share: the"
echo " span less the commands' own time and the readiness pauses, as a ratio of the span)"
