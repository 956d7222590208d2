# Logging and checks of every test script and of the demonstration: a check
# that fails is counted and the script goes on; die ends it; finish gives
# the verdict. Source it (scripts/lib/all.sh sources it for you).

CHECK_FAILURES=0

log() { echo "  $*"; }
fail() {
    echo "  FAIL: $*" >&2
    CHECK_FAILURES=$((CHECK_FAILURES + 1))
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

# As expect_eq, but a difference ends the script (the demonstrations: every
# step must hold for the next to mean anything).
require_eq() {  # NAME EXPECTED ACTUAL
    [ "$2" == "$3" ] || die "$1: expected $(printf '%q' "$2"), got $(printf '%q' "$3")"
    echo "   ok: $1"
}

# Passes when NEEDLE is part of HAYSTACK.
expect_in() {  # NAME NEEDLE HAYSTACK
    if [[ $3 == *"$2"* ]]; then log "ok: $1"; else
        fail "$1"
        printf '    no %q in:\n%s\n' "$2" "$3" >&2
    fi
}

# Passes when the command succeeds.
check() {  # WHAT COMMAND [ARGS...]
    local what=$1
    shift
    if "$@"; then log "ok: $what"; else fail "$what"; fi
}

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

# Ends the script with the verdict.
finish() {
    if [ "$CHECK_FAILURES" -gt 0 ]; then
        echo "  $CHECK_FAILURES check(s) failed"
        exit 1
    fi
    exit 0
}
