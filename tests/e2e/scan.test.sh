#!/usr/bin/env bash
# The drive scan under Wine in 9x mode, through the virtual WNASPI32.DLL:
# scancheck.exe (the real Windows seam, WinOsCalls) lists the drives of a
# drive file of three drives; the trace shows the 40 probes of the ASPI scan;
# a flash commit writes the new revision back into the drive file; a timed-out
# INQUIRY that the layer completes late drops its drive and harms nothing;
# without the DLL the missing-layer box comes once and the scan ends. The runs with the
# layer go through both of its completion modes (immediate, deferred).
#
# Standalone or from tests/e2e/run.sh. Environment: NORVEX_WIN_BUILD (default
# build/win), NORVEX_WINEPREFIX (default build/e2e/wineprefix).
. "$(dirname "$0")/lib.sh"
OUT=$E2E_OUT
BASE_OVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

for f in scancheck.exe WNASPI32.DLL; do
    [ -f "$WIN_BUILD/$f" ] || die "no $WIN_BUILD/$f (build the Windows targets first: ./build.sh)"
done
command -v wine >/dev/null || die "wine is not installed"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
ensure_prefix
[ -f "$WINEPREFIX/system.reg" ] || die "could not create the Wine prefix $WINEPREFIX"

# The 9x family for scancheck.exe only.
wine reg add 'HKCU\Software\Wine\AppDefaults\scancheck.exe' /v Version /d win98 /f >/dev/null 2>&1 \
    || die "could not set win98 for scancheck.exe"

WORK=$OUT/work/scan
rm -rf "$WORK"
mkdir -p "$WORK"
cp "$WIN_BUILD/scancheck.exe" "$WIN_BUILD/WNASPI32.DLL" "$WORK/"
winpath() { winepath -w "$1" 2>/dev/null; }

# Runs scancheck in $WORK; its standard output goes to $WORK/out.txt (CRs removed).
# A start that meets the prefix's wineserver just as it ends (it ends a few
# seconds after its last program) fails before the program runs, with "wine
# client error: ... Connection reset by peer" (seen once on a loaded
# machine); such a start is made once more.
run_scancheck() {  # DLL_OVERRIDE [ENV=VALUE...]
    local override=$1 attempt
    shift
    for attempt in 1 2; do
        if (cd "$WORK" && env "$@" WINEDLLOVERRIDES="wnaspi32=$override;$BASE_OVERRIDES" \
            timeout 120 wine scancheck.exe) >"$WORK/out.raw" 2>"$WORK/err.txt"; then
            tr -d '\r' <"$WORK/out.raw" >"$WORK/out.txt"
            return 0
        fi
        [ "$attempt" = 1 ] && grep -q "wine client error" "$WORK/err.txt" && ! [ -s "$WORK/out.raw" ] || break
        echo "    scancheck did not start (the wineserver ended under it); once more" >&2
    done
    echo "    scancheck failed; stderr:" >&2
    sed 's/^/    /' "$WORK/err.txt" >&2
    return 1
}

# Gives every drive of a drive file the completion mode of this pass.
with_completion() {  # FILE
    sed -i "/^\[DRIVE[0-9]*\]/a Completion=$mode" "$1"
}

for mode in immediate deferred; do
    # ---- three drives ---------------------------------------------------------------
    echo "scan: three virtual drives ($mode completion)"
    cat >"$WORK/drives.ini" <<'EOF'
; three virtual drives on the ASPI bus
[DRIVE0]
HostAdapter=0
Target=1
Vendor=NORVEX
Product=CDRW-1000
Revision=1A00
FlashId=DA C8 00 00
Medium=none
[DRIVE1]
HostAdapter=1
Target=0
Vendor=OPTIDRV
Product=DVDRW-B200
Revision=2B10
[DRIVE2]
HostAdapter=12
Target=1
Vendor=OPTIDRV
Product=CDRW-A100
Revision=1A50
EOF
    with_completion "$WORK/drives.ini"
    rm -f "$WORK/trace.txt"
    if run_scancheck n,b NORVEX_SIM_DRIVES="$(winpath "$WORK/drives.ini")" \
        NORVEX_SIM_TRACE="$(winpath "$WORK/trace.txt")" NORVEX_SCANCHECK_FLASH=1B20; then
        expected="0-1-0  : NORVEX  CDRW-1000       1A00
