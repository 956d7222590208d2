// The simulated operating system for native tests: implements OsCalls with
// drive letters, virtual drives behind them (pass-through) or on the ASPI bus,
// a simulated WNASPI32.DLL, events with reused handle values, a virtual clock
// and a trace of every command block received. Portable.
//
// Time is virtual: Sleep adds to sleptMs, a wait that times out adds its
// time-out to waitedMs and returns at once.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ScsiRequests.h"
#include "platform/OsCalls.h"
#include "sim/VirtualDrive.h"

struct TraceEntry {
    uint8_t ha, target;  // pass-through: PathId and TargetId of the request
    char letter;         // pass-through: the device's letter; ASPI: ' '
    uint8_t cdb[12];
    bool dataIn;      // pass-through: DataIn == 1; ASPI: SRB_Flags without 0x10
    uint32_t length;  // DataTransferLength / SRB_BufLen
};

class SimOs : public OsCalls {
  public:
    SimOs();
    ~SimOs() override;
    SimOs(const SimOs&) = delete;
    SimOs& operator=(const SimOs&) = delete;

    // ---- configuration ----------------------------------------------------
    uint32_t platformId = kPlatformWin32Nt;  // kPlatformWin32Windows for the 9x family (ASPI)
    uint32_t majorVersion = 6;               // 4: 9x and NT 4.0, 5: 2000 and XP, 6: Vista on

    // Drive letters (pass-through). A letter of another type has no device.
    void AddLetter(char letter, uint32_t driveType);                        // e.g. 3 (DRIVE_FIXED)
    VirtualDrive& AddCdrom(char letter, VirtualDrive::Config config = {});  // type 5 with a drive
    void FailOpen(char letter, uint32_t error);  // CreateFileA fails, GetLastError() = error
    VirtualDrive* DriveAt(char letter);

    // The ASPI layer.
    enum class AspiLayer {
        Present,         // loads, both entry points, support status 1
        Missing,         // LoadLibraryA fails (error 126)
        NoSupportEntry,  // GetASPI32SupportInfo missing
        NoSendEntry,     // SendASPI32Command missing
        BadStatus,       // GetASPI32SupportInfo reports supportStatus
    };
    AspiLayer aspiLayer = AspiLayer::Present;
    uint8_t supportStatus = kSsNoAdapters;  // status byte reported with AspiLayer::BadStatus
    // Immediate: SendASPI32Command completes the request before returning.
    // Late: it returns with the request pending; the request completes when
    // the program waits on its event (the drive answers at the send, only the
    // completion is late).
    enum class Completion { Immediate, Late };
    Completion completion = Completion::Immediate;
    VirtualDrive& AddAspiDrive(uint8_t ha, uint8_t target, VirtualDrive::Config config = {});
    VirtualDrive* AspiDriveAt(uint8_t ha, uint8_t target);
    uint8_t AdapterCount() const;  // highest adapter with a drive + 1 (at least 1)

    // Timed-out ASPI requests (a Timeout fault) stay pending: their event is
    // never signalled and the wait times out. CompleteTimedOut completes them
    // now, late: the drive performs the command, the result is written into
    // the request record the layer was given and its event handle is signalled
    // (whatever that handle value names by then). With
    // completeTimedOutAfterNextCommand set, that happens right after the next
    // request completes (before the program reads it), once.
    void CompleteTimedOut();
    bool completeTimedOutAfterNextCommand = false;
    size_t PendingRequests() const;   // sent, not yet completed (late or timed out)
    size_t TimedOutRequests() const;  // of which timed out
    // The data areas the pending requests name (the layer may still write there).
    std::vector<const uint8_t*> PendingDataAreas() const;

    // A layer that sets the status first and signals last, from its own
    // thread: with signalDelayCalls n > 0 every completion's event is
    // signalled only just before the n-th OsCalls call after it (the status,
    // sense and data are written at once). A signal whose handle by then
    // names another event than the one the request was sent with counts in
    // misdirectedSignals (and signals it all the same, as Windows would).
    uint32_t signalDelayCalls = 0;
    uint32_t misdirectedSignals = 0;
    size_t SignalsOutstanding() const { return deferredSignals_.size(); }

    // CreateEventA fails (returns none) with this error code; 0: it works.
    uint32_t failCreateEvent = 0;

