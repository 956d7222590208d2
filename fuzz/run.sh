#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (ASan + UBSan) into
# build/fuzz and runs each for a bounded time from its saved corpus.
# Prints the executions per target; fails on any crash or broken property.
# Without clang or its libFuzzer runtime it cannot run: exit 77 (skipped),
# or a failure when NORVEX_CI=1 (scripts/lib/stage.sh).
#   FUZZ_SECONDS  time per target (default 15)
#   FUZZ_TARGETS  targets to run (default: all fuzz/fuzz_*.cpp)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-15}"
build=build/fuzz

. scripts/lib/stage.sh
if ! command -v clang++ >/dev/null; then
    stage_cannot_run fuzz "clang++ is not installed (scripts/deps.sh installs it)"
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
    >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2>"$probe/err"; then
    sed 's/^/  /' "$probe/err" | head -5
    stage_cannot_run fuzz "clang's libFuzzer runtime is unavailable (libclang-rt-14-dev)"
fi

# Undefined behaviour stops the run (halt_on_error) unless fuzz/ubsan.supp
# names it; suppressions need the recoverable form of the checks.
flags="-fsanitize=fuzzer-no-link,address,undefined -fsanitize-recover=undefined -g -O1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$PWD/fuzz/ubsan.supp"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DNORVEX_LIBFUZZER=ON >/dev/null
if [ -n "${FUZZ_TARGETS:-}" ]; then
    targets="$FUZZ_TARGETS"
else
    targets=$(for f in fuzz/fuzz_*.cpp; do basename "$f" .cpp; done)
fi
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $targets

grep -v '^#' fuzz/ubsan.supp | sed '/^$/d; s/^/fuzz: known, suppressed: /' || true
failed=0
for t in $targets; do
    work="$build/run/$t"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/artifacts"
    cp -r "fuzz/corpus/$t/." "$work/corpus/"  # the saved corpus stays as it is
    extra=()
    [ -f "fuzz/$t.dict" ] && extra+=("-dict=fuzz/$t.dict")
    # Long catalogue lines come from the input's stretch escape, not its length.
    [ "$t" = fuzz_catalogue ] && extra+=("-max_len=4096")
    set +e
    "$build/$t" "$work/corpus" "${extra[@]}" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
        >"$work/log" 2>&1
    rc=$?
    set -e
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -1 | cut -d' ' -f2)
    if [ "$rc" -ne 0 ] || ls "$work/artifacts/"* >/dev/null 2>&1; then
        echo "fuzz: $t FAILED after ${execs:-?} executions (exit $rc)"
        grep -E 'ERROR|property broken|SUMMARY|Test unit written' "$work/log" | head -10 |
            sed 's/^/  /'
        failed=1
    else
        printf 'fuzz: %-16s %9s executions in %ss, %s coverage points\n' \
            "$t" "${execs:-?}" "$seconds" "${cov:-?}"
    fi
done
exit $failed
