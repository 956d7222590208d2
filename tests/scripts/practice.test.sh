#!/usr/bin/env bash
# scripts/practice.sh against stand-ins for Wine, its flasher and the
# end-to-end clicker (no Wine needed): the drive it describes is one the
# flasher accepts, each road is set up as docs/TESTING.md says, --auto
# answers the boxes and presses FLASH once, and the summary reports the
# revision before and after.
#   practice.test.sh NATIVE_BUILD   (the build with nfinfo, nfpack, mkfirmware)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
native=$(cd "${1:?usage: practice.test.sh NATIVE_BUILD}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$repo/scripts/lib/checks.sh"
has() { grep -qxF -- "$2" "$1"; }  # FILE LINE
not() { ! "$@"; }

# A source tree of stand-ins: the real scripts, the real nfinfo.
tree=$work/tree
mkdir -p "$tree/dist/tools" "$tree/dist/sim" "$tree/build/win" "$work/bin" "$work/state"
cp -r "$repo/scripts" "$tree/"
cp "$native/nfinfo" "$tree/dist/tools/"
echo stand-in >"$tree/dist/sim/WNASPI32.DLL"
echo stand-in >"$tree/build/win/clicker.exe"
echo stand-in >"$tree/build/win/WNASPI32.DLL"

# A flasher of the sample catalogue's DVDRW-B200 (any program of the build
# carries the package record, so nfpack takes one as the template).
cp "$native/nfpack" "$work/template"
"$native/mkfirmware" "$work/2B20PRA.BIN" --size 65536 --ident "OPTIDRV DVDRW-B200" --revision 2B20 \
    --layout b --model "DVD-ROM KVA-204" >/dev/null
"$native/nfpack" "$work/template" "$work/2B20PRA.BIN" "$work/2B20.EXE" --model DVDRW-B200 \
    --inquiry "OPTIDRV DVDRW-B200" --range 2B00-2B99 --vendor OPTIDRV --note "" >/dev/null

# wine: records what it is asked; "wine X.EXE" is the flasher (records its
# environment, waits until closed); "wine .../clicker.exe" answers from a
# small state machine: warning, list, prompt, flashing, done, closed.
cat >"$work/bin/wine" <<'STUB'
#!/usr/bin/env bash
state=$STUB_STATE
phase() { cat "$state/phase"; }
set_phase() { echo "$1" >"$state/phase"; }
drives() { if [ -n "${NORVEX_SG_DRIVES:-}" ]; then echo "$NORVEX_SG_DRIVES"; else
    local p=${NORVEX_SIM_DRIVES#Z:}; echo "${p//\\//}"; fi; }
case $1 in
--version) echo wine-stand-in; exit 0 ;;
reg | taskkill) echo "$*" >>"$state/wine.log"; exit 0 ;;
*clicker.exe)
    shift
    [ "$1" = --raw ] && shift
    case "$1 $(phase)" in
    "box-text warning") printf '\nWARNING:\n\nThis flash utility only supports ...\n' ;;
    "box-text prompt") printf '\nUpdate FW:2B00 to FW:2B20 ?\n' ;;
    "box-text "*) exit 1 ;;
    "press-box warning") [ "$2" = Yes ] && set_phase list ;;
    "press-box prompt")
        [ "$2" = Yes ] || exit 1
        set_phase flashing
        sed -i 's/^Revision=.*/Revision=2B20/' "$(drives)"
        echo "E: 3B 05 01 00 00 00 00 00 00 80 00 00 in 16" >>"${NORVEX_SG_TRACE:-$state/trace}" ;;
    "button list") printf 'FLASH enabled' ;;
    "button "*) printf 'FLASH disabled' ;;
    "press-button list") echo x >>"$state/presses"; set_phase prompt ;;
    "status flashing") printf "Don't turn off the system, Flash is in progress..."; set_phase done ;;
    "status done") printf 'Flash Completed.' ;;
    "status "*) printf '' ;;
    "combo-items "*) printf '0-0-0  : OPTIDRV DVDRW-B200      %s' "$(sed -n 's/^Revision=//p' "$(drives)")" ;;
    "close "*) set_phase closed ;;
    *) exit 1 ;;
    esac
    exit 0 ;;
*.EXE)
    { echo "cwd=$PWD"; echo "exe=$1"; env | grep -E '^(LD_PRELOAD|NORVEX_[A-Z_]*|WINEDLLOVERRIDES|WINEPREFIX)=' | sort
      ls; } >"$state/program.txt"
    set_phase warning
    while [ "$(phase)" != closed ]; do sleep 0.1; done
    exit 0 ;;
