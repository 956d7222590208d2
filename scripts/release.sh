#!/usr/bin/env bash
# Makes the release into dist/release/, the same bytes from every build of a
# commit (every time stamp is the commit's: SOURCE_DATE_EPOCH):
#   norvex-flash-VERSION-windows.zip       norvexflash.exe, the sample
#                                          catalogue, WINDOWS.TXT, LICENSE.TXT
#   norvex-flash-VERSION-linux-x86_64.tar.gz  the tree scripts/install.sh makes
#   norvexflash_VERSION_amd64.deb          /usr/bin/norvexflash, norvexflash(1),
#                                          /usr/share/doc/norvexflash/
#   norvex-flash-VERSION-practice.tar.gz   mkfirmware, nfinfo and the virtual
#                                          devices, with PRACTICE.txt
#   SHA256SUMS                             over all of them
# Usage: scripts/release.sh [--no-build]   (--no-build: take dist/ as ./build.sh left it)
# Checks what it made: no virtual ASPI layer in the Windows zip, lintian finds
# no error in the package, the manual page renders without warnings.
set -euo pipefail
. "$(dirname "$0")/lib/all.sh"
cd "$NORVEX_REPO"
build=1
case "${1:-}" in
    --no-build) build=0 ;;
    "") ;;
    *) echo "usage: scripts/release.sh [--no-build]" >&2; exit 2 ;;
esac
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(source_date_epoch)}
epoch=$SOURCE_DATE_EPOCH
version=$(norvex_version)
if [ "$build" -eq 1 ]; then
    echo "release: building (./build.sh, a few minutes; its output goes to build/release-build.log)"
    mkdir -p build
    ./build.sh >build/release-build.log 2>&1 ||
        { tail -n 30 build/release-build.log >&2; die "the build failed (build/release-build.log)"; }
fi
bash scripts/deps.sh
for f in dist/norvexflash.exe dist/norvexflash.ini dist/linux/norvexflash dist/tools/mkfirmware \
    dist/tools/nfinfo dist/sim/WNASPI32.DLL dist/sim/vsg.so dist/sim/vsg64.so; do
    [ -e "$f" ] || die "no $f (build first: ./build.sh)"
done
stage_dir=$NORVEX_REPO/build/release
out=$NORVEX_REPO/dist/release
rm -rf "$stage_dir" "$out"
mkdir -p "$stage_dir" "$out"
umask 022
crlf() { sed -e "s/@VERSION@/$version/g" -e 's/\r$//' -e 's/$/\r/' "$1"; }

echo "release: norvex-flash $version, time stamps of $(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S UTC')"

# The Windows zip: what a user flashes with, and nothing of the practice.
win=$stage_dir/windows
mkdir -p "$win"
install -m 0644 dist/norvexflash.exe "$win/norvexflash.exe"
install -m 0644 dist/norvexflash.ini "$win/norvexflash.ini"
crlf release/WINDOWS.TXT >"$win/WINDOWS.TXT"
crlf LICENSE >"$win/LICENSE.TXT"
zipname=norvex-flash-$version-windows.zip
deterministic_zip "$out/$zipname" "$win" "norvex-flash-$version-windows" "$epoch"

# The Linux tarball: the install tree.
lin=$stage_dir/linux
scripts/install.sh "$lin" >/dev/null
touch_tree "$lin" "$epoch"
deterministic_tgz "$out/norvex-flash-$version-linux-x86_64.tar.gz" "$lin" \
    "norvex-flash-$version-linux-x86_64" "$epoch"

