// The virtual drive, its fault injection, the drive file and the trace line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/AspiService.h"
#include "sim/DriveFile.h"
#include "sim/VirtualDrive.h"
#include "tests/support/TempDir.h"

namespace {

struct Cdb {
    uint8_t b[12] = {};
    Cdb(std::initializer_list<int> bytes) {
        int i = 0;
        for (int v : bytes) b[i++] = static_cast<uint8_t>(v);
    }
};

DriveOutcome Send(VirtualDrive& d, Cdb cdb, bool in = true, uint8_t* data = nullptr,
                  uint32_t length = 0) {
    return d.Execute(cdb.b, in, data, length);
}

bool Sense(const DriveOutcome& o, uint8_t key, uint8_t asc, uint8_t ascq) {
    return o.kind == DriveOutcome::Kind::Completed && o.status == kStatusCheckCondition &&
           o.Key() == key && o.Asc() == asc && o.Ascq() == ascq;
}

bool Good(const DriveOutcome& o) {
    return o.kind == DriveOutcome::Kind::Completed && o.status == kStatusGood;
}

TEST(VirtualDrive, InquiryAnswersUpToTheAllocationLength) {
    VirtualDrive::Config c;
    c.vendor = "OPTIDRV";
    c.product = "DVDRW-B200";
    c.revision = "2B10";
    VirtualDrive d(c);
    uint8_t data[128];
    std::memset(data, 0xEE, sizeof data);
    DriveOutcome o = Send(d, {0x12, 0, 0, 0, 0x80}, true, data, 128);
    ASSERT_TRUE(Good(o));
    EXPECT_EQ(o.transferred, 96u);
    EXPECT_EQ(data[0], 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 8), 28), "OPTIDRV DVDRW-B200      2B10");
    EXPECT_EQ(data[96], 0xEE);  // nothing beyond the data

    std::memset(data, 0xEE, sizeof data);
    o = Send(d, {0x12, 0, 0, 0, 36}, true, data, 128);
    EXPECT_EQ(o.transferred, 36u);
    EXPECT_EQ(data[36], 0xEE);
    EXPECT_EQ(d.Identification(), "OPTIDRV DVDRW-B200      ");
}

TEST(VirtualDrive, TestUnitReadyFollowsMediumAndLoad) {
    VirtualDrive d;
    EXPECT_TRUE(Sense(Send(d, {0x00}), 2, 0x3A, 0));
    d.config.medium = Medium::Disc;
    EXPECT_TRUE(Good(Send(d, {0x00})));

    d.config.medium = Medium::None;
    d.config.becomingReady = 2;
    EXPECT_TRUE(Good(Send(d, {0x1B, 0, 0, 0, 0x03})));
    EXPECT_EQ(d.loadCount, 1u);
    EXPECT_TRUE(Sense(Send(d, {0x00}), 2, 0x04, 0x01));
    EXPECT_TRUE(Sense(Send(d, {0x00}), 2, 0x04, 0x01));
    EXPECT_TRUE(Sense(Send(d, {0x00}), 2, 0x3A, 0x00));
    EXPECT_TRUE(Good(Send(d, {0x1B})));  // stop
    EXPECT_TRUE(Good(Send(d, {0x4E})));
}

TEST(VirtualDrive, ReadCapacityTellsWhetherADiscIsIn) {
    VirtualDrive d;
    uint8_t data[8] = {};
    EXPECT_TRUE(Sense(Send(d, {0x25}, true, data, 8), 2, 0x3A, 0));
    d.config.medium = Medium::Disc;
    DriveOutcome o = Send(d, {0x25}, true, data, 8);
    ASSERT_TRUE(Good(o));
    EXPECT_EQ(o.transferred, 8u);
    EXPECT_EQ(data[6], 0x08);  // 2048-byte blocks
}

