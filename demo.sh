#!/usr/bin/env bash
# Demonstration on a fresh Debian 12 machine: installs what is needed, builds,
# starts the program under Wine (on its own Xvfb when no display is set), and
# saves screenshots of both roles to build/demo/.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh
./build.sh

. tests/e2e/lib.sh
DEMO=$E2E_REPO/build/demo
rm -rf "$DEMO" && mkdir -p "$DEMO/builder" "$DEMO/flasher"
e2e_setup

shot() {  # NAME
    import -window root "$DEMO/$1.png"
    echo "screenshot: build/demo/$1.png"
}

echo "== the template: builds flashers from the catalogue beside it"
cp dist/norvexflash.exe dist/norvexflash.ini "$DEMO/builder/"
start_program "$DEMO/builder/norvexflash.exe"
clicker wait-window "Flash Utility" 30 >/dev/null || die "the window did not come up"
sleep 1  # let it finish painting
shot builder
clicker close >/dev/null || true
wait_program 30 || stop_program

echo "== a flasher made from it: the start-up warning"
head -c 262144 /dev/zero >"$DEMO/flasher/1A50.BIN"
"$NATIVE_BUILD/nfpack" dist/norvexflash.exe "$DEMO/flasher/1A50.BIN" "$DEMO/flasher/1A50.EXE" \
    --model CDRW-A100 --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV --note "" \
    >/dev/null
start_program "$DEMO/flasher/1A50.EXE"
clicker wait-box "WARNING:" 30 >/dev/null || die "the warning did not come up"
sleep 1
shot flasher-warning
clicker press-box No >/dev/null || true
wait_program 30 || stop_program
echo "Done."
