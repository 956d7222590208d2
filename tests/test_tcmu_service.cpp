// The TCMU handler's side of the kernel's ring, on a shared area laid out as
// the kernel lays it out (sim/TcmuLayout.h), and what the virtual drive
// answers to the host's own commands (a kernel's scan, its CD-ROM driver,
// media polling).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/TcmuLayout.h"
#include "sim/TcmuRing.h"
#include "sim/TcmuService.h"
#include "sim/VirtualDrive.h"

namespace {

// A shared area: mailbox, a 1 KiB ring at 128, the data area from 4096. The
// kernel's side is played here: it queues entries and reads the answers.
struct Area {
    static constexpr uint32_t kRing = 128, kRingSize = 1024, kData = 4096;
    std::vector<uint8_t> bytes = std::vector<uint8_t>(65536, 0);
    uint32_t head = 0, dataNext = kData;

    Area() {
        Put16(kTcmuMbVersion, 2);
        Put16(kTcmuMbFlags, kTcmuCapOutOfOrder | kTcmuCapReadLength | kTcmuCapTaskManagement);
        Put32(kTcmuMbRingOffset, kRing);
        Put32(kTcmuMbRingSize, kRingSize);
    }
    void Put16(size_t at, uint16_t v) { std::memcpy(&bytes[at], &v, 2); }
    void Put32(size_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); }
    void Put64(size_t at, uint64_t v) { std::memcpy(&bytes[at], &v, 8); }
    uint32_t Get32(size_t at) const {
        uint32_t v;
        std::memcpy(&v, &bytes[at], 4);
        return v;
    }
    uint32_t Tail() const { return Get32(kTcmuMbTail); }
    size_t Slot(uint32_t position) const { return kRing + position; }

    // Queues a command: its block and data buffers of the given sizes (data
    // to the drive is taken from `out`). Returns the slot's position.
    uint32_t Command(uint16_t id, std::vector<uint8_t> cdb, std::vector<uint32_t> buffers,
                     const std::vector<uint8_t>& out = {}) {
        const uint32_t at = head;
        const uint32_t cdbAt = kTcmuReqIov + uint32_t(buffers.size()) * kTcmuIovSize;
        const uint32_t length = std::max<uint32_t>(kTcmuEntrySize, (cdbAt + 16 + 7) & ~7u);
        std::memset(&bytes[Slot(at)], 0, length);
        Put32(Slot(at), length | kTcmuOpCmd);
        Put16(Slot(at) + kTcmuHdrCmdId, id);
        Put32(Slot(at) + kTcmuReqIovCount, uint32_t(buffers.size()));
        Put64(Slot(at) + kTcmuReqCdbOffset, Slot(at) + cdbAt);
        std::memcpy(&bytes[Slot(at) + cdbAt], cdb.data(), cdb.size());
        size_t taken = 0;
        for (size_t i = 0; i < buffers.size(); ++i) {
            Put64(Slot(at) + kTcmuReqIov + i * kTcmuIovSize, dataNext);
            Put64(Slot(at) + kTcmuReqIov + i * kTcmuIovSize + 8, buffers[i]);
            for (uint32_t b = 0; b < buffers[i]; ++b)
                bytes[dataNext + b] = taken < out.size() ? out[taken++] : 0xEE;
            dataNext += buffers[i];
        }
        Advance(length);
        return at;
    }
    void Notice(std::vector<uint16_t> ids) {
        const uint32_t length = (kTcmuTmrIds + uint32_t(ids.size()) * 2 + 7) & ~7u;
        std::memset(&bytes[Slot(head)], 0, length);
        Put32(Slot(head), length | kTcmuOpTmr);
        Put32(Slot(head) + kTcmuTmrCount, uint32_t(ids.size()));
        for (size_t i = 0; i < ids.size(); ++i) Put16(Slot(head) + kTcmuTmrIds + i * 2, ids[i]);
        Advance(length);
    }
    void PadToEnd() {
        Put32(Slot(head), (kRingSize - head) | kTcmuOpPad);
        Advance(kRingSize - head);
    }
    void Advance(uint32_t length) {
        head = (head + length) % kRingSize;
        Put32(kTcmuMbHead, head);
    }
    // The answer in a slot.
    uint16_t Id(uint32_t slot) const { return uint16_t(Get32(Slot(slot) + kTcmuHdrCmdId)); }
    uint8_t Status(uint32_t slot) const { return bytes[Slot(slot) + kTcmuRspStatus]; }
    uint32_t ReadLength(uint32_t slot) const { return Get32(Slot(slot) + kTcmuRspReadLength); }
    uint8_t Sense(uint32_t slot, int i) const { return bytes[Slot(slot) + kTcmuRspSense + i]; }
};