esac
echo "wine stand-in: unexpected $*" >&2
exit 1
STUB
cat >"$work/bin/winepath" <<'STUB'
#!/usr/bin/env bash
p=$2; echo "Z:${p//\//\\}"
STUB
printf '#!/bin/sh\nexit 0\n' >"$work/bin/wineserver"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/wineboot"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/xdpyinfo"
chmod +x "$work/bin/"*
export PATH=$work/bin:$PATH STUB_STATE=$work/state DISPLAY=:stand-in WINEPREFIX=$work/prefix
mkdir -p "$WINEPREFIX/dosdevices"
touch "$WINEPREFIX/system.reg"
unset WINEDLLOVERRIDES LD_PRELOAD NORVEX_WINE_BUILD NORVEX_WINEPREFIX NORVEX_E2E_OUT NORVEX_WIN_BUILD

practice() {  # OUT ARGS...
    local out=$1
    shift
    rm -f "$work/state/"*
    rc=0
    bash "$tree/scripts/practice.sh" "$@" >"$work/$out" 2>&1 || rc=$?
}
drivefile=$tree/build/practice/2B20/drives.ini

echo "9x road, answered by the script"
practice 9x.txt "$work/2B20.EXE" 9x --auto
check "exit status 0" [ "$rc" -eq 0 ]
check "drive: the package's identification" has "$drivefile" "Vendor=OPTIDRV"
check "drive: product" has "$drivefile" "Product=DVDRW-B200"
check "drive: a chip for the layout-B image" has "$drivefile" "FlashId=BF B6 00 01"
check "drive: on the ASPI bus" has "$drivefile" "HostAdapter=0"
check "drive: no disc" has "$drivefile" "Medium=none"
check "the virtual ASPI layer beside the flasher" has "$work/state/program.txt" "WNASPI32.DLL"
check "run in its practice directory" has "$work/state/program.txt" "cwd=$tree/build/practice/2B20"
check "Wine's own ASPI layer overridden" grep -q '^WINEDLLOVERRIDES=.*;wnaspi32=n,b$' "$work/state/program.txt"
check "the drive file named as a Windows path" grep -q '^NORVEX_SIM_DRIVES=Z:\\' "$work/state/program.txt"
check "9x mode for this flasher" grep -q 'reg add HKCU\\Software\\Wine\\AppDefaults\\2B20.EXE /v Version /d win98' \
    "$work/state/wine.log"
check "FLASH pressed once" [ "$(wc -l <"$work/state/presses")" -eq 1 ]
check "summary: before and after" grep -qx "practice: drive revision before: 2B00, after: 2B20" "$work/9x.txt"
check "summary: the final status" grep -qx "practice: status: Flash Completed." "$work/9x.txt"

echo "NT road, with a chosen revision, a disc and a fault"
practice nt.txt "$work/2B20.EXE" --auto --revision 2B10 --disc --fault FailOpcode=DF --fault "FailSense=03 0C 00"
check "exit status 0" [ "$rc" -eq 0 ]
check "drive: the chosen revision" has "$drivefile" "Revision=2B20"  # written back by the stand-in
check "summary: before and after" grep -qx "practice: drive revision before: 2B10, after: 2B20" "$work/nt.txt"
check "drive: behind the letter E:" has "$drivefile" "Letter=E"
check "drive: the disc" has "$drivefile" "Medium=disc"
check "drive: the fault lines" has "$drivefile" "FailSense=03 0C 00"
check "no ASPI layer on the NT road" not has "$work/state/program.txt" "WNASPI32.DLL"
check "the 9x setting removed" grep -q 'reg delete HKCU\\Software\\Wine\\AppDefaults\\2B20.EXE' "$work/state/wine.log"
check "the device preloaded by \$LIB" has "$work/state/program.txt" "LD_PRELOAD=$tree/dist/sim/\$LIB/vsg.so"
check "the drive file named as a unix path" has "$work/state/program.txt" "NORVEX_SG_DRIVES=$drivefile"
# The stand-in tree has no device to preload: the loader's complaint is passed on.
check "a loader complaint is reported" grep -q "^practice: warning: the loader complained" "$work/nt.txt"
check "E: made a CD-ROM drive" [ "$(readlink "$WINEPREFIX/dosdevices/e::")" = "$tree/build/practice/2B20/sr-e" ]

echo "refusals"
practice out.txt "$work/2B20.EXE" --revision 2B1
check "a revision of three characters: exit status 1" [ "$rc" -eq 1 ]
practice out.txt "$work/2B20PRA.BIN"
check "a firmware file, not a flasher: exit status 1" [ "$rc" -eq 1 ]
practice out.txt "$work/2B20.EXE" --fault NoValue
check "a fault without a value: exit status 2" [ "$rc" -eq 2 ]
practice out.txt "$work/2B20.EXE" --revision 2C00 --auto
check "a revision outside the range is named" grep -q "2C00 lies outside 2B00-2B99" "$work/out.txt"

[ "$CHECK_FAILURES" -eq 0 ] || { cat "$work/9x.txt" "$work/nt.txt" "$work/state/program.txt" >&2; exit 1; }