TEST(VirtualDrive, WriteBufferAndReadBufferRoundTrip) {
    VirtualDrive d;
    std::vector<uint8_t> chunk(16384);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = uint8_t(i * 7);
    ASSERT_TRUE(Good(Send(d, {0x3B, 5, 1, 0x03, 0xC0, 0x00, 0x00, 0x40, 0x00, 0x00}, false,
                          chunk.data(), 16384)));
    EXPECT_EQ(d.imageEnd, 0x40000u);
    std::vector<uint8_t> back(16384);
    DriveOutcome o =
        Send(d, {0x3C, 1, 1, 0x03, 0xC0, 0x00, 0x00, 0x40, 0x00}, true, back.data(), 16384);
    ASSERT_TRUE(Good(o));
    EXPECT_EQ(back, chunk);

    // The profile area at 0x80000 holds the largest profile.
    std::vector<uint8_t> profile(1286, 0x5A);
    EXPECT_TRUE(
        Good(Send(d, {0x3B, 5, 1, 0x08, 0, 0, 0, 0x05, 0x06, 0x7F}, false, profile.data(), 1286)));
    EXPECT_EQ(d.imageEnd, 0x40000u);  // the profile is not part of the image
    std::vector<uint8_t> readProfile(1286);
    EXPECT_TRUE(
        Good(Send(d, {0x3C, 1, 1, 0x08, 0, 0, 0, 0x05, 0x06}, true, readProfile.data(), 1286)));
    EXPECT_EQ(readProfile, profile);

    // Beyond buffer memory: invalid field.
    EXPECT_TRUE(
        Sense(Send(d, {0x3C, 1, 1, 0x09, 0, 0, 0, 0, 0x10}, true, back.data(), 16), 5, 0x24, 0));
}

TEST(VirtualDrive, EntryCriticalIsAccepted) {
    VirtualDrive d;
    EXPECT_TRUE(Good(Send(d, {0x3B, 5, 1, 0, 0, 0, 0, 0, 0, 0x7F})));
    EXPECT_TRUE(d.entryCritical);
    EXPECT_FALSE(d.committed);
}

std::vector<uint8_t> ImageWith(const std::string& text, size_t at, size_t size = 0x40000) {
    std::vector<uint8_t> image(size, 0xFF);
    std::memcpy(&image[at], text.data(), text.size());
    return image;
}

void Download(VirtualDrive& d, const std::vector<uint8_t>& image) {
    for (uint32_t off = 0; off < image.size(); off += 16384) {
        Cdb cdb{0x3B, 5, 1, int(off >> 16) & 0xFF, int(off >> 8) & 0xFF, int(off) & 0xFF, 0,
                0x40, 0, 0};
        ASSERT_TRUE(Good(d.Execute(cdb.b, false, const_cast<uint8_t*>(&image[off]), 16384)));
    }
}

TEST(VirtualDrive, CommitTakesTheRevisionFollowingTheIdentification) {
    VirtualDrive d;  // NORVEX CDRW-1000, 1A00
    Download(d, ImageWith(d.Identification() + "1B20", 0x3F000));
    uint8_t reply[16];
    ASSERT_TRUE(Good(Send(d, {0x3B, 5, 1, 0, 0, 0, 0, 0, 0, 0xA0}, true, reply, 16)));
    EXPECT_TRUE(d.committed);
    EXPECT_EQ(d.commitControl, 0xA0);
    EXPECT_EQ(d.commitCount, 1u);
    EXPECT_EQ(d.Revision(), "1B20");
    EXPECT_EQ(d.programmedImage.size(), 0x40000u);
    uint8_t data[128];
    Send(d, {0x12, 0, 0, 0, 0x80}, true, data, 128);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 32), 4), "1B20");
}

TEST(VirtualDrive, CommitWithoutTheIdentificationKeepsTheRevision) {
    VirtualDrive d;
    Download(d, ImageWith("OTHERVENDOR SOMETHING   9Z99", 0x100));
    uint8_t reply[16];
    ASSERT_TRUE(Good(Send(d, {0x3B, 5, 1, 0, 0, 0, 0, 0, 0, 0x80}, true, reply, 16)));
    EXPECT_TRUE(d.committed);
    EXPECT_EQ(d.commitControl, 0x80);
    EXPECT_EQ(d.Revision(), "1A00");
}

