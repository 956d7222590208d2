#!/usr/bin/env bash
# The window as a careful Windows program under Wine, in 9x mode through the
# virtual ASPI layer with deferred completion (requests completed later from
# the layer's own thread, as real layers do): no window behind the warning;
# the keyboard alone reaches the FLASH prompt; close and end-session requests
# during a slow flash change nothing; a close while a failure box is up ends
# the program cleanly; the window answers within 1 s all through a flash whose
# every data command takes 7 s.
. "$(dirname "$0")/lib.sh"
e2e_setup

NFPACK=$NATIVE_BUILD/nfpack
MKFW=$NATIVE_BUILD/mkfirmware
DLL=$WIN_BUILD/WNASPI32.DLL
for f in "$NFPACK" "$MKFW"; do [ -x "$f" ] || die "no $f (build the native tools first)"; done
[ -f "$DLL" ] || die "no $DLL"
# Without a window manager Wine waits up to 2 s for one to confirm that a
# hidden window (each message box as it ends) is withdrawn, and the thread
# answers nothing meanwhile. Windows that Wine manages itself have no such
# wait (unmanaged), so the timings measured here are the program's own.

# A flasher of one 16 KiB chunk for the drive OPTIDRV CDRW-A100, revision
# 1A50, and a drive file with that drive at 0:1; extra drive keys as arguments.
make_setup() {  # NAME [KEY=VALUE...]
    local name=$1
    shift
    dir=$(workdir "shell-$name")
    "$MKFW" "$dir/1A50.BIN" --size 16384 --ident "OPTIDRV CDRW-A100       " --revision 1A50 >/dev/null
    "$NFPACK" "$WIN_BUILD/norvexflash.exe" "$dir/1A50.BIN" "$dir/SHELL.EXE" --model CDRW-A100 \
        --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV --note "" >/dev/null \
        || die "nfpack could not write the flasher"
    write_drive_file "$dir/drives.ini" HostAdapter=0 Target=1 Vendor=OPTIDRV Product=CDRW-A100 \
        Revision=1A10 Medium=none Completion=deferred "$@"
    road_9x "$dir/SHELL.EXE" "$dir/drives.ini" "$dir/trace.txt"
    unmanaged SHELL.EXE
}

no_crash() {  # what the program's output must not hold
    if grep -qiE 'unhandled exception|page fault|assertion' "$E2E_OUT/program.log"; then
        fail "the program crashed: $(grep -iE 'unhandled|page fault|assertion' "$E2E_OUT/program.log" | head -1)"
    else
        log "ok: no crash"
    fi
}

echo "start-up: the warning declined, no window is ever shown"
make_setup declined
start_program "$dir/SHELL.EXE"
clicker wait-box "WARNING:" 30 >/dev/null || die "no warning box"
expect_eq "no main window visible behind the warning" 0 "$(clicker --raw visible)"
clicker --raw watch-visible 30 >"$dir/seen.txt" &
watcher=$!
clicker keys n || fail "could not type n"
wait "$watcher" || true
expect_eq "main window never shown" 0 "$(cat "$dir/seen.txt")"
if wait_program 30; then expect_eq "exit code after No" 0 "$PROGRAM_RC"; else fail "still running after No"; fi
stop_program

echo "flasher: keyboard alone"
make_setup keyboard
start_program "$dir/SHELL.EXE"
clicker wait-box "WARNING:" 30 >/dev/null || die "no warning box"
clicker keys y || fail "could not type y"
clicker wait-window "CDRW-A100" 60 >/dev/null || die "no drive list"
expect_eq "combo box focused when the window comes up" 102 "$(clicker --raw focus)"
clicker keys tab
expect_eq "Tab: the button (no file list in this role)" 106 "$(clicker --raw focus)"
clicker keys shift+tab
expect_eq "Shift+Tab: back to the combo box" 102 "$(clicker --raw focus)"
# After each box the focus is back where it was: told by what the keys do
# (Space presses the button only when it has the focus).
prompt_by() {  # WHAT FOCUS_AFTER KEY...
    local what=$1 focus=$2
    shift 2
    clicker keys "$@"
    if clicker --raw wait-box "Update FW:1A10 to FW:1A50" 5 >/dev/null; then
        log "ok: $what brings up the FLASH prompt"
        clicker keys n
        sleep 0.3
        expect_eq "focus after the box" "$focus" "$(clicker --raw focus)"
    else
        fail "$what did not bring up the FLASH prompt"
    fi
}
prompt_by "Enter in the combo box" 102 enter
prompt_by "Tab from the combo box (focused again after the box), then Space" 106 tab space
prompt_by "Space on the button (focused again after the box)" 106 space
prompt_by "Enter on the button" 106 enter
expect_eq "nothing was written" "" "$(grep ' 3B ' "$dir/trace.txt" || true)"
expect_eq "idle: a session may end" 1 "$(clicker --raw query-end-session)"
clicker keys alt+f4
if wait_program 30; then expect_eq "Alt+F4 ends the program, exit code" 0 "$PROGRAM_RC"; else fail "Alt+F4 did not end the program"; fi
no_crash
stop_program

