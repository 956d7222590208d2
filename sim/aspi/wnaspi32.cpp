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
// SC_EXEC_SCSI_CMD requests complete before SendASPI32Command returns: sense,
// target status and SRB status are written into the request, then its event
// (SRB_PostProc with SRB_EVENT_NOTIFY) is set. A Timeout fault leaves the
// request pending and never signals it, unless the drive's
// TimeoutCompleteAfterMs asks for a late completion from another thread.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "drive/ScsiRequests.h"
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

CRITICAL_SECTION g_lock;
bool g_loaded = false;
std::string g_drivePath;
std::string g_tracePath;
std::vector<SimDrive>* g_drives =
    nullptr;  // created on first use, kept for the life of the process

struct Lock {
    Lock() { EnterCriticalSection(&g_lock); }
    ~Lock() { LeaveCriticalSection(&g_lock); }
};

std::string Env(const char* name) {
    char value[1024];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return (n > 0 && n < sizeof value) ? std::string(value, n) : std::string();
}

void LoadDrives() {
    if (g_loaded) return;
    g_loaded = true;
    g_drives = new std::vector<SimDrive>();
    g_drivePath = Env("NORVEX_SIM_DRIVES");
    g_tracePath = Env("NORVEX_SIM_TRACE");
    if (g_drivePath.empty()) return;
    std::vector<DriveFileEntry> entries;
    std::string error;
    if (!ReadDriveFile(g_drivePath, entries, &error)) {
        std::fprintf(stderr, "WNASPI32 (virtual): %s\n", error.c_str());
        return;
    }
    for (auto& e : entries) {
        SimDrive d;
        d.drive = std::make_unique<VirtualDrive>(e.config);
        for (auto& f : e.faults) d.drive->AddFault(f);
        d.entry = std::move(e);
        g_drives->push_back(std::move(d));
    }
}

SimDrive* Find(BYTE ha, BYTE target) {
    for (auto& d : *g_drives)
        if (d.entry.hostAdapter == ha && d.entry.target == target) return &d;
    return nullptr;
}

BYTE AdapterCount() {
    int count = 0;
    for (auto& d : *g_drives)
        count = d.entry.hostAdapter + 1 > count ? d.entry.hostAdapter + 1 : count;
    return static_cast<BYTE>(count);
}

void Trace(const SrbExecScsiCmd& srb) {
    if (g_tracePath.empty()) return;
    std::string line =
        TraceLine(srb.SRB_HaId, srb.SRB_Target, srb.CDBByte, SrbDataIn(srb), srb.SRB_BufLen);
    if (FILE* f = std::fopen(g_tracePath.c_str(), "ab")) {
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

// Requests left pending by a Timeout fault.
struct Stranded {
    SrbExecScsiCmd* srb;
    SimDrive* drive;
    uint8_t cdb[12];
    bool dataIn;
    uint8_t* data;
    uint32_t length;
    DWORD delayMs;
};
std::vector<Stranded*>& StrandedList() {
    static auto* list = new std::vector<Stranded*>();
    return *list;
}

// Completes a stranded request late: performs it and signals its event.
DWORD WINAPI CompleteLate(void* parameter) {
    auto* s = static_cast<Stranded*>(parameter);
    Sleep(s->delayMs);
    {
        Lock lock;
        auto& list = StrandedList();
        bool still = false;
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i] == s) {
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
                still = true;
                break;
            }
        if (still) {
            DriveOutcome o = s->drive->drive->Perform(s->cdb, s->dataIn, s->data, s->length);
            CompleteSrb(*s->srb, o);
            Notify(*s->srb);
        }
    }
    delete s;
    return 0;
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
    if (d->entry.commandDelayMs > 0 && srb.SRB_BufLen > 0) Sleep(d->entry.commandDelayMs);
    uint32_t commits = d->drive->commitCount;
    const bool dataIn = SrbDataIn(srb);
    DriveOutcome o = d->drive->Execute(srb.CDBByte, dataIn, srb.SRB_BufPointer, srb.SRB_BufLen);
    if (o.kind == DriveOutcome::Kind::TimedOut) {
        auto* s = new Stranded{&srb,
                               d,
                               {},
                               dataIn,
                               srb.SRB_BufPointer,
                               srb.SRB_BufLen,
                               d->entry.timeoutCompleteAfterMs};
        std::memcpy(s->cdb, srb.CDBByte, 12);
        StrandedList().push_back(s);
        if (s->delayMs > 0) {
            // The thread runs in this module: pin it, so a FreeLibrary cannot unload it under the
            // thread.
            HMODULE self = nullptr;
            GetModuleHandleExA(
                GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                reinterpret_cast<LPCSTR>(&CompleteLate), &self);
            if (HANDLE t = CreateThread(nullptr, 0, CompleteLate, s, 0, nullptr))
                CloseHandle(t);
            else
                s->delayMs = 0;  // no thread: stays pending
        }
        return kSsPending;  // never signalled (or only late)
    }
    if (d->drive->commitCount != commits && !g_drivePath.empty())
        WriteDriveRevision(g_drivePath, d->entry.section, d->drive->config.revision);
    CompleteSrb(srb, o);
    Notify(srb);
    return srb.SRB_Status;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_lock);
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
            auto& list = StrandedList();
            for (size_t i = 0; i < list.size(); ++i) {
                if (list[i]->srb == target) {
                    Stranded* s = list[i];
                    list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
                    s->srb->SRB_Status = kSsAborted;
                    Notify(*s->srb);
                    if (s->delayMs == 0) delete s;  // otherwise its thread frees it
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
