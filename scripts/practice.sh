#!/usr/bin/env bash
# Rehearses a flash under Wine against one virtual drive that the flasher
# will accept, in one command:
#
#   scripts/practice.sh FLASHER.EXE [9x|nt|linux] [--revision REV] [--disc]
#                       [--fault KEY=VALUE]... [--auto]
#
#   9x   Windows 98 mode: the virtual ASPI layer (dist/sim/WNASPI32.DLL)
#   nt   Wine's default (NT) mode, the default: drive E: through Wine's SCSI
#        pass-through and the virtual SCSI generic device (dist/sim/vsg.so)
#   linux  the Linux program (dist/linux/norvexflash) on a terminal, no Wine:
#        the virtual SCSI generic device (dist/sim/vsg64.so) preloaded into it
#        serves the drive on a plain file named with --device; you answer its
#        questions (--auto: --yes)
#   --revision REV      the drive's revision (default: the lowest the flasher
#                       accepts, below the packaged one)
#   --disc              a disc in the drive (default: none)
#   --fault KEY=VALUE   a line for the drive file, e.g. --fault FailOpcode=3B
#                       --fault FailNth=3 (keys: docs/TESTING.md, "The drive
#                       file"); repeat it for several
#   --auto              answer the flasher's boxes and press its buttons (Yes
#                       to the warning and the prompt, FLASH, OK to every
#                       other box), then close it; implied without a display
#
# Reads the flasher's own package (dist/tools/nfinfo), writes a drive file
# whose drive this flasher lists, sets up the road, starts the flasher and,
# when it has ended, prints the drive's revision before and after and where
# the command trace is. Works in build/practice/<flasher>/ of the source
# tree, in the Wine prefix WINEPREFIX or else build/practice/wineprefix, on
# the display DISPLAY or else on a virtual screen of its own (Xvfb), which
# no one can see or click, so --auto is then implied.
# Exit status: 0 when the flasher ended (whatever its outcome: read the
# summary), 1 when the rehearsal could not be set up or ran out of time,
# 2 for a wrong command line.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
. "$REPO/scripts/lib/all.sh"

usage() {
    echo "usage: scripts/practice.sh FLASHER.EXE [9x|nt|linux] [--revision REV] [--disc]" \
        "[--fault KEY=VALUE]... [--auto]   (details: the head of $0)" >&2
    exit 2
}
# The library's die, with this script's name.
die() {
    echo "practice: $*" >&2
    exit 1
}
say() { echo "practice: $*"; }

flasher="" road=nt revision="" medium=none auto=0
faults=()
while [ $# -gt 0 ]; do
    case $1 in
    9x | nt | linux) road=$1 ;;
    --revision) [ $# -ge 2 ] || usage; revision=$2; shift ;;
    --disc) medium=disc ;;
    --fault)
        [ $# -ge 2 ] && [[ $2 =~ ^[A-Za-z0-9]+=.+$ ]] || { echo "practice: --fault takes KEY=VALUE" >&2; usage; }
        faults+=("$2")
        shift ;;
    --auto) auto=1 ;;
    -h | --help) usage ;;
    -*) echo "practice: unknown option $1" >&2; usage ;;
    *) [ -z "$flasher" ] || usage; flasher=$1 ;;
    esac
    shift
done
[ -n "$flasher" ] || usage
[ -f "$flasher" ] || die "no file $flasher"
flasher=$(realpath "$flasher")
name=$(basename "$flasher")
if [ -n "$revision" ] && [ ${#revision} -ne 4 ]; then
    die "--revision takes four characters, as INQUIRY reports a revision"
fi

# ---- what the flasher carries ------------------------------------------------------
NFINFO=$REPO/dist/tools/nfinfo
[ -x "$NFINFO" ] || die "no $NFINFO: run ./build.sh first"
info=$("$NFINFO" "$flasher") || die "cannot read the package of $flasher"
field() { printf '%s\n' "$info" | sed -n "s/^$1=//p"; }
[ "$(field role)" = flasher ] ||
    die "$name is the builder template, not a flasher: build one first (README, \"Building a flasher\")"
inquiry=$(field inquiry)
packaged=$(field revision)
say "$name: $(field model) ($inquiry), range $(field range), packaged revision $packaged, layout $(field layout)"
# The drive, as the flasher's own rules describe one it lists (nfinfo --drive):
# its identification, a revision (the range's low end unless --revision), a
# chip for the image, and a note for each reason it would not be flashed.
drive=$("$NFINFO" --drive ${revision:+--revision "$revision"} "$flasher") ||
    die "cannot describe a drive for $flasher"
drive_lines=()
while IFS= read -r line; do
    case $line in
    "; note: "*) say "note: ${line#"; note: "}" ;;
    *) drive_lines+=("$line") ;;
    esac