TEST(VirtualDrive, VendorCommands) {
    VirtualDrive::Config c;
    c.flashId = {0xBF, 0xB6, 0x00, 0x01};
    VirtualDrive d(c);
    uint8_t id[128];
    std::memset(id, 0xEE, sizeof id);
    DriveOutcome o = Send(d, {0xDF, 0x11}, true, id, 128);
    ASSERT_TRUE(Good(o));
    EXPECT_EQ(o.transferred, 128u);
    EXPECT_EQ(id[0], 0xBF);
    EXPECT_EQ(id[3], 0x01);
    EXPECT_EQ(id[127], 0);

    EXPECT_TRUE(Good(Send(d, {0xDF, 0x0A, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56})));
    EXPECT_EQ(d.eeprom[0x1234], 0x56);
    EXPECT_TRUE(Sense(Send(d, {0xDF, 0x55}), 5, 0x24, 0));
    EXPECT_TRUE(Sense(Send(d, {0xA8}), 5, 0x20, 0));
}

TEST(VirtualDrive, SenseFaultOnTheNthCommandOfAnOpcode) {
    VirtualDrive d;
    d.config.medium = Medium::Disc;
    d.FailWithSense(0x00, 3, 0x06, 0x28, 0x00);
    EXPECT_TRUE(Good(Send(d, {0x00})));
    EXPECT_TRUE(Good(Send(d, {0x00})));
    EXPECT_TRUE(Sense(Send(d, {0x00}), 6, 0x28, 0));
    EXPECT_TRUE(Good(Send(d, {0x00})));
    EXPECT_EQ(d.CommandCount(0x00), 4u);
    EXPECT_EQ(d.TotalCommands(), 4u);
}

TEST(VirtualDrive, SenseFaultMatchedOnTheControlByte) {
    VirtualDrive d;
    d.FailWithSenseWhen(0x3B, 1, 9, 0x80, 0x03, 0x0C, 0x00);  // the first commit fails
    uint8_t chunk[16] = {};
    EXPECT_TRUE(Good(Send(d, {0x3B, 5, 1, 0, 0, 0, 0, 0, 16, 0x00}, false, chunk, 16)));
    EXPECT_TRUE(Good(Send(d, {0x3B, 5, 1, 0, 0, 0, 0, 0, 0, 0x7F})));
    EXPECT_TRUE(Sense(Send(d, {0x3B, 5, 1, 0, 0, 0, 0, 0, 0, 0x80}, true, chunk, 16), 3, 0x0C, 0));
    EXPECT_FALSE(d.committed);  // the failed command was not performed
    EXPECT_TRUE(Good(Send(d, {0x3B, 5, 1, 0, 0, 0, 0, 0, 0, 0x80}, true, chunk, 16)));
    EXPECT_TRUE(d.committed);
}

TEST(VirtualDrive, EveryMatchingCommandWithNthZero) {
    VirtualDrive d;
    d.FailWithSense(0x12, 0, 0x02, 0x3A, 0x00);
    uint8_t data[36];
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(Sense(Send(d, {0x12, 0, 0, 0, 36}, true, data, 36), 2, 0x3A, 0));
}

TEST(VirtualDrive, TransportAndTimeoutFaults) {
    VirtualDrive d;
    d.FailTransport(0x3B, 2);
    d.TimeOut(0x3C, 1);
    uint8_t data[16] = {};
    EXPECT_TRUE(Good(Send(d, {0x3B, 5, 1, 0, 0, 0, 0, 0, 16, 0}, false, data, 16)));
    EXPECT_EQ(Send(d, {0x3B, 5, 1, 0, 0, 0, 0, 0, 16, 0}, false, data, 16).kind,
              DriveOutcome::Kind::TransportFailure);
    EXPECT_EQ(Send(d, {0x3C, 1, 1, 0, 0, 0, 0, 0, 16}, true, data, 16).kind,
              DriveOutcome::Kind::TimedOut);
    EXPECT_TRUE(Good(Send(d, {0x3C, 1, 1, 0, 0, 0, 0, 0, 16}, true, data, 16)));
}