    // Named mutexes, shared with other (pretended) programs. Held elsewhere:
    // another program owns it, and every wait for it times out. Abandoned:
    // its owner ended while owning it; the next wait takes it with
    // WAIT_ABANDONED.
    void HoldMutexElsewhere(const std::string& name, bool held = true);
    void AbandonMutex(const std::string& name);
    uint32_t failCreateMutex = 0;  // CreateMutexA fails with this error code; 0: it works

    // The CD-ROM class driver's answers to the storage controls (pass-through
    // letters). Supported: Vista and later. NotSupported: Wine
    // (ERROR_NOT_SUPPORTED). InvalidFunction: a driver that does not know the
    // control (NT 4.0 to XP). InvalidHandle: a handle the driver did not open.
    enum class ControlSupport { Supported, NotSupported, InvalidFunction, InvalidHandle };
    ControlSupport exclusiveAccess = ControlSupport::Supported;  // IOCTL_CDROM_EXCLUSIVE_ACCESS
    ControlSupport mediaPolling = ControlSupport::Supported;     // IOCTL_STORAGE_MCN_CONTROL
    // Another program holds the exclusive lock of the drive at letter, with
    // that caller name: every request of this program's handles is refused
    // (access denied), as the driver refuses other handles' requests.
    void LockElsewhere(char letter, const std::string& callerName);

    // ---- observation ------------------------------------------------------
    std::vector<TraceEntry> trace;  // every command block received, both transports
    size_t CountOpcode(uint8_t opcode) const;
    std::vector<TraceEntry> TraceOf(uint8_t opcode) const;

    // Copies of the last records as the program filled them (In) and as the
    // system left them (Out), and where they were.
    PassThroughRecord lastPassThroughIn{}, lastPassThroughOut{};
    const void* lastPassThroughAddress = nullptr;
    uint32_t lastIoctlCode = 0, lastIoctlInSize = 0, lastIoctlOutSize = 0;
    bool lastIoctlSameBuffer = false;  // input and output were the same record
    SrbExecScsiCmd lastSrbIn{}, lastSrbOut{};
    const void* lastSrbAddress = nullptr;
    std::vector<const void*> srbAddresses;  // every SRB received, in order

    struct OpenCall {
        std::string name;
        uint32_t desiredAccess, shareMode, creationDisposition, flags;
    };
    std::vector<OpenCall> opens;       // every CreateFileA
    uint32_t lastVersionInfoSize = 0;  // the size field GetVersionExA was given
    std::vector<std::string> calls;    // every OsCalls method called, by name, in order
    size_t CountCalls(const std::string& name) const;
    std::vector<uint32_t> driveStringsSizes;  // bufferLength of every GetLogicalDriveStringsA

    uint64_t sleptMs = 0;                      // Sleep
    uint64_t waitedMs = 0;                     // waits that timed out
    uint32_t lastError = 0;                    // what GetLastError returns; settable
    std::map<uint32_t, std::string> messages;  // FormatMessageA texts by code (with "\r\n")
    uint32_t lastFormatFlags = 0;              // the flags of the last FormatMessageA
    int moduleReferences = 0;                  // WNASPI32.DLL loads not yet freed
    uint32_t lostSignals = 0;  // completions that signalled a handle that is not an open event
    uint32_t badCalls = 0;     // calls through a wrong entry point or handle

    size_t OpenEvents() const;
    size_t OpenDevices() const;

    std::vector<std::string> mutexNames;             // the name of every CreateMutexA
    bool MutexOwned(const std::string& name) const;  // owned by this program now
    size_t OpenMutexes() const;
    // Every storage control, in order, with the length of the command trace
    // at that moment (to place it among the command blocks).
    struct ControlCall {
        uint32_t code;
        OsHandle device;
        uint32_t requestType;  // exclusive access: query, lock, unlock; polling: 1 off, 0 on
        uint32_t flags;
        std::string callerName;
        bool ok;
        uint32_t error;
        size_t traceLength;
    };
    std::vector<ControlCall> controls;
    OsHandle LockHolder(char letter) const;  // this program's handle holding the lock; none
    bool PollingOff(char letter) const;      // media change notification off through a handle

