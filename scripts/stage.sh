# Shared by the test stages, the demonstration and the practice script:
# whether this machine can run a stage, and what a stage that cannot run does.
# Source it:  . scripts/stage.sh
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

# Prints why Wine cannot run the 32-bit program here and returns 1, or
# returns 0 when it can.
wine_problem() {
    if ! command -v wine >/dev/null; then
        echo "Wine is not installed (scripts/deps.sh installs it)"
        return 1
    fi
    local out
    if ! out=$(wine --version 2>&1); then
        case $out in
        *"Exec format error"*)
            echo "this machine's kernel cannot run 32-bit (i386) programs, which Wine's 32-bit" \
                "loader is (\"$(printf '%s' "$out" | head -1)\")" ;;
        *) echo "wine does not start: $(printf '%s' "$out" | head -1)" ;;
        esac
        return 1
    fi
    return 0
}

# True when this machine's kernel refuses 32-bit (i386) programs: a kernel
# built without IA32 emulation, as some virtual machines' are. Wine's 32-bit
# loader cannot start there, and no package can change that.
kernel_refuses_i386() {
    local out
    out=$(wine --version 2>&1) && return 1
    [[ $out == *"Exec format error"* ]]
}

# Ends the calling stage unless Wine runs here. A missing or broken Wine is
# stage_cannot_run's case (a failure in CI); a kernel that cannot run 32-bit
# programs is a limit of the machine, not of its installation, so the stage
# is skipped, loudly, even in CI.
need_wine() {  # STAGE
    local why
    why=$(wine_problem) && return 0
    if kernel_refuses_i386; then
        echo "$1: SKIPPED - $why; no package can add that, so even CI skips this stage" \
            "(run it on a machine whose kernel runs 32-bit programs)"
        exit 77
    fi
    stage_cannot_run "$1" "$why"
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
