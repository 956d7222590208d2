#!/usr/bin/env bash
# Two builds of one commit, in two folders at two times, give the same
# bytes: builds the Windows program and the Linux program once more from a
# copy of the tree in another folder (under build/repro/) and compares each
# with the build ./build.sh left in dist/. diffoscope shows a difference
# when it has one. Exit 77 (skipped) without dist/.
set -uo pipefail
. "$(dirname "$0")/../../scripts/lib/all.sh"
repo=$NORVEX_REPO
cd "$repo"
for f in dist/norvexflash.exe dist/linux/norvexflash; do
    [ -e "$f" ] || { echo "reproducible: no $f (./build.sh first): skipped"; exit 77; }
done
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(source_date_epoch)}
# Another folder, with a name of another length than the tree's own.
copy=$repo/build/repro/another-folder/norvex-flash
rm -rf "$repo/build/repro"
mkdir -p "$copy"
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
    [ -e "$f" ] && printf '%s\0' "$f"
done | tar --null -T - -cf - | tar -C "$copy" -xf -
log "building the Windows program and the Linux program again in $copy"
start=$SECONDS
(cmake -S "$copy" -B "$copy/build/win" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw-i686.cmake" >/dev/null &&
    cmake --build "$copy/build/win" -j"$(nproc)" --target norvexflash) >"$repo/build/repro/win.log" 2>&1 ||
    { tail -n 20 "$repo/build/repro/win.log" >&2; die "the second Windows build failed"; }
(cmake -S "$copy" -B "$copy/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
    cmake --build "$copy/build/native" -j"$(nproc)" --target norvexflash) >"$repo/build/repro/native.log" 2>&1 ||
    { tail -n 20 "$repo/build/repro/native.log" >&2; die "the second Linux build failed"; }
log "built in $((SECONDS - start)) s"

same() {  # NAME FIRST SECOND
    if cmp -s "$2" "$3"; then
        log "ok: $1: the same bytes from both builds"
        return
    fi
    fail "$1: the two builds differ ($2, $3)"
    if command -v diffoscope >/dev/null; then
        diffoscope --text - --max-report-size 20000 "$2" "$3" 2>&1 | head -n 80 >&2 || true
    else
        cmp -l "$2" "$3" | head -n 20 >&2 || true
    fi
}
same "norvexflash.exe" dist/norvexflash.exe "$copy/build/win/norvexflash.exe"
same "the Linux program" dist/linux/norvexflash "$copy/build/native/norvexflash"
for f in dist/norvexflash.exe dist/linux/norvexflash "$copy/build/win/norvexflash.exe" "$copy/build/native/norvexflash"; do
    if grep -q -a -e "$repo" -e "$copy" "$f"; then fail "$f carries the path of a build folder"; fi
done
[ "$CHECK_FAILURES" -eq 0 ] && rm -rf "$repo/build/repro"
finish