struct Served {
    Area area;
    TcmuRing ring{area.bytes.data(), area.bytes.size()};
    VirtualDrive drive;
    TcmuService service{ring, drive, 'E', 65536};
    std::vector<std::string> trace;
    int refusals = 0;

    Served() {
        drive.config.vendor = "OPTIDRV";
        drive.config.product = "CDRW-A100";
        drive.config.revision = "1A10";
        service.trace = [this](const std::string& line) { trace.push_back(line); };
        service.refuseTransport = [this] { ++refusals; };
    }
    bool Serve() {
        TcmuEntries e;
        ring.Read(e);
        return service.Serve(e);
    }
};

TEST(TcmuRing, ChecksTheMailbox) {
    Area a;
    std::string why;
    EXPECT_TRUE(TcmuRing(a.bytes.data(), a.bytes.size()).Check(&why)) << why;
    a.Put16(kTcmuMbVersion, 1);
    EXPECT_FALSE(TcmuRing(a.bytes.data(), a.bytes.size()).Check(&why));
    a.Put16(kTcmuMbVersion, 2);
    a.Put32(kTcmuMbRingSize, 70000);  // past the end of the area
    EXPECT_FALSE(TcmuRing(a.bytes.data(), a.bytes.size()).Check(&why));
}

TEST(TcmuService, InquiryIsScatteredOverTheBuffersWithItsLength) {
    Served s;
    uint32_t slot = s.area.Command(7, {0x12, 0, 0, 0, 0x80}, {40, 88});
    ASSERT_TRUE(s.Serve());
    EXPECT_EQ(s.area.Id(slot), 7);
    EXPECT_EQ(s.area.Status(slot), kStatusGood);
    EXPECT_EQ(s.area.ReadLength(slot), 96u);  // 128 asked, 96 answered: the rest is a residual
    EXPECT_EQ(s.area.Tail(), s.area.head);
    std::string ident(reinterpret_cast<char*>(&s.area.bytes[Area::kData + 8]), 32);
    EXPECT_EQ(ident.substr(0, 28), "OPTIDRV CDRW-A100       1A10");
    ASSERT_EQ(s.trace.size(), 1u);
    EXPECT_EQ(s.trace[0], "E: 12 00 00 00 80 00 00 00 00 00 00 00 in 128");
}

TEST(TcmuService, WriteBufferDataIsGatheredAndTheCommitReadsSixteenBytes) {
    Served s;
    std::vector<uint8_t> chunk(256);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = uint8_t(i * 3);
    s.area.Command(1, {0x3B, 0x05, 0x01, 0, 0x10, 0, 0, 0x01, 0x00}, {100, 156}, chunk);
    ASSERT_TRUE(s.Serve());
    EXPECT_EQ(0, std::memcmp(&s.drive.bufferMemory[0x1000], chunk.data(), chunk.size()));
    uint32_t commit = s.area.Command(2, {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80}, {16});
    ASSERT_TRUE(s.Serve());
    EXPECT_EQ(s.area.Status(commit), kStatusGood);
    EXPECT_EQ(s.drive.commitCount, 1u);
    EXPECT_EQ(s.trace[0], "E: 3B 05 01 00 10 00 00 01 00 00 00 00 out 256");
    EXPECT_EQ(s.trace[1], "E: 3B 05 01 00 00 00 00 00 00 80 00 00 in 16");
}

