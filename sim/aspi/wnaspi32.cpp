// The virtual ASPI for Win32 layer: a WNASPI32.DLL that serves virtual drives
// (sim/VirtualDrive) to the real program under Wine in 9x mode.
//
// Drives come from the INI file named by the environment variable
// NORVEX_SIM_DRIVES (docs/TESTING.md, "Virtual drives"); after a flash commit
// the drive's new Revision is written back into that file. With
// NORVEX_SIM_TRACE naming a file, one line per command block received is
// appended to it (opened and closed per command, so it is complete even if
// the program is killed).
//
// SC_EXEC_SCSI_CMD requests complete before SendASPI32Command returns
// (Completion=immediate), or, like real layers, the call returns SS_PENDING and
// a thread of the layer completes the request after CommandDelayMs
// (Completion=deferred). Either way data, sense, target status and SRB status
// are written into the request first, then its event (SRB_PostProc with
// SRB_EVENT_NOTIFY) is set. A Timeout fault leaves the request pending and
// never signals it, unless the drive's TimeoutCompleteAfterMs asks for a late
// completion, that long after the request was sent.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/ScsiRequests.h"
#include "sim/AspiService.h"
#include "sim/DriveFile.h"
#include "sim/VirtualDrive.h"

namespace {

constexpr BYTE kScHaInquiry = 0x00;
constexpr BYTE kScGetDevType = 0x01;
constexpr BYTE kScAbortSrb = 0x03;
constexpr BYTE kSrbPosting = 0x01;

struct SimDrive {
    DriveFileEntry entry;
    std::unique_ptr<VirtualDrive> drive;
};

CRITICAL_SECTION gLock;
bool gLoaded = false;
std::string gDrivePath;
std::string gTracePath;
std::vector<SimDrive>* gDrives = nullptr;  // created on first use, kept for the life of the process
struct Pending;
std::vector<Pending*>* gPending = nullptr;  // likewise

struct Lock {
    Lock() { EnterCriticalSection(&gLock); }
    ~Lock() { LeaveCriticalSection(&gLock); }
};

std::string Env(const char* name) {
    char value[1024];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return (n > 0 && n < sizeof value) ? std::string(value, n) : std::string();
}

void LoadDrives() {
    if (gLoaded) return;
    gLoaded = true;
    gDrives = new std::vector<SimDrive>();
    gPending = new std::vector<Pending*>();
    gDrivePath = Env("NORVEX_SIM_DRIVES");
    gTracePath = Env("NORVEX_SIM_TRACE");
    if (gDrivePath.empty()) return;
    std::vector<DriveFileEntry> entries;
    std::string error;
    if (!ReadDriveFile(gDrivePath, entries, &error)) {
        std::fprintf(stderr, "WNASPI32 (virtual): %s\n", error.c_str());
        return;
    }
    for (auto& e : entries) {
        SimDrive d;
        d.drive = std::make_unique<VirtualDrive>(e.config);
        for (auto& f : e.faults) d.drive->AddFault(f);
        d.entry = std::move(e);
        gDrives->push_back(std::move(d));
    }
}

SimDrive* Find(BYTE ha, BYTE target) {
    for (auto& d : *gDrives)
        if (d.entry.hostAdapter == ha && d.entry.target == target) return &d;
    return nullptr;
}

BYTE AdapterCount() {
    int count = 0;
    for (auto& d : *gDrives)
        count = d.entry.hostAdapter + 1 > count ? d.entry.hostAdapter + 1 : count;
    return static_cast<BYTE>(count);
}

void Trace(const SrbExecScsiCmd& srb) {
    if (gTracePath.empty()) return;
    std::string line =
        TraceLine(srb.SRB_HaId, srb.SRB_Target, srb.CDBByte, SrbDataIn(srb), srb.SRB_BufLen);
    if (FILE* f = std::fopen(gTracePath.c_str(), "ab")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

void Notify(SrbExecScsiCmd& srb) {
    if (srb.SRB_Flags & kSrbEventNotify) {
        SetEvent(static_cast<HANDLE>(srb.SRB_PostProc));
    } else if ((srb.SRB_Flags & kSrbPosting) && srb.SRB_PostProc) {
        reinterpret_cast<void(__cdecl*)(void*)>(srb.SRB_PostProc)(&srb);
    }
}

// A request the layer completes later from a thread of its own: every request
// with Completion=deferred, and one that a Timeout fault left pending with a
// TimeoutCompleteAfterMs. Listed while it may still be completed or aborted.
struct Pending {
    SrbExecScsiCmd* srb;
    SimDrive* drive;
    uint8_t cdb[12];
    bool dataIn;
    uint8_t* data;
    uint32_t length;
    bool executed;     // the drive has seen it (and timed it out)
    DWORD waitMs;      // the thread's next sleep
    DWORD lateMs;      // a timed-out request completes this long after it was sent (0: never)
    bool threadOwned;  // its thread frees it; otherwise whoever unlists it does
};
std::vector<Pending*>& PendingList() {
    return *gPending;
}

bool Unlist(Pending* p) {
    auto& list = PendingList();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == p) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    return false;
}

bool Listed(const Pending* p) {
    for (const Pending* q : PendingList())
        if (q == p) return true;
    return false;
}

// The outcome into the request (data already moved), the event last.
void Finish(SrbExecScsiCmd& srb, SimDrive& d, uint32_t commitsBefore, const DriveOutcome& o) {
    if (d.drive->commitCount != commitsBefore && !gDrivePath.empty())
        WriteDriveRevision(gDrivePath, d.entry.section, d.drive->config.revision);
    CompleteSrb(srb, o);
    Notify(srb);
}

DWORD WINAPI CompleteLater(void* parameter) {
    auto* p = static_cast<Pending*>(parameter);
    for (;;) {
        Sleep(p->waitMs);
        Lock lock;
        if (!Listed(p)) break;  // aborted meanwhile
        uint32_t commits = p->drive->drive->commitCount;
        if (!p->executed) {
            p->executed = true;
            DriveOutcome o = p->drive->drive->Execute(p->cdb, p->dataIn, p->data, p->length);
            if (o.kind == DriveOutcome::Kind::TimedOut) {
                if (p->lateMs == 0) {  // stays pending: an abort frees it
                    p->threadOwned = false;
                    return 0;
                }
                p->waitMs = p->lateMs > p->waitMs ? p->lateMs - p->waitMs : 0;
                continue;
            }
            Unlist(p);
            Finish(*p->srb, *p->drive, commits, o);
        } else {
            Unlist(p);
            Finish(*p->srb, *p->drive, commits,
                   p->drive->drive->Perform(p->cdb, p->dataIn, p->data, p->length));
        }
        break;
    }
    delete p;
    return 0;
}

HINSTANCE gSelf = nullptr;

// The thread runs code of this module: a FreeLibrary by the program must not
// unload it under the thread, so the module holds one reference of its own,
// taken once and never given back.
void PinSelf() {
    static bool pinned = false;  // under the lock
    if (pinned) return;
    pinned = true;
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(gSelf, path, sizeof path);
    if (n > 0 && n < sizeof path) LoadLibraryA(path);
}

// Lists the request and starts its thread; false when no thread could be
// made (the request then stays listed and pending, as if never completed).
bool Defer(Pending* p) {
    PendingList().push_back(p);
    PinSelf();
    DWORD id = 0;  // Windows 95 fails CreateThread without somewhere to put the id
    HANDLE t = CreateThread(nullptr, 0, CompleteLater, p, 0, &id);
    if (!t) {
        p->threadOwned = false;
        return false;
    }
    CloseHandle(t);
    return true;
}

Pending* NewPending(SrbExecScsiCmd& srb, SimDrive* d, bool executed, DWORD waitMs) {
    auto* p = new Pending{&srb,
                          d,
                          {},
                          SrbDataIn(srb),
                          srb.SRB_BufPointer,
                          srb.SRB_BufLen,
                          executed,
                          waitMs,
                          d->entry.timeoutCompleteAfterMs,
                          true};
    std::memcpy(p->cdb, srb.CDBByte, 12);
    return p;
}

DWORD ExecScsiCmd(SrbExecScsiCmd& srb) {
    Trace(srb);
    if (srb.SRB_HaId >= AdapterCount()) {
        srb.SRB_Status = kSsInvalidHa;
        return kSsInvalidHa;
    }
    SimDrive* d = Find(srb.SRB_HaId, srb.SRB_Target);
    if (!d || srb.SRB_Lun != 0) {
        srb.SRB_Status = kSsNoDevice;
        return kSsNoDevice;
    }
    srb.SRB_Status = kSsPending;
    // A slow drive, so that a person (or a screenshot) can see the progress.
    const DWORD delay = srb.SRB_BufLen > 0 ? d->entry.commandDelayMs : 0;
    if (d->entry.deferredCompletion) {
        Defer(NewPending(srb, d, false, delay));
        return kSsPending;
    }
    if (delay > 0) Sleep(delay);
    uint32_t commits = d->drive->commitCount;
    DriveOutcome o =
        d->drive->Execute(srb.CDBByte, SrbDataIn(srb), srb.SRB_BufPointer, srb.SRB_BufLen);
    if (o.kind == DriveOutcome::Kind::TimedOut) {
        Pending* p = NewPending(srb, d, true, d->entry.timeoutCompleteAfterMs);
        if (p->lateMs > 0)
            Defer(p);
        else {
            p->threadOwned = false;
            PendingList().push_back(p);
        }
        return kSsPending;  // never signalled (or only late)
    }
    Finish(srb, *d, commits, o);
    return srb.SRB_Status;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gSelf = self;
        InitializeCriticalSection(&gLock);
    }
    // The lock is not deleted at detach: a late-completion thread may still run.
    return TRUE;
}

extern "C" DWORD __cdecl GetASPI32SupportInfo(void) {
    Lock lock;
    LoadDrives();
    BYTE count = AdapterCount();
    if (count == 0) return DWORD(kSsNoAdapters) << 8;
    return (DWORD(kSsComp) << 8) | count;
}

extern "C" DWORD __cdecl SendASPI32Command(void* request) {
    if (!request) return kSsInvalidCmd;
    Lock lock;
    LoadDrives();
    BYTE* header = static_cast<BYTE*>(request);  // SRB_Cmd, SRB_Status, SRB_HaId, SRB_Flags, ...
    switch (header[0]) {
        case kScExecScsiCmd:
            return ExecScsiCmd(*static_cast<SrbExecScsiCmd*>(request));
        case kScHaInquiry: {  // SRB_HAInquiry: HA_Count at 8, HA_SCSI_ID at 9, ManagerId at 10,
                              // Identifier at 26
            BYTE ha = header[2];
            header[8] = AdapterCount();
            header[9] = 7;
            std::memcpy(header + 10, "ASPI for WIN32  ", 16);
            std::memcpy(header + 26, "NORVEX virtual  ", 16);
            header[1] = ha < AdapterCount() || ha == 0 ? kSsComp : kSsInvalidHa;
            return header[1];
        }
        case kScGetDevType: {  // SRB_GDEVBlock: Target at 8, Lun at 9, DeviceType at 10
            SimDrive* d = header[2] < AdapterCount() ? Find(header[2], header[8]) : nullptr;
            if (!d || header[9] != 0) {
                header[1] = kSsNoDevice;
                return kSsNoDevice;
            }
            header[10] = d->drive->config.peripheralType;
            header[1] = kSsComp;
            return kSsComp;
        }
        case kScAbortSrb: {  // SRB_Abort: SRB_ToAbort at 8
            void* target = nullptr;
            std::memcpy(&target, header + 8, sizeof target);
            for (Pending* p : PendingList()) {
                if (p->srb == target) {
                    Unlist(p);
                    p->srb->SRB_Status = kSsAborted;
                    Notify(*p->srb);
                    if (!p->threadOwned) delete p;  // otherwise its thread frees it
                    break;
                }
            }
            header[1] = kSsComp;
            return kSsComp;
        }
        default:
            header[1] = kSsInvalidCmd;
            return kSsInvalidCmd;
    }
}
