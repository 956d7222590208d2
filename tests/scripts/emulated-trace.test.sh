#!/usr/bin/env bash
# QEMU's trace of the emulated drives read back as a command trace: a SCSI
# command's bytes joined to its parsed line by the tag, whether QEMU's signed
# decimal tag has its top bit set or not.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
. "$repo/scripts/lib/checks.sh"
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
. "$repo/tests/kernel/emulated-drives.sh"
mkdir -p "$EMU"
printf '%s\n' \
    "ide_atapi_cmd_packet IDEState: 0x555fcc2ae830; limit=0x12 packet: 03 00 00 00 12 00 00 00 00 00 00 00 " \
    "scsi_req_parsed target 0 lun 0 tag 0 command 18 dir 1 length 36" \
    "scsi_disk_new_request Command: lun=0 tag=0x0 data= 0x12 0x00 0x00 0x00 0x24 0x00" \
    "scsi_req_parsed target 0 lun 0 tag -1000088048 command 18 dir 1 length 23" \
    "scsi_disk_new_request Command: lun=0 tag=0xc463de10 data= 0x12 0x00 0x00 0x00 0x17 0x00" \
    "scsi_req_parsed target 1 lun 0 tag 1147483648 command 18 dir 1 length 24" \
    "scsi_disk_new_request Command: lun=0 tag=0x44653600 data= 0x12 0x00 0x00 0x00 0x18 0x00" \
    "scsi_req_parse_bad target 1 lun 0 tag 5 command 223" >"$EMU_TRACE"
emulated_commands
expect_eq "every command, in order, with its bytes" "ide:0x555fcc2ae830 03 00 00 00 12 00 00 00 00 00 00 00
scsi:0 12 00 00 00 24 00 -- -- -- -- -- --
scsi:0 12 00 00 00 17 00 -- -- -- -- -- --
scsi:1 12 00 00 00 18 00 -- -- -- -- -- --
scsi:1 DF" "$(cat "$EMU/commands.trace")"
finish
