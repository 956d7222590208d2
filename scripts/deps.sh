#!/usr/bin/env bash
# Installs what the build, the tests and the demonstration need (Debian 12).
# Idempotent: does nothing when everything is already there.
#
# A package index that does not download (a mirror in the middle of a sync:
# "File has unexpected size ... Mirror sync in progress?") does not stop it:
# it names the index and installs from what it has. When that install fails
# (the i386 libraries of the main suite no longer match the amd64 ones
# updated from the security suite: "held broken packages"), it tries once
# more with the distribution's main suite as target release (-t bookworm).
set -uo pipefail

# python3: the Linux program's terminal session check (a pseudo-terminal).
# fonts-wine: Wine's own fonts, so the title-bar buttons of screenshots are
# drawn as glyphs (Marlett) instead of letters. qemu-system-x86, busybox-static
# and cpio: the guest with a real Linux kernel (tests/kernel/run.sh).
# wine64 and g++-mingw-w64-x86-64: the Windows checks' 64-bit road, for
# kernels that cannot run 32-bit programs (docs/TESTING.md).
packages=(cmake g++ make libgtest-dev libbenchmark-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64
          xvfb wine wine32:i386 wine64 imagemagick x11-utils clang libclang-rt-14-dev fonts-wine
          gcc-multilib g++-multilib python3 qemu-system-x86 busybox-static cpio)
# zip, lintian, diffoscope-minimal, man-db, dpkg-dev: the release (scripts/release.sh),
# its package check, the manual page check, and what two builds that should
# be the same differ in (./test.sh).
packages+=(zip lintian diffoscope-minimal man-db dpkg-dev)
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
# xorriso: the disc image in QEMU's emulated drives (tests/kernel/run.sh).
packages+=(xorriso)
for p in "${packages[@]}"; do
    have "$p" || need+=("$p")
done
[ ${#need[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "deps: installing ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386 || { echo "deps: could not add the i386 architecture" >&2; exit 1; }
fi
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT

if ! $SUDO apt-get update -q >"$log" 2>&1; then
    cat "$log"
    failed=$(grep -E '^(E: Failed to fetch|Err:)' "$log" | sed -E 's/^E: Failed to fetch +//; s/^Err:[0-9]+ +//' |
        sort -u)
    echo "deps: apt-get update failed; carrying on with the package lists this machine has." >&2
    if [ -n "$failed" ]; then
        echo "deps: the index(es) that did not download:" >&2
        printf '%s\n' "$failed" | sed 's/^/deps:   /' >&2
    fi
else
    cat "$log"
fi

apt_install() {  # [APT OPTIONS...]
    $SUDO apt-get install -y -q --no-install-recommends "$@" "${need[@]}"
}
apt_install && exit 0
codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
codename=${codename:-bookworm}
echo "deps: the install failed; trying once more with the main suite as target release" \
    "(apt-get install -t $codename)" >&2
# An i386 library the main suite cannot match to its amd64 twin, which an
# earlier install took from the security suite, is "not installable": the
# retry takes that twin from the main suite too (a downgrade within Debian 12).
native=$(dpkg --print-architecture 2>/dev/null || echo amd64)
align=()
for lib in $($SUDO apt-get install -s -q -t "$codename" --no-install-recommends "${need[@]}" 2>&1 |
    sed -nE 's/.*Depends: ([^ :]+):i386 .*but it is not installable.*/\1/p' | sort -u); do
    align+=("$lib:$native/$codename")
done
if [ ${#align[@]} -gt 0 ]; then
    echo "deps: taking from the main suite as well, to match their i386 twins: ${align[*]}" >&2
    apt_install -t "$codename" --allow-downgrades "${align[@]}" && exit 0
else
    apt_install -t "$codename" && exit 0
fi
echo "deps: the install failed against the main suite too. Remedy: wait for the mirror to finish" \
    "its sync and run 'sudo apt-get update' until it reports no error, then run scripts/deps.sh" \
    "again; or install by hand: sudo apt-get install -t $codename ${need[*]}" >&2
exit 1
