#!/usr/bin/env bash
# A person at a terminal (a pseudo-terminal): the warning, the drive list,
# FLASH and its prompt typed as answers, the progress redrawn in place, and
# Ctrl+C during the flash, which waits for its end. Then SIGTERM sent to a
# flash without a terminal, and SIGHUP: each held until the flash is over,
# and the exit status the flash's own: 0 for a completed flash, 3 for a
# commit that failed while SIGTERM was held. A background job's ignored
# SIGINT is not announced at all.
. "$(dirname "$0")/lib.sh"
dir=$(workdir signals)
make_flasher 1A60P "$dir"
# A slow drive: each data transfer takes 300 ms, so the flash lasts seconds.
write_drive "$dir/tty.ini" "$dir/dev-tty" CommandDelayMs=300

echo "typed at a terminal, with Ctrl+C during the flash"
RC=0
LD_PRELOAD=$VSG64 NORVEX_SG_DRIVES=$dir/tty.ini NORVEX_SG_TRACE=$dir/tty.trace \
    python3 - "$PROGRAM" "$dir/dev-tty" "$dir/1A60P.EXE" >"$dir/tty.log" 2>&1 <<'PY' || RC=$?
import os, pty, select, signal, sys, time
program, device, flasher = sys.argv[1:4]
pid, fd = pty.fork()
if pid == 0:
    os.execv(program, [program, "--device", device, flasher])
seen = b""
def expect(text, timeout=30):
    global seen
    end = time.time() + timeout
    while text.encode() not in seen:
        left = end - time.time()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            sys.exit("timed out waiting for %r; the screen:\n%s" % (text, seen.decode(errors="replace")))
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            chunk = b""
        if not chunk:
            sys.exit("ended before %r; the screen:\n%s" % (text, seen.decode(errors="replace")))
        seen += chunk
def type_(keys):
    time.sleep(0.2)  # as a person reads before typing
    os.write(fd, keys)
expect("Do you wish to continue?"); expect("[y/N] "); type_(b"y\r")
expect("Drive to FLASH"); type_(b"\r")
expect("Update FW:1A10 to FW:1A60 ?"); expect("[y/N] ", 5); type_(b"y\r")
expect("Write BIN to drive's DRAM"); type_(b"\x03")  # Ctrl+C
expect("SIGINT received", 5)
expect("Flash Completed.", 60)
expect("(exit status 0)", 30)
_, status = os.waitpid(pid, 0)
while True:
    try:
        chunk = os.read(fd, 4096)
    except OSError:
        break
    if not chunk:
        break
    seen += chunk
sys.stdout.write(seen.decode(errors="replace"))
print("\nWAIT STATUS: %s" % ("signal %d" % os.WTERMSIG(status) if os.WIFSIGNALED(status) else "exit %d" % os.WEXITSTATUS(status)))
PY
expect_eq "the session ran to its end" 0 "$RC"
screen=$(cat "$dir/tty.log")
expect_in "Ctrl+C announced at once, the flash goes on" \
    "SIGINT received: the flash goes on to its end, so that the drive is not left half-programmed; the program ends after it." "$screen"
expect_in "the status line redraws in place with a bar" $'\r\e[KWrite BIN to drive\'s DRAM...  [###' "$screen"
expect_in "the flash completed" "Flash Completed." "$screen"
expect_in "then the program ends with the flash's own status" "WAIT STATUS: exit 0" "$screen"
expect_in "and says why it ends now" "ending now on the SIGINT received during the flash, with the flash's own exit status 0." "$screen"
expect_eq "the commit was sent once" 1 "$(count_commits "$dir/tty.trace")"
expect_eq "revision written back" 1A60 "$(revision_in "$dir/tty.ini")"

echo "TERM=dumb at a terminal: no control sequences; typed answers written into piped output"
write_drive "$dir/dumb.ini" "$dir/dev-dumb"
RC=0
LD_PRELOAD=$VSG64 NORVEX_SG_DRIVES=$dir/dumb.ini \
    python3 - "$PROGRAM" "$dir/dev-dumb" "$dir/1A60P.EXE" >"$dir/dumb.log" 2>&1 <<'PY' || RC=$?
import os, pty, subprocess, sys, time
program, device, flasher = sys.argv[1:4]
# Output to a terminal that takes no control sequences.
pid, fd = pty.fork()
if pid == 0:
    os.environ["TERM"] = "dumb"
    os.execv(program, [program, "--yes", "--device", device, flasher])
seen = b""
while True:
    try:
        chunk = os.read(fd, 4096)
    except OSError:
        break
    if not chunk:
        break
    seen += chunk
