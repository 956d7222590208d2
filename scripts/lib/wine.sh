# The Windows program under Wine, for the end-to-end scripts, the Win32 unit
# suite, the demonstration and the practice script: which build runs (i686
# or x86-64, scripts/lib/stage.sh), a Wine prefix of its own (created once,
# under a lock), a display (our own Xvfb when none answers), the two roads
# (9x through the virtual ASPI layer, NT through Wine's pass-through and the
# virtual SCSI generic device), the program in the background, the clicker
# that acts on it, and the walk from the warning to the flash's outcome.
#
# Source scripts/lib/all.sh, then call wine_setup_build once.
# Settings (environment): NORVEX_WINE_BUILD (i686 or x86-64), NORVEX_WIN_BUILD
# (default build/win, or build/win64 for x86-64), NORVEX_NATIVE_BUILD (default
# build/native), NORVEX_E2E_OUT (work files and screenshots, default
# build/e2e, or build/e2e64 for x86-64), NORVEX_WINEPREFIX (default
# $NORVEX_E2E_OUT/wineprefix).

E2E_XVFB_PID="" E2E_PROGRAM_PID="" PROGRAM_RC=""

# Chooses the build and everything that follows from it: WIN_BUILD, the
# prefix's architecture and default path, and, for x86-64, a folder of
# wrappers first on PATH so that wine, winepath and wineboot start Wine's
# 64-bit loader (Debian's wine prefers the 32-bit one whenever it is there).
wine_setup_build() {
    WINE_BUILD=$(wine_build) || exit 2
    # The scripts this one starts (wine-virtual-cdrom.sh, the tests) agree.
    export NORVEX_WINE_BUILD=$WINE_BUILD
    local default_build=build/win default_out=build/e2e
    if [ "$WINE_BUILD" = x86-64 ]; then
        default_build=build/win64 default_out=build/e2e64
        export WINEARCH=win64
        local bin=$NORVEX_REPO/build/wine64-bin
        mkdir -p "$bin"
        local tool
        # The same text for every run (the loader comes from WINELOADER), so
        # runs side by side never see another's wrapper; replaced atomically.
        for tool in wine wine-stable; do
            printf '#!/bin/sh\nexec "${WINELOADER:-/usr/lib/wine/wine64}" "$@"\n' >"$bin/$tool.$$"
            chmod +x "$bin/$tool.$$"
            mv -f "$bin/$tool.$$" "$bin/$tool"
        done
        case ":$PATH:" in *":$bin:"*) ;; *) export PATH=$bin:$PATH ;; esac
        export WINELOADER=$WINE64_LOADER
    else
        export WINEARCH=win32
    fi
    WIN_BUILD=$(cd "$NORVEX_REPO" && realpath -m "${NORVEX_WIN_BUILD:-$default_build}")
    NATIVE_BUILD=$(cd "$NORVEX_REPO" && realpath -m "${NORVEX_NATIVE_BUILD:-build/native}")
    E2E_OUT=$(cd "$NORVEX_REPO" && realpath -m "${NORVEX_E2E_OUT:-$default_out}")
    CLICKER=$WIN_BUILD/clicker.exe
    mkdir -p "$E2E_OUT"
    export WINEPREFIX=${NORVEX_WINEPREFIX:-$E2E_OUT/wineprefix}
    export WINEDEBUG=-all
    # No Mono/Gecko install prompts, no desktop menu entries.
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
}

# Builds the Windows sources for x86-64 into WIN_BUILD (the i686 build is
# ./build.sh's); quick when nothing changed. Never copied to dist/.
build_windows_for_wine() {
    [ "$WINE_BUILD" = x86-64 ] || return 0
    local log=$E2E_OUT/win64-build.log
    echo "  building the Windows sources for x86-64 into ${WIN_BUILD#"$NORVEX_REPO"/} (log: ${log#"$NORVEX_REPO"/})"
    {
        cmake -S "$NORVEX_REPO" -B "$WIN_BUILD" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$NORVEX_REPO/cmake/mingw-x86-64.cmake" &&
            cmake --build "$WIN_BUILD" -j"$(nproc)"
    } >"$log" 2>&1 || { tail -30 "$log" >&2; die "the x86-64 build of the Windows sources failed"; }
}

# Creates the prefix once; later scripts reuse it. A lock keeps two scripts
# from initialising it at the same time.
ensure_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/.norvex-ready" ]; then
            log "initialising Wine prefix $WINEPREFIX ($WINEARCH)"
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

# Starts our own Xvfb when no display answers; it is stopped at exit.
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

wine_cleanup() {
    if [ -n "$E2E_PROGRAM_PID" ] && kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; then
        kill "$E2E_PROGRAM_PID" 2>/dev/null || true
    fi
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$E2E_XVFB_PID" ]; then
        kill "$E2E_XVFB_PID" 2>/dev/null || true
        wait "$E2E_XVFB_PID" 2>/dev/null || true
    fi
}

