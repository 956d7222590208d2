// The SCSI command transport and a drive's construction,
// identification and teardown.
#include "drive/CDDrive.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kAspiVendorSite = "http://www.adaptec.com";
constexpr uint32_t kInternalBufferLength = 2352;

// Class-wide state, one copy shared by all drives.
OsCalls* g_os = nullptr;
Form* g_form = nullptr;
bool g_usePassThrough = false;
bool g_reportErrors = false;
bool g_useIdentifyBuffer = false;
uint16_t g_loadedDriveCount = 0;
uint16_t g_timeoutSeconds = 60;
char g_loadState = 'c';
OsModule g_aspiModule = nullptr;
OsProc g_sendEntry = nullptr;
std::string g_messageText;
uint8_t* g_dataBuffer = nullptr;
uint32_t g_dataBufferLength = 0;
// Page-aligned so the pass-through driver can transfer into them directly.
alignas(4096) uint8_t g_identifyBuffer[256];
alignas(4096) uint8_t g_internalBuffer[kInternalBufferLength];

// ASPI requests that were still pending when their wait timed out, with the
// event they name. The layer may still complete them, so neither the record
// nor the event is released until the layer has signalled the event (it sets
// the status first and signals last). Each belongs to the OsCalls it was sent
// through; Attach orphans them (os = none): orphans are only kept.
struct ParkedRequest {
    SrbExecScsiCmd* request;
    OsHandle event;
    OsCalls* os;
};
std::vector<ParkedRequest>& Parked() {
    static std::vector<ParkedRequest>* parked =
        new std::vector<ParkedRequest>();  // never destroyed
    return *parked;
}

