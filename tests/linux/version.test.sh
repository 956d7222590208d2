#!/usr/bin/env bash
# One version, in one place (the file VERSION): --version of the Linux
# program and of the tools shows it; the program keeps its own "V1.048A".
. "$(dirname "$0")/lib.sh"
version=$(head -n1 "$LX_REPO/VERSION")
expect_eq "the program's --version" "norvexflash $version for Linux (x86-64), Flash Utility V1.048A" \
    "$("$PROGRAM" --version)"
expect_eq "mkfirmware --version" "mkfirmware (norvex-flash) $version" "$("$MKFW" --version)"
expect_eq "nfinfo --version" "nfinfo (norvex-flash) $version" "$("$NATIVE_BUILD/nfinfo" --version)"
finish
