// The simulated operating system.
#include "sim/SimOs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "host/ini/IniReader.h"
#include "sim/AspiService.h"

namespace {
bool SameText(const char* a, const char* b) {
    if (!a || !b) return false;
    for (; *a && *b; ++a, ++b)
        if (std::toupper(static_cast<unsigned char>(*a)) !=
            std::toupper(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}
uintptr_t Key(OsHandle h) {
    return reinterpret_cast<uintptr_t>(h);
}
char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}
}  // namespace

OsModule SimOs::AspiModuleHandle() {
    return reinterpret_cast<OsModule>(uintptr_t(0x10000000));
}
OsProc SimOs::SupportInfoEntry() {
    return reinterpret_cast<OsProc>(uintptr_t(0x10001000));
}
OsProc SimOs::SendCommandEntry() {
    return reinterpret_cast<OsProc>(uintptr_t(0x10001040));
}

SimOs::SimOs() {
    messages[0] = "The operation completed successfully.\r\n";
    messages[kErrorInvalidFunction] = "Incorrect function.\r\n";
    messages[kErrorFileNotFound] = "The system cannot find the file specified.\r\n";
    messages[kErrorAccessDenied] = "Access is denied.\r\n";
    messages[kErrorInvalidHandle] = "The handle is invalid.\r\n";
    messages[kErrorNotEnoughMemory] =
        "Not enough storage is available to process this command.\r\n";
    messages[kErrorNotReady] = "The device is not ready.\r\n";
    messages[kErrorInvalidParameter] = "The parameter is incorrect.\r\n";
    messages[kErrorSemTimeout] = "The semaphore timeout period has expired.\r\n";
    messages[kErrorBadExeFormat] = "%1 is not a valid Win32 application.\r\n";
    messages[kErrorIoDevice] =
        "The request could not be performed because of an I/O device error.\r\n";
}

SimOs::~SimOs() = default;

// ---- configuration -----------------------------------------------------------

void SimOs::AddLetter(char letter, uint32_t driveType) {
    Letter& l = letters_[Upper(letter)];
    l.type = driveType;
}

VirtualDrive& SimOs::AddCdrom(char letter, VirtualDrive::Config config) {
    Letter& l = letters_[Upper(letter)];
    l.type = kDriveCdrom;
    l.drive = std::make_unique<VirtualDrive>(std::move(config));
    return *l.drive;
}

void SimOs::FailOpen(char letter, uint32_t error) {
    Letter& l = letters_[Upper(letter)];
    if (l.type == 0) l.type = kDriveCdrom;
    l.failOpen = true;
    l.openError = error;
}

VirtualDrive* SimOs::DriveAt(char letter) {
    auto it = letters_.find(Upper(letter));
    return it == letters_.end() ? nullptr : it->second.drive.get();
}

VirtualDrive& SimOs::AddAspiDrive(uint8_t ha, uint8_t target, VirtualDrive::Config config) {
    auto& d = aspiDrives_[uint16_t((ha << 8) | target)];
    d = std::make_unique<VirtualDrive>(std::move(config));
    return *d;
}

VirtualDrive* SimOs::AspiDriveAt(uint8_t ha, uint8_t target) {
    auto it = aspiDrives_.find(uint16_t((ha << 8) | target));
    return it == aspiDrives_.end() ? nullptr : it->second.get();
}

uint8_t SimOs::AdapterCount() const {
    int count = 1;
    for (auto& [key, drive] : aspiDrives_) count = std::max(count, (key >> 8) + 1);
    return static_cast<uint8_t>(count);
}

// ---- observation ---------------------------------------------------------------

size_t SimOs::CountOpcode(uint8_t opcode) const {
    return static_cast<size_t>(std::count_if(
        trace.begin(), trace.end(), [opcode](const TraceEntry& e) { return e.cdb[0] == opcode; }));
}

std::vector<TraceEntry> SimOs::TraceOf(uint8_t opcode) const {
    std::vector<TraceEntry> out;
    for (auto& e : trace)
        if (e.cdb[0] == opcode) out.push_back(e);
    return out;
}

size_t SimOs::CountCalls(const std::string& name) const {
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), name));
}

