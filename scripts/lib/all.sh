# The one shell library of the scripts and tests: source this file.
#   checks.sh  logging, checks, capture, the verdict
#   stage.sh   whether a stage can run here, and which Windows build Wine runs
#   trace.sh   the virtual drive's drive files and command traces, the commit counter
#   wine.sh    the Windows program under Wine: prefix, display, roads, the walk to an outcome
#   release.sh the release's version and time, archives with the same bytes every time
# NORVEX_REPO is the top directory of the source tree.
NORVEX_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
for __lib in checks stage trace wine release; do
    . "$NORVEX_REPO/scripts/lib/$__lib.sh"
done
unset __lib
