/* Compiled (never run) by ctest tcmu_layout_matches_the_kernel_header: every
 * offset of sim/TcmuLayout.h against the kernel's own header. */
#include <linux/target_core_user.h>
#include <stddef.h>

#include "sim/TcmuLayout.h"

#define SAME(ours, theirs) _Static_assert((long)(ours) == (long)(theirs), #ours " differs from " #theirs)

SAME(kTcmuMailboxVersion2, TCMU_MAILBOX_VERSION);
SAME(kTcmuCapOutOfOrder, TCMU_MAILBOX_FLAG_CAP_OOOC);
SAME(kTcmuCapReadLength, TCMU_MAILBOX_FLAG_CAP_READ_LEN);
SAME(kTcmuCapTaskManagement, TCMU_MAILBOX_FLAG_CAP_TMR);
SAME(kTcmuMbVersion, offsetof(struct tcmu_mailbox, version));
SAME(kTcmuMbFlags, offsetof(struct tcmu_mailbox, flags));
SAME(kTcmuMbRingOffset, offsetof(struct tcmu_mailbox, cmdr_off));
SAME(kTcmuMbRingSize, offsetof(struct tcmu_mailbox, cmdr_size));
SAME(kTcmuMbHead, offsetof(struct tcmu_mailbox, cmd_head));
SAME(kTcmuMbTail, offsetof(struct tcmu_mailbox, cmd_tail));
SAME(kTcmuMbSize, sizeof(struct tcmu_mailbox));
SAME(kTcmuOpPad, TCMU_OP_PAD);
SAME(kTcmuOpCmd, TCMU_OP_CMD);
SAME(kTcmuOpTmr, TCMU_OP_TMR);
SAME(kTcmuOpMask, TCMU_OP_MASK);
SAME(kTcmuHdrLenOp, offsetof(struct tcmu_cmd_entry_hdr, len_op));
SAME(kTcmuHdrCmdId, offsetof(struct tcmu_cmd_entry_hdr, cmd_id));
SAME(kTcmuHdrUflags, offsetof(struct tcmu_cmd_entry_hdr, uflags));
SAME(kTcmuUflagUnknownOp, TCMU_UFLAG_UNKNOWN_OP);
SAME(kTcmuUflagReadLength, TCMU_UFLAG_READ_LEN);
SAME(kTcmuReqIovCount, offsetof(struct tcmu_cmd_entry, req.iov_cnt));
SAME(kTcmuReqCdbOffset, offsetof(struct tcmu_cmd_entry, req.cdb_off));
SAME(kTcmuReqIov, offsetof(struct tcmu_cmd_entry, req.iov));
SAME(kTcmuIovSize, sizeof(struct iovec));
SAME(kTcmuRspStatus, offsetof(struct tcmu_cmd_entry, rsp.scsi_status));
SAME(kTcmuRspReadLength, offsetof(struct tcmu_cmd_entry, rsp.read_len));
SAME(kTcmuRspSense, offsetof(struct tcmu_cmd_entry, rsp.sense_buffer));
SAME(kTcmuSenseSize, TCMU_SENSE_BUFFERSIZE);
SAME(kTcmuEntrySize, sizeof(struct tcmu_cmd_entry));
SAME(kTcmuTmrType, offsetof(struct tcmu_tmr_entry, tmr_type));
SAME(kTcmuTmrCount, offsetof(struct tcmu_tmr_entry, cmd_cnt));
SAME(kTcmuTmrIds, offsetof(struct tcmu_tmr_entry, cmd_ids));
