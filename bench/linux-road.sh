#!/usr/bin/env bash
# Host time per flash on the Linux program's road: dist/linux/norvexflash
# flashing a 262,144-byte layout-A image into a virtual drive
# (dist/sim/vsg64.so preloaded), N runs (default 20), each a fresh process
# from start to exit status. Prints the mean wall time, the mean CPU time
# (user + system, the virtual drive's work included: it runs in the
# program's process) and the command blocks per flash. Build first.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/checks.sh
. scripts/lib/trace.sh
N=${1:-20}
PROGRAM=dist/linux/norvexflash VSG64=dist/sim/vsg64.so
for f in "$PROGRAM" "$VSG64" build/native/nfpack build/native/mkfirmware dist/norvexflash.exe; do
    [ -e "$f" ] || die "no $f (run ./build.sh)"
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
build/native/mkfirmware "$dir/1A50A.BIN" --size 262144 --ident "OPTIDRV CDRW-A100       " \
    --revision 1A50 --layout a >/dev/null
build/native/nfpack dist/norvexflash.exe "$dir/1A50A.BIN" "$dir/1A50A.EXE" --model CDRW-A100 \
    --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV --note "" >/dev/null
: >"$dir/dev"
TIMEFORMAT='%R %U %S'
times=()
for i in $(seq 1 "$N"); do
    write_drive_file "$dir/drive.ini" "Device=$dir/dev" Vendor=OPTIDRV Product=CDRW-A100 Revision=1A10 \
        Medium=none
    : >"$dir/trace"
    { time LD_PRELOAD="$VSG64" NORVEX_SG_DRIVES="$dir/drive.ini" NORVEX_SG_TRACE="$dir/trace" \
        "$PROGRAM" --yes --device "$dir/dev" "$dir/1A50A.EXE" >"$dir/out" 2>&1; } 2>"$dir/time" ||
        { echo "flash $i failed:" >&2; cat "$dir/out" >&2; exit 1; }
    times+=("$(cat "$dir/time")")
done
echo "flashes: $N, command blocks per flash: $(wc -l <"$dir/trace")"
printf '%s\n' "${times[@]}" | awk -v n="$N" '{ wall += $1; cpu += $2 + $3 }
    END { printf "mean wall time per flash: %.1f ms\nmean CPU time per flash:  %.1f ms\n", 1000 * wall / n, 1000 * cpu / n }'
