#!/usr/bin/env bash
# Builds the native core with its tests and tools, the Windows program and the
# virtual SCSI generic device (i386 and x86-64 Linux); leaves the shipped
# files in dist/.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh
# Every time stamp the build writes (the Windows executable's header) is the
# commit's date, so two builds of one commit give the same bytes.
. scripts/lib/release.sh
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(source_date_epoch)}

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j"$(nproc)"
cmake -S . -B build/win -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake" >/dev/null
cmake --build build/win -j"$(nproc)"
# The virtual SCSI generic device, for LD_PRELOAD into the 32-bit Wine process.
cmake -S sim/sg -B build/vsg -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/linux-i386.cmake" >/dev/null
cmake --build build/vsg -j"$(nproc)"
# The same device for 64-bit processes (native Linux programs, Wine's 64-bit
# helpers): same sources, same environment variables, keys and trace format.
cmake -S sim/sg -B build/vsg64 -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/vsg64 -j"$(nproc)"

rm -rf dist && mkdir -p dist/sim dist/linux dist/tools
cp build/win/norvexflash.exe dist/norvexflash.exe
cp samples/norvexflash.ini dist/norvexflash.ini
cp build/win/WNASPI32.DLL dist/sim/WNASPI32.DLL
cp build/vsg/vsg.so dist/sim/vsg.so
cp build/vsg64/vsg.so dist/sim/vsg64.so
cp build/native/norvexflash dist/linux/norvexflash
# One name for both, by the loader's $LIB (Debian: lib/<multiarch triplet>):
# LD_PRELOAD='.../dist/sim/$LIB/vsg.so' gives each process the build of its
# own class, so neither prints "wrong ELF class".
mkdir -p dist/sim/lib/i386-linux-gnu dist/sim/lib/x86_64-linux-gnu
ln -s ../../vsg.so dist/sim/lib/i386-linux-gnu/vsg.so
ln -s ../../vsg64.so dist/sim/lib/x86_64-linux-gnu/vsg.so
# Native practice tools: sample firmware, and what a flasher carries
# (scripts/practice.sh reads it).
cp build/native/mkfirmware build/native/nfinfo dist/tools/
echo "dist/: $(cd dist && find . -type f -o -type l | sort | tr '\n' ' ')"
