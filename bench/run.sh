#!/bin/sh
# Builds the benchmarks (Release) and prints each figure against its baseline
# from the same run. Extra arguments go to the benchmark program, e.g.
# --benchmark_filter=Flash. Environment: BUILD (build directory), JOBS,
# NORVEX_BENCH_TEMPLATE (template executable; default build/win/norvexflash.exe
# when present, else a synthetic one; "synthetic" forces that), RUNS (shell
# timing loop length).
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build/e-bench}
JOBS=${JOBS:-2}
RUNS=${RUNS:-50}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DNORVEX_BENCH=ON >/dev/null
cmake --build "$BUILD" -j"$JOBS" --target norvex_bench mkfirmware nfpack >/dev/null

SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/norvex-run-XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT

TEMPLATE=${NORVEX_BENCH_TEMPLATE:-}
if [ -z "$TEMPLATE" ] && [ -f build/win/norvexflash.exe ]; then
    TEMPLATE=build/win/norvexflash.exe
fi
if [ "$TEMPLATE" = synthetic ]; then
    TEMPLATE=
fi
if [ -z "$TEMPLATE" ]; then
    export NORVEX_BENCH_TEMPLATE=  # the program makes its own
    # Same shape as the program's synthetic one: ~1 MB with the record inside.
    TEMPLATE_LABEL="synthetic"
    TEMPLATE="$SCRATCH/template.exe"
    {
        head -c 600000 /dev/zero | tr '\0' 'a'
        printf 'FWBLOCK-MARKER\000'
        head -c 137 /dev/zero
        printf 'TMPL'
        head -c $((327680 - 4)) /dev/zero
        head -c 120000 /dev/zero | tr '\0' 'b'
    } >"$TEMPLATE"
else
    TEMPLATE_LABEL="$TEMPLATE"
    cp "$TEMPLATE" "$SCRATCH/template.exe"  # a copy: a rebuild may replace the original meanwhile
    TEMPLATE="$SCRATCH/template.exe"
    export NORVEX_BENCH_TEMPLATE="$TEMPLATE"
fi

echo "== machine: $(uname -m), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "== template: $TEMPLATE_LABEL ($(wc -c <"$TEMPLATE") bytes)"
status=0
"$BUILD/norvex_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@" || status=$?

# Whole programs, process start included: the package writer against cp.
FW="$SCRATCH/1A50.BIN"
"$BUILD/mkfirmware" "$FW" --size 262144 --ident "OPTIDRV CDRW-A100       " --revision 1A50 >/dev/null
"$BUILD/mkfirmware" "$SCRATCH/again.bin" --size 262144 --ident "OPTIDRV CDRW-A100       " \
    --revision 1A50 >/dev/null
cmp -s "$FW" "$SCRATCH/again.bin" || { echo "mkfirmware is not deterministic"; status=1; }

now() { date +%s%N; }
# Runs "$@" RUNS times, whatever its exit status; prints the nanoseconds taken.
loop() {
    t0=$(now)
    i=0
    while [ $i -lt "$RUNS" ]; do
        "$@" >/dev/null 2>&1 || :
        i=$((i + 1))
    done
    echo $(($(now) - t0))
}
pack() {
    "$BUILD/nfpack" "$TEMPLATE" "$FW" "$SCRATCH/1A50.EXE" --model CDRW-A100 \
        --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV --note ""
}
pack >/dev/null || { echo "nfpack failed"; status=1; }
[ "$(wc -c <"$SCRATCH/1A50.EXE")" = "$(wc -c <"$TEMPLATE")" ] ||
    { echo "nfpack output length differs from the template"; status=1; }
cp_ns=$(loop cp "$TEMPLATE" "$SCRATCH/copy.exe")
pack_ns=$(loop pack)
true_ns=$(loop /bin/true)
start_ns=$(loop "$BUILD/nfpack")  # usage message only: the program's start
awk -v cp="$cp_ns" -v pack="$pack_ns" -v t="$true_ns" -v s="$start_ns" -v n="$RUNS" 'BEGIN {
    printf "\nShell timing, %d runs each:\n", n
    printf "  %-44s %10.1f us / %10.1f us = %6.2fx\n", "nfpack / cp", pack / n / 1000, cp / n / 1000, pack / cp
    printf "  %-44s %10.1f us / %10.1f us = %6.2fx\n", "  less process start (usage run / true)", (pack - s) / n / 1000, (cp - t) / n / 1000, (pack - s) / (cp - t)
}'
exit $status
