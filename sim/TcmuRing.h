// The command ring of one device of the Linux kernel's TCM user-space
// backend (TCMU): the area the kernel shares through its UIO device, laid
// out as <linux/target_core_user.h> says (a mailbox, the command ring, the
// data area). The kernel queues a command entry per SCSI command (and, with
// the tmr_notification attribute, a notice of each task management function
// such as an abort); user space answers in the ring and moves the tail.
//
// Works on any memory laid out that way (the tests build one); the layout
// is sim/TcmuLayout.h. Linux only, like the kernel it talks to.
#pragma once
#if defined(__linux__)
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One SCSI command as the target core passed it on.
struct TcmuCommand {
    uint16_t id = 0;
    uint8_t cdb[16] = {};  // the command bytes the operation code's group defines, zero-padded
    size_t cdbLength = 0;
    std::vector<std::pair<uint64_t, uint64_t>> iov;  // data buffers: offset in the area, length
    uint32_t length = 0;                             // their total
};

// What one read of the ring found, in ring order.
struct TcmuEntries {
    std::vector<TcmuCommand> commands;
    std::vector<uint16_t> aborted;  // command ids named by task management notices
};

// The length of a command block by its operation code's group, as the kernel
// copies it into the ring (scsi_command_size).
size_t TcmuCdbLength(uint8_t opcode);

class TcmuRing {
  public:
    TcmuRing(uint8_t* area, size_t size);

    // Checks the mailbox the kernel wrote: version 2, a ring inside the area.
    bool Check(std::string* why) const;
    uint16_t Flags() const;  // kTcmuCap...

    // Reads every entry queued since the last read (padding skipped).
    void Read(TcmuEntries& out);

    // Hands command `id` back: SCSI status, fixed-format sense, and for data
    // to the host the number of bytes moved (reported when readLength > 0).
    // The answer goes into the oldest slot not yet handed back, whichever
    // command that slot first held: the kernel finds the command by its id
    // (out-of-order completion). False when no read slot is left.
    bool Complete(uint16_t id, uint8_t status, const uint8_t* sense, size_t senseLength,
                  uint32_t readLength);

    // Data between a command's buffers and contiguous memory (at most the
    // command's length).
    void CopyFromCommand(const TcmuCommand& command, uint8_t* to, uint32_t count) const;
    void CopyToCommand(const TcmuCommand& command, const uint8_t* from, uint32_t count);

    uint32_t Tail() const { return tail_; }
    uint32_t Unread() const;  // bytes queued but not read

  private:
    uint32_t Load32(size_t offset) const;
    void Store32(size_t offset, uint32_t value);
    uint8_t* Slot(uint32_t position) const { return area_ + ringOffset_ + position; }
    static uint32_t SlotLength(const uint8_t* slot);
    static uint32_t SlotOp(const uint8_t* slot);
    void Advance(uint32_t& position, uint32_t length) const;
    // Moves the tail over padding and notices up to the first slot still owed an answer.
    void ReleaseNonCommands();

    uint8_t* area_;
    size_t size_;
    uint32_t ringOffset_ = 0;
    uint32_t ringSize_ = 0;
    uint32_t next_ = 0;  // the next slot to read
    uint32_t tail_ = 0;  // the oldest slot not handed back
};
#endif
