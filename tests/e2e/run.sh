#!/usr/bin/env bash
# Runs every end-to-end script (tests/e2e/*.test.sh) in order; builds nothing.
# Without a Wine that runs or a display the stage cannot run (exit 77, or a
# failure with NORVEX_CI=1; scripts/stage.sh).
set -uo pipefail
cd "$(dirname "$0")"
. ../../scripts/stage.sh
need_wine e2e
why=$(display_problem) || stage_cannot_run e2e "$why"
passed=() failed=() skipped=()
for script in *.test.sh; do
    echo "== e2e: $script"
    rc=0
    bash "$script" || rc=$?
    if [ "$rc" -eq 0 ]; then passed+=("$script")
    elif [ "$rc" -eq 77 ]; then skipped+=("$script")
    else failed+=("$script"); fi
done
echo "== e2e summary: ${#passed[@]} passed, ${#failed[@]} failed, ${#skipped[@]} skipped"
for script in "${failed[@]}"; do echo "   failed: $script"; done
for script in "${skipped[@]}"; do echo "   skipped: $script"; done
[ ${#failed[@]} -eq 0 ] || exit 1
[ ${#skipped[@]} -eq 0 ] || exit 77
