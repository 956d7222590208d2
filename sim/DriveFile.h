// The drive file of the virtual ASPI layer: an INI file naming the virtual
// drives on the ASPI bus (sections [DRIVE0], [DRIVE1], ...; see
// docs/TESTING.md, "Virtual drives"), and the write-back of a drive's new
// Revision after a flash commit. Portable.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/VirtualDrive.h"

struct DriveFileEntry {
    std::string section;  // "DRIVE0", ...
    uint8_t hostAdapter = 0;
    uint8_t target = 0;
    VirtualDrive::Config config;
    std::vector<DriveFault> faults;
    uint32_t timeoutCompleteAfterMs =
        0;  // TimeoutCompleteAfterMs: complete a timed-out request late (0: never)
    uint32_t commandDelayMs = 0;  // CommandDelayMs: each data transfer takes this long (slow drive)
    bool deferredCompletion = false;  // Completion=deferred: SS_PENDING, completed from a thread
};

// Reads every [DRIVEn] section, n = 0, 1, 2, ... until the first missing
// one. Returns false (with a reason in *error) when the file cannot be read
// or a value is malformed.
bool ReadDriveFile(const std::string& path, std::vector<DriveFileEntry>& drives,
                   std::string* error = nullptr);

// Parses a drive file's text (the same rules).
bool ParseDriveFile(const std::string& text, std::vector<DriveFileEntry>& drives,
                    std::string* error = nullptr);

// Sets Revision=<revision> in [section] of the file, keeping every other
// line; adds the key when the section lacks it.
bool WriteDriveRevision(const std::string& path, const std::string& section,
                        const std::string& revision);