1-0-0  : OPTIDRV DVDRW-B200      2B10
12-1-0  : OPTIDRV CDRW-A100       1A50
flashed: written committed 0-1-0  : NORVEX  CDRW-1000       1B20
# drives: 3, transport: ASPI, LoadState: 0x63"
        expect_eq "$mode: listed drives" "$expected" "$(cat "$WORK/out.txt")"

        # The trace: the 40 probes of the scan in order, then the three DisplayLine
        # INQUIRYs, the download, the commit and the fresh INQUIRY.
        expected=""
        for ha in $(seq 0 19); do
            for t in 0 1; do expected+="$ha:$t 12 00 00 00 80 00 00 00 00 00 00 00 in 128"$'\n'; done
        done
        for a in 0:1 1:0 12:1; do expected+="$a 12 00 00 00 80 00 00 00 00 00 00 00 in 128"$'\n'; done
        expected+="0:1 3B 05 01 00 00 00 00 40 00 00 00 00 out 16384"$'\n'
        expected+="0:1 3B 05 01 00 00 00 00 00 00 80 00 00 in 16"$'\n'
        expected+="0:1 12 00 00 00 80 00 00 00 00 00 00 00 in 128"
        if [ -f "$WORK/trace.txt" ]; then
            expect_eq "$mode: trace of command blocks" "$expected" "$(tr -d '\r' <"$WORK/trace.txt")"
        else
            fail "$mode: no trace file written"
        fi
        expect_eq "$mode: new revision written back to the drive file" "Revision=1B20" \
            "$(sed -n '/^\[DRIVE0\]/,/^\[/p' "$WORK/drives.ini" | grep '^Revision=' | tr -d '\r')"
        expect_eq "$mode: other drives keep their revision" "Revision=2B10" \
            "$(sed -n '/^\[DRIVE1\]/,/^\[/p' "$WORK/drives.ini" | grep '^Revision=' | tr -d '\r')"
    else
        fail "$mode: scancheck did not run with the virtual layer"
    fi

    # ---- a timed-out INQUIRY that completes late ----------------------------------------
    echo "scan: an INQUIRY times out and the layer completes it late ($mode completion)"
    cat >"$WORK/late.ini" <<'EOF'
[DRIVE0]
HostAdapter=0
Target=0
Vendor=SLOWCO
Product=LATE-DRIVE
Revision=0001
TimeoutOpcode=12
TimeoutNth=1
TimeoutCompleteAfterMs=1500
[DRIVE1]
HostAdapter=0
Target=1
Vendor=NORVEX
Product=CDRW-1000
Revision=1A00
EOF
    with_completion "$WORK/late.ini"
    if run_scancheck n,b NORVEX_SIM_DRIVES="$(winpath "$WORK/late.ini")" NORVEX_SCANCHECK_TIMEOUT=1 \
        NORVEX_SCANCHECK_LINGER_MS=2500; then
        expected="0-1-0  : NORVEX  CDRW-1000       1A00
again: 0-1-0  : NORVEX  CDRW-1000       1A00
# drives: 1, transport: ASPI, LoadState: 0x63"
        expect_eq "$mode: the timed-out drive is dropped, the other one keeps working" "$expected" "$(cat "$WORK/out.txt")"
    else
        fail "$mode: scancheck did not survive the late completion"
    fi
done

# ---- no ASPI layer ----------------------------------------------------------------------
echo "scan: WNASPI32.DLL missing"
rm -f "$WORK/WNASPI32.DLL"
if run_scancheck d; then
    box='BOX(Error): Unable to load WNASPI32.DLL !\nYou can down the DLL from http://www.adaptec.com\n and copy the DLL to system directory.\n\n'
    expect_eq "missing-layer box, once per scan" 1 "$(grep -cxF "$box" "$WORK/out.txt" || true)"
    expect_eq "nothing else but the summary" "# drives: 0, transport: ASPI, LoadState: 0x62" \
        "$(grep -vxF "$box" "$WORK/out.txt")"
else
    fail "scancheck did not run without the layer"
fi

if [ "$CHECK_FAILURES" -gt 0 ]; then
    echo "  scan.test.sh: $CHECK_FAILURES check(s) failed (output in $WORK)"
    exit 1
fi
echo "  scan.test.sh: all checks passed"
