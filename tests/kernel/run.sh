#!/usr/bin/env bash
# The real-kernel rig: a QEMU guest (TCG) with Debian's stock kernel, whose
# SCSI target presents the virtual drive through TCMU (vtcmu, our handler)
# and the loopback fabric as a real SCSI device, bound by sg and sr. The
# native Linux flasher and the scenarios run inside the guest; each scenario
# reports a line that this script reads back. docs/TESTING.md, "The real
# Linux kernel", has the steps.
#
# Beside it, QEMU's own optical drives (ide-cd on AHCI, scsi-cd on
# virtio-scsi, each empty and with a disc), which know none of the vendor
# commands: emulated-drives.sh.
#
# Steps: fetch and unpack the kernel package (cached under build/kernel),
# make the test flashers and get the ASPI road's traces of the same flashes,
# the disc image and the flashers for QEMU's drives, pack an initramfs
# (busybox, the modules, vtcmu, sgcheck, the flasher, the scenarios), boot
# with a hard time limit, check every result line and QEMU's trace.
#
# Environment: NORVEX_KERNEL_OUT (default build/kernel), NORVEX_KERNEL_TIMEOUT
# (seconds for the whole boot, default 900), NORVEX_KERNEL_BOOT_TIMEOUT
# (seconds for the guest to come up, default 120), NORVEX_KERNEL_SCENARIOS
# (names to run, blank-separated; default all), NORVEX_KERNEL_SHELL=1 (the
# console on this terminal and a shell after the scenarios),
# NORVEX_KERNEL_FLASHER and NORVEX_KERNEL_TEMPLATE (other builds of
# dist/linux/norvexflash and dist/norvexflash.exe), NORVEX_KERNEL_REFERENCES
# (a directory of reference traces looked in first).
set -euo pipefail
REPO=$(cd "$(dirname "$0")/../.." && pwd)
OUT=$(cd "$REPO" && realpath -m "${NORVEX_KERNEL_OUT:-build/kernel}")
NATIVE=$REPO/build/native
LIMIT=${NORVEX_KERNEL_TIMEOUT:-900}
BOOT_LIMIT=${NORVEX_KERNEL_BOOT_TIMEOUT:-120}
mkdir -p "$OUT"

. "$REPO/scripts/lib/checks.sh"
. "$REPO/scripts/lib/stage.sh"
. "$REPO/scripts/lib/trace.sh"
. "$REPO/tests/kernel/emulated-drives.sh"

for tool in qemu-system-x86_64 busybox cpio dpkg-deb xorriso; do
    command -v "$tool" >/dev/null || stage_cannot_run kernel "$tool is missing (scripts/deps.sh installs it)"
done
for f in "$NATIVE/vtcmu" "$NATIVE/sgcheck" "$NATIVE/nfpack" "$NATIVE/mkfirmware" \
    "${NORVEX_KERNEL_TEMPLATE:-$REPO/dist/norvexflash.exe}"; do
    [ -e "$f" ] || die "no $f (build first: ./build.sh)"
done
FLASHER=${NORVEX_KERNEL_FLASHER:-$REPO/dist/linux/norvexflash}
[ -x "$FLASHER" ] || log "no $FLASHER in this build: only the scenarios of the path itself run"

# ---- the kernel: the image linux-image-amd64 depends on, unpacked once -----------------
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[^ ]*\)$/\1/p' | head -1
}
PACKAGE=$(kernel_package)
if [ -z "$PACKAGE" ]; then
    apt-get update -q >/dev/null 2>&1 || true
    PACKAGE=$(kernel_package)
fi
[ -n "$PACKAGE" ] || die "apt-cache does not know linux-image-amd64 (apt-get update?)"
KDIR=$OUT/$PACKAGE
if [ ! -f "$KDIR/.unpacked" ]; then
    log "fetching $PACKAGE"
    rm -rf "$KDIR" "$OUT/deb" && mkdir -p "$OUT/deb"
    # apt's sandbox user must be able to write where the package goes.
    chmod 777 "$OUT/deb" 2>/dev/null || true
    (cd "$OUT/deb" && apt-get download "$PACKAGE" >/dev/null 2>&1) ||
        (apt-get update -q >/dev/null 2>&1; cd "$OUT/deb" && apt-get download "$PACKAGE" >/dev/null) ||
        die "apt-get download $PACKAGE failed"
    dpkg-deb -x "$OUT"/deb/"$PACKAGE"_*.deb "$KDIR"
    rm -rf "$OUT/deb"
    touch "$KDIR/.unpacked"
