# Shared functions of the end-to-end scripts: a Wine prefix of our own, a
# display (our own Xvfb when none is set), the program under test in the
# background, the clicker that acts on it, and screenshots.
#
# Source it from a test script:  . "$(dirname "$0")/lib.sh"
# Settings (environment): NORVEX_WIN_BUILD (default build/win), NORVEX_NATIVE_BUILD
# (default build/native), NORVEX_E2E_OUT (work files and screenshots, default
# build/e2e), NORVEX_WINEPREFIX (default build/e2e/wineprefix).

set -euo pipefail

E2E_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$E2E_REPO/scripts/stage.sh"
E2E_OUT=$(cd "$E2E_REPO" && realpath -m "${NORVEX_E2E_OUT:-build/e2e}")
WIN_BUILD=$(cd "$E2E_REPO" && realpath -m "${NORVEX_WIN_BUILD:-build/win}")
NATIVE_BUILD=$(cd "$E2E_REPO" && realpath -m "${NORVEX_NATIVE_BUILD:-build/native}")
CLICKER=$WIN_BUILD/clicker.exe
mkdir -p "$E2E_OUT"

export WINEPREFIX=${NORVEX_WINEPREFIX:-$E2E_OUT/wineprefix}
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono/Gecko install prompts, no desktop menu entries.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}

E2E_FAILURES=0
E2E_XVFB_PID=""
E2E_PROGRAM_PID=""
PROGRAM_RC=""

log() { echo "  $*"; }
fail() {
    echo "  FAIL: $*" >&2
    E2E_FAILURES=$((E2E_FAILURES + 1))
}
die() {
    echo "  FAIL: $*" >&2
    exit 1
}

# Compares two strings exactly; prints both on a difference.
expect_eq() {  # NAME EXPECTED ACTUAL
    if [ "$2" == "$3" ]; then
        log "ok: $1"
    else
        fail "$1"
        printf '    expected: %q\n    actual:   %q\n' "$2" "$3" >&2
    fi
}

# Creates the prefix once; later scripts reuse it. A lock keeps two scripts
# from initialising it at the same time.
ensure_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/.norvex-ready" ]; then
            log "initialising Wine prefix $WINEPREFIX"
            wineboot -i >/dev/null 2>&1 || true
            wineserver -w || true
            # A crash ends the program instead of waiting in the debugger.
            wine reg add 'HKCU\Software\Wine\DllOverrides' /v winedbg.exe /d '' /f >/dev/null 2>&1 || true
            # Xvfb has no window manager: Wine draws the title bars itself.
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 || true
            wineserver -w || true
            touch "$WINEPREFIX/.norvex-ready"
        fi
        # Wine's own fonts (fonts-wine) where Windows keeps fonts: Debian's Wine
        # does not look in their directory, and without Marlett the title-bar
        # buttons are drawn as the letters "0 1 r".
        if [ -d /usr/share/wine/fonts ] && [ -d "$WINEPREFIX/drive_c/windows/Fonts" ]; then
            cp -u /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
        fi
    ) 9>"$WINEPREFIX.lock"
}

# Starts our own Xvfb when no display is set; it is stopped at exit.
ensure_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    E2E_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 100); do
        xdpyinfo >/dev/null 2>&1 && return 0
        kill -0 "$E2E_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    die "Xvfb did not start on :$n"
}

e2e_cleanup() {
    if [ -n "$E2E_PROGRAM_PID" ] && kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; then
        kill "$E2E_PROGRAM_PID" 2>/dev/null || true
    fi
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$E2E_XVFB_PID" ]; then
        kill "$E2E_XVFB_PID" 2>/dev/null || true
        wait "$E2E_XVFB_PID" 2>/dev/null || true
    fi
}

# Wine that runs and a display (or Xvfb): otherwise the stage cannot run.
require_wine_stage() {  # STAGE
    local why
    need_wine "$1"
    why=$(display_problem) || stage_cannot_run "$1" "$why"
}

# Prefix, display and clean-up; call once at the top of a test script.
e2e_setup() {
    require_wine_stage "$(basename "$0" .sh)"
    [ -f "$WIN_BUILD/norvexflash.exe" ] || die "no $WIN_BUILD/norvexflash.exe (build first)"
    [ -f "$CLICKER" ] || die "no $CLICKER (build first)"
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM  # so that the clean-up runs
    ensure_prefix
    ensure_display
}

# Prints a fresh working directory under $E2E_OUT/work.
workdir() {  # NAME
    local dir=$E2E_OUT/work/$1
    rm -rf "$dir"
    mkdir -p "$dir"
    echo "$dir"
}

# Makes Wine report the 9x family to one program.
set_win98() {  # EXE_NAME
    wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$1" /v Version /d win98 /f >/dev/null 2>&1
}

# Starts a Windows program in the background, in its own directory.
start_program() {  # EXE [ARGS...]
    local exe=$1
    shift
    PROGRAM_RC=""
    (cd "$(dirname "$exe")" && exec wine "$(basename "$exe")" "$@") >"$E2E_OUT/program.log" 2>&1 &
    E2E_PROGRAM_PID=$!
}

# Waits for the program to end; its exit code goes to PROGRAM_RC.
wait_program() {  # [SECONDS]
    local limit=$((${1:-30} * 10)) i
    for i in $(seq 1 "$limit"); do
        if ! kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; then
            PROGRAM_RC=0
            wait "$E2E_PROGRAM_PID" || PROGRAM_RC=$?
            E2E_PROGRAM_PID=""
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Ends a program that is still running (after a failed check).
stop_program() {
    if [ -n "$E2E_PROGRAM_PID" ]; then
        clicker close >/dev/null 2>&1 || true
        wait_program 10 || { kill "$E2E_PROGRAM_PID" 2>/dev/null || true; wait_program 5 || true; }
    fi
    wineserver -k >/dev/null 2>&1 || true
}

clicker() { wine "$CLICKER" "$@"; }

# Runs a command and stores its output in VAR with trailing newlines kept
# (which $(...) would strip); returns the command's exit code.
capture() {  # VAR COMMAND [ARGS...]
    local __name=$1 __text __status
    shift
    __text=$("$@"; __status=$?; printf x; exit $__status) || {
        __status=$?
        printf -v "$__name" '%s' ""
        return $__status
    }
    printf -v "$__name" '%s' "${__text%x}"
}

screenshot() {  # NAME
    import -window root "$E2E_OUT/$1.png" && log "screenshot ${E2E_OUT#"$E2E_REPO"/}/$1.png"
}

# Ends the script with the verdict.
finish() {
    if [ "$E2E_FAILURES" -gt 0 ]; then
        echo "  $E2E_FAILURES check(s) failed"
        exit 1
    fi
    exit 0
}