size_t SimOs::OpenEvents() const {
    return static_cast<size_t>(std::count_if(objects_.begin(), objects_.end(), [](auto& o) {
        return o.second.type == Object::Type::Event;
    }));
}

size_t SimOs::OpenDevices() const {
    return static_cast<size_t>(std::count_if(objects_.begin(), objects_.end(), [](auto& o) {
        return o.second.type == Object::Type::Device;
    }));
}

size_t SimOs::PendingRequests() const {
    return pending_.size();
}

std::vector<const uint8_t*> SimOs::PendingDataAreas() const {
    std::vector<const uint8_t*> areas;
    for (auto& p : pending_) areas.push_back(p.data);
    return areas;
}

size_t SimOs::TimedOutRequests() const {
    return static_cast<size_t>(
        std::count_if(pending_.begin(), pending_.end(), [](auto& p) { return p.timedOut; }));
}

// ---- handles -------------------------------------------------------------------

// Handle values are multiples of 4 from 4; the lowest free value is reused,
// as Windows does, so a stale handle can name a newer object.
OsHandle SimOs::NewHandle(Object object) {
    uintptr_t value = 4;
    while (objects_.count(value)) value += 4;
    object.serial = nextSerial_++;
    objects_[value] = object;
    return reinterpret_cast<OsHandle>(value);
}

SimOs::Object* SimOs::Find(OsHandle handle) {
    auto it = objects_.find(Key(handle));
    return it == objects_.end() ? nullptr : &it->second;
}

void SimOs::Signal(OsHandle handle, uint64_t serial) {
    Object* o = Find(handle);
    if (!o || o->type != Object::Type::Event) {
        ++lostSignals;
        return;
    }
    if (serial != 0 && o->serial != serial) ++misdirectedSignals;
    o->signalled = true;
}

void SimOs::Enter(const char* call) {
    calls.push_back(call);
    for (size_t i = 0; i < deferredSignals_.size();) {
        if (--deferredSignals_[i].callsLeft == 0) {
            DeferredSignal d = deferredSignals_[i];
            deferredSignals_.erase(deferredSignals_.begin() + static_cast<std::ptrdiff_t>(i));
            Signal(d.event, d.serial);
        } else {
            ++i;
        }
    }
}

OsHandle SimOs::CreateEventA(bool manualReset, bool initialState) {
    Enter("CreateEventA");
    if (failCreateEvent != 0) {
        lastError = failCreateEvent;
        return nullptr;
    }
    Object o{Object::Type::Event};
    o.manualReset = manualReset;
    o.signalled = initialState;
    return NewHandle(o);
}

uint32_t SimOs::WaitForSingleObject(OsHandle handle, uint32_t milliseconds) {
    Enter("WaitForSingleObject");
    Object* o = Find(handle);
    if (o && o->type == Object::Type::Mutex) return WaitForMutex(*o, milliseconds);
    if (!o || o->type != Object::Type::Event) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return kWaitFailed;
    }
    if (!o->signalled) {
        // Late completion: a pending request naming this event completes now.
        for (size_t i = 0; i < pending_.size(); ++i) {
            if (!pending_[i].timedOut && pending_[i].notify && pending_[i].event == handle) {
                Pending p = pending_[i];
                pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
                Finish(p);
                AfterCommand();
                break;
            }
        }
        o = Find(handle);
    }
    if (o && o->signalled) {
        if (!o->manualReset) o->signalled = false;
        return kWaitObject0;
    }
    waitedMs += milliseconds;
    return kWaitTimeout;
}

bool SimOs::ResetEvent(OsHandle event) {
    Enter("ResetEvent");
    Object* o = Find(event);
    if (!o || o->type != Object::Type::Event) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return false;
    }
    o->signalled = false;
    return true;
}

bool SimOs::CloseHandle(OsHandle handle) {
    Enter("CloseHandle");
    Object* o = Find(handle);
    if (!o) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return false;
    }
    Closing(*o);
    objects_.erase(Key(handle));
    return true;
}

// ---- system information --------------------------------------------------------

