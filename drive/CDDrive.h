// One optical drive: runs 12-byte command blocks over the pass-through or
// ASPI transport and records status and sense. Class-wide state (transport,
// shared data buffer, time-out, load state) is shared by all drives.
#pragma once
#include <cstdint>
#include <string>

#include "platform/ScsiRequests.h"
#include "platform/Form.h"
#include "platform/OsCalls.h"

constexpr uint8_t kDataIn = 1;
constexpr uint8_t kDataOut = 0;

// CDDrive::LoadState(): how the last drive's construction ended.
constexpr char kLoadDone = 0;             // the transport is ready and the drive opened
constexpr char kLoadNoAspiEntry = 'a';    // WNASPI32.DLL lacks an entry point
constexpr char kLoadNoAspiLayer = 'b';    // WNASPI32.DLL could not be loaded
constexpr char kLoadNotOpened = 'c';      // no system attached, or the drive did not open
constexpr char kLoadAspiNotReady = 0x60;  // GetASPI32SupportInfo did not answer SS_COMP

// One ASPI request with a data area of its own: the layer is given this
// record and this area, never the caller's buffer (see drive/Aspi.cpp).
struct AspiCommand {
    SrbExecScsiCmd Srb{};  // first member: the layer is handed this address
    uint8_t* Data = nullptr;
    uint32_t Capacity = 0;
    AspiCommand() = default;
    AspiCommand(const AspiCommand&) = delete;
    AspiCommand& operator=(const AspiCommand&) = delete;
    ~AspiCommand() { delete[] Data; }
};

class CDDrive {
  public:
    CDDrive(char letter, uint8_t adapter, uint8_t target, uint8_t lun);
    ~CDDrive();
    CDDrive(const CDDrive&) = delete;
    CDDrive& operator=(const CDDrive&) = delete;

    bool Open();
    bool Inquire();
    std::string DisplayLine();
    std::string ProductId() const;
    std::string FirmwareRevision() const;

    int32_t Execute(uint8_t cdb0, uint8_t cdb1, uint8_t cdb2, uint8_t cdb3, uint8_t cdb4,
                    uint8_t cdb5, uint8_t cdb6, uint8_t cdb7, uint8_t cdb8, uint8_t cdb9,
                    uint8_t cdb10, uint8_t cdb11, uint8_t direction, uint32_t length);
    // The same, with the twelve bytes from an array.
    int32_t Execute(const uint8_t cdb[12], uint8_t direction, uint32_t length);

    bool SenseIs(uint8_t key, uint8_t asc, uint8_t ascq) const;
    bool SenseKeyAscIs(uint8_t key, uint8_t asc) const;
    std::string ErrorText() const;
    void ShowSystemError();
    // The transport itself completed the last command (ioctl returned non-zero,
    // or the ASPI request ended SS_COMP). Sense alone cannot tell a timed-out
    // command from a good one, so the flash layer asks this as well.
    bool TransportOk() const;

    static void InitTransport();
    static void SetTimeout(uint16_t seconds);
    static void SetDataBuffer(uint8_t* buffer, uint32_t length);
    static uint8_t* DataBuffer();
    static uint32_t DataBufferLength();
    static char LoadState();
    static uint16_t TimeoutSeconds();
    static bool UsePassThrough();
    static bool ReportErrors();
    static uint16_t LoadedDriveCount();
    // The operating-system seam given to Attach (the scan uses it too).
    static OsCalls* System();

    // Wires the drive layer to the operating system and the form; also
    // returns every class-wide value to its start value (tests call it
    // before each case).
    static void Attach(OsCalls* os, Form* form);

    // Fields, in the documented order.
    char DriveLetter;
    uint8_t HostAdapter;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t SenseKey = 0;
    uint8_t Asc = 0;
    uint8_t Ascq = 0;
    uint8_t Status = 0;
    bool IoctlOk = false;
    OsHandle DeviceHandle = nullptr;
    PassThroughRecord PassThroughRequest;
    uint32_t DesiredAccess = 0xC0000000u;
    uint32_t ShareMode = 1;
    uint32_t BytesReturned = 0;
    uint32_t RequestSize = 80;
    uint32_t LastSystemError = 0;
    // The ASPI request of this drive's next command, with its data area.
    // Held by pointer, not as a member record: a request the layer may still
    // write or signal is parked (kept, with its event and area, until the
    // layer has signalled) and the drive takes a fresh one, so a late
    // completion never reaches memory that anything else uses.
    AspiCommand* AspiRequest;
    std::string IdentLine;

  private:
    int32_t ExecutePassThrough(const uint8_t cdb[12], uint8_t direction, uint32_t length,
                               uint8_t* area);
    int32_t ExecuteAspi(const uint8_t cdb[12], uint8_t direction, uint32_t length, uint8_t* area);
    // ShowSystemError with a code captured right after the call that failed.
    void ReportSystemError(uint32_t error);

    // True once this drive's construction succeeded (LoadState 0). A drive
    // that never loaded is freed without the teardown's count and layer logic.
    bool loaded_ = false;
};
