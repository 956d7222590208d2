// The exit statuses of the Linux program: a contract for scripts, written
// in --help and the README.
#pragma once
#include <string>

enum ExitStatus : int {
    kExitDone = 0,                // flash completed, the drive reports the packaged revision;
                                  // builder: the flasher was written; --list: a drive accepted
                                  // that the flash would update
    kExitNothingSent = 1,         // declined, no eligible drive, already up to date, usage error;
                                  // builder: nothing written
    kExitFailedBeforeCommit = 2,  // stopped before the commit, firmware untouched;
                                  // builder: the build failed
    kExitCommitFailed = 3,        // the commit failed or its outcome is unknown
    kExitOldRevision = 4,         // completed, but the drive still reports another revision
    kExitListUpToDate = 5,        // --list: drives accepted, each already at the packaged
                                  // revision or a later one (a flash would stop at once)
};

// What the front end saw of one press of FLASH.
struct FlashObservation {
    bool promptAccepted = false;   // the flash prompt was answered Yes: commands went out
    std::string status;            // the status line afterwards
    std::string reportedRevision;  // the drive's revision after the list refresh
    std::string packagedRevision;
};

ExitStatus FlashExitStatus(const FlashObservation& seen);

// One or two sentences for the end of a run: what happened, and what the
// user should do next.
std::string ExitStatusAdvice(ExitStatus status, const FlashObservation& seen);

// The table for --help and the README.
extern const char* const kExitStatusHelp;
