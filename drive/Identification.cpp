// A drive's construction, opening, identification and teardown.
#include <cstdio>
#include <cstring>

#include "drive/CDDrive.h"
#include "drive/DriveState.h"

using namespace drive_state;

CDDrive::CDDrive(char letter, uint8_t adapter, uint8_t target, uint8_t lun)
    : DriveLetter(letter),
      HostAdapter(adapter),
      TargetId(target),
      Lun(lun),
      AspiRequest(new AspiCommand) {
    IdentLine.clear();
    if (!os) {
        loadState = 'c';
        return;
    }
    if (loadedDriveCount == 0 && !drive_state::InitTransport())
        return;  // LoadState holds the failure code
    ShareMode = 1;
    DesiredAccess = 0xC0000000u;
    DeviceHandle = nullptr;
    if (Open()) {
        loadState = 0;
        ++loadedDriveCount;
        loaded_ = true;
    } else {
        loadState = 'c';
    }
}

CDDrive::~CDDrive() {
    if (loaded_ && os) {
        if (usePassThrough) {
            if (DeviceHandle) {
                os->CloseHandle(DeviceHandle);
                DeviceHandle = nullptr;
                if (loadedDriveCount > 0) --loadedDriveCount;
            }
        } else {
            if (loadedDriveCount == 0 && ModuleLoaded(aspiModule)) {
                os->FreeLibrary(aspiModule);
                aspiModule = nullptr;
            }
            if (loadedDriveCount > 0) --loadedDriveCount;
        }
    }
    // A drive that never loaded holds no open device and never raised the
    // count: only its storage is released.
    delete AspiRequest;
    AspiRequest = nullptr;
    IdentLine.clear();
}

bool CDDrive::Open() {
    if (!os) return false;
    if (usePassThrough) {
        char name[] = "\\\\.\\?:";
        name[4] = DriveLetter;
        DeviceHandle = os->CreateFileA(name, DesiredAccess, ShareMode, kOpenExisting, 0);
        if (DeviceHandle == InvalidOsHandle()) {
            // Taken before the box: showing it may change the last error.
            const uint32_t error = os->GetLastError();
            DeviceHandle = nullptr;
            messageText = Format("Error opening: %d, Drive: %s", static_cast<int>(error), name);
            ShowBox(messageText, BoxKind::Plain);
            reportErrors = true;
            ReportSystemError(error);
            return false;
        }
    }
    if (Inquire()) return true;
    if (usePassThrough && DeviceHandle) {
        os->CloseHandle(DeviceHandle);
        DeviceHandle = nullptr;
    }
    return false;
}

bool CDDrive::Inquire() {
    std::memset(identifyBuffer, 0, sizeof identifyBuffer);
    useIdentifyBuffer = true;
    int32_t result = Execute(0x12, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, kDataIn, 128);
    useIdentifyBuffer = false;
    if (result == 0) {
        IdentLine.assign(1, '0');  // (not = "0": GCC 12 -Wrestrict false positive)
        return false;
    }
    char line[64];
    int n = std::snprintf(line, sizeof line, "%d-%d-%d %c: %28.28s", HostAdapter, TargetId, Lun,
                          DriveLetter, reinterpret_cast<const char*>(identifyBuffer + 8));
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
