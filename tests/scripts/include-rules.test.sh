#!/usr/bin/env bash
# The include table holds in every folder: the tree as it stands passes the
# check the build runs (cmake/include-check.cmake), and one wrong include
# put into a file of each layer and each backend, a Windows header outside
# the Windows backend and a Linux system header outside the Linux one, each
# fails it, naming the file.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
. "$repo/scripts/lib/checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folders=(platform drive flash package app host sim tools tests fuzz bench cmake)

run_check() {  # TREE
    local rc=0
    cmake -DSOURCE="$1" -P "$repo/cmake/include-check.cmake" >"$work/raw" 2>&1 || rc=$?
    tr -s ' \n' '  ' <"$work/raw" >"$work/out"  # cmake wraps its message
    return $rc
}
check "the tree as it stands passes" run_check "$repo"

# Each case: a file, a line put at its end, and what the check must say.
cases=(
    "drive/CDDrive.cpp|#include \"flash/Commands.h\"|drive may not include flash"
    "flash/Commands.cpp|#include \"package/Package.h\"|flash may not include package"
    "package/Package.cpp|#include \"drive/CDDrive.h\"|package may not include drive"
    "app/FlashForm.cpp|#include \"sim/SimOs.h\"|app may not include sim"
    "platform/OsCalls.h|#include \"drive/CDDrive.h\"|platform may not include drive"
    "host/win/Focus.cpp|#include \"app/FlashForm.h\"|host/win may not include app"
    "host/linux/SgTranslate.cpp|#include \"drive/CDDrive.h\"|host/linux may not include drive"
    "host/linux/LinuxDevices.cpp|#include \"host/win/WinForm.h\"|host/linux may not include host/win"
    "sim/VirtualDrive.cpp|#include \"app/FlashForm.h\"|sim may not include app"
    "tools/nfinfo.cpp|#include \"tests/support/FakeForm.h\"|tools may not include tests/support"
    "flash/Commands.cpp|#include <windows.h>|a Windows header outside the Windows backend"
    "sim/VirtualDrive.cpp|#include <scsi/sg.h>|a Linux system header outside the Linux backend"
    "drive/CDDrive.cpp|#include \"../app/FlashForm.h\"|written from the tree's root"
)
echo "a file that does not open with the line saying what it is for"
tree=$work/tree
rm -rf "$tree" && mkdir -p "$tree"
for f in "${folders[@]}"; do cp -r "$repo/$f" "$tree/"; done
sed -i '1d' "$tree/flash/Eligibility.cpp"
if run_check "$tree"; then fail "a file without its opening line passed"; else
    check "refused, naming the file" grep -q "flash/Eligibility.cpp: does not open with a line" "$work/out"
fi
for c in "${cases[@]}"; do
    IFS='|' read -r file line says <<<"$c"
    tree=$work/tree
    rm -rf "$tree" && mkdir -p "$tree"
    for f in "${folders[@]}"; do cp -r "$repo/$f" "$tree/"; done
    echo "$line" >>"$tree/$file"
    if run_check "$tree"; then
        fail "$file with $line: passed"
    else
        check "$file with $line: refused ($says)" grep -q "$file: .*$says" "$work/out"
    fi
done
finish