bool SimOs::GetVersionExA(OsVersionInfo& info) {
    Enter("GetVersionExA");
    lastVersionInfoSize = info.dwOSVersionInfoSize;
    if (info.dwOSVersionInfoSize != 148) {
        lastError = kErrorInvalidParameter;
        return false;
    }
    info.dwPlatformId = platformId;
    info.dwMajorVersion = majorVersion;
    info.dwMinorVersion = 0;
    return true;
}

uint32_t SimOs::GetLastError() {
    Enter("GetLastError");
    return lastError;
}

uint32_t SimOs::FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t, char* buffer,
                               uint32_t size) {
    Enter("FormatMessageA");
    lastFormatFlags = flags;
    auto it = messages.find(messageId);
    if (!(flags & kFormatMessageFromSystem) || it == messages.end()) {
        lastError = 317;  // ERROR_MR_MID_NOT_FOUND
        return 0;
    }
    const std::string& text = it->second;
    // Inserts (%1 ...) expanded without arguments: Windows reads arguments
    // that were never passed; here the call fails.
    if (!(flags & kFormatMessageIgnoreInserts)) {
        for (size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') {
                lastError = kErrorInvalidParameter;
                return 0;
            }
        }
    }
    if (!buffer || text.size() + 1 > size) {
        lastError = 122;  // ERROR_INSUFFICIENT_BUFFER
        return 0;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<uint32_t>(text.size());
}

uint32_t SimOs::GetLogicalDriveStringsA(uint32_t bufferLength, char* buffer) {
    Enter("GetLogicalDriveStringsA");
    driveStringsSizes.push_back(bufferLength);
    std::string roots;
    for (auto& [letter, l] : letters_) {
        roots += letter;
        roots += ":\\";
        roots += '\0';
    }
    uint32_t needed = static_cast<uint32_t>(roots.size()) + 1;  // with the final zero
    if (bufferLength < needed || !buffer) return needed;
    std::memcpy(buffer, roots.data(), roots.size());
    buffer[roots.size()] = 0;
    return static_cast<uint32_t>(roots.size());
}

uint32_t SimOs::GetDriveTypeA(const char* root) {
    Enter("GetDriveTypeA");
    if (!root || !root[0]) return 1;
    auto it = letters_.find(Upper(root[0]));
    return it == letters_.end() ? 1 /* DRIVE_NO_ROOT_DIR */ : it->second.type;
}

void SimOs::Sleep(uint32_t milliseconds) {
    Enter("Sleep");
    sleptMs += milliseconds;
}

uint32_t SimOs::GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, char* buffer, uint32_t size,
                                         const char* fileName) {
    Enter("GetPrivateProfileStringA");
    return ReadProfileString(section, key, defaultValue, buffer, size, fileName);
}