TEST(VirtualDrive, FlippedByteInReadBuffer) {
    VirtualDrive d;
    std::vector<uint8_t> chunk(64, 0x11);
    Send(d, {0x3B, 5, 1, 0, 0, 0, 0, 0, 64, 0}, false, chunk.data(), 64);
    d.FlipReadBuffer(2, 10);
    std::vector<uint8_t> back(64);
    Send(d, {0x3C, 1, 1, 0, 0, 0, 0, 0, 64}, true, back.data(), 64);
    EXPECT_EQ(back, chunk);
    Send(d, {0x3C, 1, 1, 0, 0, 0, 0, 0, 64}, true, back.data(), 64);
    EXPECT_EQ(back[10], 0x11 ^ 0xFF);
    EXPECT_EQ(d.bufferMemory[10], 0x11);  // only the answer is wrong
}

// A drive keeps the sense of a CHECK CONDITION for the REQUEST SENSE sent
// next (how libata gets an ATAPI drive's sense; QEMU's ide-cd and scsi-cd do
// the same), and the next command, REQUEST SENSE included, clears it.
TEST(VirtualDrive, RequestSenseReturnsThePreviousCommandsSense) {
    VirtualDrive d;
    d.FailWithSense(0x3B, 1, 0x03, 0x0C, 0x00);
    auto requestSense = [&](uint8_t* sense) {
        std::memset(sense, 0xEE, 18);
        return Send(d, {0x03, 0, 0, 0, 18}, true, sense, 18);
    };
    uint8_t sense[18];

    ASSERT_TRUE(Sense(Send(d, {0x25}, true, sense, 8), 0x02, 0x3A, 0x00));  // no disc
    DriveOutcome o = requestSense(sense);
    ASSERT_TRUE(Good(o));
    EXPECT_EQ(o.transferred, 18u);
    EXPECT_EQ(sense[0], 0x70);
    EXPECT_EQ(sense[2], 0x02);
    EXPECT_EQ(sense[12], 0x3A);
    EXPECT_EQ(sense[13], 0x00);
    ASSERT_TRUE(Good(requestSense(sense)));  // the first took it
    EXPECT_EQ(sense[2], 0x00);
    EXPECT_EQ(sense[12], 0x00);

    // An injected fault's sense too; a command that completes clears it.
    uint8_t chunk[16] = {};
    ASSERT_TRUE(
        Sense(Send(d, {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 16}, false, chunk, 16), 0x03, 0x0C, 0x00));
    ASSERT_TRUE(Good(requestSense(sense)));
    EXPECT_EQ(sense[2], 0x03);
    EXPECT_EQ(sense[12], 0x0C);
    ASSERT_TRUE(Sense(Send(d, {0x00}), 0x02, 0x3A, 0x00));
    ASSERT_TRUE(Good(Send(d, {0x12, 0, 0, 0, 36}, true, chunk, 16)));  // INQUIRY: GOOD
    ASSERT_TRUE(Good(requestSense(sense)));
    EXPECT_EQ(sense[2], 0x00);
    EXPECT_EQ(sense[12], 0x00);
}

TEST(VirtualDrive, WrongDirectionIsAnInvalidField) {
    VirtualDrive d;
    uint8_t data[36];
    EXPECT_TRUE(Sense(Send(d, {0x12, 0, 0, 0, 36}, false, data, 36), 5, 0x24, 0));
}

// ---- AspiService ---------------------------------------------------------------------