done <<<"$drive"
dfield() { printf '%s\n' "${drive_lines[@]}" | sed -n "s/^$1=//p"; }
vendor=$(dfield Vendor) product=$(dfield Product) revision=$(dfield Revision) chip=$(dfield FlashId)
image_revision=$(field image_revision)
[ -n "$image_revision" ] ||
    say "note: the image does not carry \"$inquiry\" and a revision, so the virtual drive keeps its revision after the commit"

# ---- the Linux program: no Wine, no display ------------------------------------------
if [ "$road" = linux ]; then
    PROGRAM=$REPO/dist/linux/norvexflash VSG64=$REPO/dist/sim/vsg64.so
    [ -x "$PROGRAM" ] && [ -f "$VSG64" ] || die "no $PROGRAM or $VSG64: run ./build.sh first"
    work=$REPO/build/practice/${name%.*}-linux
    mkdir -p "$work"
    rm -f "$work/drives.ini" "$work/trace.txt"
    : >"$work/trace.txt"
    # The drive's Device must exist: a plain file stands for the sg node.
    : >"$work/dev-e"
    {
        echo "; the practice drive for $name (keys: docs/TESTING.md, \"The drive file\")"
        drive_section 0 "Device=$work/dev-e" Letter=E "${drive_lines[@]}" "Medium=$medium" \
            BecomingReady=2 CommandDelayMs=50 "${faults[@]}"
    } >"$work/drives.ini"
    say "road: linux ($PROGRAM, the drive on $work/dev-e, virtual SCSI generic device)"
    say "drive: $vendor $product, revision $revision, chip $chip, medium $medium${faults[*]:+, ${faults[*]}}"
    answer=()
    [ "$auto" = 0 ] || answer=(--yes)
    rc=0
    LD_PRELOAD=$VSG64 NORVEX_SG_DRIVES=$work/drives.ini NORVEX_SG_TRACE=$work/trace.txt \
        "$PROGRAM" "${answer[@]}" --device "$work/dev-e" "$flasher" || rc=$?
    after=$(revision_in "$work/drives.ini")
    say "the flasher ended (exit status $rc: norvexflash --help explains it)"
    say "drive revision before: $revision, after: $after$([ "$after" = "$revision" ] && echo " (unchanged)")"
    say "command trace: $work/trace.txt ($(wc -l <"$work/trace.txt") command blocks)"
    exit 0
fi

