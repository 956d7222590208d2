/* The shared area of a TCMU device as the Linux kernel lays it out
 * (<linux/target_core_user.h>, mailbox version 2): byte offsets of the
 * fields the handler reads and writes. The kernel's header cannot be
 * compiled as C++ (an inline function in it converts an integer to an enum
 * implicitly), so the layout is restated here, in C and C++ alike, and
 * tests/kernel/tcmu_layout_check.c checks every value against the kernel's
 * header with the C compiler (ctest tcmu_layout_matches_the_kernel_header). */
#ifndef NORVEX_SIM_TCMU_LAYOUT_H
#define NORVEX_SIM_TCMU_LAYOUT_H

enum {
    kTcmuMailboxVersion2 = 2,
    kTcmuCapOutOfOrder = 1 << 0,     /* TCMU_MAILBOX_FLAG_CAP_OOOC */
    kTcmuCapReadLength = 1 << 1,     /* TCMU_MAILBOX_FLAG_CAP_READ_LEN */
    kTcmuCapTaskManagement = 1 << 2, /* TCMU_MAILBOX_FLAG_CAP_TMR */

    /* struct tcmu_mailbox */
    kTcmuMbVersion = 0, /* u16 */
    kTcmuMbFlags = 2,   /* u16 */
    kTcmuMbRingOffset = 4,
    kTcmuMbRingSize = 8,
    kTcmuMbHead = 12,
    kTcmuMbTail = 64, /* on its own cache line */
    kTcmuMbSize = 128,

    /* struct tcmu_cmd_entry_hdr */
    kTcmuOpPad = 0,
    kTcmuOpCmd = 1,
    kTcmuOpTmr = 2,
    kTcmuOpMask = 7,    /* the low bits of len_op */
    kTcmuHdrLenOp = 0,  /* u32 */
    kTcmuHdrCmdId = 4,  /* u16 */
    kTcmuHdrUflags = 7, /* u8 */
    kTcmuUflagUnknownOp = 1,
    kTcmuUflagReadLength = 2,

    /* struct tcmu_cmd_entry: req */
    kTcmuReqIovCount = 8,   /* u32 */
    kTcmuReqCdbOffset = 24, /* u64, from the start of the area */
    kTcmuReqIov = 48,       /* struct iovec[], base = offset in the area */
    kTcmuIovSize = 16,
    /* struct tcmu_cmd_entry: rsp */
    kTcmuRspStatus = 8,      /* u8 */
    kTcmuRspReadLength = 12, /* u32 */
    kTcmuRspSense = 16,      /* 96 bytes */
    kTcmuSenseSize = 96,
    kTcmuEntrySize = 112,

    /* struct tcmu_tmr_entry */
    kTcmuTmrType = 8,   /* u8 */
    kTcmuTmrCount = 12, /* u32 */
    kTcmuTmrIds = 32    /* u16[] */
};

#endif
