// The Linux program's exit status, judged from what the flash or the build showed.
#include "app/linux/ExitStatus.h"

// The status texts of the flash sequence that end it.
namespace {
constexpr const char* kCompleted = "Flash Completed.";
constexpr const char* kCommitFailed = "Flash Fail.";
}  // namespace

ExitStatus FlashExitStatus(const FlashObservation& seen) {
    if (!seen.promptAccepted) return kExitNothingSent;
    if (seen.status == kCompleted)
        return seen.reportedRevision == seen.packagedRevision ? kExitDone : kExitOldRevision;
    if (seen.status == kCommitFailed) return kExitCommitFailed;
    return kExitFailedBeforeCommit;
}

std::string ExitStatusAdvice(ExitStatus status, const FlashObservation& seen) {
    switch (status) {
        case kExitDone:
            return "Done: the drive reports the packaged revision " + seen.packagedRevision + ".";
        case kExitNothingSent:
            return "Nothing was written to the drive.";
        case kExitFailedBeforeCommit:
            return "The flash stopped before the drive was told to program its firmware: the "
                   "drive's firmware is untouched. Mend the cause above, then run the flasher "
                   "again.";
        case kExitCommitFailed:
            return "The drive was told to program its firmware, and that command failed or its "
                   "outcome is unknown. Leave the computer on and run this flasher again now: if "
                   "the drive is listed, flash it again. If it is not found any more, switch the "
                   "computer off and on once, then run the flasher again.";
        case kExitListUpToDate:
            return "Every drive accepted is already at the packaged revision " +
                   seen.packagedRevision + " or a later one.";
        case kExitOldRevision:
            return "The drive accepted the firmware but reports revision " +
                   (seen.reportedRevision.empty() ? std::string("(none)") : seen.reportedRevision) +
                   ", not " + seen.packagedRevision +
                   ". Switch the computer off and on, then run this flasher again to see which "
                   "revision the drive reports.";
    }
    return "";
}

const char* const kExitStatusHelp =
    "Exit status:\n"
    "  0  flash completed and the drive reports the packaged revision\n"
    "     (builder: the flasher was written; --list: at least one drive is accepted\n"
    "     and below the packaged revision)\n"
    "  1  nothing was sent to the drive: declined, no eligible drive, already up to\n"
    "     date, usage error (builder: nothing was written; --list: none accepted)\n"
    "  2  failed before the commit: the drive's firmware is untouched\n"
    "     (builder: the build failed)\n"
    "  3  the commit failed or its outcome is unknown: leave the computer on and run\n"
    "     the flasher again at once\n"
    "  4  the flash completed but the drive still reports another revision than the\n"
    "     packaged one: power the computer off and on, then check again\n"
    "  5  --list only: drives are accepted, but each is already at the packaged\n"
    "     revision or a later one, so a flash would stop at once\n"
    "A signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT) that comes during a flash or a\n"
    "build does not change these: the work goes on to its end and the program\n"
    "exits with the work's own status. One that comes at a question, before\n"
    "anything is written to the drive, ends the program at once by that signal.\n";
