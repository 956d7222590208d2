// The class-wide state of the drive layer and the choice and loading of the
// transport.
#include "drive/DriveState.h"

#include <cstdarg>
#include <cstdio>

#include "drive/CDDrive.h"
#include "drive/CommandLog.h"

namespace drive_state {

namespace {
constexpr const char* kAspiVendorSite = "http://www.adaptec.com";
}  // namespace

OsCalls* gOs = nullptr;
Form* gForm = nullptr;
bool gUsePassThrough = false;
bool gReportErrors = false;
bool gUseIdentifyBuffer = false;
uint16_t gLoadedDriveCount = 0;
uint16_t gTimeoutSeconds = 60;
char gLoadState = kLoadNotOpened;
OsModule gAspiModule = nullptr;
OsProc gSendEntry = nullptr;
std::string gMessageText;
uint8_t* gDataBuffer = nullptr;
uint32_t gDataBufferLength = 0;
// Page-aligned so the pass-through driver can transfer into them directly.
alignas(4096) uint8_t gIdentifyBuffer[kIdentifyBufferLength];
alignas(4096) uint8_t gInternalBuffer[kInternalBufferLength];

std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

void ShowBox(const std::string& text, BoxKind kind) {
    if (gForm) gForm->MessageBox(text, kind, BoxButtons::Ok);
}

bool ModuleLoaded(OsModule module) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(module);
    // Below 32, as a signed 32-bit number, is the old loaders' error code. A
    // 64-bit build (the tests' x86-64 road) has addresses whose low half can
    // read as negative, so there only the whole address counts.
    if constexpr (sizeof(value) > 4) return value >= 32;
    return static_cast<int32_t>(value) >= 32;
}

bool InitTransport() {
    OsVersionInfo info;
    info.dwOSVersionInfoSize = 148;
    info.dwPlatformId = 0;
    gOs->GetVersionExA(info);
    gUsePassThrough = info.dwPlatformId == kPlatformWin32Nt;
    if (!gUsePassThrough) {
        gAspiModule = gOs->LoadLibraryA("WNASPI32.DLL");
        if (!ModuleLoaded(gAspiModule)) {
            // Kept word for word: the program's own text (docs/ARCHITECTURE.md, Style).
            gMessageText =
                std::string("Unable to load WNASPI32.DLL !\nYou can down the DLL from ") +
                kAspiVendorSite + "\n and copy the DLL to system directory.\n\n";
            ShowBox(gMessageText, BoxKind::Error);
            gLoadState = kLoadNoAspiLayer;
            gAspiModule = nullptr;
            return false;
        }
        OsProc supportInfo = gOs->GetProcAddress(gAspiModule, "GetASPI32SupportInfo");
        if (!supportInfo) {
            gLoadState = kLoadNoAspiEntry;
            gOs->FreeLibrary(gAspiModule);
            gAspiModule = nullptr;
            return false;
        }
        uint32_t support = gOs->CallGetASPI32SupportInfo(supportInfo);
        if (((support >> 8) & 0xFF) != kSsComp) {
            gLoadState = kLoadAspiNotReady;
            gOs->FreeLibrary(gAspiModule);
            gAspiModule = nullptr;
            return false;
        }
        gSendEntry = gOs->GetProcAddress(gAspiModule, "SendASPI32Command");
        if (!gSendEntry) {
            gLoadState = kLoadNoAspiEntry;
            gOs->FreeLibrary(gAspiModule);
            gAspiModule = nullptr;
            return false;
        }
    }
    gDataBuffer = gInternalBuffer;
    gDataBufferLength = kInternalBufferLength;
    return true;
}

}  // namespace drive_state

using namespace drive_state;

void CDDrive::Attach(OsCalls* system, Form* window) {
    gOs = system;
    gForm = window;
    gUsePassThrough = false;
    gReportErrors = false;
    gUseIdentifyBuffer = false;
    gLoadedDriveCount = 0;
    gTimeoutSeconds = 60;
    gLoadState = kLoadNotOpened;
    gAspiModule = nullptr;
    gSendEntry = nullptr;
    gMessageText.clear();
    gDataBuffer = nullptr;
    gDataBufferLength = 0;
    OrphanParkedRequests();
    gCommandLog.Close();
}

void CDDrive::InitTransport() {
    if (gOs) drive_state::InitTransport();
}

void CDDrive::SetTimeout(uint16_t seconds) {
    gTimeoutSeconds = seconds;
}

void CDDrive::SetDataBuffer(uint8_t* buffer, uint32_t length) {
    if (buffer) {
        gDataBuffer = buffer;
        gDataBufferLength = length;
    } else {
        gDataBuffer = gInternalBuffer;
        gDataBufferLength = kInternalBufferLength;
    }
}

uint8_t* CDDrive::DataBuffer() {
    return gDataBuffer;
}
uint32_t CDDrive::DataBufferLength() {
    return gDataBufferLength;
}
char CDDrive::LoadState() {
    return gLoadState;
}
uint16_t CDDrive::TimeoutSeconds() {
    return gTimeoutSeconds;
}
bool CDDrive::UsePassThrough() {
    return gUsePassThrough;
}
bool CDDrive::ReportErrors() {
    return gReportErrors;
}
uint16_t CDDrive::LoadedDriveCount() {
    return gLoadedDriveCount;
}
OsCalls* CDDrive::System() {
    return gOs;
}
