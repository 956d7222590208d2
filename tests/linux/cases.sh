# The flashes both roads run: NAME SIZE LAYOUT REVISION (the image made by
# mkfirmware), the package the flasher carries, and the drive that takes it.
FLASH_CASES=(
    "1A50A 262144 a 1A50"     # layout A: profile, entry critical
    "1A55B 262144 b 1A55"     # layout B: profile, no entry critical
    "1A60P 100001 plain 1A60" # odd size: a short last chunk
)
CASE_IDENT="OPTIDRV CDRW-A100       "
CASE_PACKAGE=(--model CDRW-A100 --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV --note "")

# The drive of these cases, before the flash (scripts/lib/trace.sh writes it).
CASE_DRIVE=(Vendor=OPTIDRV Product=CDRW-A100 Revision=1A10 "FlashId=DA C8 00 00" Medium=none BecomingReady=2)
case_drive() {  # FILE ADDRESS_LINES... [FAULT LINES...]
    local file=$1
    shift
    write_drive_file "$file" "$@" "${CASE_DRIVE[@]}"
}
