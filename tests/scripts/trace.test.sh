#!/usr/bin/env bash
# The commit counter every "no commit" and "one commit" check uses: any
# WRITE BUFFER in the vendor download mode with control byte 80 or A0
# counts, whatever its other bytes and the trace's line ends; nothing else.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
. "$repo/scripts/lib/checks.sh"
. "$repo/scripts/lib/trace.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%s\n' \
    "0:0 3B 05 01 00 00 00 00 00 00 80 00 00 in 16" \
    "E: 3B 05 01 00 00 00 00 00 00 A0 00 00 in 16" \
    "0:1 3b 05 01 02 03 04 05 06 07 80 00 00 in 16" \
    "0:0 3B 05 01 00 00 00 00 00 00 7F 00 00 in 16" \
    "0:0 3B 05 01 00 00 00 40 00 00 00 00 00 out 16384" \
    "0:0 3B 02 01 00 00 00 00 00 00 80 00 00 in 16" \
    "0:0 3C 05 01 00 00 00 00 00 00 80 00 00 in 16" \
    "0:0 12 00 00 00 80 00 00 00 00 00 00 00 in 128" >"$work/trace"
expect_eq "the commit, the flash-all commit and a commit of other bytes 3-8" 3 "$(count_commits "$work/trace")"
sed 's/$/\r/' "$work/trace" >"$work/crlf"
expect_eq "the same with CRLF line ends" 3 "$(count_commits "$work/crlf")"
: >"$work/empty"
expect_eq "an empty trace" 0 "$(count_commits "$work/empty")"
write_drive_file "$work/drive.ini" HostAdapter=0 "FlashId=DA C8 00 00" Revision=1A10
expect_eq "the drive file's section" $'[DRIVE0]\nHostAdapter=0\nFlashId=DA C8 00 00\nRevision=1A10' \
    "$(cat "$work/drive.ini")"
expect_eq "a key read back" 1A10 "$(revision_in "$work/drive.ini")"
# The trace in the vocabulary's words (nfinfo --decode of the build under test).
nfinfo=${1:-$repo/build/native}/nfinfo
if [ -x "$nfinfo" ]; then
    printf '%s\n' \
        "0:0 1B 00 00 00 03 00 00 00 00 00 00 00 in 0" \
        "0:0 00 00 00 00 00 00 00 00 00 00 00 00 in 0" \
        "0:0 00 00 00 00 00 00 00 00 00 00 00 00 in 0" \
        "0:0 DF 11 00 00 00 00 00 00 00 00 00 00 in 128" \
        "0:0 3B 05 01 08 00 00 00 00 0C 7F 00 00 out 12" \
        "0:0 3B 05 01 00 00 00 00 40 00 00 00 00 out 16384" \
        "0:0 3B 05 01 00 00 00 00 00 00 7F 00 00 in 0" \
        "0:0 3C 01 01 08 00 00 00 00 0C 00 00 00 in 12" \
        "0:0 3C 01 01 00 00 00 00 40 00 00 00 00 in 16384" \
        "0:0 3B 05 01 00 00 00 00 00 00 A0 00 00 in 16" \
        "0:0 12 00 00 00 80 00 00 00 00 00 00 00 in 128" \
        "0:0 46 00 00 00 00 00 00 00 08 00 00 00 in 8" >"$work/named"
    expect_eq "nfinfo --decode names each run" "START STOP UNIT (load)     x1
TEST UNIT READY            x2
read flash ID              x1
write profile              x1
WRITE BUFFER (image)       x1
entry critical             x1
read profile back          x1
READ BUFFER (verify)       x1
commit (program flash)     x1
INQUIRY                    x1
operation 46               x1" "$("$nfinfo" --decode "$work/named")"
    echo "0:0 3B 05" >"$work/broken"
    check "nfinfo --decode refuses a line that is no trace line" bash -c "! '$nfinfo' --decode '$work/broken' 2>/dev/null"
fi
finish
