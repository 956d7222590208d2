#!/usr/bin/env bash
# A test stage that cannot run: skipped (exit 77, "SKIPPED" and why) outside
# CI, failed (exit 1) with NORVEX_CI=1. Checked with stand-ins: a wine that
# does not start, a clang++ without libFuzzer. A kernel that refuses 32-bit
# programs takes the x86-64 build under Wine's 64-bit loader, so a missing
# 64-bit loader there fails in CI like any other missing install.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$repo/scripts/lib/checks.sh"
mkdir -p "$work/bin"
printf '#!/bin/sh\necho "wine: could not load kernel32.dll, status c0000135" >&2\nexit 1\n' \
    >"$work/bin/wine"
printf '#!/bin/sh\necho "cannot find -lclang_rt.fuzzer" >&2\nexit 1\n' >"$work/bin/clang++"
chmod +x "$work/bin/"*
export PATH=$work/bin:$PATH
unset NORVEX_CI NORVEX_WINE_BUILD

stage() {  # OUT SCRIPT
    rc=0
    bash "$repo/$2" >"$work/$1" 2>&1 || rc=$?
}
for script in tests/e2e/run.sh tests/win32/run.sh tests/e2e/practice.test.sh fuzz/run.sh; do
    echo "$script"
    stage out.txt "$script"
    check "outside CI: skipped (77)" [ "$rc" -eq 77 ]
    check "says SKIPPED and why" grep -q "SKIPPED - .*\(kernel32\|libFuzzer\)" "$work/out.txt"
    NORVEX_CI=1 stage ci.txt "$script"
    check "in CI: failed (1)" [ "$rc" -eq 1 ]
    check "says FAILED" grep -q "FAILED - cannot run" "$work/ci.txt"
done

printf '#!/bin/sh\necho "/usr/bin/wine: 40: exec: /usr/lib/wine/wine: Exec format error" >&2\nexit 126\n' \
    >"$work/bin/wine"
printf '#!/bin/sh\necho wine-8.0\n' >"$work/bin/wine64"
chmod +x "$work/bin/"*
. "$repo/scripts/lib/stage.sh"
echo "which build Wine runs"
check "a kernel that refuses 32-bit programs: x86-64" [ "$(wine_build)" = x86-64 ]
check "NORVEX_WINE_BUILD=i686 is kept there" [ "$(NORVEX_WINE_BUILD=i686 wine_build)" = i686 ]
check "NORVEX_WINE_BUILD of another value is refused" bash -c \
    ". '$repo/scripts/lib/stage.sh'; ! NORVEX_WINE_BUILD=arm wine_build 2>/dev/null"
check "a 64-bit loader that starts: no problem" env NORVEX_WINE64_LOADER="$work/bin/wine64" \
    bash -c ". '$repo/scripts/lib/stage.sh'; wine_problem >/dev/null"
for script in tests/e2e/run.sh tests/win32/run.sh; do
    echo "$script, on a kernel that cannot run 32-bit programs, without Wine's 64-bit loader"
    NORVEX_WINE64_LOADER=$work/none NORVEX_CI=1 stage ci.txt "$script"
    check "in CI: failed (1)" [ "$rc" -eq 1 ]
    check "says FAILED and names the 64-bit loader" grep -q "FAILED - cannot run: Wine's 64-bit loader" "$work/ci.txt"
    NORVEX_WINE64_LOADER=$work/none stage out.txt "$script"
    check "outside CI: skipped (77)" [ "$rc" -eq 77 ]
    echo "$script, NORVEX_WINE_BUILD=i686 forced on that kernel"
    NORVEX_WINE_BUILD=i686 NORVEX_CI=1 stage ci.txt "$script"
    check "in CI: failed (1), naming the kernel" grep -q "FAILED - cannot run: this machine's kernel cannot run 32-bit" "$work/ci.txt"
done
[ "$CHECK_FAILURES" -eq 0 ] || { cat "$work/out.txt" "$work/ci.txt" >&2; exit 1; }
