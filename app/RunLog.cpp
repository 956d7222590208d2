// The flasher's run in the command log: the log's place, the header, the
// drive list, and the form's texts and boxes as the log records them.
#include "app/RunLog.h"

#include <cstdio>

#include "app/FlashForm.h"
#include "app/LoggedForm.h"
#include "drive/CommandLog.h"
#include "flash/ImageClass.h"

std::string ProgramVersion() {
    // The release's version, then the caption's (" Flash Utility V1.048A "),
    // which the window shows.
    std::string caption = kVersionCaption;
    while (!caption.empty() && caption.back() == ' ') caption.pop_back();
    while (!caption.empty() && caption.front() == ' ') caption.erase(0, 1);
    return std::string(NORVEX_VERSION) + ", " + caption;
}

std::string LogPathBeside(const std::string& exePath) {
    const size_t slash = exePath.find_last_of("\\/");
    const size_t dot = exePath.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return exePath + ".LOG";
    return exePath.substr(0, dot) + ".LOG";
}

bool OpenFlasherLog(OsCalls& os, const PackageView& package, const std::string& exePath) {
    if (package.IsTemplate()) return false;
    gCommandLog.Start(os);
    const std::string beside = LogPathBeside(exePath);
    if (gCommandLog.Open(beside)) return true;
    // A folder that cannot be written (a CD, a read-only share): the
    // temporary folder, under the same name.
    char temp[300] = {};
    const uint32_t length = os.GetTempPathA(sizeof temp, temp);
    if (length > 0 && length < sizeof temp) {
        const size_t slash = beside.find_last_of("\\/");
        const std::string name = slash == std::string::npos ? beside : beside.substr(slash + 1);
        if (gCommandLog.Open(std::string(temp, length) + name)) return true;
    }
    gCommandLog.Close();
    return false;
}

namespace {
const char* BoxKindName(BoxKind kind) {
    switch (kind) {
        case BoxKind::Plain:
            return "plain";
        case BoxKind::Warning:
            return "warning";
        case BoxKind::Confirmation:
            return "confirmation";
        case BoxKind::Error:
            return "error";
    }
    return "plain";
}
const char* AnswerName(BoxAnswer answer) {
    switch (answer) {
        case BoxAnswer::Ok:
            return "OK";
        case BoxAnswer::Yes:
            return "Yes";
        case BoxAnswer::No:
            return "No";
        case BoxAnswer::Closed:
            return "closed";
    }
    return "closed";
}
}  // namespace

void LogRunHeader(OsCalls& os, const PackageView& package) {
    if (!gCommandLog.Active()) return;
    OsSystemTime t;
    os.GetLocalTime(t);
    char when[48];
    std::snprintf(when, sizeof when, "%04u-%02u-%02u %02u:%02u:%02u", unsigned(t.wYear),
                  unsigned(t.wMonth), unsigned(t.wDay), unsigned(t.wHour), unsigned(t.wMinute),
                  unsigned(t.wSecond));
    gCommandLog.Line("start", std::string(when) + ", norvexflash " + ProgramVersion());
    gCommandLog.Line("package", "model \"" + package.Model() + "\", identification \"" +
                                    package.InquiryText() + "\", range \"" + package.Range() +
                                    "\", revision \"" + package.NewRevision() + "\", layout " +
                                    LayoutName(ClassifyImage(package.FirmwareArea())) + ", image " +
                                    std::to_string(package.ImageSize()) + " bytes");
    OsVersionInfo info;
    info.dwOSVersionInfoSize = 148;
    if (gCommandLog.systemName.empty() || gCommandLog.roadName.empty()) os.GetVersionExA(info);
    std::string system = gCommandLog.systemName;
    if (system.empty()) {
        system = std::string(info.dwPlatformId == kPlatformWin32Nt ? "Windows NT family "
                                                                   : "Windows 9x family ") +
                 std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion);
    }
    std::string road = gCommandLog.roadName;
    // The drive layer's choice, made the same way at the scan.
    if (road.empty())
        road = info.dwPlatformId == kPlatformWin32Nt ? "SCSI pass-through" : "ASPI (WNASPI32.DLL)";
    gCommandLog.Line("system", system + ", road " + road);
}

void LogDrive(CDDrive& drive, bool eligible, const std::string& why) {
    if (!gCommandLog.Active()) return;
    // Built by appending: GCC 12's -Wrestrict misreads the chained operator+.
    std::string text = "\"";
    // The scan's identification line: DisplayLine would send INQUIRY again.
    text += drive.IdentLine;
    text += eligible ? "\" eligible" : "\" not eligible: ";
    if (!eligible) text += why;
    gCommandLog.Line("drive", text);
}

void LoggedForm::SetStatus(const std::string& text) {
    inner_.SetStatus(text);
    gCommandLog.Line("status", text);
}

BoxAnswer LoggedForm::MessageBox(const std::string& text, BoxKind kind, BoxButtons buttons) {
    gCommandLog.Line("box", std::string(BoxKindName(kind)) + " \"" + text + "\"");
    const BoxAnswer answer = inner_.MessageBox(text, kind, buttons);
    gCommandLog.Line("answer", AnswerName(answer));
    return answer;
}
