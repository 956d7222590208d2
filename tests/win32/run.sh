#!/usr/bin/env bash
# Builds the unit suite as a Windows console program (i686, or x86-64 on the
# road scripts/lib/stage.sh chooses) and runs it under Wine (the end-to-end
# scripts' prefix). Fails when a test fails or when the run ends without
# GoogleTest's summary line. Extra arguments go to the program (e.g.
# --gtest_filter=WinOsCalls.*).
. "$(dirname "$0")/../e2e/lib.sh"
need_wine win32

build_windows_for_wine
cmake --build "$WIN_BUILD" --target norvex_tests_win32 -j"$(nproc)" >"$E2E_OUT/win32-build.log" 2>&1 ||
    { cat "$E2E_OUT/win32-build.log" >&2; die "the Windows test program did not build"; }
ensure_prefix
# The WinOsCalls tests load the virtual ASPI layer, not Wine's own.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wnaspi32=n"

out=$E2E_OUT/win32-tests.out
rc=0
wine "$WIN_BUILD/norvex_tests_win32.exe" --gtest_color=no "$@" >"$out" 2>"$E2E_OUT/win32-tests.err" || rc=$?
tr -d '\r' <"$out" | grep -E '^\[  (FAILED|SKIPPED) +\]|^\[==========\]|^\[  PASSED  \]|: Failure$|^Expected|^  Actual|Which is' || true
summary=$(tr -d '\r' <"$out" | grep -cE '^\[==========\] [0-9]+ tests? from [0-9]+ test suites? ran' || true)
[ "$summary" -ge 1 ] || { tail -n 20 "$out" "$E2E_OUT/win32-tests.err" >&2; die "no GoogleTest summary line (exit code $rc)"; }
[ "$rc" -eq 0 ] || die "the $WINE_BUILD unit suite failed under Wine (exit code $rc), full output in $out"
log "ok: the $WINE_BUILD unit suite passed under Wine"