# Wine that runs the chosen build and a display (or Xvfb): otherwise the
# stage cannot run.
require_wine_stage() {  # STAGE
    local why
    need_wine "$1"
    why=$(display_problem) || stage_cannot_run "$1" "$why"
}

# Prefix, display and clean-up; call once at the top of a script.
wine_session() {  # STAGE
    require_wine_stage "$1"
    [ -f "$WIN_BUILD/norvexflash.exe" ] || die "no $WIN_BUILD/norvexflash.exe (build first)"
    [ -f "$CLICKER" ] || die "no $CLICKER (build first)"
    trap wine_cleanup EXIT
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

# Without a window manager Wine waits for one each time a box closes; the
# windows of a program it does not hand to a manager skip that wait.
unmanaged() {  # EXE_NAME
    wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$1\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
}

# The 9x road for EXE: Windows 98 as Wine's version for it, our virtual ASPI
# layer beside it (WIN_BUILD's, of the build's own processor) loaded before
# Wine's, and the drive file and trace the layer reads (exported).
road_9x() {  # EXE DRIVES TRACE
    set_win98 "$(basename "$1")"
    cp "$WIN_BUILD/WNASPI32.DLL" "$(dirname "$1")/WNASPI32.DLL"
    case $WINEDLLOVERRIDES in *wnaspi32=n,b*) ;; *) export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wnaspi32=n,b" ;; esac
    NORVEX_SIM_DRIVES=$(winepath -w "$2")
    NORVEX_SIM_TRACE=$(winepath -w "$3")
    export NORVEX_SIM_DRIVES NORVEX_SIM_TRACE
}

# The virtual SCSI generic device for the NT road: the loader's $LIB picks
# the i386 or x86-64 build for each process (Wine's own helpers are 64-bit),
# so neither prints a loader error.
VSG_PRELOAD=${NORVEX_VSG:-$NORVEX_REPO/dist/sim/\$LIB/vsg.so}

# Starts a Windows program in the background, in its own directory; its
# output goes to $E2E_OUT/program.log.
start_program() {  # EXE [ARGS...]
    local exe=$1
    shift
    PROGRAM_RC=""
    (cd "$(dirname "$exe")" && exec wine "$(basename "$exe")" "$@") >"$E2E_OUT/program.log" 2>&1 &
    E2E_PROGRAM_PID=$!
}
# The same on the NT road: Wine's default (NT) mode with the virtual SCSI
# generic device preloaded, answering from DRIVES and writing TRACE; output
# to LOG.
start_program_nt() {  # EXE DRIVES TRACE [LOG]
    local exe=$1
    PROGRAM_RC=""
    (cd "$(dirname "$exe")" && LD_PRELOAD=$VSG_PRELOAD NORVEX_SG_DRIVES=$2 NORVEX_SG_TRACE=$3 \
        exec wine "$(basename "$exe")") >"${4:-$E2E_OUT/program.log}" 2>&1 &
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

# Closes the window as a person would, every box answered, and expects the
# program to end.
close_program() {
    clicker close >/dev/null 2>&1 || true
    wait_program 30 || fail "the flasher did not end"
    stop_program
}

clicker() { wine "$CLICKER" "$@"; }

screenshot() {  # NAME
    import -window root "$E2E_OUT/$1.png" && log "screenshot ${E2E_OUT#"$NORVEX_REPO"/}/$1.png"
}

# The warning answered Yes, then the drive list; prints the list's items.
accept_warning() {  # MODEL_TEXT
    clicker wait-box "WARNING:" 30 >/dev/null || die "no warning box"
    clicker press-box Yes >/dev/null
    clicker wait-window "$1" 60 >/dev/null || die "no drive list"
    clicker --raw combo-items
}

# FLASH, Yes to the prompt, then every box until the flash ends, each
# answered OK and kept in BOXES (an array); the final status line goes to
# STATUS. The flash has ended when the status line shows its outcome anew,
# or, with LAST_BOX, once a box holding that text has come (a failed flash
# may leave the status line as the previous one left it; a completed one
# may follow its outcome with a box).
BOXES=() STATUS=""
run_flash() {  # [LAST_BOX]
    local last=${1:-} before box seen="" i
    BOXES=()
    capture before clicker --raw status || before=""
    clicker press-button >/dev/null
    clicker wait-box "Update FW" 30 >/dev/null || { fail "no update prompt"; return 1; }
    clicker press-box Yes >/dev/null
    for i in $(seq 1 600); do
        if capture box clicker --raw box-text 2>/dev/null && [ -n "$box" ]; then
            BOXES+=("$box")
            clicker press-box OK >/dev/null || true
            [ -n "$last" ] && [[ $box == *"$last"* ]] && seen=1
            continue
        fi
        capture STATUS clicker --raw status || true
        case "$STATUS" in
            "Flash Completed." | "Flash Fail." | *Fail!*)
                if [ -n "$last" ]; then [ -n "$seen" ] && break; else [ "$STATUS" != "$before" ] && break; fi ;;
        esac
        sleep 0.2
    done
}