TEST(AspiService, TraceLineFormat) {
    const uint8_t cdb[12] = {0x3B, 0x05, 0x01, 0x00, 0x40, 0x00,
                             0x00, 0x40, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(TraceLine(0, 1, cdb, false, 16384),
              "0:1 3B 05 01 00 40 00 00 40 00 00 00 00 out 16384");
    const uint8_t inquiry[12] = {0x12, 0, 0, 0, 0x80};
    EXPECT_EQ(TraceLine(12, 0, inquiry, true, 128),
              "12:0 12 00 00 00 80 00 00 00 00 00 00 00 in 128");
}

TEST(AspiService, CompleteSrbWritesStatusAndSense) {
    SrbExecScsiCmd srb{};
    srb.SRB_SenseLen = 14;
    VirtualDrive d;
    const uint8_t tur[12] = {};
    CompleteSrb(srb, d.Execute(tur, true, nullptr, 0));  // no medium
    EXPECT_EQ(srb.SRB_Status, kSsErr);
    EXPECT_EQ(srb.SRB_TargStat, 2);
    EXPECT_EQ(srb.SenseArea[2], 2);
    EXPECT_EQ(srb.SenseArea[12], 0x3A);
    EXPECT_EQ(srb.SenseArea[14], 0);  // only SRB_SenseLen bytes

    SrbExecScsiCmd good{};
    d.config.medium = Medium::Disc;
    CompleteSrb(good, d.Execute(tur, true, nullptr, 0));
    EXPECT_EQ(good.SRB_Status, kSsComp);

    SrbExecScsiCmd failed{};
    DriveOutcome transport;
    transport.kind = DriveOutcome::Kind::TransportFailure;
    CompleteSrb(failed, transport);
    EXPECT_EQ(failed.SRB_Status, kSsErr);
    EXPECT_EQ(failed.SenseArea[2], 0);
    EXPECT_EQ(SrbDataIn(failed), true);
    failed.SRB_Flags = 0x50;
    EXPECT_EQ(SrbDataIn(failed), false);
}

// ---- the drive file ------------------------------------------------------------------

TEST(DriveFile, ReadsDrivesAndFaults) {
    const char* text =
        "; virtual drives\n"
        "[DRIVE0]\n"
        "HostAdapter=0\nTarget=1\nVendor=NORVEX\nProduct=CDRW-1000\nRevision=1A00\n"
        "FlashId=DA C8 00 00\nMedium=none\nBecomingReady=2\n"
        "FailOpcode=3B\nFailNth=17\nFailSense=03 0C 00\nFailByte=9\nFailValue=80\n"
        "TransportFailOpcode=0x25\n"
        "[drive1]\n"
        "HostAdapter=12\nTarget=0\nMedium=disc\nTimeoutOpcode=12\nTimeoutNth="
        "2\nTimeoutCompleteAfterMs=1500\nCompletion=Deferred\n"
        "FlipReadBufferNth=3\nFlipReadBufferByte=100\nFailOpcode2=00\nFailSense2=02 3A "
        "00\nFailNth2=0\n"
        "[DRIVE3]\nHostAdapter=5\n";
    std::vector<DriveFileEntry> drives;
    std::string error;
    ASSERT_TRUE(ParseDriveFile(text, drives, &error)) << error;
    ASSERT_EQ(drives.size(), 2u);  // DRIVE3 follows a gap
    const DriveFileEntry& a = drives[0];
    EXPECT_EQ(a.section, "DRIVE0");
    EXPECT_EQ(a.hostAdapter, 0);
    EXPECT_EQ(a.target, 1);
    EXPECT_EQ(a.config.vendor, "NORVEX");
    EXPECT_EQ(a.config.product, "CDRW-1000");
    EXPECT_EQ(a.config.revision, "1A00");
    EXPECT_EQ(a.config.flashId[0], 0xDA);
    EXPECT_EQ(a.config.flashId[1], 0xC8);
    EXPECT_EQ(a.config.medium, Medium::None);
    EXPECT_EQ(a.config.becomingReady, 2u);
    ASSERT_EQ(a.faults.size(), 2u);
    EXPECT_EQ(a.faults[0].kind, DriveFault::Kind::Sense);
    EXPECT_EQ(a.faults[0].opcode, 0x3B);
    EXPECT_EQ(a.faults[0].nth, 17u);
    EXPECT_EQ(a.faults[0].key, 3);
    EXPECT_EQ(a.faults[0].asc, 0x0C);
    EXPECT_EQ(a.faults[0].matchByte, 9);
    EXPECT_EQ(a.faults[0].matchValue, 0x80);
    EXPECT_EQ(a.faults[1].kind, DriveFault::Kind::Transport);
    EXPECT_EQ(a.faults[1].opcode, 0x25);
    EXPECT_EQ(a.faults[1].nth, 1u);

    const DriveFileEntry& b = drives[1];
    EXPECT_EQ(b.hostAdapter, 12);
    EXPECT_EQ(b.config.medium, Medium::Disc);
    EXPECT_EQ(b.timeoutCompleteAfterMs, 1500u);
    EXPECT_FALSE(a.deferredCompletion);
    EXPECT_TRUE(b.deferredCompletion);
    ASSERT_EQ(b.faults.size(), 3u);
    EXPECT_EQ(b.faults[0].kind, DriveFault::Kind::Timeout);
    EXPECT_EQ(b.faults[0].opcode, 0x12);
    EXPECT_EQ(b.faults[0].nth, 2u);
    EXPECT_EQ(b.faults[1].kind, DriveFault::Kind::FlipReadBuffer);
    EXPECT_EQ(b.faults[1].byteIndex, 100u);
    EXPECT_EQ(b.faults[1].nth, 3u);
    EXPECT_EQ(b.faults[2].kind, DriveFault::Kind::Sense);
    EXPECT_EQ(b.faults[2].opcode, 0x00);
    EXPECT_EQ(b.faults[2].nth, 0u);
}

TEST(DriveFile, RejectsMalformedValues) {
    std::vector<DriveFileEntry> drives;
    std::string error;
    EXPECT_FALSE(ParseDriveFile("[DRIVE0]\nFlashId=DA C8\n", drives, &error));
    EXPECT_NE(error.find("FlashId"), std::string::npos);
    EXPECT_FALSE(ParseDriveFile("[DRIVE0]\nMedium=cassette\n", drives, &error));
    EXPECT_FALSE(ParseDriveFile("[DRIVE0]\nTarget=one\n", drives, &error));
    EXPECT_FALSE(ParseDriveFile("[DRIVE0]\nCompletion=later\n", drives, &error));
    EXPECT_NE(error.find("Completion"), std::string::npos);
    EXPECT_FALSE(ReadDriveFile("/nonexistent/drives.ini", drives, &error));
}

TEST(DriveFile, WritesTheNewRevisionBack) {
    TempDir dir;
    std::filesystem::path path = dir.File("drives.ini");
    {
        std::ofstream out(path, std::ios::binary);
        out << "[DRIVE0]\r\nHostAdapter=0\r\nRevision=1A00\r\n\r\n[DRIVE1]\r\nHostAdapter="
               "1\r\nVendor=X\r\n";
    }
    ASSERT_TRUE(WriteDriveRevision(path.string(), "DRIVE0", "1B20"));
    ASSERT_TRUE(WriteDriveRevision(path.string(), "DRIVE1", "2C00"));  // key added
    EXPECT_FALSE(WriteDriveRevision(path.string(), "DRIVE7", "0000"));
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(),
              "[DRIVE0]\r\nHostAdapter=0\r\nRevision=1B20\r\n\r\n[DRIVE1]\r\nHostAdapter="
              "1\r\nVendor=X\r\n"
              "Revision=2C00\r\n");
    std::vector<DriveFileEntry> drives;
    ASSERT_TRUE(ReadDriveFile(path.string(), drives));
    EXPECT_EQ(drives[0].config.revision, "1B20");
    EXPECT_EQ(drives[1].config.revision, "2C00");
}

}  // namespace