    // ---- OsCalls ----------------------------------------------------------
    bool GetVersionExA(OsVersionInfo& info) override;
    OsModule LoadLibraryA(const char* name) override;
    OsProc GetProcAddress(OsModule module, const char* name) override;
    bool FreeLibrary(OsModule module) override;
    OsHandle CreateFileA(const char* name, uint32_t desiredAccess, uint32_t shareMode,
                         uint32_t creationDisposition, uint32_t flags) override;
    bool DeviceIoControl(OsHandle device, uint32_t code, void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* bytesReturned) override;
    OsHandle CreateEventA(bool manualReset, bool initialState) override;
    uint32_t WaitForSingleObject(OsHandle handle, uint32_t milliseconds) override;
    bool ResetEvent(OsHandle event) override;
    bool CloseHandle(OsHandle handle) override;
    uint32_t GetLastError() override;
    uint32_t FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t languageId, char* buffer,
                            uint32_t size) override;
    uint32_t GetLogicalDriveStringsA(uint32_t bufferLength, char* buffer) override;
    uint32_t GetDriveTypeA(const char* rootPathName) override;
    void Sleep(uint32_t milliseconds) override;
    OsHandle CreateMutexA(bool initialOwner, const char* name) override;
    bool ReleaseMutex(OsHandle mutex) override;
    uint32_t CallGetASPI32SupportInfo(OsProc entry) override;
    uint32_t CallSendASPI32Command(OsProc entry, void* srb) override;
    uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                      const char* defaultValue, char* buffer, uint32_t size,
                                      const char* fileName) override;
    uint32_t GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) override;

    // The values the simulated layer hands out.
    static OsModule AspiModuleHandle();
    static OsProc SupportInfoEntry();
    static OsProc SendCommandEntry();

  private:
    struct Object {
        enum class Type { Device, Event, Mutex } type;
        char letter = 0;
        uint32_t desiredAccess = 0;  // device
        std::string name{};          // mutex
        bool signalled = false;
        bool manualReset = false;
        uint64_t serial = 0;  // tells a reused handle value's objects apart
    };
    struct Letter {
        uint32_t type = 0;
        std::unique_ptr<VirtualDrive> drive;
        bool failOpen = false;
        uint32_t openError = 0;
        // Exclusive lock: held through one of this program's handles
        // (lockHolder, with its object's serial) or by another program.
        OsHandle lockHolder = nullptr;
        uint64_t lockSerial = 0;
        bool lockedElsewhere = false;
        std::string lockCaller;
        std::vector<uint64_t> pollingOff;  // serials of the handles that turned polling off
    };
    struct Mutex {
        int ownedHere = 0;  // recursion count of this program's ownership
        bool heldElsewhere = false;
        bool abandoned = false;
    };
    struct Pending {
        SrbExecScsiCmd* srb;
        OsHandle event;  // SRB_PostProc as sent (with SRB_EVENT_NOTIFY)
        uint64_t eventSerial;
        bool notify;
        VirtualDrive* drive;
        DriveOutcome outcome;  // the drive's answer (late completion)
        bool timedOut;         // never completes on its own
        uint8_t cdb[12];
        bool dataIn;
        uint8_t* data;
        uint32_t length;
    };

    OsHandle NewHandle(Object object);
    Object* Find(OsHandle handle);
    void Signal(OsHandle handle, uint64_t serial);
    void Enter(const char* call);  // records the call; delivers deferred signals that are due
    void Finish(Pending& p);       // write the outcome, keep the copy, signal
    void AfterCommand();
    // Storage controls and mutexes (SimOsControls.cpp).
    bool StorageControl(Object& device, OsHandle handle, uint32_t code, void* in, uint32_t inSize,
                        void* out, uint32_t outSize, uint32_t* bytesReturned);
    bool ExclusiveAccessControl(Object& device, OsHandle handle, Letter& letter, const void* in,
                                uint32_t inSize, void* out, uint32_t outSize, ControlCall& call);
    bool PollingControl(Object& device, Letter& letter, const void* in, uint32_t inSize,
                        ControlCall& call);
    // A request of this handle is refused: another handle holds the lock.
    bool LockedAgainst(const Object& device) const;
    void Closing(const Object& object);
    uint32_t WaitForMutex(Object& object, uint32_t milliseconds);

    std::map<uintptr_t, Object> objects_;
    std::map<std::string, Mutex> mutexes_;
    std::map<char, Letter> letters_;
    std::map<uint16_t, std::unique_ptr<VirtualDrive>> aspiDrives_;  // (ha << 8) | target
    std::vector<Pending> pending_;
    struct DeferredSignal {
        OsHandle event;
        uint64_t serial;
        uint32_t callsLeft;
    };
    std::vector<DeferredSignal> deferredSignals_;
    uint64_t nextSerial_ = 1;
};