# Starts the flasher, accepts the warning, waits for the drive list, presses
# FLASH and answers Yes to the update prompt.
start_flash() {
    start_program "$dir/SHELL.EXE"
    clicker wait-box "WARNING:" 30 >/dev/null || die "no warning box"
    clicker press-box Yes
    clicker wait-window "CDRW-A100" 60 >/dev/null || die "no drive list"
    clicker press-button || die "could not press FLASH"
    clicker wait-box "Update FW:1A10 to FW:1A50" 30 >/dev/null || die "no update prompt"
    clicker press-box Yes
}

echo "flasher: close and end-session requests during a slow flash"
make_setup slow-close CommandDelayMs=1500
start_flash
clicker wait-status "Write BIN" 30 >/dev/null || fail "the download did not start"
sleep 0.5
clicker send-close || fail "a sent close request was not answered"
clicker close
clicker syscommand-close
expect_eq "log-off and shut-down refused" 0 "$(clicker --raw query-end-session)"
expect_eq "window still up" 1 "$(clicker --raw visible)"
case $(clicker --raw status) in
    *"Flash Completed."*) fail "the flash ended before the requests" ;;
    *) log "ok: the flash still runs" ;;
esac
# The requests are carried out once the flash has ended: the program then ends.
if wait_program 120; then
    expect_eq "exit code after the flash" 0 "$PROGRAM_RC"
else
    fail "the program did not end after the flash"
fi
expect_eq "one commit was sent" 1 "$(count_commits "$dir/trace.txt")"
expect_eq "the list refresh followed the commit" "0:1 12 00 00 00 80 00 00 00 00 00 00 00 in 128" \
    "$(tail -n 1 "$dir/trace.txt")"
expect_eq "the drive took the new firmware" "Revision=1A50" "$(grep '^Revision=' "$dir/drives.ini")"
no_crash
stop_program

echo "flasher: close requests while a failure box is up"
make_setup fail-box FailOpcode=3B FailSense="03 0C 00"
start_flash
if clicker --raw wait-box "Write Buffer> " 60 >/dev/null; then
    clicker send-close || fail "a sent close request was not answered"
    clicker close
    sleep 0.5
    expect_eq "window still up under the box" 1 "$(clicker --raw visible)"
    clicker press-box OK
    if wait_program 30; then
        expect_eq "exit code" 0 "$PROGRAM_RC"
    else
        fail "the program did not end after the box"
    fi
else
    fail "no \"Write Buffer> \" box"
fi
expect_eq "no commit was sent" 0 "$(count_commits "$dir/trace.txt")"
no_crash
stop_program

# Every command, with data or without, takes 7 s: data commands through
# CommandDelayMs, the others through a time-out completed 7 s late.
echo "flasher: the window answers within 1 s all through a flash of 7-s commands"
make_setup seven CommandDelayMs=7000 TimeoutCompleteAfterMs=7000 \
    TimeoutOpcode=1B TimeoutNth=0 TimeoutOpcode2=00 TimeoutNth2=0 TimeoutOpcode3=4E TimeoutNth3=0
start_program "$dir/SHELL.EXE"
clicker wait-box "WARNING:" 30 >/dev/null || die "no warning box"
clicker --raw responsive "Flash Completed." 240 >"$dir/responsive.txt" &
probe=$!
clicker press-box Yes
clicker wait-window "CDRW-A100" 60 >/dev/null || die "no drive list"
clicker press-button || die "could not press FLASH"
clicker wait-box "Update FW:1A10 to FW:1A50" 30 >/dev/null || die "no update prompt"
clicker press-box Yes
if wait "$probe"; then
    log "ok: $(cat "$dir/responsive.txt")"
else
    fail "the window did not always answer within 1 s: $(cat "$dir/responsive.txt")"
fi
expect_eq "one commit was sent" 1 "$(count_commits "$dir/trace.txt")"
clicker close
wait_program 30 || fail "the program did not end"
no_crash
stop_program

echo "builder: Tab through combo box, file list and button"
dir=$(workdir shell-builder)
cp "$WIN_BUILD/norvexflash.exe" "$dir/SHELLB.EXE"
cp "$E2E_REPO/samples/norvexflash.ini" "$dir/SHELLB.INI"
head -c 1000 /dev/zero >"$dir/1AX.BIN"
unmanaged SHELLB.EXE
start_program "$dir/SHELLB.EXE"
clicker wait-window "Flash Utility" 30 >/dev/null || die "the builder window did not appear"
expect_eq "combo box focused" 102 "$(clicker --raw focus)"
clicker keys tab
expect_eq "Tab: the file list" 103 "$(clicker --raw focus)"
clicker keys tab
expect_eq "Tab: the disabled Build button is passed over" 102 "$(clicker --raw focus)"
clicker keys tab down
expect_eq "a file chosen by keyboard enables Build" "Build enabled" "$(clicker --raw button)"
clicker keys tab
expect_eq "Tab: the Build button" 106 "$(clicker --raw focus)"
clicker keys shift+tab
expect_eq "Shift+Tab: back to the file list" 103 "$(clicker --raw focus)"
clicker close
wait_program 30 || fail "builder did not end"
stop_program
finish
