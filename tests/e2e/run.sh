#!/usr/bin/env bash
# Runs every end-to-end script (tests/e2e/*.test.sh) in order, under Wine,
# against the Windows build that scripts/lib/stage.sh chooses (i686, or
# x86-64 where the kernel cannot run 32-bit programs or NORVEX_WINE_BUILD
# says so; the x86-64 build is made here). Without a Wine that runs it or a
# display the stage cannot run (exit 77, or a failure with NORVEX_CI=1).
set -uo pipefail
cd "$(dirname "$0")"
. ../../scripts/lib/all.sh
wine_setup_build
need_wine e2e
why=$(display_problem) || stage_cannot_run e2e "$why"
build_windows_for_wine
echo "== e2e: the $WINE_BUILD build (${WIN_BUILD#"$NORVEX_REPO"/}) under Wine's $([ "$WINE_BUILD" = x86-64 ] && echo 64 || echo 32)-bit loader"
passed=() failed=() skipped=()
for script in *.test.sh; do
    echo "== e2e: $script"
    rc=0
    bash "$script" || rc=$?
    if [ "$rc" -eq 0 ]; then passed+=("$script")
    elif [ "$rc" -eq 77 ]; then skipped+=("$script")
    else failed+=("$script"); fi
done
echo "== e2e summary ($WINE_BUILD build): ${#passed[@]} passed, ${#failed[@]} failed, ${#skipped[@]} skipped"
for script in "${failed[@]}"; do echo "   failed: $script"; done
for script in "${skipped[@]}"; do echo "   skipped: $script"; done
[ ${#failed[@]} -eq 0 ] || exit 1
[ ${#skipped[@]} -eq 0 ] || exit 77
