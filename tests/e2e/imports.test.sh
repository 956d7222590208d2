#!/usr/bin/env bash
# The shipped program imports nothing the msvcrt.dll of Windows 95 and NT 4.0
# lacks: no aligned allocation (_aligned_malloc and _aligned_free came with
# later runtimes; the library's aligned new calls them).
set -euo pipefail
cd "$(dirname "$0")/../.."
exe=${NORVEX_WIN_BUILD:-build/win}/norvexflash.exe
[ -f "$exe" ] || { echo "  FAIL: no $exe" >&2; exit 1; }
objdump=$(command -v i686-w64-mingw32-objdump || command -v objdump)
imports=$("$objdump" -p "$exe")
if grep -q "_aligned_" <<<"$imports"; then
    echo "  FAIL: $exe imports $(grep -o '_aligned_[a-z]*' <<<"$imports" | sort -u | tr '\n' ' ')" >&2
    exit 1
fi
echo "  ok: no aligned allocation imported"
