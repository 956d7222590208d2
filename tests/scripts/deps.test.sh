#!/usr/bin/env bash
# The set-up survives a package index that does not download: checked with
# stand-ins for apt-get, dpkg and dpkg-query. A failed update is named and
# passed over; a failed install is tried once more against the main suite
# (-t CODENAME); only when that fails too does it end non-zero, with a remedy.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$repo/scripts/lib/checks.sh"
codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
codename=${codename:-bookworm}
mkdir -p "$work/bin"
# apt-get: records each call; FAKE_UPDATE, FAKE_INSTALL and FAKE_INSTALL_T
# (exit codes) say how update, a plain install and an install with -t end.
cat >"$work/bin/apt-get" <<'SH'
#!/bin/bash
echo "apt-get $*" >>"$FAKE_CALLS"
case " $* " in
*" update "*)
    if [ "$FAKE_UPDATE" -ne 0 ]; then
        echo "Err:6 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
        echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]" >&2
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    fi
    exit "$FAKE_UPDATE" ;;
*" -s "*)
    [ -n "${FAKE_TWIN:-}" ] &&
        echo " libwine:i386 : Depends: $FAKE_TWIN:i386 (>= 1.0.0) but it is not installable"
    exit 100 ;;
*" -t "*) exit "$FAKE_INSTALL_T" ;;
*) [ "$FAKE_INSTALL" -ne 0 ] && echo "E: Unable to correct problems, you have held broken packages." >&2
   exit "$FAKE_INSTALL" ;;
esac
SH
# dpkg-query: the packages named in FAKE_HAVE are installed.
cat >"$work/bin/dpkg-query" <<'SH'
#!/bin/bash
for p in $FAKE_HAVE; do [ "$p" = "${!#}" ] && { printf 'install ok installed'; exit 0; }; done
exit 1
SH
printf '#!/bin/sh\ncase $1 in --print-foreign-architectures) echo i386 ;; --print-architecture) echo amd64 ;; esac\n' >"$work/bin/dpkg"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*
export PATH=$work/bin:$PATH FAKE_CALLS=$work/calls FAKE_HAVE=""

run() {  # UPDATE INSTALL INSTALL_T
    : >"$FAKE_CALLS"
    rc=0
    FAKE_UPDATE=$1 FAKE_INSTALL=$2 FAKE_INSTALL_T=$3 bash "$repo/scripts/deps.sh" >"$work/out" 2>&1 || rc=$?
    installs=$(grep 'apt-get install' "$FAKE_CALLS" | grep -vc ' -s ')
}

echo "an index that does not download, a first install that fails, a retry that works"
run 100 100 0
check "exits 0" [ "$rc" -eq 0 ]
check "names the index that failed" grep -q "did not download" "$work/out"
check "... with its address" grep -q "deps:   .*bookworm-security/main/binary-i386/Packages.xz" "$work/out"
check "installs twice" [ "$installs" -eq 2 ]
check "the retry targets the main suite" grep -q "apt-get install .*-t $codename" "$FAKE_CALLS"
check "says it retries" grep -q "trying once more .*-t $codename" "$work/out"

echo "the retry with an amd64 library that an earlier install took from the security suite"
FAKE_TWIN=libgstreamer-plugins-base1.0-0 run 100 100 0
check "exits 0" [ "$rc" -eq 0 ]
check "takes the amd64 twin from the main suite" \
    grep -q "apt-get install .*-t $codename --allow-downgrades .*libgstreamer-plugins-base1.0-0:amd64/$codename" \
    "$FAKE_CALLS"

echo "both installs fail"
run 100 100 100
check "exits non-zero" [ "$rc" -ne 0 ]
check "gives the remedy" grep -q "Remedy:" "$work/out"

echo "a good update and install"
run 0 0 100
check "exits 0" [ "$rc" -eq 0 ]
check "installs once, without -t" [ "$installs" -eq 1 ]
check "names no failure" bash -c "! grep -q 'failed' '$work/out'"

echo "everything installed already"
FAKE_HAVE=$(sed -n '/^packages+\{0,1\}=(/,/)/p' "$repo/scripts/deps.sh" | tr -d '()' | sed 's/packages+\{0,1\}=//')
export FAKE_HAVE
run 100 100 100
check "exits 0" [ "$rc" -eq 0 ]
check "calls apt-get not at all" [ ! -s "$FAKE_CALLS" ]
[ "$CHECK_FAILURES" -eq 0 ] || { cat "$work/out" >&2; exit 1; }
