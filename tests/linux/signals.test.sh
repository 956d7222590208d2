#!/usr/bin/env bash
# A person at a terminal (a pseudo-terminal): the warning, the drive list,
# FLASH and its prompt typed as answers, the progress redrawn in place, and
# Ctrl+C during the flash, which waits for its end. Then SIGTERM sent to a
# flash without a terminal, and SIGHUP: each held until the flash is over.
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
expect_in "then the program ends by the signal" "WAIT STATUS: signal 2" "$screen"
expect_eq "the commit was sent once" 1 "$(count_commits "$dir/tty.trace")"
expect_eq "revision written back" 1A60 "$(revision_in "$dir/tty.ini")"

held_signal() {  # SIGNAL NUMBER
    echo "$1 during a flash without a terminal"
    write_drive "$dir/$1.ini" "$dir/dev-$1" CommandDelayMs=200
    : >"$dir/$1.out"
    LD_PRELOAD=$VSG64 NORVEX_SG_DRIVES=$dir/$1.ini NORVEX_SG_TRACE=$dir/$1.trace \
        "$PROGRAM" --yes --device "$dir/dev-$1" "$dir/1A60P.EXE" >"$dir/$1.out" 2>&1 </dev/null &
    local pid=$! i
    for i in $(seq 1 300); do grep -q "Write BIN" "$dir/$1.out" && break; sleep 0.1; done
    kill -"$1" "$pid"
    RC=0
    { wait "$pid"; } 2>/dev/null || RC=$?
    expect_eq "$1: the program ends by the signal after the flash" $((128 + $2)) "$RC"
    expect_in "$1: announced" "$1 received: the flash goes on" "$(cat "$dir/$1.out")"
    expect_in "$1: the outcome first" "Flash Completed." "$(cat "$dir/$1.out")"
    expect_eq "$1: revision written back" 1A60 "$(revision_in "$dir/$1.ini")"
}
held_signal TERM 15
held_signal HUP 1
finish
