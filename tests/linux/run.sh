#!/usr/bin/env bash
# Runs every end-to-end script of the Linux program (tests/linux/*.test.sh)
# in order; builds nothing. A script that cannot run exits 77: the stage is
# then skipped (77), or fails with NORVEX_CI=1 (scripts/lib/stage.sh).
set -uo pipefail
cd "$(dirname "$0")"
passed=() failed=() skipped=()
for script in *.test.sh; do
    echo "== linux: $script"
    rc=0
    bash "$script" || rc=$?
    if [ "$rc" -eq 0 ]; then passed+=("$script")
    elif [ "$rc" -eq 77 ]; then skipped+=("$script")
    else failed+=("$script"); fi
done
echo "== linux summary: ${#passed[@]} passed, ${#failed[@]} failed, ${#skipped[@]} skipped"
for script in "${failed[@]}"; do echo "   failed: $script"; done
for script in "${skipped[@]}"; do echo "   skipped: $script"; done
[ ${#failed[@]} -eq 0 ] || exit 1
[ ${#skipped[@]} -eq 0 ] || exit 77
