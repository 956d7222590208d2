// Request records of the two transports, laid out as the 32-bit
// system expects them. These are our own definitions of the Windows
// structures: SCSI_PASS_THROUGH_DIRECT of ntddscsi.h and SRB_ExecSCSICmd of
// wnaspi32.h. The static_asserts pin the exact 32-bit offsets and sizes; they
// compile in the i686 build. A native (64-bit) build has 8-byte pointers, so
// its records are longer and some offsets move; the simulated system (sim/)
// reads the records through these same definitions, so it follows.
#pragma once
#include <cstddef>
#include <cstdint>

// SCSI_PASS_THROUGH_DIRECT, natural alignment as in the Windows headers.
struct ScsiPassThroughDirect {
    uint16_t Length;              // 0: the size of this structure (44)
    uint8_t ScsiStatus;           // 2: returned SCSI status
    uint8_t PathId;               // 3
    uint8_t TargetId;             // 4
    uint8_t Lun;                  // 5
    uint8_t CdbLength;            // 6
    uint8_t SenseInfoLength;      // 7
    uint8_t DataIn;               // 8: 1 SCSI_IOCTL_DATA_IN, 0 SCSI_IOCTL_DATA_OUT
    uint32_t DataTransferLength;  // 12
    uint32_t TimeOutValue;        // 16: seconds
    void* DataBuffer;             // 20
    uint32_t SenseInfoOffset;     // 24: from the start of the record
    uint8_t Cdb[16];              // 28
};

constexpr uint8_t kScsiIoctlDataOut = 0;
constexpr uint8_t kScsiIoctlDataIn = 1;

// The pass-through request of one drive: the structure, 4 filler bytes and
// a 32-byte sense area (offset 48 in the 32-bit layout).
struct PassThroughRecord {
    ScsiPassThroughDirect Spt;
    uint32_t Filler;
    uint8_t Sense[32];
};

// SRB_ExecSCSICmd: byte-packed, as wnaspi32.h declares it.
#pragma pack(push, 1)
struct SrbExecScsiCmd {
    uint8_t SRB_Cmd;          // 0: SC_EXEC_SCSI_CMD (2)
    uint8_t SRB_Status;       // 1: SS_PENDING 0, SS_COMP 1, SS_ERR 4, ...
    uint8_t SRB_HaId;         // 2
    uint8_t SRB_Flags;        // 3: SRB_DIR_IN 0x08, SRB_DIR_OUT 0x10, SRB_EVENT_NOTIFY 0x40
    uint32_t SRB_Hdr_Rsvd;    // 4
    uint8_t SRB_Target;       // 8
    uint8_t SRB_Lun;          // 9
    uint16_t SRB_Rsvd1;       // 10
    uint32_t SRB_BufLen;      // 12
    uint8_t* SRB_BufPointer;  // 16
    uint8_t SRB_SenseLen;     // 20
    uint8_t SRB_CDBLen;       // 21
    uint8_t SRB_HaStat;       // 22
    uint8_t SRB_TargStat;     // 23
    void* SRB_PostProc;       // 24: the event HANDLE with SRB_EVENT_NOTIFY
    uint8_t SRB_Rsvd2[20];    // 28
    uint8_t CDBByte[16];      // 48
    uint8_t SenseArea[16];    // 64: SENSE_LEN (14) + 2
};
#pragma pack(pop)

constexpr uint8_t kScExecScsiCmd = 0x02;
constexpr uint8_t kSsPending = 0x00;
constexpr uint8_t kSsComp = 0x01;
constexpr uint8_t kSsAborted = 0x02;
constexpr uint8_t kSsErr = 0x04;
constexpr uint8_t kSsInvalidCmd = 0x80;
constexpr uint8_t kSsInvalidHa = 0x81;
constexpr uint8_t kSsNoDevice = 0x82;
constexpr uint8_t kSsNoAdapters = 0xE8;
constexpr uint8_t kSrbDirIn = 0x08;
constexpr uint8_t kSrbDirOut = 0x10;
constexpr uint8_t kSrbEventNotify = 0x40;

#if UINTPTR_MAX == 0xFFFFFFFFu
// The 32-bit layouts the system expects.
static_assert(sizeof(ScsiPassThroughDirect) == 44);
static_assert(offsetof(ScsiPassThroughDirect, ScsiStatus) == 2);
static_assert(offsetof(ScsiPassThroughDirect, PathId) == 3);
static_assert(offsetof(ScsiPassThroughDirect, TargetId) == 4);
static_assert(offsetof(ScsiPassThroughDirect, Lun) == 5);
static_assert(offsetof(ScsiPassThroughDirect, CdbLength) == 6);
static_assert(offsetof(ScsiPassThroughDirect, SenseInfoLength) == 7);
static_assert(offsetof(ScsiPassThroughDirect, DataIn) == 8);
static_assert(offsetof(ScsiPassThroughDirect, DataTransferLength) == 12);
static_assert(offsetof(ScsiPassThroughDirect, TimeOutValue) == 16);
static_assert(offsetof(ScsiPassThroughDirect, DataBuffer) == 20);
static_assert(offsetof(ScsiPassThroughDirect, SenseInfoOffset) == 24);
static_assert(offsetof(ScsiPassThroughDirect, Cdb) == 28);
static_assert(offsetof(PassThroughRecord, Filler) == 44);
static_assert(offsetof(PassThroughRecord, Sense) == 48);
static_assert(sizeof(PassThroughRecord) == 80);

static_assert(offsetof(SrbExecScsiCmd, SRB_Status) == 1);
static_assert(offsetof(SrbExecScsiCmd, SRB_HaId) == 2);
static_assert(offsetof(SrbExecScsiCmd, SRB_Flags) == 3);
static_assert(offsetof(SrbExecScsiCmd, SRB_Hdr_Rsvd) == 4);
static_assert(offsetof(SrbExecScsiCmd, SRB_Target) == 8);
static_assert(offsetof(SrbExecScsiCmd, SRB_Lun) == 9);
static_assert(offsetof(SrbExecScsiCmd, SRB_BufLen) == 12);
static_assert(offsetof(SrbExecScsiCmd, SRB_BufPointer) == 16);
static_assert(offsetof(SrbExecScsiCmd, SRB_SenseLen) == 20);
static_assert(offsetof(SrbExecScsiCmd, SRB_CDBLen) == 21);
static_assert(offsetof(SrbExecScsiCmd, SRB_HaStat) == 22);
static_assert(offsetof(SrbExecScsiCmd, SRB_TargStat) == 23);
static_assert(offsetof(SrbExecScsiCmd, SRB_PostProc) == 24);
static_assert(offsetof(SrbExecScsiCmd, SRB_Rsvd2) == 28);
static_assert(offsetof(SrbExecScsiCmd, CDBByte) == 48);
static_assert(offsetof(SrbExecScsiCmd, SenseArea) == 64);
static_assert(sizeof(SrbExecScsiCmd) == 80);
#endif
