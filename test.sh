#!/usr/bin/env bash
# Builds everything and runs every test: native, sanitized, end to end under Wine.
set -euo pipefail
cd "$(dirname "$0")"
./build.sh
echo "== imports of the shipped files" && build/native/peimports tests/imports/allowed-imports.tsv \
    dist/norvexflash.exe dist/sim/WNASPI32.DLL

echo "== native tests"
ctest --test-dir build/native --output-on-failure -j"$(nproc)"

echo "== native tests under AddressSanitizer and UBSan"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DNORVEX_SANITIZE=ON >/dev/null
cmake --build build/asan -j"$(nproc)" --target norvex_tests
ctest --test-dir build/asan --output-on-failure -j"$(nproc)"
echo "== fuzz targets under libFuzzer" && bash fuzz/run.sh

echo "== the Linux program end to end" && bash tests/linux/run.sh

echo "== unit tests as a 32-bit Windows program under Wine" && bash tests/win32/run.sh

echo "== end-to-end tests under Wine"
bash tests/e2e/run.sh
echo "All tests passed."
