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

#include "platform/OsCalls.h"
#include "platform/ScsiRequests.h"
#include "sim/DiskFiles.h"
#include "sim/SimOsSetup.h"
#include "sim/VirtualDrive.h"

// Tests set it up through SimOsSetup's fields and the set-up calls below,
// and read what happened from SimOsRecord's fields and the queries below;
// the program sees only its OsCalls part.
class SimOs : public OsCalls, public SimOsSetup, public SimOsRecord {
  public:
    SimOs();
    ~SimOs() override;
    SimOs(const SimOs&) = delete;
    SimOs& operator=(const SimOs&) = delete;

    // ---- set-up -------------------------------------------------------------
    // Drive letters (pass-through). A letter of another type has no device.
    void AddLetter(char letter, uint32_t driveType);                        // e.g. 3 (DRIVE_FIXED)
    VirtualDrive& AddCdrom(char letter, VirtualDrive::Config config = {});  // type 5 with a drive
    void FailOpen(char letter, uint32_t error);  // CreateFileA fails, GetLastError() = error
    VirtualDrive* DriveAt(char letter);
    // Drives on the ASPI bus.
    VirtualDrive& AddAspiDrive(uint8_t ha, uint8_t target, VirtualDrive::Config config = {});
    VirtualDrive* AspiDriveAt(uint8_t ha, uint8_t target);
    uint8_t AdapterCount() const;  // highest adapter with a drive + 1 (at least 1)
    // Named mutexes, shared with other (pretended) programs. Held elsewhere:
    // another program owns it, and every wait for it times out. Abandoned:
    // its owner ended while owning it; the next wait takes it with
    // WAIT_ABANDONED.
    void HoldMutexElsewhere(const std::string& name, bool held = true);
    void AbandonMutex(const std::string& name);
    // Another program holds the exclusive lock of the drive at letter, with
    // that caller name: every request of this program's handles is refused
    // (access denied), as the driver refuses other handles' requests.
    void LockElsewhere(char letter, const std::string& callerName);
    // Timed-out ASPI requests (a Timeout fault) stay pending: their event is
    // never signalled and the wait times out. CompleteTimedOut completes them
    // now, late: the drive performs the command, the result is written into
    // the request record the layer was given and its event handle is signalled
    // (whatever that handle value names by then).
    void CompleteTimedOut();

    // ---- observation ----------------------------------------------------------
    size_t CountOpcode(uint8_t opcode) const;
    std::vector<TraceEntry> TraceOf(uint8_t opcode) const;
    size_t CountCalls(const std::string& name) const;
    size_t PendingRequests() const;   // sent, not yet completed (late or timed out)
    size_t TimedOutRequests() const;  // of which timed out
    // The data areas the pending requests name (the layer may still write there).
    std::vector<const uint8_t*> PendingDataAreas() const;
    size_t SignalsOutstanding() const { return deferredSignals_.size(); }
    size_t OpenEvents() const;
    size_t OpenDevices() const;
    bool MutexOwned(const std::string& name) const;  // owned by this program now
    size_t OpenMutexes() const;
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
    // Files and clocks. The builder's output files are real files
    // (sim/DiskFiles): a name that is not a drive letter's device, opened for
    // writing with kCreateNew. The command log's file (kOpenAlways) lives in
    // `files` (SimOsFiles.cpp), its calls not recorded among `calls`: the log
    // leaves the order of the program's own calls as it is. The clock is
    // virtual (the time slept and waited, and commandMicros per command
    // block received).
    bool WriteFile(OsHandle file, const void* data, uint32_t size, uint32_t* written) override;
    bool FlushFileBuffers(OsHandle file) override;
    bool DeleteFileA(const char* name) override;
    bool MoveFileA(const char* existingName, const char* newName) override;
    bool MoveFileExA(const char* existingName, const char* newName, uint32_t flags) override;
    uint32_t SetFilePointer(OsHandle file, int32_t distance, uint32_t moveMethod) override;
    uint32_t GetTempPathA(uint32_t bufferLength, char* buffer) override;
    void SetLastError(uint32_t error) override { lastError = error; }
    uint32_t GetTickCount() override;
    bool QueryPerformanceCounter(int64_t* count) override;
    bool QueryPerformanceFrequency(int64_t* frequency) override;
    void GetLocalTime(OsSystemTime& time) override;
    // The virtual clock, in microseconds.
    uint64_t ClockMicros() const;

    // The values the simulated layer hands out.
    static OsModule AspiModuleHandle();
    static OsProc SupportInfoEntry();
    static OsProc SendCommandEntry();

  private:
    struct Object {
        enum class Type { Device, Event, Mutex, File } type;
        char letter = 0;
        std::string file{};          // file: its name in files
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
    OsHandle CreatePlainFile(const std::string& name);  // CreateFileA, OPEN_ALWAYS
    bool WriteMemoryFile(OsHandle file, const void* data, uint32_t size, uint32_t* written);
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
    DiskFiles disk_;
};