os.waitpid(pid, 0)
print("DUMB:", "escape" if b"\x1b" in seen else "clean", "completed" if b"Flash Completed." in seen else "not completed")
# Input typed at a terminal, output into a pipe (| tee): the answers are in the pipe.
master, slave = pty.openpty()
p = subprocess.Popen([program, "--list", "--device", device, flasher], stdin=slave,
                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
out = p.communicate(timeout=30)[0]
p = subprocess.Popen([program, "--device", device, flasher], stdin=slave,
                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
time.sleep(0.5)
os.write(master, b"n\n")
out = p.communicate(timeout=30)[0]
print("PIPED:", repr(out.decode(errors="replace")))
PY
expect_eq "TERM=dumb: ran" 0 "$RC"
expect_in "TERM=dumb: no control sequence, the flash completed" "DUMB: clean completed" "$(cat "$dir/dumb.log")"
expect_in "piped output: the typed answer follows its question" '[y/N] n\n' "$(cat "$dir/dumb.log")"

held_signal() {  # SIGNAL EXPECTED_STATUS FLASHER [FAULT LINES...]
    echo "$1 during a flash without a terminal${4:+ ($4)}"
    local sig=$1 want=$2 flasher=$3
    shift 3
    write_drive "$dir/$sig.ini" "$dir/dev-$sig" CommandDelayMs=200 "$@"
    : >"$dir/$sig.out"
    : >"$dir/$sig.trace"
    # With the signal's default disposition, whatever this script was given:
    # under nohup SIGHUP comes ignored, and the program rightly leaves an
    # ignored signal ignored.
    LD_PRELOAD=$VSG64 NORVEX_SG_DRIVES=$dir/$sig.ini NORVEX_SG_TRACE=$dir/$sig.trace \
        env --default-signal="$sig" \
        "$PROGRAM" --yes --device "$dir/dev-$sig" "$flasher" >"$dir/$sig.out" 2>&1 </dev/null &
    local pid=$! i
    for i in $(seq 1 300); do grep -q "Write BIN" "$dir/$sig.out" && break; sleep 0.1; done
    kill -"$sig" "$pid"
    RC=0
    { wait "$pid"; } 2>/dev/null || RC=$?
    local out
    out=$(cat "$dir/$sig.out")
    expect_eq "$sig: the exit status is the flash's own" "$want" "$RC"
    expect_in "$sig: announced" "$sig received: the flash goes on" "$out"
    # A program that died by the signal mid-flash would have neither.
    expect_in "$sig: the flash ran to its end" "(exit status $want)" "$out"
    expect_in "$sig: why it ends" "received during the flash, with the flash's own exit status $want." "$out"
    expect_eq "$sig: the commit was sent once" 1 "$(count_commits "$dir/$sig.trace")"
}
held_signal TERM 0 "$dir/1A60P.EXE"
expect_in "TERM: the outcome first" "Flash Completed." "$(cat "$dir/TERM.out")"
expect_eq "TERM: revision written back" 1A60 "$(revision_in "$dir/TERM.ini")"
held_signal HUP 0 "$dir/1A60P.EXE"
expect_in "HUP: the outcome first" "Flash Completed." "$(cat "$dir/HUP.out")"
expect_eq "HUP: revision written back" 1A60 "$(revision_in "$dir/HUP.ini")"

# A 32 KiB image: two chunks, so the commit is the third WRITE BUFFER; its
# transport fails while SIGTERM is held: 3, not 143.
"$MKFW" "$dir/1A70.BIN" --size 32768 --ident "$CASE_IDENT" --revision 1A70 --layout plain >/dev/null
"$NFPACK" "$TEMPLATE" "$dir/1A70.BIN" "$dir/1A70.EXE" "${CASE_PACKAGE[@]}" >/dev/null
held_signal TERM 3 "$dir/1A70.EXE" TransportFailOpcode=3B TransportFailNth=3
expect_in "failed commit: Flash Fail." $'\nFlash Fail.\n' "$(cat "$dir/TERM.out")"

echo "SIGINT ignored, as in a script's background job: not announced, not held"
write_drive "$dir/bg.ini" "$dir/dev-bg" CommandDelayMs=100
: >"$dir/bg.trace"
LD_PRELOAD=$VSG64 NORVEX_SG_DRIVES=$dir/bg.ini NORVEX_SG_TRACE=$dir/bg.trace \
    bash -c 'trap "" INT; exec "$@"' - "$PROGRAM" --yes --device "$dir/dev-bg" "$dir/1A60P.EXE" \
    >"$dir/bg.out" 2>&1 </dev/null &
pid=$!
for i in $(seq 1 300); do grep -q "Write BIN" "$dir/bg.out" && break; sleep 0.1; done
kill -INT "$pid"
RC=0
{ wait "$pid"; } 2>/dev/null || RC=$?
expect_eq "ignored SIGINT: the flash's own status" 0 "$RC"
bg=$(cat "$dir/bg.out")
if grep -q "SIGINT" <<<"$bg"; then fail "an ignored SIGINT was announced"; else log "ok: no word of the ignored SIGINT"; fi
expect_in "ignored SIGINT: the flash completed" "Flash Completed." "$bg"
finish
