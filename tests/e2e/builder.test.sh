#!/bin/bash
# The builder role as a person uses it: choose a model, see its firmware
# files, click one, press "Build"; the new executable then starts as a
# flasher for that model. An empty firmware file and a FW-Range no flasher can
# enforce are refused, and no file is written. Screenshots go to
# build/e2e/builder-*.png.
. "$(dirname "$0")/lib.sh"

e2e_setup

WORK=$E2E_OUT/builder/work
rm -rf "$WORK"
mkdir -p "$WORK"
cp "$WIN_BUILD/norvexflash.exe" "$WORK/norvexflash.exe"
cp "$E2E_REPO/samples/norvexflash.ini" "$WORK/norvexflash.ini"
# Firmware files of two models (masks 1A*.BIN and 2B*.BIN;2B*.ROM) and a stranger.
head -c 262144 /dev/urandom >"$WORK/2B20PRA.BIN"
head -c 1000 /dev/urandom >"$WORK/2b21.rom"
head -c 1000 /dev/urandom >"$WORK/1AX.BIN"
echo "not firmware" >"$WORK/readme.txt"

c() { clicker "$@" | tr -d '\r'; }

log "builder start-up"
start_program "$WORK/norvexflash.exe"
c wait-window "Flash Utility" 30 >/dev/null || die "the builder window did not appear"
expect_eq "caption" " Flash Utility V1.048A 1A00-1A99 [Buiding]" "$(c caption)"
expect_eq "label" "Select Model: " "$(c label)"
expect_eq "models" \
    $'1A00-1A99 OPTIDRV CDRW-A100\n2B00-2B99 OPTIDRV DVDRW-B200\n3C00-3C99 OPTIDRV DVD-ROM KVA-204' "$(c combo-items)"
expect_eq "first model selected" "0" "$(c combo-index)"
expect_eq "files of the first model" "1AX.BIN" "$(c files)"
expect_eq "file list visible" "1" "$(c file-list-visible)"
expect_eq "button before a file is clicked" "Build disabled" "$(c button)"
screenshot builder-start

log "second model, a file, Build"
c combo-select 1 >/dev/null || fail "could not choose the second model"
expect_eq "caption of the second model" " Flash Utility V1.048A 2B00-2B99 [Buiding]" "$(c caption)"
expect_eq "files of the second model" $'2B20PRA.BIN\n2b21.rom' "$(c files)"
expect_eq "button after the model change" "Build disabled" "$(c button)"
c file-click 0 >/dev/null || fail "could not click the firmware file"
expect_eq "button after the click" "Build enabled" "$(c button)"
c press-button >/dev/null || fail "could not press Build"
status=$(c wait-status "complete" 60) || fail "no completion: status $(c status)"
expect_eq "status" "Build 2B20.EXE complete!" "$status"
expect_eq "progress reset" "0" "$(c progress)"
screenshot builder-built
if c box-text >/dev/null 2>&1; then fail "a message box is open: $(c box-text)"; fi
c close >/dev/null || true
wait_program 15 || fail "the builder did not end"

[ -f "$WORK/2B20.EXE" ] || die "no 2B20.EXE written"
# The template's length, and the 52-byte SHA-256 trailer after it.
expect_eq "output length" "$(($(stat -c %s "$WORK/norvexflash.exe") + 52))" "$(stat -c %s "$WORK/2B20.EXE")"
expect_eq "keyword occurrences in the output" "1" "$(grep -a -o 'FWBLOCK-MARKER' "$WORK/2B20.EXE" | wc -l)"

log "the built flasher"
start_program "$WORK/2B20.EXE"
box=$(c wait-box "WARNING" 30) || die "the built flasher showed no warning"
case "$box" in
*"only supports OPTIDRV DVDRW-B200 drive with firmware:2B00-2B99"*) log "ok: warning names the model" ;;
*) fail "warning does not name the chosen model: $box" ;;
esac
screenshot builder-flasher-warning
c press-box No >/dev/null || fail "could not decline the warning"
wait_program 15 || fail "the flasher did not end after No"
expect_eq "flasher exit code" "0" "$PROGRAM_RC"
stop_program

log "refusals: an empty firmware file, a range no flasher can enforce"
REFUSE=$E2E_OUT/builder/refusals
rm -rf "$REFUSE"
mkdir -p "$REFUSE"
cp "$WIN_BUILD/norvexflash.exe" "$REFUSE/norvexflash.exe"
cat >"$REFUSE/norvexflash.ini" <<'INI'
[MODEL00]
Model=CDRW-A100
Inquiry=OPTIDRV CDRW-A100
FW-Range=1A00-1A99
BINMask=1A*.BIN
Vendor=OPTIDRV
Note=

[MODEL01]
Model=DVDRW-B200
Inquiry=OPTIDRV DVDRW-B200
FW-Range=2B00 to 2B40
BINMask=2B*.BIN
Vendor=OPTIDRV
Note=
INI
: >"$REFUSE/1A50.BIN"
head -c 1000 /dev/urandom >"$REFUSE/2B20.BIN"
start_program "$REFUSE/norvexflash.exe"
c wait-window "Flash Utility" 30 >/dev/null || die "the builder window did not appear"
expect_eq "the empty file is listed" "1A50.BIN" "$(c files)"
c file-click 0 >/dev/null || fail "could not click the empty file"
c press-button >/dev/null || fail "could not press Build"
if box=$(clicker --raw wait-box "Building fail" 30); then
    expect_eq "empty file refused" "Building fail: 1A50.BIN is empty (0 bytes)!" "$box"
    c press-box OK >/dev/null
else
    fail "the empty file was not refused (status: $(c status))"
fi
c combo-select 1 >/dev/null || fail "could not choose the second model"
c file-click 0 >/dev/null || fail "could not click 2B20.BIN"
c press-button >/dev/null || fail "could not press Build"
if box=$(clicker --raw wait-box "Building fail" 30); then
    case "$box" in
    "Building fail: FW-Range \"2B00 to 2B40\" of MODEL01 in "*"norvexflash.INI is neither LLLL-HHHH nor any firmware"*)
        log "ok: range refused, naming the section and value" ;;
    *) fail "unexpected refusal: $box" ;;
    esac
    c press-box OK >/dev/null
else
    fail "the malformed range was not refused (status: $(c status))"
fi
screenshot builder-refused
c close >/dev/null || true
wait_program 15 || fail "the builder did not end"
for out in 1A50.EXE 2B20.EXE; do
    [ -e "$REFUSE/$out" ] && fail "$out was written" || log "ok: no $out"
done

stop_program
finish
