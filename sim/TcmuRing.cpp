// The TCMU command ring.
#include "sim/TcmuRing.h"

#if defined(__linux__)
#include <algorithm>
#include <cstring>

#include "sim/TcmuLayout.h"

namespace {
template <typename T>
T Get(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <typename T>
void Put(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}
}  // namespace

size_t TcmuCdbLength(uint8_t opcode) {
    static const size_t kByGroup[8] = {6, 10, 10, 12, 16, 12, 10, 10};
    return kByGroup[(opcode >> 5) & 7];
}

TcmuRing::TcmuRing(uint8_t* area, size_t size) : area_(area), size_(size) {
    if (size_ < kTcmuMbSize) return;
    ringOffset_ = Load32(kTcmuMbRingOffset);
    ringSize_ = Load32(kTcmuMbRingSize);
    // Whatever was answered before this process started stays answered;
    // entries queued after the last answer are read now.
    tail_ = Load32(kTcmuMbTail);
    next_ = tail_;
}

uint32_t TcmuRing::Load32(size_t offset) const {
    return __atomic_load_n(reinterpret_cast<const uint32_t*>(area_ + offset), __ATOMIC_ACQUIRE);
}

void TcmuRing::Store32(size_t offset, uint32_t value) {
    __atomic_store_n(reinterpret_cast<uint32_t*>(area_ + offset), value, __ATOMIC_RELEASE);
}

bool TcmuRing::Check(std::string* why) const {
    auto fail = [&](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    if (size_ < kTcmuMbSize) return fail("the shared area is smaller than the mailbox");
    uint16_t version = Get<uint16_t>(area_ + kTcmuMbVersion);
    if (version != kTcmuMailboxVersion2)
        return fail("mailbox version " + std::to_string(version) + ", expected " +
                    std::to_string(kTcmuMailboxVersion2));
    if (ringSize_ == 0 || ringOffset_ < kTcmuMbSize || ringOffset_ > size_ ||
        ringSize_ > size_ - ringOffset_)
        return fail("the command ring lies outside the shared area");
    if (tail_ >= ringSize_ || Load32(kTcmuMbHead) >= ringSize_)
        return fail("head or tail outside the command ring");
    return true;
}

uint16_t TcmuRing::Flags() const {
    return Get<uint16_t>(area_ + kTcmuMbFlags);
}

uint32_t TcmuRing::SlotLength(const uint8_t* slot) {
    return Get<uint32_t>(slot) & ~uint32_t(kTcmuOpMask);
}

uint32_t TcmuRing::SlotOp(const uint8_t* slot) {
    return Get<uint32_t>(slot) & kTcmuOpMask;
}

void TcmuRing::Advance(uint32_t& position, uint32_t length) const {
    position = (position + length) % ringSize_;
}

uint32_t TcmuRing::Unread() const {
    uint32_t head = Load32(kTcmuMbHead);
    return (head + ringSize_ - next_) % ringSize_;
}

void TcmuRing::Read(TcmuEntries& out) {
    const uint32_t head = Load32(kTcmuMbHead);
    while (next_ != head) {
        const uint8_t* slot = Slot(next_);
        const uint32_t length = SlotLength(slot);
        if (length == 0 || length > ringSize_) break;  // never written by the kernel: stop
        switch (SlotOp(slot)) {
            case kTcmuOpCmd: {
                TcmuCommand c;
                c.id = Get<uint16_t>(slot + kTcmuHdrCmdId);
                const uint64_t cdbOffset = Get<uint64_t>(slot + kTcmuReqCdbOffset);
                if (cdbOffset < size_) {
                    c.cdbLength =
                        std::min<size_t>(TcmuCdbLength(area_[cdbOffset]), size_ - cdbOffset);
                    std::memcpy(c.cdb, area_ + cdbOffset, std::min(c.cdbLength, sizeof c.cdb));
                }
                const uint32_t iovCount = Get<uint32_t>(slot + kTcmuReqIovCount);
                for (uint32_t i = 0; i < iovCount; ++i) {
                    const size_t at = kTcmuReqIov + size_t(i) * kTcmuIovSize;
                    if (at + kTcmuIovSize > length) break;
                    const uint64_t offset = Get<uint64_t>(slot + at);  // iov_base: an offset
                    const uint64_t bytes = Get<uint64_t>(slot + at + 8);
                    if (offset > size_ || bytes > size_ - offset) break;  // not in the area
                    c.iov.emplace_back(offset, bytes);
                    c.length += static_cast<uint32_t>(bytes);
                }
                out.commands.push_back(std::move(c));
                break;
            }
            case kTcmuOpTmr: {
                const uint32_t count = Get<uint32_t>(slot + kTcmuTmrCount);
                for (uint32_t i = 0; i < count && kTcmuTmrIds + (i + 1) * 2 <= length; ++i)
                    out.aborted.push_back(Get<uint16_t>(slot + kTcmuTmrIds + i * 2));
                break;
            }
            default:  // padding up to the end of the ring
                break;
        }
        Advance(next_, length);
    }
    ReleaseNonCommands();
}

void TcmuRing::ReleaseNonCommands() {
    const uint32_t before = tail_;
    while (tail_ != next_ && SlotOp(Slot(tail_)) != kTcmuOpCmd)
        Advance(tail_, SlotLength(Slot(tail_)));
    if (tail_ != before) Store32(kTcmuMbTail, tail_);
}

bool TcmuRing::Complete(uint16_t id, uint8_t status, const uint8_t* sense, size_t senseLength,
                        uint32_t readLength) {
    ReleaseNonCommands();
    if (tail_ == next_) return false;
    uint8_t* slot = Slot(tail_);
    Put<uint16_t>(slot + kTcmuHdrCmdId, id);
    Put<uint8_t>(slot + kTcmuHdrUflags, readLength > 0 ? kTcmuUflagReadLength : 0);
    Put<uint8_t>(slot + kTcmuRspStatus, status);
    Put<uint32_t>(slot + kTcmuRspReadLength, readLength);
    std::memset(slot + kTcmuRspSense, 0, kTcmuSenseSize);
    if (sense)
        std::memcpy(slot + kTcmuRspSense, sense, std::min<size_t>(senseLength, kTcmuSenseSize));
    Advance(tail_, SlotLength(slot));
    ReleaseNonCommands();
    Store32(kTcmuMbTail, tail_);
    return true;
}

void TcmuRing::CopyFromCommand(const TcmuCommand& command, uint8_t* to, uint32_t count) const {
    for (const auto& [offset, length] : command.iov) {
        if (count == 0) break;
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(length, count));
        std::memcpy(to, area_ + offset, n);
        to += n;
        count -= n;
    }
}

void TcmuRing::CopyToCommand(const TcmuCommand& command, const uint8_t* from, uint32_t count) {
    for (const auto& [offset, length] : command.iov) {
        if (count == 0) break;
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(length, count));
        std::memcpy(area_ + offset, from, n);
        from += n;
        count -= n;
    }
}
#endif