TEST(TcmuService, SenseIsHandedBackWithCheckCondition) {
    Served s;
    uint32_t slot = s.area.Command(3, {0x25}, {8});  // READ CAPACITY without a disc
    ASSERT_TRUE(s.Serve());
    EXPECT_EQ(s.area.Status(slot), kStatusCheckCondition);
    EXPECT_EQ(s.area.ReadLength(slot), 0u);
    EXPECT_EQ(s.area.Sense(slot, 0), 0x70);
    EXPECT_EQ(s.area.Sense(slot, 2), 0x02);
    EXPECT_EQ(s.area.Sense(slot, 12), 0x3A);
}

// A timed-out command stays unanswered; the next one's answer takes its
// slot (the kernel finds commands by id), and the abort notice hands the
// held one back.
TEST(TcmuService, TimedOutCommandIsHeldUntilTheAbortNotice) {
    Served s;
    s.drive.TimeOut(0x3B, 1);
    uint32_t first = s.area.Command(10, {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80}, {16});
    EXPECT_FALSE(s.Serve());
    EXPECT_EQ(s.service.Held(), 1u);
    EXPECT_EQ(s.area.Tail(), first);  // nothing handed back

    s.area.Command(11, {0x00}, {});
    ASSERT_TRUE(s.Serve());
    EXPECT_EQ(s.area.Id(first), 11);                         // in the oldest slot
    EXPECT_EQ(s.area.Status(first), kStatusCheckCondition);  // no disc

    uint32_t second = s.area.Tail();
    s.area.Notice({10});
    ASSERT_TRUE(s.Serve());
    EXPECT_EQ(s.area.Id(second), 10);
    EXPECT_EQ(s.area.Status(second), kStatusTaskAborted);
    EXPECT_EQ(s.service.Held(), 0u);
    EXPECT_EQ(s.area.Tail(), s.area.head);  // the notice's slot is released too
    EXPECT_EQ(s.drive.commitCount, 0u);
}

TEST(TcmuService, TransportFailureTakesTheTransportDownThenAnswersBusy) {
    Served s;
    s.drive.FailTransport(0x3C, 1);
    uint32_t slot = s.area.Command(4, {0x3C, 0x01, 0x01, 0, 0, 0, 0, 0x40, 0}, {16384});
    ASSERT_TRUE(s.Serve());
    EXPECT_EQ(s.refusals, 1);
    EXPECT_EQ(s.service.Refused(), 1u);
    EXPECT_EQ(s.area.Status(slot), kStatusBusy);
}

TEST(TcmuService, PaddingAtTheEndOfTheRingIsSkipped) {
    Served s;
    for (int i = 0; i < 8; ++i) s.area.Command(uint16_t(20 + i), {0x00}, {});
    ASSERT_TRUE(s.Serve());
    s.area.PadToEnd();
    uint32_t wrapped = s.area.Command(30, {0x12, 0, 0, 0, 36}, {36});
    EXPECT_EQ(wrapped, 0u);
    ASSERT_TRUE(s.Serve());
    EXPECT_EQ(s.area.Id(0), 30);
    EXPECT_EQ(s.area.Tail(), s.area.head);
    EXPECT_EQ(s.trace.size(), 9u);
}

TEST(TcmuService, DirectionIsInferredFromTheCommand) {
    const uint8_t chunk[12] = {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x40, 0};
    const uint8_t commit[12] = {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0xA0};
    const uint8_t modeSelect[12] = {0x55, 0x10};
    const uint8_t readBuffer[12] = {0x3C, 0x01, 0x01, 0, 0, 0, 0, 0x40, 0};
    EXPECT_TRUE(TcmuDataOut(chunk, 16384));
    EXPECT_FALSE(TcmuDataOut(commit, 16));
    EXPECT_TRUE(TcmuDataOut(modeSelect, 24));
    EXPECT_FALSE(TcmuDataOut(readBuffer, 16384));
    EXPECT_FALSE(TcmuDataOut(chunk, 0));
    EXPECT_EQ(TcmuCdbLength(0x00), 6u);
    EXPECT_EQ(TcmuCdbLength(0x3B), 10u);
    EXPECT_EQ(TcmuCdbLength(0xBE), 12u);
}