fi
VMLINUZ=$(ls "$KDIR"/boot/vmlinuz-* 2>/dev/null | head -1)
[ -n "$VMLINUZ" ] || die "no kernel image in $KDIR/boot"
MODDIR=$(ls -d "$KDIR"/lib/modules/*/kernel | head -1)
# The unpacked image has no modules.dep: the order of loading is ours
# (each after those its depends= names).
MODULES="configfs crct10dif_common crct10dif_generic crc-t10dif scsi_common scsi_mod uio
         target_core_mod target_core_user tcm_loop cdrom sr_mod sg"

# ---- the test flashers and the ASPI road's reference traces ---------------------------
# The flashes compared with the ASPI road: NAME SIZE LAYOUT REVISION; 1A70, a
# 32 KiB image (two chunks, the commit is the third WRITE BUFFER), for faults.
CASES="1A50A:262144:a:1A50 1A60P:100001:plain:1A60 1A70:32768:plain:1A70"
WORK=$OUT/work
rm -rf "$WORK" && mkdir -p "$WORK"
for c in $CASES; do
    IFS=: read -r name size layout revision <<<"$c"
    "$NATIVE/mkfirmware" "$WORK/$name.BIN" --size "$size" --ident "OPTIDRV CDRW-A100       " \
        --revision "$revision" --layout "$layout" >/dev/null || die "mkfirmware could not write $name.BIN"
    "$NATIVE/nfpack" "${NORVEX_KERNEL_TEMPLATE:-$REPO/dist/norvexflash.exe}" "$WORK/$name.BIN" "$WORK/$name.EXE" \
        --model CDRW-A100 --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV \
        --note "" >/dev/null || die "nfpack could not write $name.EXE"
done
# The ASPI road's traces of the same flashes: the Linux program's recorded
# ones (tests/linux/expected, checked against the ASPI road by the unit
# tests; NORVEX_KERNEL_REFERENCES names another directory first).
for name in 1A50A 1A60P; do
    for dir in ${NORVEX_KERNEL_REFERENCES:-} "$REPO/tests/linux/expected"; do
        [ -f "$dir/$name.trace" ] && cp "$dir/$name.trace" "$WORK/ref-$name.trace" && break
    done
done
# QEMU's own drives: the disc, and the flashers for their identification.
emulated_disc
[ -x "$FLASHER" ] && emulated_flashers

# ---- the initramfs ----------------------------------------------------------------------
ROOT=$OUT/root
rm -rf "$ROOT"
mkdir -p "$ROOT"/{bin,proc,sys,dev,tmp,etc,rig,lib/modules}
cp /bin/busybox "$ROOT/bin/busybox"
for applet in $(busybox --list); do
    [ "$applet" = busybox ] || ln -sf busybox "$ROOT/bin/$applet"
done
for m in $MODULES $EMU_MODULES; do
    f=$(find "$MODDIR" -name "$m.ko" -o -name "$m.ko.xz" | head -1)
    [ -n "$f" ] || die "module $m is not in $PACKAGE"
    case "$f" in
        *.xz) xz -dc "$f" >"$ROOT/lib/modules/$m.ko" ;;
        *) cp "$f" "$ROOT/lib/modules/$m.ko" ;;
    esac
done
echo $MODULES >"$ROOT/rig/modules.order"
echo $EMU_MODULES >"$ROOT/rig/modules.emulated"
cp "$NATIVE/vtcmu" "$NATIVE/sgcheck" "$ROOT/rig/"
if [ -x "$FLASHER" ]; then
    cp "$FLASHER" "$ROOT/rig/norvexflash"
    # A flasher linked dynamically brings its libraries, at their paths.
    for lib in $(ldd "$FLASHER" 2>/dev/null | grep -o '/[^ ]*' || true); do
        mkdir -p "$ROOT$(dirname "$lib")" && cp -L "$lib" "$ROOT$lib"
    done
fi
cp "$REPO"/tests/kernel/guest/*.sh "$REPO/scripts/lib/trace.sh" "$ROOT/rig/"
cp "$REPO/tests/kernel/guest/init" "$ROOT/init"
cp "$WORK"/*.EXE "$ROOT/rig/"
cp "$WORK"/ref-*.trace "$ROOT/rig/" 2>/dev/null || true
echo "${NORVEX_KERNEL_SCENARIOS:-}" >"$ROOT/rig/scenarios.wanted"
[ -n "${NORVEX_KERNEL_SHELL:-}" ] && touch "$ROOT/rig/shell"
# A user for the non-root scenario, in the group that owns the sg node.
printf 'root:x:0:0:root:/root:/bin/sh\nflash:x:1000:1000:flash:/tmp:/bin/sh\n' >"$ROOT/etc/passwd"
printf 'root:x:0:\ncdrom:x:24:flash\nflash:x:1000:\n' >"$ROOT/etc/group"
chmod +x "$ROOT/init" "$ROOT"/rig/*
(cd "$ROOT" && find . | cpio -o -H newc --quiet | gzip -1) >"$OUT/initrd.gz"
log "initramfs $(du -h "$OUT/initrd.gz" | cut -f1), kernel $(basename "$VMLINUZ")"

# ---- boot ------------------------------------------------------------------------------
CONSOLE=$OUT/console.log RESULTS=$OUT/results.txt
: >"$CONSOLE"
: >"$RESULTS"
QEMU_ARGS=(-machine pc -accel tcg -m 512 -smp 1 -display none -no-reboot -monitor none
    -kernel "$VMLINUZ" -initrd "$OUT/initrd.gz" -append "console=ttyS0 quiet loglevel=4 panic=-1")
emulated_qemu_args
QEMU_ARGS+=("${EMU_ARGS[@]}")
if [ -n "${NORVEX_KERNEL_SHELL:-}" ]; then
    # By hand: the console on this terminal, a shell after the scenarios.
    log "booting with the console here; the guest's shell powers off on exit"
    exec qemu-system-x86_64 "${QEMU_ARGS[@]}" -serial stdio -serial "file:$RESULTS"
fi
log "booting (TCG, at most $LIMIT s; the guest must come up within $BOOT_LIMIT s)"
start=$(date +%s)
timeout --kill-after=10 "$LIMIT" qemu-system-x86_64 "${QEMU_ARGS[@]}" \
    -serial "file:$CONSOLE" -serial "file:$RESULTS" &
QEMU=$!
trap 'kill $QEMU 2>/dev/null || true' EXIT
up=""
while kill -0 $QEMU 2>/dev/null; do
    if [ -z "$up" ]; then
        if grep -q '^rig: guest up' "$CONSOLE"; then
            up=1
            log "$(grep -m1 '^rig: guest up' "$CONSOLE")"
        elif [ $(($(date +%s) - start)) -ge "$BOOT_LIMIT" ]; then
            kill $QEMU 2>/dev/null || true
            tail -30 "$CONSOLE" >&2
            die "the guest did not come up within $BOOT_LIMIT s (console: $CONSOLE)"
        fi
    fi
    sleep 1
done
wait $QEMU && rc=0 || rc=$?
trap - EXIT
log "guest ended after $(($(date +%s) - start)) s"
[ $rc -eq 124 ] && { tail -30 "$CONSOLE" >&2; die "the guest ran past $LIMIT s and was stopped"; }
[ -n "$up" ] || { tail -30 "$CONSOLE" >&2; die "the guest never came up (console: $CONSOLE)"; }

# ---- results -----------------------------------------------------------------------------
tr -d '\r' <"$RESULTS" >"$RESULTS.clean"
# Files the guest sent: between "FILE NAME" and "END".
awk -v dir="$OUT/files" 'BEGIN { system("mkdir -p " dir) }
    /^FILE / { name = dir "/" $2; printf "" > name; next }
    /^END$/ { close(name); name = ""; next }
    name != "" { print >> name }' "$RESULTS.clean"
# The host's own checks of QEMU's trace join the guest's results.
emulated_checks "$RESULTS.clean"
passed=$(grep -c '^RESULT ok ' "$RESULTS.clean" || true)
skipped=$(grep -c '^RESULT SKIP ' "$RESULTS.clean" || true)
failed=$(grep -c '^RESULT FAIL ' "$RESULTS.clean" || true)
grep '^RESULT ' "$RESULTS.clean" | sed 's/^RESULT /  /'
grep -q '^DONE$' "$RESULTS.clean" || { tail -30 "$CONSOLE" >&2; die "the scenarios did not finish (console: $CONSOLE)"; }
echo "  kernel rig: $passed passed, $failed failed$([ "$skipped" -gt 0 ] && echo ", $skipped skipped")"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
