// --list: every candidate device, what it answers, and whether this flasher
// accepts it and why not. Scans as the flasher does and sends nothing but
// INQUIRY.
#include <memory>

#include "app/linux/ExitStatus.h"
#include "app/linux/LinuxFront.h"
#include "flash/Revision.h"
#include "host/linux/SystemErrors.h"

namespace {
std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    size_t b = s.find_first_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b);
}

std::string ErrorSentence(uint32_t code) {
    const char* text = WindowsErrorText(code);
    std::string t = text ? text : "";
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
    return t + " (error " + std::to_string(code) + ")";
}

// Why CheckCondition refused the selected drive.
std::string RefusalReason(TFlashForm& flash, const PackageView& package) {
    CDDrive* drive = flash.Drives->Current;
    if (!package.AnyDrive() && drive->ProductId() != flash.InquiryText)
        return "another model; this flasher is for \"" + Trimmed(flash.InquiryText) + "\"";
    return "firmware " + drive->FirmwareRevision() + " is outside the range " + flash.LowVersion +
           "-" + flash.HighVersion + " this flasher may replace";
}
}  // namespace

int ListDrives(LinuxFront& f) {
    const PackageView package = f.flash.Package();
    // The fields the eligibility check reads, as the flasher's start sets them.
    f.flash.InquiryText = package.InquiryText();
    f.flash.LowVersion = package.LowVersion();
    f.flash.HighVersion = package.HighVersion();
    f.form.boxStream = stderr;

    f.form.Say("Flasher: " + package.Vendor() + " " + package.Model() + ", for \"" +
               (package.AnyDrive() ? std::string("any drive") : Trimmed(f.flash.InquiryText)) +
               "\" with firmware " +
               (package.AnyFirmware() ? std::string("of any revision")
                                      : f.flash.LowVersion + "-" + f.flash.HighVersion) +
               ", writes revision " + package.NewRevision());
    f.flash.Drives = std::make_unique<CDDrives>();
    int accepted = 0, toUpdate = 0;
    for (const LinuxDevice& device : f.os.Devices()) {
        std::string line = device.named;
        if (device.path != device.named) line += " (" + device.path + ")";
        int index = -1;
        for (int i = 0; i < f.flash.Drives->Count(); ++i)
            if (f.flash.Drives->Drives[i]->DriveLetter == device.letter) index = i;
        if (index < 0) {
            const uint32_t error = f.os.OpenError(device.letter);
            line += "  " + std::string(1, device.letter) + ":  not accepted: " +
                    (error ? "cannot be opened: " + ErrorSentence(error)
                           : std::string("does not answer INQUIRY"));
            f.form.Say(line);
            continue;
        }
        f.flash.Drives->Select(static_cast<int16_t>(index));
        line += "  " + f.flash.Drives->Current->IdentLine;
        if (f.flash.CheckCondition()) {
            ++accepted;
            line += "  accepted";
            const std::string revision = f.flash.Drives->Current->FirmwareRevision();
            if (!package.AnyFirmware() && !RevisionLess(revision, package.NewRevision()))
                line += " (but already at " + revision + ": the flash would stop)";
            else
                ++toUpdate;
        } else {
            line += "  not accepted: " + RefusalReason(f.flash, package);
        }
        f.form.Say(line);
    }
    if (f.os.Devices().empty())
        f.form.Say(
            "No device: no optical drive's SCSI generic node in /sys/class/scsi_generic, "
            "and no --device.");
    if (toUpdate > 0) return kExitDone;
    return accepted > 0 ? kExitListUpToDate : kExitNothingSent;
}
