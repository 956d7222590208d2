// The simulated system's settings and its record of what the program did:
// plain data that tests set before a run and read after it (sim/SimOs.h).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/OsCalls.h"
#include "platform/ScsiRequests.h"

struct TraceEntry {
    uint8_t ha, target;  // pass-through: PathId and TargetId of the request
    char letter;         // pass-through: the device's letter; ASPI: ' '
    uint8_t cdb[12];
    bool dataIn;      // pass-through: DataIn == 1; ASPI: SRB_Flags without 0x10
    uint32_t length;  // DataTransferLength / SRB_BufLen
};

// How the simulated system behaves: set before the program runs.
struct SimOsSetup {
    uint32_t platformId = kPlatformWin32Nt;  // kPlatformWin32Windows for the 9x family (ASPI)
    uint32_t majorVersion = 6;               // 4: 9x and NT 4.0, 5: 2000 and XP, 6: Vista on

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
    // Timed-out requests are completed right after the next request completes
    // (before the program reads it), once (SimOs::CompleteTimedOut).
    bool completeTimedOutAfterNextCommand = false;
    // A layer that sets the status first and signals last, from its own
    // thread: with signalDelayCalls n > 0 every completion's event is
    // signalled only just before the n-th OsCalls call after it (the status,
    // sense and data are written at once).
    uint32_t signalDelayCalls = 0;

    // CreateEventA fails (returns none) with this error code; 0: it works.
    uint32_t failCreateEvent = 0;
    uint32_t failCreateMutex = 0;  // CreateMutexA fails with this error code; 0: it works

    // The CD-ROM class driver's answers to the storage controls (pass-through
    // letters). Supported: Vista and later. NotSupported: Wine
    // (ERROR_NOT_SUPPORTED). InvalidFunction: a driver that does not know the
    // control (NT 4.0 to XP). InvalidHandle: a handle the driver did not open.
    enum class ControlSupport { Supported, NotSupported, InvalidFunction, InvalidHandle };
    ControlSupport exclusiveAccess = ControlSupport::Supported;  // IOCTL_CDROM_EXCLUSIVE_ACCESS
    ControlSupport mediaPolling = ControlSupport::Supported;     // IOCTL_STORAGE_MCN_CONTROL

    // Files (the command log). A file whose name begins with one of these
    // folders cannot be opened for writing (access denied); writes to files
    // fail with failWrites.
    std::vector<std::string> readOnlyFolders;
    bool failWrites = false;
    std::string tempPath = "C:\\WINDOWS\\TEMP\\";  // GetTempPathA
    // The virtual clock: each command block received takes this long.
    uint32_t commandMicros = 0;
};

// What the program did to the simulated system: read after it ran.
struct SimOsRecord {
    std::vector<TraceEntry> trace;             // every command block received, both transports
    std::map<std::string, std::string> files;  // files written, by name, with their bytes

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
    std::vector<OpenCall> opens;              // every CreateFileA
    uint32_t lastVersionInfoSize = 0;         // the size field GetVersionExA was given
    std::vector<std::string> calls;           // every OsCalls method called, by name, in order
    std::vector<uint32_t> driveStringsSizes;  // bufferLength of every GetLogicalDriveStringsA

    uint64_t sleptMs = 0;                      // Sleep
    uint64_t waitedMs = 0;                     // waits that timed out
    uint32_t lastError = 0;                    // what GetLastError returns; settable
    std::map<uint32_t, std::string> messages;  // FormatMessageA texts by code (with "\r\n")
    uint32_t lastFormatFlags = 0;              // the flags of the last FormatMessageA
    int moduleReferences = 0;                  // WNASPI32.DLL loads not yet freed
    uint32_t lostSignals = 0;  // completions that signalled a handle that is not an open event
    uint32_t badCalls = 0;     // calls through a wrong entry point or handle
    // A delayed signal whose handle by then names another event than the one
    // the request was sent with (signalled all the same, as Windows would).
    uint32_t misdirectedSignals = 0;

    std::vector<std::string> mutexNames;  // the name of every CreateMutexA
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
};
