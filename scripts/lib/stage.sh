# Shared by the test stages, the demonstration and the practice script:
# whether this machine can run a stage, and what a stage that cannot run does.
# Source it:  . scripts/lib/stage.sh
#
# A stage that cannot run (a missing toolchain, Wine that does not start, no
# display and no Xvfb) is skipped outside CI: it says why and exits 77, which
# ./test.sh reports in its final line instead of "All tests passed.". In CI
# (NORVEX_CI=1, exported by .ci/run) the same stage fails.

# Ends the calling stage: skipped (77) outside CI, failed (1) in CI.
stage_cannot_run() {  # STAGE REASON
    if [ "${NORVEX_CI:-}" = 1 ]; then
        echo "$1: FAILED - cannot run: $2 (NORVEX_CI=1: a stage that cannot run is a failure)" >&2
        exit 1
    fi
    echo "$1: SKIPPED - $2"
    exit 77
}

# Wine's 64-bit loader (Debian's package wine64).
WINE64_LOADER=${NORVEX_WINE64_LOADER:-/usr/lib/wine/wine64}

# True when this machine's kernel refuses 32-bit (i386) programs: a kernel
# built without IA32 emulation, as some virtual machines' are. Wine's 32-bit
# loader cannot start there, and no package can change that.
kernel_refuses_i386() {
    local out
    out=$(wine --version 2>&1) && return 1
    [[ $out == *"Exec format error"* ]]
}

# Which build of the Windows sources the Wine stages run, printed: i686 (the
# shipped 32-bit build, under Wine's 32-bit loader) or x86-64 (the same
# sources for x86-64, for tests only, under Wine's 64-bit loader). Chosen by
# NORVEX_WINE_BUILD; unset, i686 unless the kernel refuses 32-bit programs.
wine_build() {
    case ${NORVEX_WINE_BUILD:-} in
    i686 | x86-64) echo "$NORVEX_WINE_BUILD" ;;
    "") if kernel_refuses_i386; then echo x86-64; else echo i686; fi ;;
    *) echo "NORVEX_WINE_BUILD is '$NORVEX_WINE_BUILD'; it takes i686 or x86-64" >&2; return 2 ;;
    esac
}

# Prints why Wine cannot run the chosen build here and returns 1, or returns
# 0 when it can.
wine_problem() {
    local build out
    build=$(wine_build 2>&1) || { echo "$build"; return 1; }
    if [ "$build" = x86-64 ]; then
        if [ ! -x "$WINE64_LOADER" ]; then
            echo "Wine's 64-bit loader $WINE64_LOADER is not installed (package wine64; scripts/deps.sh installs it)"
            return 1
        fi
        out=$("$WINE64_LOADER" --version 2>&1) || {
            echo "Wine's 64-bit loader does not start: $(printf '%s' "$out" | head -1)"
            return 1
        }
        return 0
    fi
    if ! command -v wine >/dev/null; then
        echo "Wine is not installed (scripts/deps.sh installs it)"
        return 1
    fi
    if ! out=$(wine --version 2>&1); then
        case $out in
        *"Exec format error"*)
            echo "this machine's kernel cannot run 32-bit (i386) programs, which Wine's 32-bit" \
                "loader is (\"$(printf '%s' "$out" | head -1)\"); NORVEX_WINE_BUILD=x86-64 runs the" \
                "Windows checks here" ;;
        *) echo "wine does not start: $(printf '%s' "$out" | head -1)" ;;
        esac
        return 1
    fi
    return 0
}

# Ends the calling stage unless Wine runs the chosen build here: skipped
# outside CI, failed in CI (stage_cannot_run). A kernel that cannot run
# 32-bit programs takes the x86-64 build, so no Wine stage is skipped for it.
need_wine() {  # STAGE
    local why
    why=$(wine_problem) || stage_cannot_run "$1" "$why"
}

# Prints why no window can be shown and returns 1, or returns 0: a display
# that answers, or Xvfb to make one.
display_problem() {
    if [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    command -v Xvfb >/dev/null && return 0
    echo "no display and no Xvfb (scripts/deps.sh installs it)"
    return 1
}