uint32_t SimOs::GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) {
    Enter("GetCurrentDirectoryA");
    std::error_code error;
    std::string dir = std::filesystem::current_path(error).string();
    if (error) return 0;
    if (!buffer || bufferLength < dir.size() + 1) return static_cast<uint32_t>(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<uint32_t>(dir.size());
}

// ---- pass-through ----------------------------------------------------------------

OsHandle SimOs::CreateFileA(const char* name, uint32_t desiredAccess, uint32_t shareMode,
                            uint32_t creationDisposition, uint32_t flags) {
    Enter("CreateFileA");
    opens.push_back({name ? name : "", desiredAccess, shareMode, creationDisposition, flags});
    // "\\.\X:"
    if (!name || std::strlen(name) != 6 || std::strncmp(name, "\\\\.\\", 4) != 0 ||
        name[5] != ':') {
        lastError = kErrorFileNotFound;
        return InvalidOsHandle();
    }
    auto it = letters_.find(Upper(name[4]));
    if (it == letters_.end()) {
        lastError = kErrorFileNotFound;
        return InvalidOsHandle();
    }
    if (it->second.failOpen) {
        lastError = it->second.openError;
        return InvalidOsHandle();
    }
    Object o{Object::Type::Device};
    o.letter = it->first;
    o.desiredAccess = desiredAccess;
    return NewHandle(o);
}

bool SimOs::DeviceIoControl(OsHandle device, uint32_t code, void* in, uint32_t inSize, void* out,
                            uint32_t outSize, uint32_t* bytesReturned) {
    Enter("DeviceIoControl");
    lastIoctlCode = code;
    lastIoctlInSize = inSize;
    lastIoctlOutSize = outSize;
    lastIoctlSameBuffer = in == out;
    Object* o = Find(device);
    if (!o || o->type != Object::Type::Device) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return false;
    }
    if (code != kIoctlScsiPassThroughDirect)
        return StorageControl(*o, device, code, in, inSize, out, outSize, bytesReturned);
    // The class driver refuses it before it reaches the drive.
    if (LockedAgainst(*o)) {
        lastError = kErrorAccessDenied;
        return false;
    }
    if (!in || !out || inSize < sizeof(ScsiPassThroughDirect) ||
        outSize < sizeof(ScsiPassThroughDirect)) {
        lastError = kErrorInvalidParameter;
        return false;
    }
    ScsiPassThroughDirect spt;
    std::memcpy(&spt, in, sizeof spt);
    lastPassThroughIn = PassThroughRecord{};
    std::memcpy(&lastPassThroughIn, in, std::min<size_t>(inSize, sizeof lastPassThroughIn));
    lastPassThroughAddress = in;
    if (spt.Length != sizeof(ScsiPassThroughDirect) || spt.CdbLength > 16) {
        lastError = kErrorInvalidParameter;
        return false;
    }

    TraceEntry e{};
    e.ha = spt.PathId;
    e.target = spt.TargetId;
    e.letter = o->letter;
    std::memcpy(e.cdb, spt.Cdb, 12);
    e.dataIn = spt.DataIn == kScsiIoctlDataIn;
    e.length = spt.DataTransferLength;
    trace.push_back(e);

    VirtualDrive* drive = DriveAt(o->letter);
    if (!drive) {
        lastError = kErrorNotReady;
        return false;
    }
    DriveOutcome r = drive->Execute(spt.Cdb, e.dataIn, static_cast<uint8_t*>(spt.DataBuffer),
                                    spt.DataTransferLength);
    if (r.kind == DriveOutcome::Kind::TimedOut) {
        lastError = kErrorSemTimeout;
        return false;
    }
    if (r.kind == DriveOutcome::Kind::TransportFailure) {
        lastError = kErrorIoDevice;
        return false;
    }
    spt.ScsiStatus = r.status;
    spt.DataTransferLength = r.transferred;
    uint32_t returned = sizeof(ScsiPassThroughDirect);
    if (r.status == kStatusCheckCondition) {
        uint32_t n = std::min<uint32_t>(spt.SenseInfoLength, static_cast<uint32_t>(r.sense.size()));
        if (spt.SenseInfoOffset < sizeof(ScsiPassThroughDirect) ||
            spt.SenseInfoOffset + n > outSize) {
            lastError = kErrorInvalidParameter;
            return false;
        }
        std::memcpy(static_cast<uint8_t*>(out) + spt.SenseInfoOffset, r.sense.data(), n);
        spt.SenseInfoLength = static_cast<uint8_t>(n);
        returned = spt.SenseInfoOffset + n;
    } else {
        spt.SenseInfoLength = 0;
    }
    std::memcpy(out, &spt, sizeof spt);
    if (bytesReturned) *bytesReturned = returned;
    lastPassThroughOut = PassThroughRecord{};
    std::memcpy(&lastPassThroughOut, out, std::min<size_t>(outSize, sizeof lastPassThroughOut));
    return true;
}

// ---- the ASPI layer ----------------------------------------------------------------

OsModule SimOs::LoadLibraryA(const char* name) {
    Enter("LoadLibraryA");
    if (!SameText(name, "WNASPI32.DLL") || aspiLayer == AspiLayer::Missing) {
        lastError = kErrorModNotFound;
        return nullptr;
    }
    ++moduleReferences;
    return AspiModuleHandle();
}

OsProc SimOs::GetProcAddress(OsModule module, const char* name) {
    Enter("GetProcAddress");
    if (module != AspiModuleHandle() || moduleReferences <= 0) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return nullptr;
    }
    if (name && std::strcmp(name, "GetASPI32SupportInfo") == 0 &&
        aspiLayer != AspiLayer::NoSupportEntry)
        return SupportInfoEntry();
    if (name && std::strcmp(name, "SendASPI32Command") == 0 && aspiLayer != AspiLayer::NoSendEntry)
        return SendCommandEntry();
    lastError = kErrorProcNotFound;
    return nullptr;
}