# The Debian package: the same tree under /usr, with the package's own
# copyright and changelog, its dependencies computed from the binary.
deb=$stage_dir/deb
scripts/install.sh "$deb/usr" >/dev/null
doc=$deb/usr/share/doc/norvexflash
rm "$doc/LICENSE"
{
    echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
    echo "Upstream-Name: norvex-flash"
    echo
    echo "Files: *"
    echo "Copyright: 2026 The norvex-flash developers"
    echo "License: Expat"
    echo
    echo "License: Expat"
    sed -n '/^Permission is hereby granted/,$p' LICENSE | sed -e 's/^$/./' -e 's/^/ /'
} >"$doc/copyright"
{
    echo "norvexflash ($version) unstable; urgency=medium"
    echo
    echo "  * Release $version of norvex-flash."
    echo
    echo " -- The norvex-flash developers <norvex-flash@example.org>  $(date -u -R -d "@$epoch")"
} | gzip -9n >"$doc/changelog.gz"
chmod 0644 "$doc/copyright" "$doc/changelog.gz"
shlibs=$stage_dir/shlibs
mkdir -p "$shlibs/debian"
printf 'Source: norvexflash\n\nPackage: norvexflash\nArchitecture: amd64\n' >"$shlibs/debian/control"
depends=$(cd "$shlibs" && dpkg-shlibdeps -O "$deb/usr/bin/norvexflash" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || die "dpkg-shlibdeps gave no dependencies for the program"
size=$(du -k -s --apparent-size "$deb/usr" | cut -f1)
mkdir -p "$deb/DEBIAN"
cat >"$deb/DEBIAN/control" <<CONTROL
Package: norvexflash
Version: $version
Architecture: amd64
Maintainer: The norvex-flash developers <norvex-flash@example.org>
Installed-Size: $size
Depends: $depends
Section: utils
Priority: optional
Description: firmware updater for optical (CD-RW/DVD) drives
 norvexflash runs the flashers the norvex-flash builder writes: it scans the
 optical drives through the kernel's SCSI generic driver, lists those a
 flasher is meant for, downloads the firmware image into the drive's buffer
 memory, reads all of it back and compares it, and only then tells the drive
 to program its flash chip. It also runs the builder, which packages a
 firmware file into a new flasher for one drive model.
CONTROL
(cd "$deb" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$deb/DEBIAN/md5sums"
chmod 0644 "$deb/DEBIAN/control" "$deb/DEBIAN/md5sums"
touch_tree "$deb" "$epoch"
debname=norvexflash_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$deb" "$out/$debname" >/dev/null

# The practice tarball: tools and virtual devices, apart from what a user flashes with.
prac=$stage_dir/practice
mkdir -p "$prac/tools" "$prac/sim"
for t in mkfirmware nfinfo; do
    install -m 0755 "dist/tools/$t" "$prac/tools/$t"
    strip --strip-unneeded --remove-section=.comment "$prac/tools/$t"
done
install -m 0644 dist/sim/WNASPI32.DLL "$prac/sim/WNASPI32.DLL"
install -m 0755 dist/sim/vsg.so "$prac/sim/vsg.so"
install -m 0755 dist/sim/vsg64.so "$prac/sim/vsg64.so"
sed -e "s/@VERSION@/$version/g" release/PRACTICE.txt >"$prac/PRACTICE.txt"
install -m 0644 LICENSE "$prac/LICENSE"
chmod 0644 "$prac/PRACTICE.txt"
touch_tree "$prac" "$epoch"
deterministic_tgz "$out/norvex-flash-$version-practice.tar.gz" "$prac" "norvex-flash-$version-practice" "$epoch"

(cd "$out" && LC_ALL=C sha256sum -- $(LC_ALL=C ls | grep -v '^SHA256SUMS$') >SHA256SUMS)

# What a user must be able to rely on.
if unzip -Z1 "$out/$zipname" | grep -qi 'wnaspi32'; then die "the Windows zip carries the virtual ASPI layer"; fi
man_out=$(sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/2000-01-01/g" man/norvexflash.1.in >"$stage_dir/norvexflash.1" &&
    MANWIDTH=80 man --warnings -l "$stage_dir/norvexflash.1" 2>&1 >/dev/null) || die "man could not render the manual page"
[ -z "$man_out" ] || die "the manual page renders with warnings: $man_out"
lint=$(lintian --tag-display-limit 0 "$out/$debname" 2>&1 | grep -v 'running with root privileges' || true)
if printf '%s\n' "$lint" | grep -q '^E: '; then
    printf '%s\n' "$lint" >&2
    die "lintian reports errors in $debname"
fi
[ -z "$lint" ] || printf '%s\n' "$lint" | sed 's/^/release: lintian: /'
echo "release: dist/release/"
(cd "$out" && cat SHA256SUMS)
