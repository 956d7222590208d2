// The class-wide state of the drive layer and the choice and loading of the
// transport.
#include "drive/DriveState.h"

#include <cstdarg>
#include <cstdio>

#include "drive/CDDrive.h"

namespace drive_state {

namespace {
constexpr const char* kAspiVendorSite = "http://www.adaptec.com";
}  // namespace

OsCalls* os = nullptr;
Form* form = nullptr;
bool usePassThrough = false;
bool reportErrors = false;
bool useIdentifyBuffer = false;
uint16_t loadedDriveCount = 0;
uint16_t timeoutSeconds = 60;
char loadState = 'c';
OsModule aspiModule = nullptr;
OsProc sendEntry = nullptr;
std::string messageText;
uint8_t* dataBuffer = nullptr;
uint32_t dataBufferLength = 0;
// Page-aligned so the pass-through driver can transfer into them directly.
alignas(4096) uint8_t identifyBuffer[kIdentifyBufferLength];
alignas(4096) uint8_t internalBuffer[kInternalBufferLength];

std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

void ShowBox(const std::string& text, BoxKind kind) {
    if (form) form->MessageBox(text, kind, BoxButtons::Ok);
}

bool ModuleLoaded(OsModule module) {
    return static_cast<int32_t>(reinterpret_cast<uintptr_t>(module)) >= 32;
}

bool InitTransport() {
    OsVersionInfo info;
    info.dwOSVersionInfoSize = 148;
    info.dwPlatformId = 0;
    os->GetVersionExA(info);
    usePassThrough = info.dwPlatformId == kPlatformWin32Nt;
    if (!usePassThrough) {
        aspiModule = os->LoadLibraryA("WNASPI32.DLL");
        if (!ModuleLoaded(aspiModule)) {
            messageText = std::string("Unable to load WNASPI32.DLL !\nYou can down the DLL from ") +
                          kAspiVendorSite + "\n and copy the DLL to system directory.\n\n";
            ShowBox(messageText, BoxKind::Error);
            loadState = 'b';
            aspiModule = nullptr;
            return false;
        }
        OsProc supportInfo = os->GetProcAddress(aspiModule, "GetASPI32SupportInfo");
        if (!supportInfo) {
            loadState = 'a';
            os->FreeLibrary(aspiModule);
            aspiModule = nullptr;
            return false;
        }
        uint32_t support = os->CallGetASPI32SupportInfo(supportInfo);
        if (((support >> 8) & 0xFF) != kSsComp) {
            loadState = 0x60;
            os->FreeLibrary(aspiModule);
            aspiModule = nullptr;
            return false;
        }
        sendEntry = os->GetProcAddress(aspiModule, "SendASPI32Command");
        if (!sendEntry) {
            loadState = 'a';
            os->FreeLibrary(aspiModule);
            aspiModule = nullptr;
            return false;
        }
    }
    dataBuffer = internalBuffer;
    dataBufferLength = kInternalBufferLength;
    return true;
}

}  // namespace drive_state

using namespace drive_state;

void CDDrive::Attach(OsCalls* system, Form* window) {
    os = system;
    form = window;
    usePassThrough = false;
    reportErrors = false;
    useIdentifyBuffer = false;
    loadedDriveCount = 0;
    timeoutSeconds = 60;
    loadState = 'c';
    aspiModule = nullptr;
    sendEntry = nullptr;
    messageText.clear();
    dataBuffer = nullptr;
    dataBufferLength = 0;
    OrphanParkedRequests();
}

void CDDrive::InitTransport() {
    if (os) drive_state::InitTransport();
}

void CDDrive::SetTimeout(uint16_t seconds) {
    timeoutSeconds = seconds;
}

void CDDrive::SetDataBuffer(uint8_t* buffer, uint32_t length) {
    if (buffer) {
        dataBuffer = buffer;
        dataBufferLength = length;
    } else {
        dataBuffer = internalBuffer;
        dataBufferLength = kInternalBufferLength;
    }
}

uint8_t* CDDrive::DataBuffer() {
    return dataBuffer;
}
uint32_t CDDrive::DataBufferLength() {
    return dataBufferLength;
}
char CDDrive::LoadState() {
    return loadState;
}
uint16_t CDDrive::TimeoutSeconds() {
    return timeoutSeconds;
}
bool CDDrive::UsePassThrough() {
    return usePassThrough;
}
bool CDDrive::ReportErrors() {
    return reportErrors;
}
uint16_t CDDrive::LoadedDriveCount() {
    return loadedDriveCount;
}
OsCalls* CDDrive::System() {
    return os;
}
