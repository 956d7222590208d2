#!/usr/bin/env bash
# The waits of the Windows seam against real Win32 under Wine: waitcheck.exe
# (tests/e2e/win/waitcheck.cpp) checks that sent messages are answered within
# 100 ms during an event wait, a Sleep and a blocking DeviceIoControl on the
# helper thread, that posted messages stay queued, and that time-outs, signals
# and error codes come out as without the serving.
. "$(dirname "$0")/lib.sh"
e2e_setup
[ -f "$WIN_BUILD/waitcheck.exe" ] || die "no $WIN_BUILD/waitcheck.exe (build first)"
dir=$(workdir waits)
cp "$WIN_BUILD/waitcheck.exe" "$dir/"
echo "waits of the Windows seam"
if (cd "$dir" && timeout 120 wine waitcheck.exe) >"$dir/out.raw" 2>"$dir/err.txt"; then
    tr -d '\r' <"$dir/out.raw" | sed 's/^/  /'
else
    tr -d '\r' <"$dir/out.raw" | sed 's/^/  /'
    fail "waitcheck failed"
fi
finish
