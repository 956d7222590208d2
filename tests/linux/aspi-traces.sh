#!/usr/bin/env bash
# Records tests/linux/expected/*.trace, the command blocks the Linux
# program's flashes must equal line by line: the same flashes on the ASPI
# road, the Windows program under Wine in 9x mode with the virtual
# WNASPI32.DLL (tests/e2e). Run it after ./build.sh when the flash sequence
# changes on purpose, and commit the traces it writes.
. "$(dirname "$0")/../e2e/lib.sh"
e2e_setup
. "$(dirname "$0")/cases.sh"

NFPACK=$NATIVE_BUILD/nfpack
MKFW=$NATIVE_BUILD/mkfirmware
dir=$(workdir aspi-traces)
cp "$WIN_BUILD/WNASPI32.DLL" "$dir/WNASPI32.DLL"
out=$E2E_REPO/tests/linux/expected

for case in "${FLASH_CASES[@]}"; do
    read -r name size layout revision <<<"$case"
    echo "$name: $size bytes, layout $layout, revision $revision"
    "$MKFW" "$dir/$name.BIN" --size "$size" --ident "$CASE_IDENT" --revision "$revision" \
        --layout "$layout" >/dev/null
    "$NFPACK" "$WIN_BUILD/norvexflash.exe" "$dir/$name.BIN" "$dir/$name.EXE" "${CASE_PACKAGE[@]}" >/dev/null
    case_drive "$dir/$name.ini" "HostAdapter=0" "Target=0"
    set_win98 "$name.EXE"
    : >"$dir/$name.trace"
    (cd "$dir" && NORVEX_SIM_DRIVES=$(winepath -w "$dir/$name.ini") \
        NORVEX_SIM_TRACE=$(winepath -w "$dir/$name.trace") \
        WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wnaspi32=n,b" exec wine "$name.EXE") >"$dir/$name.log" 2>&1 &
    E2E_PROGRAM_PID=$!
    clicker wait-box "WARNING:" 30 >/dev/null || die "no warning box"
    clicker press-box Yes
    clicker wait-window "CDRW-A100" 60 >/dev/null || die "no drive list"
    clicker press-button
    clicker wait-box "Update FW" 30 >/dev/null || die "no update prompt"
    clicker press-box Yes
    status=""
    for i in $(seq 1 300); do
        capture status clicker --raw status || true
        [ "$status" = "Flash Completed." ] && break
        if capture box clicker --raw box-text 2>/dev/null && [ -n "$box" ]; then die "box: $box"; fi
        sleep 0.2
    done
    expect_eq "$name: status" "Flash Completed." "$status"
    expect_eq "$name: revision written back" "$revision" "$(sed -n 's/^Revision=//p' "$dir/$name.ini" | tr -d '\r')"
    clicker close >/dev/null 2>&1 || true
    wait_program 30 || fail "the flasher did not end"
    stop_program
    tr -d '\r' <"$dir/$name.trace" >"$out/$name.trace"
    log "wrote tests/linux/expected/$name.trace ($(wc -l <"$out/$name.trace") commands)"
done
finish
