#!/usr/bin/env bash
# Runs every end-to-end script of the Linux program (tests/linux/*.test.sh)
# in order; builds nothing.
set -uo pipefail
cd "$(dirname "$0")"
passed=() failed=()
for script in *.test.sh; do
    echo "== linux: $script"
    if bash "$script"; then passed+=("$script"); else failed+=("$script"); fi
done
echo "== linux summary: ${#passed[@]} passed, ${#failed[@]} failed"
for script in "${failed[@]}"; do echo "   failed: $script"; done
[ ${#failed[@]} -eq 0 ]
