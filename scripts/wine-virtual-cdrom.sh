#!/usr/bin/env bash
# Sets up a Wine prefix so that drive LETTER is a CD-ROM drive backed by the
# unix file PATH (a drive's /dev/sgN, or any file that stands for one):
#
#   scripts/wine-virtual-cdrom.sh PREFIX LETTER PATH
#
#   1. creates PATH (an empty file) when it is missing (not under /dev);
#   2. dosdevices/LETTER::  -> PATH: the device Wine opens for \\.\LETTER: and
#      sends IOCTL_SCSI_PASS_THROUGH_DIRECT to (as SG_IO);
#   3. dosdevices/LETTER:   -> PREFIX/drive_LETTER, an empty directory: the
#      drive's root; the mount manager only creates a drive that has one;
#   4. HKLM\Software\Wine\Drives, value "LETTER:" = "cdrom": the drive type
#      the mount manager gives the drive (GetDriveTypeA then answers
#      DRIVE_CDROM);
#   5. waits until the prefix's wineserver has ended, so that the mount
#      manager reads the new drive when the next program starts. While a
#      program of the prefix runs, the server stays: the script says what it
#      waits for and gives up after at most 60 seconds (WINE_VCD_WAIT_SECONDS
#      makes that shorter) with exit status 1 and the remedy. Steps 1 to 4
#      are done by then, so running it again once the programs have ended
#      completes.
#
# Running it again changes nothing. docs/TESTING.md explains each step.
# Uses WINEARCH and WINEDEBUG from the environment when it creates the prefix.
set -euo pipefail

usage() {
    echo "usage: $0 PREFIX LETTER PATH" >&2
    exit 2
}
[ $# -eq 3 ] || usage
prefix=$1
letter=$(printf '%s' "${2%:}" | tr 'A-Z' 'a-z')
path=$3
[[ $letter =~ ^[a-z]$ ]] || { echo "$0: LETTER must be one drive letter, not '$2'" >&2; exit 2; }
[ "$letter" != c ] && [ "$letter" != z ] || { echo "$0: drive $letter: is Wine's own" >&2; exit 2; }
. "$(dirname "$0")/lib/stage.sh"
why=$(wine_problem) || { echo "$0: $why" >&2; exit 1; }

mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
limit=${WINE_VCD_WAIT_SECONDS:-60}
[[ $limit =~ ^[0-9]+$ ]] && [ "$limit" -ge 1 ] && [ "$limit" -le 60 ] || limit=60

millis() { local t=${EPOCHREALTIME/[.,]/}; echo $((t / 1000)); }

# Waits for the prefix's wineserver to end, saying so when that takes more
# than a second, and gives up after $limit seconds saying what is left to do.
wait_for_prefix() {  # STATE
    local state=$1
    wineserver -w &
    local waiter=$! said=0 start now
    start=$(millis)
    now=$start
    while [ $((now - start)) -lt $((limit * 1000)) ]; do
        if ! kill -0 "$waiter" 2>/dev/null; then
            wait "$waiter" || true
            return 0
        fi
        if [ "$said" = 0 ] && [ $((now - start)) -ge 1000 ]; then
            echo "waiting for the Wine programs of $prefix to end… (at most $limit s)"
            said=1
        fi
        sleep 0.1
        now=$(millis)
    done
    kill "$waiter" 2>/dev/null || true
    wait "$waiter" 2>/dev/null || true
    echo "$0: gave up after $limit s: Wine programs of $prefix are still running." >&2
    echo "  $state Close them" >&2
    echo "  (or end them all: WINEPREFIX=$prefix wineserver -k), then run this command again." >&2
    exit 1
}
case $path in /*) ;; *) path=$PWD/$path ;; esac

# 1. The file that stands for the drive. A plain file in /dev would hide the
# device node that appears there later.
if [ ! -e "$path" ]; then
    case $path in /dev/*) echo "$0: no device $path" >&2; exit 1 ;; esac
    mkdir -p "$(dirname "$path")"
    : >"$path"
fi

# 2 and 3. The two dosdevices entries (symbolic links, replaced when present).
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
if [ ! -d "$prefix/dosdevices" ]; then
    echo "creating the Wine prefix $prefix (about half a minute)…"
    wineboot -i >/dev/null 2>&1 || true
    wait_for_prefix "The prefix is made but not yet set up."
fi
[ -d "$prefix/dosdevices" ] || { echo "$0: $prefix is not a Wine prefix" >&2; exit 1; }
root=$prefix/drive_$letter
mkdir -p "$root"
for entry in "$letter:" "$letter::"; do
    if [ -e "$prefix/dosdevices/$entry" ] && [ ! -L "$prefix/dosdevices/$entry" ]; then
        echo "$0: $prefix/dosdevices/$entry exists and is not a symbolic link" >&2
        exit 1
    fi
done
ln -sfn "$root" "$prefix/dosdevices/$letter:"
ln -sfn "$path" "$prefix/dosdevices/$letter::"

# 4. The drive type.
wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /t REG_SZ /d cdrom /f >/dev/null 2>&1 ||
    { echo "$0: could not write HKLM\\Software\\Wine\\Drives" >&2; exit 1; }

# 5. The mount manager reads drives and types when the prefix starts.
wait_for_prefix "Drive ${letter^^}: is set up, but Wine sees it only after they have ended."
echo "drive ${letter^^}: is a CD-ROM drive on $path (prefix $prefix)"