void ReclaimParkedRequests() {
    auto& parked = Parked();
    for (size_t i = 0; i < parked.size();) {
        ParkedRequest& p = parked[i];
        if (p.os && p.os == g_os && g_os->WaitForSingleObject(p.event, 0) == kWaitObject0) {
            g_os->CloseHandle(p.event);
            delete p.request;
            parked.erase(parked.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

void ShowBox(const std::string& text, BoxKind kind) {
    if (g_form) g_form->MessageBox(text, kind, BoxButtons::Ok);
}

// A module handle below 32, compared as a signed 32-bit number, is a failure.
bool ModuleLoaded(OsModule module) {
    return static_cast<int32_t>(reinterpret_cast<uintptr_t>(module)) >= 32;
}

// InitTransport; false when it stopped with a failure code in LoadState.
bool InitTransportImpl() {
    OsVersionInfo info;
    info.dwOSVersionInfoSize = 148;
    info.dwPlatformId = 0;
    g_os->GetVersionExA(info);
    g_usePassThrough = info.dwPlatformId == kPlatformWin32Nt;
    if (!g_usePassThrough) {
        g_aspiModule = g_os->LoadLibraryA("WNASPI32.DLL");
        if (!ModuleLoaded(g_aspiModule)) {
            g_messageText =
                std::string("Unable to load WNASPI32.DLL !\nYou can down the DLL from ") +
                kAspiVendorSite + "\n and copy the DLL to system directory.\n\n";
            ShowBox(g_messageText, BoxKind::Error);
            g_loadState = 'b';
            g_aspiModule = nullptr;
            return false;
        }
        OsProc supportInfo = g_os->GetProcAddress(g_aspiModule, "GetASPI32SupportInfo");
        if (!supportInfo) {
            g_loadState = 'a';
            g_os->FreeLibrary(g_aspiModule);
            g_aspiModule = nullptr;
            return false;
        }
        uint32_t support = g_os->CallGetASPI32SupportInfo(supportInfo);
        if (((support >> 8) & 0xFF) != kSsComp) {
            g_loadState = 0x60;
            g_os->FreeLibrary(g_aspiModule);
            g_aspiModule = nullptr;
            return false;
        }
        g_sendEntry = g_os->GetProcAddress(g_aspiModule, "SendASPI32Command");
        if (!g_sendEntry) {
            g_loadState = 'a';
            g_os->FreeLibrary(g_aspiModule);
            g_aspiModule = nullptr;
            return false;
        }
    }
    g_dataBuffer = g_internalBuffer;
    g_dataBufferLength = kInternalBufferLength;
    return true;
}

}  // namespace

// ---- class-wide operations --------------------------------------------------

void CDDrive::Attach(OsCalls* os, Form* form) {
    g_os = os;
    g_form = form;
    g_usePassThrough = false;
    g_reportErrors = false;
    g_useIdentifyBuffer = false;
    g_loadedDriveCount = 0;
    g_timeoutSeconds = 60;
    g_loadState = 'c';
    g_aspiModule = nullptr;
    g_sendEntry = nullptr;
    g_messageText.clear();
    g_dataBuffer = nullptr;
    g_dataBufferLength = 0;
    // Parked requests stay allocated: the layer that holds them may still
    // complete them. They belonged to the previous seam, so they are never
    // polled again (a new seam could even sit at the same address and reuse
    // their handle values); they are kept until the process ends.
    for (ParkedRequest& p : Parked()) p.os = nullptr;
}

void CDDrive::InitTransport() {
    if (g_os) InitTransportImpl();
}

void CDDrive::SetTimeout(uint16_t seconds) {
    g_timeoutSeconds = seconds;
}

void CDDrive::SetDataBuffer(uint8_t* buffer, uint32_t length) {
    if (buffer) {
        g_dataBuffer = buffer;
        g_dataBufferLength = length;
    } else {
        g_dataBuffer = g_internalBuffer;
        g_dataBufferLength = kInternalBufferLength;
    }
}

uint8_t* CDDrive::DataBuffer() {
    return g_dataBuffer;
}
uint32_t CDDrive::DataBufferLength() {
    return g_dataBufferLength;
}
char CDDrive::LoadState() {
    return g_loadState;
}
uint16_t CDDrive::TimeoutSeconds() {
    return g_timeoutSeconds;
}
bool CDDrive::UsePassThrough() {
    return g_usePassThrough;
}
bool CDDrive::ReportErrors() {
    return g_reportErrors;
}
uint16_t CDDrive::LoadedDriveCount() {
    return g_loadedDriveCount;
}
OsCalls* CDDrive::System() {
    return g_os;
}

// ---- construction and teardown ---------------------------------

CDDrive::CDDrive(char letter, uint8_t adapter, uint8_t target, uint8_t lun)
    : DriveLetter(letter),
      HostAdapter(adapter),
      TargetId(target),
      Lun(lun),
      AspiRequest(new SrbExecScsiCmd{}) {
    IdentLine.clear();
    if (!g_os) {
        g_loadState = 'c';
        return;
    }
    if (g_loadedDriveCount == 0 && !InitTransportImpl())
        return;  // LoadState holds the failure code
    ShareMode = 1;
    DesiredAccess = 0xC0000000u;
    DeviceHandle = nullptr;
    if (Open()) {
        g_loadState = 0;
        ++g_loadedDriveCount;
        loaded_ = true;
    } else {
        g_loadState = 'c';
    }
}

CDDrive::~CDDrive() {
    if (loaded_ && g_os) {
        if (g_usePassThrough) {
            if (DeviceHandle) {
                g_os->CloseHandle(DeviceHandle);
                DeviceHandle = nullptr;
                if (g_loadedDriveCount > 0) --g_loadedDriveCount;
            }
        } else {
            if (g_loadedDriveCount == 0 && ModuleLoaded(g_aspiModule)) {
                g_os->FreeLibrary(g_aspiModule);
                g_aspiModule = nullptr;
            }
            if (g_loadedDriveCount > 0) --g_loadedDriveCount;
        }
    }
    // A drive that never loaded holds no open device and never raised the
    // count: only its storage is released.
    delete AspiRequest;
    AspiRequest = nullptr;
    IdentLine.clear();
}

bool CDDrive::Open() {
    if (!g_os) return false;
    if (g_usePassThrough) {
        char name[] = "\\\\.\\?:";
        name[4] = DriveLetter;
        DeviceHandle = g_os->CreateFileA(name, DesiredAccess, ShareMode, kOpenExisting, 0);
        if (DeviceHandle == InvalidOsHandle()) {
            DeviceHandle = nullptr;
            g_messageText = Format("Error opening: %d, Drive: %s",
                                   static_cast<int>(g_os->GetLastError()), name);
            ShowBox(g_messageText, BoxKind::Plain);
            g_reportErrors = true;
            ShowSystemError();
            return false;
        }
    }
    if (Inquire()) return true;
    if (g_usePassThrough && DeviceHandle) {
        g_os->CloseHandle(DeviceHandle);
        DeviceHandle = nullptr;
    }
    return false;
}

bool CDDrive::Inquire() {
    std::memset(g_identifyBuffer, 0, sizeof g_identifyBuffer);
    g_useIdentifyBuffer = true;
    int32_t result = Execute(0x12, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, kDataIn, 128);
    g_useIdentifyBuffer = false;
    if (result == 0) {
        IdentLine.assign(1, '0');  // (not = "0": GCC 12 -Wrestrict false positive)
        return false;
    }
    char line[64];
    int n = std::snprintf(line, sizeof line, "%d-%d-%d %c: %28.28s", HostAdapter, TargetId, Lun,
                          DriveLetter, reinterpret_cast<const char*>(g_identifyBuffer + 8));
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

// ---- Execute ---------------------------------------------------------------

int32_t CDDrive::Execute(uint8_t cdb0, uint8_t cdb1, uint8_t cdb2, uint8_t cdb3, uint8_t cdb4,
                         uint8_t cdb5, uint8_t cdb6, uint8_t cdb7, uint8_t cdb8, uint8_t cdb9,
                         uint8_t cdb10, uint8_t cdb11, uint8_t direction, uint32_t length) {
    const uint8_t cdb[12] = {cdb0, cdb1, cdb2, cdb3, cdb4,  cdb5,
                             cdb6, cdb7, cdb8, cdb9, cdb10, cdb11};
    return Execute(cdb, direction, length);
}

int32_t CDDrive::Execute(const uint8_t cdb[12], uint8_t direction, uint32_t length) {
    uint8_t* area = g_useIdentifyBuffer ? g_identifyBuffer : g_dataBuffer;
    if (!g_os) return 0;
    return g_usePassThrough ? ExecutePassThrough(cdb, direction, length, area)
                            : ExecuteAspi(cdb, direction, length, area);
}

int32_t CDDrive::ExecutePassThrough(const uint8_t cdb[12], uint8_t direction, uint32_t length,
                                    uint8_t* area) {
    std::memset(&PassThroughRequest, 0, sizeof PassThroughRequest);
    ScsiPassThroughDirect& spt = PassThroughRequest.Spt;
    spt.Length = sizeof(ScsiPassThroughDirect);
    spt.PathId = HostAdapter;
    spt.TargetId = TargetId;
    spt.Lun = Lun;
    spt.CdbLength = 12;
    spt.SenseInfoLength = 24;
    spt.DataIn = direction == kDataIn ? kScsiIoctlDataIn : kScsiIoctlDataOut;
    spt.DataTransferLength = length;
    spt.TimeOutValue = g_timeoutSeconds;
    spt.DataBuffer = area;
    spt.SenseInfoOffset = offsetof(PassThroughRecord, Sense);
    std::memcpy(spt.Cdb, cdb, 12);

    RequestSize = sizeof(PassThroughRecord);
    IoctlOk = g_os->DeviceIoControl(DeviceHandle, kIoctlScsiPassThroughDirect, &PassThroughRequest,
                                    RequestSize, &PassThroughRequest, RequestSize, &BytesReturned);
    LastSystemError = 0;
    Status = spt.ScsiStatus;
    SenseKey = PassThroughRequest.Sense[2];
    Asc = PassThroughRequest.Sense[12];
    Ascq = PassThroughRequest.Sense[13];
    if (IoctlOk && SenseKey == 0) return 1;
    ShowSystemError();
    return 0;
}

int32_t CDDrive::ExecuteAspi(const uint8_t cdb[12], uint8_t direction, uint32_t length,
                             uint8_t* area) {
    ReclaimParkedRequests();
    if (!g_sendEntry) {  // no layer loaded: nothing can be sent
        LastSystemError = 0;
        Status = kSsPending;
        SenseKey = Asc = Ascq = 0;
        ShowSystemError();
        return 0;
    }
    OsHandle event = g_os->CreateEventA(false, false);

    SrbExecScsiCmd& srb = *AspiRequest;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = kScExecScsiCmd;
    srb.SRB_HaId = HostAdapter;
    srb.SRB_Flags = direction == kDataIn ? kSrbDirIn : kSrbDirOut;
    srb.SRB_Flags += kSrbEventNotify;
    srb.SRB_Target = TargetId;
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = area;
    srb.SRB_SenseLen = 14;
    srb.SRB_CDBLen = 12;
    srb.SRB_PostProc = event;
    std::memcpy(srb.CDBByte, cdb, 12);

    // The layer may complete the request from another thread: read its
    // status once per look, through a volatile access.
    auto status = [&srb]() { return *static_cast<volatile uint8_t*>(&srb.SRB_Status); };
    g_os->CallSendASPI32Command(g_sendEntry, &srb);
    if (status() == kSsPending) {
        if (g_os->WaitForSingleObject(event, static_cast<uint32_t>(g_timeoutSeconds) * 1000u) ==
            kWaitObject0)
            g_os->ResetEvent(event);
    }

    LastSystemError = 0;
    Status = status();
    if (Status == kSsPending) {
        // Timed out (or woken without completion): the layer may still
        // complete this request and signal its event. Park both, untouched,
        // and give this drive a fresh record for its next command. The
        // outcome is that of the zeroed record: status 0, no sense.
        Parked().push_back({AspiRequest, event, g_os});
        AspiRequest = new SrbExecScsiCmd{};
        SenseKey = Asc = Ascq = 0;
    } else {
        g_os->CloseHandle(event);
        SenseKey = srb.SenseArea[2];
        Asc = srb.SenseArea[12];
        Ascq = srb.SenseArea[13];
    }
    if (Status == kSsComp && SenseKey == 0) return static_cast<int32_t>(length);
    ShowSystemError();
    return 0;
}

// ---- outcome queries ---------------------------------------------------------

bool CDDrive::SenseIs(uint8_t key, uint8_t asc, uint8_t ascq) const {
    return SenseKey == key && Asc == asc && Ascq == ascq;
}

bool CDDrive::SenseKeyAscIs(uint8_t key, uint8_t asc) const {
    return SenseKey == key && Asc == asc;
}

bool CDDrive::TransportOk() const {
    return g_usePassThrough ? IoctlOk : Status == kSsComp;
}

std::string CDDrive::ErrorText() const {
    return Format("%02X %02X %02X. %02X, %04X", SenseKey, Asc, Ascq, Status, LastSystemError);
}

void CDDrive::ShowSystemError() {
    if (!g_os) return;
    LastSystemError = g_os->GetLastError();
    if (!g_reportErrors) return;
    char text[80] = {};
    uint32_t n =
        g_os->FormatMessageA(kFormatMessageFromSystem, LastSystemError, 0, text, sizeof text);
    if (n > 0) {
        text[sizeof text - 1] = 0;
        g_messageText = Format("SenseCode: %02X %02X %02X, %02X, Error: %d, %s", SenseKey, Asc,
                               Ascq, Status, static_cast<int>(LastSystemError), text);
    } else {
        g_messageText = Format("SenseCode: %02X %02X %02X, %02X, Error: %d, Format message failed.",
                               SenseKey, Asc, Ascq, Status, static_cast<int>(LastSystemError));
    }
    ShowBox(g_messageText, BoxKind::Plain);
}
