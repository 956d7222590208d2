# The release's version and time, and archives with the same bytes from every
# build of a commit. Source it (scripts/lib/all.sh sources it for you).
__release_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# The one version: the file VERSION at the top of the tree.
norvex_version() {
    head -n1 "$__release_repo/VERSION"
}

# The commit's date in seconds since 1970 (SOURCE_DATE_EPOCH); outside a
# git checkout, the time VERSION was last changed.
source_date_epoch() {
    git -C "$__release_repo" log -1 --format=%ct 2>/dev/null ||
        stat -c %Y "$__release_repo/VERSION"
}

# Every file and folder under DIR gets the time stamp EPOCH (links too).
touch_tree() {  # DIR EPOCH
    find "$1" -exec touch -h -d "@$2" {} +
}

# A .tar.gz of DIR's contents under the name TOP/: names sorted, owners
# root, time stamps EPOCH, no time or name in the gzip header.
deterministic_tgz() {  # OUT DIR TOP EPOCH
    local out=$1 dir=$2 top=$3 epoch=$4
    tar --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner --format=gnu \
        -C "$dir" --transform "s|^\.|$top|" -cf - . | gzip -9n >"$out"
}

# A .zip of DIR's contents under the name TOP/: names sorted, time stamps
# EPOCH (taken as UTC), no extra fields (owners, unix times).
deterministic_zip() {  # OUT DIR TOP EPOCH
    local out dir=$2 top=$3 epoch=$4 parent
    out=$(realpath -m "$1")
    parent=$(mktemp -d)
    cp -a "$dir" "$parent/$top"
    touch_tree "$parent/$top" "$epoch"
    rm -f "$out"
    (cd "$parent" && find "$top" -print | LC_ALL=C sort | TZ=UTC zip -X -q -D -@ "$out.tmp") &&
        mv "$out.tmp" "$out"
    local rc=$?
    rm -rf "$parent"
    return $rc
}
