#!/usr/bin/env bash
# Builds the native core with its tests and tools, and the Windows program;
# leaves the shipped files in dist/.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j"$(nproc)"
cmake -S . -B build/win -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake" >/dev/null
cmake --build build/win -j"$(nproc)"

rm -rf dist && mkdir -p dist/sim
cp build/win/norvexflash.exe dist/norvexflash.exe
cp samples/norvexflash.ini dist/norvexflash.ini
cp build/win/WNASPI32.DLL dist/sim/WNASPI32.DLL
echo "dist/: $(cd dist && find . -type f | sort | tr '\n' ' ')"
