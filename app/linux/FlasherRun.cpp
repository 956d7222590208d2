// The flasher road on a terminal: the window's handlers in the order a
// person clicks them, one flash, and its outcome as the exit status.
#include <csignal>
#include <cstring>

#include "app/linux/ExitStatus.h"
#include "app/linux/HeldSignals.h"
#include "app/linux/LinuxFront.h"

namespace {
std::string SignalName(int s) {
    switch (s) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        case SIGQUIT:
            return "SIGQUIT";
    }
    return "signal " + std::to_string(s);
}

void ShowDriveList(LinuxFront& f) {
    f.form.Say("== " + f.form.WindowCaption() + " ==");
    f.form.Say(f.form.Label());
    const auto& items = f.form.ComboItems();
    for (size_t i = 0; i < items.size(); ++i) {
        std::string line = "  " + std::to_string(i + 1) + ") " + items[i];
        // The item names the drive letter; the device behind it is framing.
        if (f.flash.Drives && i < f.flash.DriveIndexMap.size()) {
            int index = f.flash.DriveIndexMap[i];
            if (index >= 0 && index < f.flash.Drives->Count())
                if (const LinuxDevice* d =
                        f.os.DeviceOf(f.flash.Drives->Drives[index]->DriveLetter))
                    line += "   (" + d->path + ")";
        }
        f.form.Say(line);
    }
}

// One press of FLASH; returns the exit status once commands went out, -1
// when the prompt was declined or the flash was refused before it.
int PressFlash(LinuxFront& f) {
    f.form.boxes.clear();
    HeldSignals held(
        [&f](int s) {
            f.form.Say("norvexflash: " + SignalName(s) +
                       " received: the flash goes on to its end, so that the drive is not left "
                       "half-programmed; the program ends after it.");
        },
        [&f] { f.form.Tick(); });
    MediaPolling polling;
    static bool pollingNoted = false;  // said once per run
    bool accepted = false;
    std::string device;
    if (f.flash.CurrentDrive)
        if (const LinuxDevice* d = f.os.DeviceOf(f.flash.CurrentDrive->DriveLetter))
            device = d->path;

    f.form.afterQuestion = [&](BoxAnswer answer) {
        if (answer != BoxAnswer::Yes || accepted) return;
        accepted = true;
        held.Start();
        std::string why;
        if (!polling.Suspend(device, &why) && !pollingNoted) {
            pollingNoted = true;
            f.form.Say("norvexflash: " + why);
        }
    };
    f.form.yesToNextQuestion = f.options.yes;
    f.flash.FlashButtonClick();
    f.form.afterQuestion = nullptr;
    f.form.yesToNextQuestion = false;
    f.form.EndLine();
    polling.Restore();
    held.Stop();
    if (!accepted) return -1;

    FlashObservation seen;
    seen.promptAccepted = true;
    seen.status = f.form.Status();
    seen.packagedRevision = f.flash.Package().NewRevision();
    if (f.flash.Drives && f.flash.Drives->Current)
        seen.reportedRevision = f.flash.Drives->Current->FirmwareRevision();
    const ExitStatus status = FlashExitStatus(seen);
    f.form.Say("norvexflash: " + ExitStatusAdvice(status, seen) + " (exit status " +
               std::to_string(int(status)) + ")");
    // The flash's outcome is what a script must learn, whatever came meanwhile.
    if (held.Received())
        f.form.Say("norvexflash: ending now on the " + SignalName(held.Received()) +
                   " received during the flash, with the flash's own exit status " +
                   std::to_string(int(status)) + ".");
    held.Release();
    return status;
}
}  // namespace

int AskNumber(TerminalForm& form, const std::string& what, int count) {
    for (;;) {
        std::string answer;
        const std::string range = count == 1 ? "1" : "1-" + std::to_string(count);
        if (!form.Ask(what + " [" + range + ", Enter: 1, q: quit]: ", answer)) return -1;
        if (answer == "q" || answer == "Q") return -1;
        if (answer.empty()) return 0;
        char* end = nullptr;
        long n = std::strtol(answer.c_str(), &end, 10);
        if (*end == '\0' && n >= 1 && n <= count) return static_cast<int>(n - 1);
        form.Say("Type a number from " + range + ", or q.");
    }
}

int RunFlasher(LinuxFront& f) {
    f.form.yesToNextQuestion = f.options.yes;
    f.flash.FormCreate();
    f.form.yesToNextQuestion = false;
    if (f.form.QuitPosted() || f.form.Closed()) {
        if (f.os.Devices().empty())
            f.form.Say(
                "norvexflash: no optical drive's SCSI generic device was found "
                "(/sys/class/scsi_generic); is the sg module loaded (modprobe sg)? "
                "Name a device with --device PATH.");
        f.form.Say("norvexflash: Nothing was written to the drive. (exit status 1)");
        return kExitNothingSent;
    }
    const int count = f.form.ComboCount();
    ShowDriveList(f);
    if (f.options.yes && count != 1) {
        f.form.Say("norvexflash: --yes needs exactly one drive that this flasher accepts; " +
                   std::to_string(count) +
                   " are listed. Name the one to flash with --device PATH. Nothing was written to "
                   "the drive. (exit status 1)");
        return kExitNothingSent;
    }
    for (;;) {
        int choice = f.options.yes ? 0 : AskNumber(f.form, "Drive to FLASH", count);
        if (choice < 0) break;
        f.form.ComboSetIndex(choice);
        f.flash.ComboBoxChange();
        const int status = PressFlash(f);
        if (status >= 0) return status;
        if (f.options.yes) break;
    }
    f.form.Say("norvexflash: Nothing was written to the drive. (exit status 1)");
    return kExitNothingSent;
}
