#!/usr/bin/env bash
# The release (scripts/release.sh --no-build, from what ./build.sh left in
# dist/): its five files and their names; what each carries, and what the
# Windows zip must not (the virtual ASPI layer); the guide's CRLF line ends;
# the package's files, dependencies and lintian's verdict (the script checks
# it); the same SHA256SUMS when made again. Exit 77 (skipped) without dist/.
set -uo pipefail
. "$(dirname "$0")/../../scripts/lib/all.sh"
cd "$NORVEX_REPO"
[ -e dist/norvexflash.exe ] && [ -e dist/linux/norvexflash ] ||
    { echo "release: no dist/ (./build.sh first): skipped"; exit 77; }
v=$(norvex_version)
rel=dist/release
bash scripts/release.sh --no-build >build/release.log 2>&1 ||
    { cat build/release.log >&2; die "scripts/release.sh failed"; }
expect_eq "the release's files" \
    "$(printf '%s\n' SHA256SUMS "norvex-flash-$v-linux-x86_64.tar.gz" "norvex-flash-$v-practice.tar.gz" \
        "norvex-flash-$v-windows.zip" "norvexflash_${v}_amd64.deb")" "$(LC_ALL=C ls "$rel")"
(cd "$rel" && sha256sum --quiet -c SHA256SUMS) && log "ok: SHA256SUMS holds every file" ||
    fail "SHA256SUMS does not match the files"

w=norvex-flash-$v-windows
expect_eq "the Windows zip" "$(printf '%s\n' "$w/LICENSE.TXT" "$w/WINDOWS.TXT" "$w/norvexflash.exe" "$w/norvexflash.ini")" \
    "$(unzip -Z1 "$rel/$w.zip")"
if unzip -Z1 "$rel/$w.zip" | grep -qi wnaspi32; then fail "the Windows zip carries WNASPI32.DLL"; else
    log "ok: no virtual ASPI layer in the Windows zip"; fi
if unzip -p "$rel/$w.zip" "$w/norvexflash.exe" | cmp -s - dist/norvexflash.exe; then
    log "ok: the zip's norvexflash.exe is the shipped one"; else fail "the zip's norvexflash.exe differs from dist/"; fi
lines=$(unzip -p "$rel/$w.zip" "$w/WINDOWS.TXT" | wc -l)
crlfs=$(unzip -p "$rel/$w.zip" "$w/WINDOWS.TXT" | grep -c $'\r$')
expect_eq "WINDOWS.TXT: every line ends in CRLF" "$lines" "$crlfs"
[ "$lines" -gt 50 ] || fail "WINDOWS.TXT has $lines lines"
expect_in "WINDOWS.TXT names the version" "norvex-flash $v for Windows" "$(unzip -p "$rel/$w.zip" "$w/WINDOWS.TXT")"
expect_in "LICENSE.TXT is the MIT licence" "MIT License" "$(unzip -p "$rel/$w.zip" "$w/LICENSE.TXT")"

l=norvex-flash-$v-linux-x86_64
expect_eq "the Linux tarball" "$(printf '%s\n' "$l/" "$l/bin/" "$l/bin/norvexflash" "$l/share/" "$l/share/doc/" \
    "$l/share/doc/norvexflash/" "$l/share/doc/norvexflash/GUIDE.txt" "$l/share/doc/norvexflash/LICENSE" \
    "$l/share/man/" "$l/share/man/man1/" "$l/share/man/man1/norvexflash.1.gz")" "$(tar -tzf "$rel/$l.tar.gz")"
owners=$(tar -tvzf "$rel/$l.tar.gz" | awk '{print $2}' | sort -u)
expect_eq "the Linux tarball: owners 0/0" "0/0" "$owners"
t=$(mktemp -d)
tar -C "$t" -xzf "$rel/$l.tar.gz"
expect_eq "the Linux tarball's program: --version" \
    "norvexflash $v for Linux (x86-64), Flash Utility V1.048A" "$("$t/$l/bin/norvexflash" --version)"
man_warn=$(MANWIDTH=80 man --warnings -l "$t/$l/share/man/man1/norvexflash.1.gz" 2>&1 >/dev/null)
expect_eq "norvexflash(1) renders without warnings" "" "$man_warn"
page=$(MANWIDTH=80 man -l "$t/$l/share/man/man1/norvexflash.1.gz" 2>/dev/null | sed 's/.\x08//g')
for section in SYNOPSIS OPTIONS "EXIT STATUS" PERMISSIONS LOG FILES EXAMPLES "THE WINDOWS PROGRAM"; do
    expect_in "norvexflash(1): $section" "$section" "$page"
done
expect_in "norvexflash(1) names the version" "norvex-flash $v" "$page"
rm -rf "$t"

d=$rel/norvexflash_${v}_amd64.deb
expect_eq "the package's files" "$(printf '%s\n' ./usr/bin/norvexflash ./usr/share/doc/norvexflash/GUIDE.txt \
    ./usr/share/doc/norvexflash/changelog.gz ./usr/share/doc/norvexflash/copyright \
    ./usr/share/man/man1/norvexflash.1.gz)" "$(dpkg-deb -c "$d" | awk '$1 !~ /^d/ {print $6}')"
depends=$(dpkg-deb -f "$d" Depends)
expect_in "the package depends on glibc" "libc6 (>=" "$depends"
expect_in "the package depends on the C++ library" "libstdc++6 (>=" "$depends"
expect_eq "the package's version" "$v" "$(dpkg-deb -f "$d" Version)"

p=norvex-flash-$v-practice
expect_eq "the practice tarball's files" "$(printf '%s\n' "$p/LICENSE" "$p/PRACTICE.txt" "$p/sim/WNASPI32.DLL" \
    "$p/sim/vsg.so" "$p/sim/vsg64.so" "$p/tools/mkfirmware" "$p/tools/nfinfo")" \
    "$(tar -tzf "$rel/$p.tar.gz" | grep -v '/$')"

cp "$rel/SHA256SUMS" build/release-SHA256SUMS.first
sleep 1  # another second: nothing may carry the time of the run
bash scripts/release.sh --no-build >build/release.log 2>&1 || die "scripts/release.sh failed the second time"
if cmp -s build/release-SHA256SUMS.first "$rel/SHA256SUMS"; then log "ok: made again, the same SHA256SUMS"; else
    diff build/release-SHA256SUMS.first "$rel/SHA256SUMS" >&2
    fail "the release made again differs"; fi
finish
