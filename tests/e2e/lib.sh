# The end-to-end scripts' start: the shared library (scripts/lib/all.sh) with
# the Windows build chosen for Wine, and the set-up every script calls.
#
# Source it from a test script:  . "$(dirname "$0")/lib.sh"
# Settings (environment): as scripts/lib/wine.sh.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/all.sh"
E2E_REPO=$NORVEX_REPO
wine_setup_build

# Prefix, display and clean-up; call once at the top of a test script.
e2e_setup() { wine_session "$(basename "$0" .sh)"; }
e2e_cleanup() { wine_cleanup; }
