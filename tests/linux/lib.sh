# Shared functions of the Linux program's end-to-end scripts: the shipped
# program, dist/linux/norvexflash, against virtual drives served by the
# shipped virtual SCSI generic device, dist/sim/vsg64.so, preloaded into it.
#
# Source it from a test script:  . "$(dirname "$0")/lib.sh"
# Settings (environment): NORVEX_LINUX_PROGRAM (default dist/linux/norvexflash),
# NORVEX_VSG64 (default dist/sim/vsg64.so), NORVEX_NATIVE_BUILD (nfpack,
# mkfirmware; default build/native), NORVEX_TEMPLATE (default dist/norvexflash.exe),
# NORVEX_LINUX_OUT (work files, default build/linux-e2e).
set -euo pipefail

LX_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
for lib in checks stage trace; do . "$LX_REPO/scripts/lib/$lib.sh"; done
at_repo() { (cd "$LX_REPO" && realpath -m "$1"); }
PROGRAM=$(at_repo "${NORVEX_LINUX_PROGRAM:-dist/linux/norvexflash}")
VSG64=$(at_repo "${NORVEX_VSG64:-dist/sim/vsg64.so}")
NATIVE_BUILD=$(at_repo "${NORVEX_NATIVE_BUILD:-build/native}")
TEMPLATE=$(at_repo "${NORVEX_TEMPLATE:-dist/norvexflash.exe}")
LX_OUT=$(at_repo "${NORVEX_LINUX_OUT:-build/linux-e2e}")
NFPACK=$NATIVE_BUILD/nfpack
MKFW=$NATIVE_BUILD/mkfirmware
for f in "$PROGRAM" "$VSG64" "$NFPACK" "$MKFW" "$TEMPLATE"; do
    [ -e "$f" ] || die "no $f (build first: ./build.sh)"
done
. "$LX_REPO/tests/linux/cases.sh"

# A fresh working directory, open to every user (the permission check runs
# the program as another user).
workdir() {  # NAME
    local dir=$LX_OUT/$1
    rm -rf "$dir"
    mkdir -p "$dir"
    chmod 755 "$LX_OUT" "$dir"
    echo "$dir"
}

make_flasher() {  # CASE_NAME DIR  (the case's image and flasher in DIR)
    local name=$1 dir=$2 size layout revision
    read -r _ size layout revision <<<"$(printf '%s\n' "${FLASH_CASES[@]}" | grep "^$name ")"
    "$MKFW" "$dir/$name.BIN" --size "$size" --ident "$CASE_IDENT" --revision "$revision" \
        --layout "$layout" >/dev/null
    "$NFPACK" "$TEMPLATE" "$dir/$name.BIN" "$dir/$name.EXE" "${CASE_PACKAGE[@]}" >/dev/null
}

# A drive file naming one virtual drive on DEVICE (created when missing).
write_drive() {  # FILE DEVICE [FAULT LINES...]
    local file=$1 device=$2
    shift 2
    [ -e "$device" ] || : >"$device"
    case_drive "$file" "Device=$device" "Letter=E" "$@"
}
# Runs the program with the virtual device preloaded; stdout to OUT, stderr
# to ERR, the exit status to RC. Input from stdin.
OUT="" ERR="" RC=0
run() {  # DRIVES TRACE ARGS...
    local drives=$1 trace=$2
    shift 2
    local o e
    o=$(mktemp) e=$(mktemp)
    RC=0
    LD_PRELOAD=$VSG64 NORVEX_SG_DRIVES=$drives NORVEX_SG_TRACE=$trace "$PROGRAM" "$@" >"$o" 2>"$e" || RC=$?
    OUT=$(cat "$o") ERR=$(cat "$e")
    rm -f "$o" "$e"
}
