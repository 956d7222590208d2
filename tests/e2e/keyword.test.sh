#!/usr/bin/env bash
# The package keyword occurs exactly once in the program and in a flasher
# made from it: the builder's scan takes the first occurrence.
. "$(dirname "$0")/lib.sh"

count_keyword() {  # FILE
    LC_ALL=C grep -obUaP 'FWBLOCK-MARKER\x00' "$1" | wc -l
}

exe=$WIN_BUILD/norvexflash.exe
[ -f "$exe" ] || die "no $exe (build first)"
expect_eq "keyword in norvexflash.exe" 1 "$(count_keyword "$exe")"
if [ -f "$E2E_REPO/dist/norvexflash.exe" ]; then
    expect_eq "keyword in dist/norvexflash.exe" 1 "$(count_keyword "$E2E_REPO/dist/norvexflash.exe")"
    expect_eq "keyword text (without its NUL) in dist/norvexflash.exe" 1 \
        "$(LC_ALL=C grep -obUa 'FWBLOCK-MARKER' "$E2E_REPO/dist/norvexflash.exe" | wc -l)"
fi

NFPACK=$NATIVE_BUILD/nfpack
if [ -x "$NFPACK" ]; then
    dir=$(workdir keyword)
    head -c 1000 /dev/urandom >"$dir/AB12.BIN"
    "$NFPACK" "$exe" "$dir/AB12.BIN" "$dir/AB12.EXE" --model M --inquiry I --range 0000-9999 \
        --vendor V --note N >/dev/null || fail "nfpack could not write the flasher"
    expect_eq "keyword in a flasher" 1 "$(count_keyword "$dir/AB12.EXE")"
    expect_eq "flasher has the template's size and the trailer" "$(($(stat -c %s "$exe") + 52))" \
        "$(stat -c %s "$dir/AB12.EXE")"
else
    fail "no $NFPACK (build the native tools first)"
fi
finish
