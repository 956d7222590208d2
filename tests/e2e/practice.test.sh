#!/usr/bin/env bash
# scripts/practice.sh as a new user runs it: a flasher built from the shipped
# sample catalogue, rehearsed on both roads with --auto (the script answers
# the flasher itself), and once with a fault of the commit. Checked from the
# script's own summary and files: the drive's revision before and after, the
# trace, and that preloading the virtual device printed no loader error.
. "$(dirname "$0")/lib.sh"
# Drive letters are prefix state: a prefix of its own, as nt.test.sh has.
[ -n "${NORVEX_WINEPREFIX:-}" ] || export WINEPREFIX=$E2E_OUT/wineprefix-practice
e2e_setup

NFPACK=$NATIVE_BUILD/nfpack
MKFW=$E2E_REPO/dist/tools/mkfirmware
SAMPLE=$E2E_REPO/dist/norvexflash.ini
for f in "$NFPACK" "$MKFW" "$SAMPLE" "$E2E_REPO/dist/tools/nfinfo"; do
    [ -e "$f" ] || die "no $f (build first: ./build.sh)"
done
dir=$(workdir practice)

# The sample's DVDRW-B200 and a firmware file named as README says.
value() { sed -n '/^\[MODEL01\]/,/^\[/p' "$SAMPLE" | sed -n "s/^$1=//p" | tr -d '\r'; }
"$MKFW" "$dir/2B20PRA.BIN" --size 262144 --ident "$(value Inquiry)" --revision 2B20 --layout a >/dev/null
# The template of the build under test (the shipped one on the i686 road).
"$NFPACK" "$WIN_BUILD/norvexflash.exe" "$dir/2B20PRA.BIN" "$dir/2B20.EXE" --model "$(value Model)" \
    --inquiry "$(value Inquiry)" --range "$(value FW-Range)" --vendor "$(value Vendor)" \
    --note "$(value Note)" >/dev/null || die "nfpack could not build 2B20.EXE"
work=$E2E_REPO/build/practice/2B20

rehearse() {  # LOG ARGS...
    local out=$dir/$1
    shift
    log "scripts/practice.sh $*"
    PRACTICE_RC=0
    bash "$E2E_REPO/scripts/practice.sh" "$@" >"$out" 2>&1 || PRACTICE_RC=$?
    sed 's/^/    /' "$out"
}
line() { sed -n "s/^practice: $2//p" "$dir/$1" | head -1; }

for road in 9x nt; do
    echo "$road road"
    rehearse "$road.out" "$dir/2B20.EXE" "$road" --auto
    expect_eq "$road: exit status" 0 "$PRACTICE_RC"
    expect_eq "$road: revision before and after" "2B00, after: 2B20" "$(line "$road.out" "drive revision before: ")"
    grep -q "^practice: status: Flash Completed\.$" "$dir/$road.out" && log "ok: $road: Flash Completed." ||
        fail "$road: no \"Flash Completed.\""
    expect_eq "$road: one commit in the trace" 1 "$(count_commits "$work/trace.txt")"
    expect_eq "$road: no loader complaint" "" "$(grep "ERROR: ld.so" "$work/program.log")"
done

echo "9x road, the commit refused by the drive"
rehearse fault.out "$dir/2B20.EXE" 9x --auto --fault FailOpcode=3B --fault FailByte=9 --fault FailValue=80 \
    --fault "FailSense=03 0C 00"
expect_eq "fault: exit status" 0 "$PRACTICE_RC"
expect_eq "fault: the drive keeps its revision" "2B00, after: 2B00 (unchanged)" \
    "$(line fault.out "drive revision before: ")"
grep -q "^practice: box: .*03 0C 00" "$dir/fault.out" && log "ok: fault: the box names the sense" ||
    fail "fault: no box with the sense 03 0C 00"

echo "a template is refused"
rehearse template.out "$WIN_BUILD/norvexflash.exe"
expect_eq "template: exit status" 1 "$PRACTICE_RC"
grep -q "builder template, not a flasher" "$dir/template.out" && log "ok: template: says so" ||
    fail "template: no explanation"

finish
