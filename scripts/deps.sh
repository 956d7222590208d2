#!/usr/bin/env bash
# Installs what the build, the tests and the demonstration need (Debian 12).
# Idempotent: does nothing when everything is already there.
set -euo pipefail

# python3: the Linux program's terminal session check (a pseudo-terminal).
# fonts-wine: Wine's own fonts, so the title-bar buttons of screenshots are
# drawn as glyphs (Marlett) instead of letters. qemu-system-x86, busybox-static
# and cpio: the guest with a real Linux kernel (tests/kernel/run.sh).
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
for p in cmake g++ make libgtest-dev libbenchmark-dev g++-mingw-w64-i686 xvfb wine wine32:i386 \
         imagemagick x11-utils clang libclang-rt-14-dev fonts-wine gcc-multilib g++-multilib \
         python3 qemu-system-x86 busybox-static cpio; do
    have "$p" || need+=("$p")
done
[ ${#need[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${need[@]}"