// ---- the host's own commands, as a drive without a disc answers them ----------------

DriveOutcome Send(VirtualDrive& d, std::vector<uint8_t> cdb, uint8_t* data, uint32_t length) {
    cdb.resize(12, 0);
    return d.Execute(cdb.data(), true, data, length);
}

TEST(VirtualDriveHostCommands, ScanAndCdromDriverCommands) {
    VirtualDrive d;
    uint8_t data[256];
    // Vital product data: the page list, the serial number, the identification.
    DriveOutcome o = Send(d, {0x12, 0x01, 0x00, 0, 255}, data, 255);
    ASSERT_EQ(o.status, kStatusGood);
    EXPECT_EQ(o.transferred, 7u);
    EXPECT_EQ(data[5], 0x80);
    o = Send(d, {0x12, 0x01, 0x80, 0, 255}, data, 255);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 4), data[3]), d.config.serial);
    o = Send(d, {0x12, 0x01, 0x83, 0, 255}, data, 255);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 8), 24), d.Identification());
    EXPECT_EQ(Send(d, {0x12, 0x01, 0xB0, 0, 255}, data, 255).Asc(), 0x24);

    // MODE SENSE(10) of page 2A: 8-byte header, then the page.
    o = Send(d, {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 128}, data, 128);
    ASSERT_EQ(o.status, kStatusGood);
    EXPECT_EQ(o.transferred, 30u);
    EXPECT_EQ(data[1], 28);  // mode data length
    EXPECT_EQ(data[8], 0x2A);
    EXPECT_EQ(data[8 + 6] & 0xE0, 0x20);  // tray
    o = Send(d, {0x1A, 0, 0x2A, 0, 128}, data, 128);
    EXPECT_EQ(o.transferred, 26u);
    EXPECT_EQ(data[4], 0x2A);

    // GET CONFIGURATION: no current profile; the profile list names CD-RW.
    o = Send(d, {0x46, 0x00, 0, 0, 0, 0, 0, 0, 255}, data, 255);
    ASSERT_EQ(o.status, kStatusGood);
    EXPECT_EQ(data[6] << 8 | data[7], 0);
    EXPECT_EQ(data[8 + 4] << 8 | data[8 + 5], 0x000A);
    o = Send(d, {0x46, 0x02, 0, 0x03, 0, 0, 0, 0, 255}, data, 255);  // only feature 3
    EXPECT_EQ(o.transferred, 16u);
    EXPECT_EQ(data[9], 0x03);

    // Media polling: no change, no medium; the asynchronous form is refused.
    o = Send(d, {0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8}, data, 8);
    ASSERT_EQ(o.status, kStatusGood);
    EXPECT_EQ(o.transferred, 8u);
    EXPECT_EQ(data[2], 0x04);
    EXPECT_EQ(data[5], 0x00);
    EXPECT_EQ(Send(d, {0x4A, 0x00, 0, 0, 0x10, 0, 0, 0, 8}, data, 8).Asc(), 0x24);

    // Medium removal, and the disc commands without a disc.
    EXPECT_EQ(Send(d, {0x1E, 0, 0, 0, 1}, nullptr, 0).status, kStatusGood);
    EXPECT_TRUE(d.removalPrevented);
    EXPECT_EQ(Send(d, {0x43, 0, 0, 0, 0, 0, 0, 0, 12}, data, 12).Asc(), 0x3A);
    EXPECT_EQ(Send(d, {0xA5}, nullptr, 0).Asc(), 0x20);  // still unknown
}

}  // namespace
