#!/usr/bin/env bash
# scripts/wine-virtual-cdrom.sh against stand-ins for wine and wineserver (no
# Wine needed): while a program of the prefix runs, the script says what it
# waits for, gives up within its limit with exit 1 and the remedy, and leaves
# the drive set up, so a second run after the program has ended completes.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$repo/scripts/lib/checks.sh"

not() { ! "$@"; }

# wine: --version and "reg add" (recorded); wineserver -w: waits while
# $work/running exists, as the real one waits for the prefix's programs.
mkdir -p "$work/bin" "$work/prefix/dosdevices"
cat >"$work/bin/wine" <<STUB
#!/bin/sh
[ "\$1" = --version ] && { echo wine-stub; exit 0; }
echo "\$*" >>"$work/wine.log"
STUB
cat >"$work/bin/wineserver" <<STUB
#!/bin/sh
while [ -e "$work/running" ]; do sleep 0.1; done
STUB
chmod +x "$work/bin/wine" "$work/bin/wineserver"
export PATH=$work/bin:$PATH
unset NORVEX_WINE_BUILD  # the stand-in is the 32-bit wine
run() {  # OUT: runs the script, exit status into rc
    rc=0
    WINE_VCD_WAIT_SECONDS=3 bash "$repo/scripts/wine-virtual-cdrom.sh" "$work/prefix" E "$work/sr-e" \
        >"$work/$1" 2>&1 || rc=$?
}

echo "a program of the prefix is running"
touch "$work/running"
start=$(date +%s)
run first.txt
took=$(($(date +%s) - start))
check "exit status 1" [ "$rc" -eq 1 ]
check "gave up within the limit (took ${took} s)" [ "$took" -le 5 ]
check "says what it waits for" grep -q "waiting for the Wine programs of $work/prefix to end" "$work/first.txt"
check "names the remedy" grep -q "WINEPREFIX=$work/prefix wineserver -k" "$work/first.txt"
check "device link written" [ "$(readlink "$work/prefix/dosdevices/e::")" = "$work/sr-e" ]
check "root link written" [ "$(readlink "$work/prefix/dosdevices/e:")" = "$work/prefix/drive_e" ]
check "drive type written" grep -q 'reg add HKLM\\Software\\Wine\\Drives /v e: /t REG_SZ /d cdrom /f' "$work/wine.log"

echo "the program has ended: the same command again"
rm "$work/running"
run second.txt
check "exit status 0" [ "$rc" -eq 0 ]
check "no waiting message when nothing runs" not grep -q waiting "$work/second.txt"
check "reports the drive" grep -q "drive E: is a CD-ROM drive on $work/sr-e" "$work/second.txt"

[ "$CHECK_FAILURES" -eq 0 ] || { cat "$work/first.txt" "$work/second.txt" >&2; exit 1; }
