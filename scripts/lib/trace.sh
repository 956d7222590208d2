# The virtual drive's files as the scripts read and write them: the drive
# file (one [DRIVEn] section per drive, docs/TESTING.md has the keys) and
# the command trace (one command block per line, after the drive's address).

# Prints one drive's section: [DRIVEn], then each KEY=VALUE line as given.
drive_section() {  # N KEY=VALUE...
    echo "[DRIVE$1]"
    shift
    printf '%s\n' "$@"
}

# Writes a drive file of one drive.
write_drive_file() {  # FILE KEY=VALUE...
    local file=$1
    shift
    drive_section 0 "$@" >"$file"
}

# The value of KEY in a drive file's first drive that has it.
drive_key() {  # FILE KEY
    sed -n "s/^$2=//p" "$1" | tr -d '\r' | head -1
}
revision_in() { drive_key "$1" Revision; }

# The command blocks of a trace, without the address in front.
blocks() { cut -d' ' -f2- "$1" | tr -d '\r'; }

# How many commits a trace holds: every WRITE BUFFER (3B) in the vendor
# download mode (05) whose control byte (byte 9) is 80 (commit) or A0
# (flash-all commit), whatever its other bytes. Written with its own bytes,
# not the program's rule, so that a wrong rule cannot hide a commit.
count_commits() {  # TRACE
    tr -d '\r' <"$1" | awk '{ b0 = toupper($2); b1 = toupper($3); b9 = toupper($11) }
        b0 == "3B" && b1 == "05" && (b9 == "80" || b9 == "A0") { n++ }
        END { print n + 0 }'
}
