// A drive's construction, opening, identification and teardown.
#include <cstdio>
#include <cstring>

#include "drive/CDDrive.h"
#include "drive/Scsi.h"
#include "drive/DriveState.h"

using namespace drive_state;

CDDrive::CDDrive(char letter, uint8_t adapter, uint8_t target, uint8_t lun)
    : DriveLetter(letter),
      HostAdapter(adapter),
      TargetId(target),
      Lun(lun),
      AspiRequest(new AspiCommand) {
    IdentLine.clear();
    if (!gOs) {
        gLoadState = kLoadNotOpened;
        return;
    }
    if (gLoadedDriveCount == 0 && !drive_state::InitTransport())
        return;  // LoadState holds the failure code
    ShareMode = 1;
    DesiredAccess = 0xC0000000u;
    DeviceHandle = nullptr;
    if (Open()) {
        gLoadState = kLoadDone;
        ++gLoadedDriveCount;
        loaded_ = true;
    } else {
        gLoadState = kLoadNotOpened;
    }
}

CDDrive::~CDDrive() {
    if (loaded_ && gOs) {
        if (gUsePassThrough) {
            if (DeviceHandle) {
                gOs->CloseHandle(DeviceHandle);
                DeviceHandle = nullptr;
                if (gLoadedDriveCount > 0) --gLoadedDriveCount;
            }
        } else {
            if (gLoadedDriveCount == 0 && ModuleLoaded(gAspiModule)) {
                gOs->FreeLibrary(gAspiModule);
                gAspiModule = nullptr;
            }
            if (gLoadedDriveCount > 0) --gLoadedDriveCount;
        }
    }
    // A drive that never loaded holds no open device and never raised the
    // count: only its storage is released.
    delete AspiRequest;
    AspiRequest = nullptr;
    IdentLine.clear();
}

bool CDDrive::Open() {
    if (!gOs) return false;
    if (gUsePassThrough) {
        char name[] = "\\\\.\\?:";
        name[4] = DriveLetter;
        DeviceHandle = gOs->CreateFileA(name, DesiredAccess, ShareMode, kOpenExisting, 0);
        if (DeviceHandle == InvalidOsHandle()) {
            // Taken before the box: showing it may change the last error.
            const uint32_t error = gOs->GetLastError();
            DeviceHandle = nullptr;
            gMessageText = Format("Error opening: %d, Drive: %s", static_cast<int>(error), name);
            ShowBox(gMessageText, BoxKind::Plain);
            gReportErrors = true;
            ReportSystemError(error);
            return false;
        }
    }
    if (Inquire()) return true;
    if (gUsePassThrough && DeviceHandle) {
        gOs->CloseHandle(DeviceHandle);
        DeviceHandle = nullptr;
    }
    return false;
}

bool CDDrive::Inquire() {
    std::memset(gIdentifyBuffer, 0, sizeof gIdentifyBuffer);
    gUseIdentifyBuffer = true;
    int32_t result =
        Execute(kOpInquiry, 0, 0, 0, kInquiryLength, 0, 0, 0, 0, 0, 0, 0, kDataIn, kInquiryLength);
    gUseIdentifyBuffer = false;
    if (result == 0) {
        IdentLine.assign(1, '0');  // (not = "0": GCC 12 -Wrestrict false positive)
        return false;
    }
    char line[64];
    int n = std::snprintf(line, sizeof line, "%d-%d-%d %c: %28.28s", HostAdapter, TargetId, Lun,
                          DriveLetter, reinterpret_cast<const char*>(gIdentifyBuffer + 8));
    IdentLine = std::string(line, n > 0 && n < int(sizeof line) ? size_t(n) : 0);
    return true;
}

std::string CDDrive::DisplayLine() {
    Inquire();  // IdentLine is "0" when it fails
    return IdentLine;
}

namespace {
// The identification text: the 28 characters after the line's prefix; empty
// when the line holds none (it is "0" after a failed INQUIRY).
std::string IdentificationText(const std::string& line) {
    constexpr size_t kTextLength = 28;
    constexpr size_t kShortestPrefix = 9;  // "0-0-0 E: "
    if (line.size() < kShortestPrefix + kTextLength) return "";
    return line.substr(line.size() - kTextLength);
}
}  // namespace

std::string CDDrive::ProductId() const {
    return IdentificationText(IdentLine).substr(0, 24);
}

std::string CDDrive::FirmwareRevision() const {
    std::string text = IdentificationText(IdentLine);
    return text.empty() ? text : text.substr(24, 4);
}