bool SimOs::FreeLibrary(OsModule module) {
    Enter("FreeLibrary");
    if (module != AspiModuleHandle() || moduleReferences <= 0) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return false;
    }
    --moduleReferences;
    return true;
}

uint32_t SimOs::CallGetASPI32SupportInfo(OsProc entry) {
    Enter("GetASPI32SupportInfo");
    if (entry != SupportInfoEntry() || moduleReferences <= 0) {
        ++badCalls;
        return 0;
    }
    uint8_t status = aspiLayer == AspiLayer::BadStatus ? supportStatus : kSsComp;
    return (uint32_t(status) << 8) | AdapterCount();
}

uint32_t SimOs::CallSendASPI32Command(OsProc entry, void* request) {
    Enter("SendASPI32Command");
    if (entry != SendCommandEntry() || moduleReferences <= 0 || !request) {
        ++badCalls;
        return kSsInvalidCmd;
    }
    auto* srb = static_cast<SrbExecScsiCmd*>(request);
    srbAddresses.push_back(request);
    lastSrbAddress = request;
    if (srb->SRB_Cmd != kScExecScsiCmd) {
        srb->SRB_Status = kSsInvalidCmd;
        return kSsInvalidCmd;
    }
    lastSrbIn = *srb;

    TraceEntry e{};
    e.ha = srb->SRB_HaId;
    e.target = srb->SRB_Target;
    e.letter = ' ';
    std::memcpy(e.cdb, srb->CDBByte, 12);
    e.dataIn = SrbDataIn(*srb);
    e.length = srb->SRB_BufLen;
    trace.push_back(e);

    if (srb->SRB_HaId >= AdapterCount()) {
        srb->SRB_Status = kSsInvalidHa;
        lastSrbOut = *srb;
        return kSsInvalidHa;
    }
    VirtualDrive* drive = AspiDriveAt(srb->SRB_HaId, srb->SRB_Target);
    if (!drive || srb->SRB_Lun != 0) {
        srb->SRB_Status = kSsNoDevice;
        lastSrbOut = *srb;
        return kSsNoDevice;
    }

    Pending p{};
    p.srb = srb;
    p.event = srb->SRB_PostProc;
    if (Object* o = Find(p.event)) p.eventSerial = o->serial;
    p.notify = (srb->SRB_Flags & kSrbEventNotify) != 0;
    p.drive = drive;
    std::memcpy(p.cdb, srb->CDBByte, 12);
    p.dataIn = e.dataIn;
    p.data = srb->SRB_BufPointer;
    p.length = srb->SRB_BufLen;
    p.outcome = drive->Execute(p.cdb, p.dataIn, p.data, p.length);
    srb->SRB_Status = kSsPending;
    if (p.outcome.kind == DriveOutcome::Kind::TimedOut) {
        p.timedOut = true;
        pending_.push_back(p);
        lastSrbOut = *srb;
        return kSsPending;
    }
    if (completion == Completion::Late && p.notify) {
        pending_.push_back(p);
        lastSrbOut = *srb;
        return kSsPending;
    }
    Finish(p);
    AfterCommand();
    return srb->SRB_Status;
}

void SimOs::Finish(Pending& p) {
    CompleteSrb(*p.srb, p.outcome);
    if (p.srb == lastSrbAddress) lastSrbOut = *p.srb;
    if (!p.notify) return;
    if (signalDelayCalls > 0)
        deferredSignals_.push_back({p.event, p.eventSerial, signalDelayCalls});
    else
        Signal(p.event, p.eventSerial);
}

void SimOs::AfterCommand() {
    if (!completeTimedOutAfterNextCommand) return;
    completeTimedOutAfterNextCommand = false;
    CompleteTimedOut();
}

void SimOs::CompleteTimedOut() {
    std::vector<Pending> late;
    for (size_t i = 0; i < pending_.size();) {
        if (pending_[i].timedOut) {
            late.push_back(pending_[i]);
            pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    for (Pending& p : late) {
        p.outcome = p.drive->Perform(p.cdb, p.dataIn, p.data, p.length);
        Finish(p);
    }
}