# ---- where it runs -----------------------------------------------------------------
# The user's prefix when WINEPREFIX names one, else one of its own.
[ -n "${WINEPREFIX:-}" ] && export NORVEX_WINEPREFIX=$WINEPREFIX
export NORVEX_E2E_OUT=$REPO/build/practice
wine_setup_build
why=$(wine_problem) || die "$why"
say "Wine prefix: $WINEPREFIX${NORVEX_WINEPREFIX:+ (from WINEPREFIX)}"
program_pid=""
cleanup() {
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        # The Windows program outlives its launcher: end it by name.
        wine taskkill /f /im "$name" >/dev/null 2>&1 || true
        kill "$program_pid" 2>/dev/null || true
    fi
    [ -z "$E2E_XVFB_PID" ] || kill "$E2E_XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM
[ -f "$WINEPREFIX/system.reg" ] || say "creating the prefix (about half a minute)…"
ensure_prefix
[ -f "$WINEPREFIX/system.reg" ] || die "wineboot could not create $WINEPREFIX"
why=$(display_problem) || die "$why"
ensure_display
if [ -n "$E2E_XVFB_PID" ]; then
    say "no display: the flasher runs on a virtual screen ($DISPLAY) that no one can see or" \
        "click, so this script answers it (--auto); set DISPLAY to watch or click yourself"
    auto=1
else
    say "display: $DISPLAY"
fi
[ "$auto" = 0 ] || [ -f "$CLICKER" ] || die "--auto needs $CLICKER: run ./build.sh first"

# ---- the drive and the road --------------------------------------------------------
work=$REPO/build/practice/${name%.*}
mkdir -p "$work"
rm -f "$work/drives.ini" "$work/trace.txt" "$work/program.log"
cp "$flasher" "$work/$name"
: >"$work/trace.txt"
if [ "$road" = 9x ]; then address=(HostAdapter=0 Target=0); else address=("Device=$work/sr-e" Letter=E); fi
{
    echo "; the practice drive for $name (keys: docs/TESTING.md, \"The drive file\")"
    drive_section 0 "${address[@]}" "${drive_lines[@]}" "Medium=$medium" BecomingReady=2 CommandDelayMs=50 \
        "${faults[@]}"
} >"$work/drives.ini"
preload=${LD_PRELOAD:-}
appkey="HKCU\\Software\\Wine\\AppDefaults\\$name"
if [ "$road" = 9x ]; then
    # The flasher takes the ASPI road when Wine reports the 9x family to it;
    # the virtual ASPI layer of the build beside it, before Wine's own.
    road_9x "$work/$name" "$work/drives.ini" "$work/trace.txt"
    say "road: 9x (Windows 98 mode, virtual ASPI layer $work/WNASPI32.DLL)"
else
    rm -f "$work/WNASPI32.DLL"
    # A 9x setting left by an earlier 9x rehearsal of the same name would win.
    wine reg delete "$appkey" /f >/dev/null 2>&1 || true
    bash "$REPO/scripts/wine-virtual-cdrom.sh" "$WINEPREFIX" E "$work/sr-e" | sed 's/^/practice: /'
    [ "${PIPESTATUS[0]}" -eq 0 ] || die "could not set up drive E: (see above)"
    # $LIB: each process loads the device built for its own class, silently.
    preload="$VSG_PRELOAD${LD_PRELOAD:+ $LD_PRELOAD}"
    export NORVEX_SG_DRIVES=$work/drives.ini NORVEX_SG_TRACE=$work/trace.txt
    say "road: nt (Wine's default mode, drive E: on $work/sr-e, virtual SCSI generic device)"
fi
say "drive: $vendor $product, revision $revision, chip $chip, medium $medium${faults[*]:+, ${faults[*]}}"

# ---- the flasher ---------------------------------------------------------------------
(cd "$work" && LD_PRELOAD=$preload exec wine "$name") >"$work/program.log" 2>&1 &
program_pid=$!
clicker() { wine "$CLICKER" "$@" 2>/dev/null; }  # quieter than the library's
running() { kill -0 "$program_pid" 2>/dev/null; }

# Answers and presses like a person who wants the flash: Yes to the warning
# and the prompt, FLASH once, OK (else Yes) to any other box; closes the
# window once the flash has ended. Prints each box and each new status line.
drive_flasher() {
    local deadline=$((SECONDS + 600)) give_up=$((SECONDS + 180)) pressed=0 warned=0 box status last="" ended=0 items
    while running && [ $SECONDS -lt $deadline ]; do
        if box=$(clicker --raw box-text) && [ -n "$box" ]; then
            say "box: $(printf '%s' "$box" | tr '\n' ' ' | sed 's/  */ /g; s/^ //')"
            case $box in
            *WARNING:*) clicker press-box Yes >/dev/null && warned=1 ;;
            *"Update FW"*) clicker press-box Yes >/dev/null || true ;;
            *) clicker press-box OK >/dev/null || clicker press-box Yes >/dev/null || true ;;
            esac
            continue
        fi
        status=$(clicker --raw status) || status=""
        if [ -n "$status" ] && [ "$status" != "$last" ]; then
            say "status: $status"
            last=$status
        fi
        # Closed one round after the end, so a box that follows the end
        # (a revision the drive did not take) is answered first.
        if [ "$ended" = 1 ]; then
            say "drive list: $(clicker --raw combo-items | head -1)"
            clicker close >/dev/null || true
            break
        fi
        # FLASH once the warning is answered and the scan has listed a drive.
        if [ "$pressed" = 0 ] && [ "$warned" = 1 ] && items=$(clicker --raw combo-items) &&
            [ -n "$items" ] && [ "$(clicker --raw button)" = "FLASH enabled" ]; then
            say "drive list: $(printf '%s\n' "$items" | head -1)"
            clicker press-button >/dev/null && pressed=1
        elif [ "$pressed" = 1 ]; then
            case $status in
            "Flash Completed." | *Fail*) ended=1 ;;
            esac
        elif [ $SECONDS -gt $give_up ]; then
            say "FLASH did not become enabled within 3 minutes; closing the flasher"
            ended=1
        fi
        sleep 0.3
    done
    for _ in $(seq 1 100); do running || return 0; sleep 0.3; done
    return 1
}

if [ "$auto" = 1 ]; then
    say "answering the flasher on $DISPLAY (at most 10 minutes)…"
    drive_flasher || die "the flasher did not end; its output: $work/program.log"
else
    say "the flasher is running on $DISPLAY: answer it as you would on Windows; close its window to finish (Ctrl-C ends it)"
fi
wait "$program_pid" && rc=0 || rc=$?
program_pid=""

after=$(revision_in "$work/drives.ini")
say "the flasher ended (exit code $rc)"
say "drive revision before: $revision, after: $after$([ "$after" = "$revision" ] && echo " (unchanged)")"
say "command trace: $work/trace.txt ($(wc -l <"$work/trace.txt") command blocks); program output: $work/program.log"
# The flasher's own command log, beside it, appended run after run.
if [ -f "$work/${name%.*}.LOG" ]; then
    say "command log: $work/${name%.*}.LOG (read it with dist/tools/nfinfo --decode)"
fi
if grep -q "ERROR: ld.so" "$work/program.log"; then
    say "warning: the loader complained: $(grep -m1 "ERROR: ld.so" "$work/program.log")"
fi
exit 0
