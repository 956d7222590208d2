#!/usr/bin/env bash
# Installs the Linux program under a prefix, as a "make install" would:
#   PREFIX/bin/norvexflash                    (stripped)
#   PREFIX/share/man/man1/norvexflash.1.gz    (the manual page)
#   PREFIX/share/doc/norvexflash/GUIDE.txt, LICENSE
# Usage: scripts/install.sh PREFIX   (after ./build.sh; e.g. /usr/local, or a
# staging folder). The release's tarball and Debian package are made from
# this tree (scripts/release.sh). SOURCE_DATE_EPOCH dates the manual page.
set -euo pipefail
. "$(dirname "$0")/lib/all.sh"
[ $# -eq 1 ] || { echo "usage: scripts/install.sh PREFIX" >&2; exit 2; }
prefix=$1
repo=$NORVEX_REPO
program=$repo/dist/linux/norvexflash
[ -x "$program" ] || die "no $program (build first: ./build.sh)"
version=$(norvex_version)
epoch=${SOURCE_DATE_EPOCH:-$(source_date_epoch)}
day=$(date -u -d "@$epoch" +%Y-%m-%d)

install -d "$prefix/bin" "$prefix/share/man/man1" "$prefix/share/doc/norvexflash"
install -m 0755 "$program" "$prefix/bin/norvexflash"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$prefix/bin/norvexflash"
sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$day/g" "$repo/man/norvexflash.1.in" |
    gzip -9n >"$prefix/share/man/man1/norvexflash.1.gz"
chmod 0644 "$prefix/share/man/man1/norvexflash.1.gz"
sed -e "s/@VERSION@/$version/g" "$repo/release/LINUX.txt" >"$prefix/share/doc/norvexflash/GUIDE.txt"
install -m 0644 "$repo/LICENSE" "$prefix/share/doc/norvexflash/LICENSE"
chmod 0644 "$prefix/share/doc/norvexflash/GUIDE.txt"
echo "install: norvexflash $version under $prefix"
