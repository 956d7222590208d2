// Tests of the flash sequence's command blocks, profiles and progress.
#include <gtest/gtest.h>

#include <cstring>

#include "flash/FlashChip.h"
#include "tests/support/FlasherRig.h"

namespace {
std::vector<TraceEntry> Of(const std::vector<TraceEntry>& t, uint8_t opcode) {
    std::vector<TraceEntry> r;
    for (auto& e : t)
        if (e.cdb[0] == opcode) r.push_back(e);
    return r;
}
uint32_t Get24(const uint8_t* p) {
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}
std::vector<uint8_t> Cdb(const TraceEntry& e) {
    return std::vector<uint8_t>(e.cdb, e.cdb + 12);
}

void PutMarker(FlasherRig& rig, size_t offset) {
    rig.pkg.Image()[offset] = 0x05;
    rig.pkg.Image()[offset + 1] = 0x80;
}
}  // namespace

TEST(FlashSequence, PlainImageDownloadsReadsBackThenCommits) {
    FlasherRig rig;
    VirtualDrive& drive = rig.AddDrive(FlasherRig::Model("1A10"));
    rig.SetImage(262144, "1A50");
    rig.Start();
    std::vector<TraceEntry> t = rig.Flash();

    ASSERT_EQ(rig.form.boxes.size(), 1u);
    EXPECT_EQ(rig.form.boxes[0].text, "\nUpdate FW:1A10 to FW:1A50 ?\n");
    EXPECT_EQ(rig.form.boxes[0].kind, BoxKind::Confirmation);
    EXPECT_EQ(rig.form.boxes[0].buttons, BoxButtons::YesNo);

    // load, one test (no medium ends the wait), stop play, stop, 16 writes, 16 reads, commit,
    // and the INQUIRY that refreshes the list entry
    ASSERT_EQ(t.size(), 4u + 16 + 16 + 1 + 1);
    EXPECT_EQ(t[37].cdb[0], 0x12);
    EXPECT_EQ(Cdb(t[0]), (std::vector<uint8_t>{0x1B, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Cdb(t[1]), std::vector<uint8_t>(12, 0));
    EXPECT_EQ(t[2].cdb[0], 0x4E);
    EXPECT_EQ(Cdb(t[3]), (std::vector<uint8_t>{0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    for (int i = 0; i < 16; ++i) {
        const TraceEntry& w = t[4 + i];
        const TraceEntry& r = t[20 + i];
        EXPECT_EQ(Cdb(w), (std::vector<uint8_t>{0x3B, 5, 1, uint8_t(i >> 2), uint8_t(i << 6), 0, 0,
                                                0x40, 0, 0, 0, 0}));
        EXPECT_FALSE(w.dataIn);
        EXPECT_EQ(w.length, 16384u);
        EXPECT_EQ(Cdb(r), (std::vector<uint8_t>{0x3C, 1, 1, uint8_t(i >> 2), uint8_t(i << 6), 0, 0,
                                                0x40, 0, 0, 0, 0}));
        EXPECT_TRUE(r.dataIn);
        EXPECT_EQ(r.length, 16384u);
    }
    EXPECT_EQ(Cdb(t[36]), (std::vector<uint8_t>{0x3B, 5, 1, 0, 0, 0, 0, 0, 0, 0x80, 0, 0}));
    EXPECT_TRUE(t[36].dataIn);
    EXPECT_EQ(t[36].length, 16u);

    EXPECT_EQ(rig.form.status, "Flash Completed.");
    EXPECT_EQ(drive.Revision(), "1A50");
    EXPECT_TRUE(
        std::equal(drive.programmedImage.begin(), drive.programmedImage.end(), rig.pkg.Image()));
    EXPECT_EQ(rig.form.combo[0], "0-0-0  : OPTIDRV CDRW-A100       1A50");
    EXPECT_EQ(rig.form.comboIndex, 0);
    EXPECT_EQ(rig.window->CurrentDrive, rig.window->Drives->Drives[0]);
    EXPECT_EQ(rig.form.cursor, CursorKind::Default);
    EXPECT_EQ(rig.form.progressPos, 0);
    EXPECT_EQ(CDDrive::TimeoutSeconds(), 60);
    // The phases were shown while they ran.
    EXPECT_EQ(rig.form.statusRepaints,
              (std::vector<std::string>{
                  "Write BIN to drive's DRAM... ", "Read back and Verify drive's DRAM... ",
                  "Don't turn off the system, Flash is in progress...", "Flash Completed."}));
}

TEST(FlashSequence, FormatAProfileForChipDAC8) {
    FlasherRig rig;
    VirtualDrive& drive = rig.AddDrive(FlasherRig::Model("1A10"));  // flash id DA C8 00 00
    rig.SetImage(262144);
    PutMarker(rig, 0x1100);
    rig.Start();
    ASSERT_TRUE(rig.window->ProfileFormatA);
    std::vector<TraceEntry> t = rig.Flash();

    std::vector<TraceEntry> ids = Of(t, 0xDF);
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(Cdb(ids[0]), (std::vector<uint8_t>{0xDF, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ids[0].length, 128u);
    std::vector<TraceEntry> writes = Of(t, 0x3B);
    ASSERT_EQ(writes.size(), 1u + 16 + 1 + 1);  // profile, chunks, entry critical, commit
    EXPECT_EQ(Cdb(writes[0]),
              (std::vector<uint8_t>{0x3B, 5, 1, 8, 0, 0, 0, 0x01, 0x3E, 0x7F, 0, 0}));
    EXPECT_EQ(writes[0].length, 318u);
    EXPECT_EQ(Cdb(writes[17]), (std::vector<uint8_t>{0x3B, 5, 1, 0, 0, 0, 0, 0, 0, 0x7F, 0, 0}));
    std::vector<TraceEntry> reads = Of(t, 0x3C);
    ASSERT_EQ(reads.size(), 1u + 16);
    EXPECT_EQ(Cdb(reads[0]), (std::vector<uint8_t>{0x3C, 1, 1, 8, 0, 0, 0, 0x01, 0x3E, 0, 0, 0}));
    EXPECT_EQ(rig.form.status, "Flash Completed.");
    EXPECT_EQ(rig.window->ProfileHeaderLength, 4u);
    // What the drive received at 0x80000: the header, then entry 0's profile, which begins
    // with the bytes the chip table documents and is the first 314 bytes of the built-in data.
    ASSERT_EQ(FlashProfileDataSize, 5606u);
    const uint8_t* sent = drive.bufferMemory.data() + 0x80000;
    const uint8_t start[12] = {0xDA, 0xC8, 0x01, 0x3A, 0x7A, 0x07,
                               0x00, 0xFF, 0xFF, 0x00, 0x01, 0x00};
    EXPECT_EQ(std::memcmp(sent, start, sizeof start), 0);
    EXPECT_EQ(std::memcmp(sent + 4, FlashProfileData + 0, 314), 0);
    EXPECT_NE(std::memcmp(sent + 4, FlashProfileData + 0x13A, 314), 0);  // not entry 1's
    // The copy kept for the check is what was sent.
    ASSERT_GE(rig.window->ProfileCopy.size(), 318u);
    EXPECT_EQ(std::memcmp(rig.window->ProfileCopy.data(), sent, 318), 0);
}

TEST(FlashSequence, FormatBProfileForChipBFB6IsCheckedLocally) {
    FlasherRig rig;
    VirtualDrive::Config c = FlasherRig::Model("1A10");
    c.flashId = {0xBF, 0xB6, 0x00, 0x01};
    rig.AddDrive(c);
    rig.SetImage(262144);
    PutMarker(rig, 0x4000);
    std::memcpy(rig.pkg.Image() + 0x4010, "DVD-ROM KVA-204", 15);
    rig.Start();
    ASSERT_TRUE(rig.window->ProfileFormatB);
    std::vector<uint8_t> profileSent;
    rig.os.onCommand = [&](const uint8_t* cdb, const PassThroughRecord*) {
        if (cdb[0] == 0x3B && cdb[9] == 0x7F && cdb[3] == 0 && profileSent.empty())
            profileSent.assign(CDDrive::DataBuffer(), CDDrive::DataBuffer() + 1280);
    };
    std::vector<TraceEntry> t = rig.Flash();
    rig.os.onCommand = nullptr;
    ASSERT_EQ(profileSent.size(), 1280u);

    std::vector<TraceEntry> writes = Of(t, 0x3B);
    ASSERT_EQ(writes.size(), 1u + 16 + 1);  // no entry critical
    EXPECT_EQ(Cdb(writes[0]), (std::vector<uint8_t>{0x3B, 5, 1, 0, 0, 0, 0, 5, 0, 0x7F, 0, 0}));
    EXPECT_EQ(writes[0].length, 1280u);
    EXPECT_EQ(Of(t, 0x3C).size(), 16u);  // no profile read-back
    EXPECT_EQ(rig.window->ProfileDataOffset, 0x2FEu);
    EXPECT_EQ(rig.form.status, "Flash Completed.");
    // The header, then the shared profile of entries 2 and 3 from 0x2FE, cut to 1274 bytes
    // (the image download overwrites it in the drive, so it is taken as it was sent).
    const uint8_t* sent = profileSent.data();
    const uint8_t start[14] = {0xBF, 0xB6, 0x00, 0x01, 0x05, 0x00, 0x02,
                               0x2B, 0x71, 0x8F, 0x08, 0xC2, 0x00, 0xC2};
    EXPECT_EQ(std::memcmp(sent, start, sizeof start), 0);
    EXPECT_EQ(std::memcmp(sent + 6, FlashProfileData + 0x2FE, 1274), 0);
}

TEST(FlashSequence, ChipNotFoundSendsTheNotFoundHeaderAndSkipsTheProfileCheck) {
    FlasherRig rig;
    VirtualDrive::Config c = FlasherRig::Model("1A10");
    c.flashId = {0x11, 0x22, 0, 0};
    rig.AddDrive(c);
    rig.SetImage(262144);
    PutMarker(rig, 0x1100);
    rig.Start();
    std::vector<TraceEntry> t = rig.Flash();
    std::vector<TraceEntry> writes = Of(t, 0x3B);
    EXPECT_EQ(Cdb(writes[0]), (std::vector<uint8_t>{0x3B, 5, 1, 8, 0, 0, 0, 0, 4, 0x7F, 0, 0}));
    EXPECT_FALSE(rig.window->ProfileFound);
    EXPECT_EQ(Of(t, 0x3C).size(), 16u);
    EXPECT_EQ(rig.form.status, "Flash Completed.");
}

TEST(FlashSequence, NoteSelectsTheCommitControl) {
    for (auto [note, control] : {std::pair<const char*, uint8_t>{"FLASH-ALL and more", 0xA0},
                                 {"flash-all", 0x80},
                                 {"", 0x80}}) {
        FlasherRig rig;
        rig.AddDrive(FlasherRig::Model("1A10"));
        rig.SetImage(16384);
        rig.pkg.Set(kNoteOffset, note);
        rig.Start();
        std::vector<TraceEntry> t = rig.Flash();
        std::vector<TraceEntry> w = Of(t, 0x3B);
        ASSERT_EQ(w.size(), 2u);
        EXPECT_TRUE(IsCommit(w[1]));
        EXPECT_EQ(w[1].cdb[9], control) << note;
    }
}

TEST(FlashSequence, PartialLastChunkCarriesOnlyTheRemainingBytes) {
    FlasherRig rig;
    VirtualDrive& drive = rig.AddDrive(FlasherRig::Model("1A10"));
    rig.SetImage(2 * 16384 + 100);
    rig.Start();
    std::vector<TraceEntry> t = rig.Flash();
    std::vector<TraceEntry> w = Of(t, 0x3B), r = Of(t, 0x3C);
    ASSERT_EQ(w.size(), 4u);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(Get24(w[2].cdb + 3), 32768u);
    EXPECT_EQ(Get24(w[2].cdb + 6), 100u);
    EXPECT_EQ(w[2].length, 100u);
    EXPECT_EQ(Get24(r[2].cdb + 6), 100u);
    EXPECT_EQ(r[2].length, 100u);
    EXPECT_EQ(rig.form.status, "Flash Completed.");
    EXPECT_EQ(drive.Revision(), "1A50");
}

TEST(FlashSequence, RevisionPrompts) {
    {  // range-limited package, drive already at the packaged revision: nothing is sent
        FlasherRig rig;
        rig.AddDrive(FlasherRig::Model("1A50"));
        rig.SetImage(16384, "1A50");
        rig.Start();
        std::vector<TraceEntry> t = rig.Flash();
        EXPECT_TRUE(t.empty());
        ASSERT_EQ(rig.form.boxes.size(), 1u);
        EXPECT_EQ(rig.form.boxes[0].text,
                  "\nWARNING:\n\nYour drive FW:1A50 is aready the most updated ?");
        EXPECT_EQ(rig.form.boxes[0].kind, BoxKind::Warning);
        EXPECT_EQ(rig.form.boxes[0].buttons, BoxButtons::Ok);
        EXPECT_EQ(rig.form.cursor, CursorKind::Default);
    }
    {  // any-firmware package: a downgrade is asked with a warning-type Yes/No box
        FlasherRig rig;
        rig.pkg.Set(kRangeOffset, "-----------");
        rig.AddDrive(FlasherRig::Model("1A60"));
        rig.SetImage(16384, "1A50");
        rig.Start();
        std::vector<TraceEntry> t = rig.Flash(BoxAnswer::No);
        EXPECT_TRUE(t.empty());
        ASSERT_EQ(rig.form.boxes.size(), 1u);
        EXPECT_EQ(rig.form.boxes[0].text, "\nUpdate FW:1A60 to FW:1A50 ?\n");
        EXPECT_EQ(rig.form.boxes[0].kind, BoxKind::Warning);
        EXPECT_EQ(rig.form.boxes[0].buttons, BoxButtons::YesNo);
        t = rig.Flash(BoxAnswer::Yes);
        EXPECT_EQ(Commits(t), 1u);
    }
    {  // upper case sorts before lower case: 1B2c is newer than 1B2C
        FlasherRig rig;
        rig.pkg.Set(kRangeOffset, "1B00-1B3z");
        rig.pkg.Set(kInquiryOffset, "OPTIDRV CDRW-A100");
        rig.AddDrive(FlasherRig::Model("1B2c"));
        rig.SetImage(16384, "1B2C");
        rig.Start();
        EXPECT_TRUE(rig.Flash().empty());
        EXPECT_EQ(rig.form.boxes[0].kind, BoxKind::Warning);
    }
}

TEST(FlashSequence, DiscInTheDriveStopsAfterLoadTestAndReadCapacity) {
    FlasherRig rig;
    VirtualDrive::Config c = FlasherRig::Model("1A10");
    c.medium = Medium::Disc;
    rig.AddDrive(c);
    rig.SetImage(16384);
    rig.Start();
    std::vector<TraceEntry> t = rig.Flash();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].cdb[0], 0x1B);
    EXPECT_EQ(t[1].cdb[0], 0x00);
    EXPECT_EQ(t[2].cdb[0], 0x25);
    EXPECT_EQ(t[2].length, 8u);
    EXPECT_EQ(rig.form.BoxTexts().back(), "Remove disc, before to do the flash task.");
    EXPECT_EQ(rig.form.cursor, CursorKind::Default);
    EXPECT_EQ(rig.form.status, "");
}

TEST(FlashSequence, BecomingReadyRestartsTheCountOfTen) {
    FlasherRig rig;
    VirtualDrive::Config c = FlasherRig::Model("1A10");
    c.medium = Medium::Disc;  // answers TEST UNIT READY without error...
    c.becomingReady = 3;
    VirtualDrive& drive = rig.AddDrive(c);
    drive.FailWithSense(0x25, 0, 2, 0x3A, 0);  // ...while READ CAPACITY reports no medium
    rig.SetImage(16384);
    rig.Start();
    std::vector<TraceEntry> t = rig.Flash();
    EXPECT_EQ(Of(t, 0x00).size(), 12u);  // 3 becoming ready, then 9 more to reach ten
    EXPECT_EQ(Of(t, 0x25).size(), 9u);
    EXPECT_EQ(rig.os.sleptMs, 12u * 30);
    EXPECT_EQ(rig.form.status, "Flash Completed.");
}

TEST(FlashSequence, DriveThatNeverBecomesReadyIsAbandonedBeforeAnyDownload) {
    FlasherRig rig;
    VirtualDrive::Config c = FlasherRig::Model("1A10");
    c.becomingReady = 1000000;
    rig.AddDrive(c);
    rig.SetImage(16384);
    rig.Start();
    std::vector<TraceEntry> t = rig.Flash();
    EXPECT_EQ(Of(t, 0x3B).size(), 0u);
    EXPECT_EQ(Of(t, 0x00).size(), 4000u);
    EXPECT_EQ(rig.os.sleptMs, 120000u);
    EXPECT_NE(rig.form.BoxTexts().back().find("did not become ready"), std::string::npos);
    EXPECT_EQ(rig.form.cursor, CursorKind::Default);
}

TEST(FlashSequence, ASecondFlashWithALongerProfileGrowsTheCopy) {
    FlasherRig rig;
    rig.pkg.Set(kRangeOffset, "-----------");  // any firmware, so the drive can be flashed twice
    VirtualDrive& drive = rig.AddDrive(FlasherRig::Model("1A10"));
    rig.SetImage(16384);
    PutMarker(rig, 0x1100);
    rig.Start();
    rig.Flash();
    ASSERT_EQ(rig.form.status, "Flash Completed.");
    EXPECT_EQ(rig.window->ProfileLength, 318u);

    drive.config.flashId = {0xBF, 0xB4, 0, 0};  // 452-byte profile
    std::vector<TraceEntry> t = rig.Flash();
    EXPECT_EQ(rig.window->ProfileLength, 456u);
    EXPECT_GE(rig.window->ProfileCopy.size(), 456u);
    EXPECT_EQ(Of(t, 0x3C)[0].length, 456u);
    EXPECT_EQ(rig.form.status, "Flash Completed.");
}

TEST(FlashSequence, TimedOutCommitIsAFailureNotACompletion) {
    for (bool aspi : {true, false}) {
        FlasherRig rig(aspi);
        VirtualDrive& drive = rig.AddDrive(FlasherRig::Model("1A10"));
        drive.TimeOut(0x3B, 2);  // the second WRITE BUFFER: the commit of a one-chunk image
        rig.SetImage(16384);
        rig.Start();
        rig.Flash();
        EXPECT_EQ(rig.form.status, "Flash Fail.") << aspi;
        EXPECT_EQ(rig.form.BoxTexts().back().rfind("Write Buffer> ", 0), 0u);
        EXPECT_EQ(CDDrive::TimeoutSeconds(), 180);
        EXPECT_NE(rig.form.combo[0].find("1A10"), std::string::npos);  // not refreshed
    }
}

// The progress bar is the transfer cursor; the commit runs at 198 of 200 under the
// 180-second time-out, which goes back to 60 once it succeeded.
TEST(FlashSequence, ProgressBarAndTimeOutAtEachCommand) {
    for (bool aspi : {true, false}) {
        SCOPED_TRACE(aspi ? "ASPI" : "pass-through");
        FlasherRig rig(aspi);
        rig.AddDrive(FlasherRig::Model("1A10"));
        rig.SetImage(3 * 16384);
        rig.Start();
        int chunks = 0, commits = 0, refreshes = 0;
        rig.os.onCommand = [&](const uint8_t* cdb, const PassThroughRecord* record) {
            const FakeForm& f = rig.form;
            int timeout = CDDrive::TimeoutSeconds();
            if (record) {
                EXPECT_EQ(record->Spt.TimeOutValue, uint32_t(timeout));
            }
            bool chunk = (cdb[0] == 0x3B && cdb[9] == 0x00) || cdb[0] == 0x3C;
            if (chunk) {
                ++chunks;
                EXPECT_EQ(f.progressMin, 0);
                EXPECT_EQ(f.progressMax, 3 * 16384);
                EXPECT_EQ(f.progressStep, 16384);
                EXPECT_EQ(f.progressPos, int(Get24(cdb + 3)));  // the offset is the position
                EXPECT_EQ(f.cursor, CursorKind::Hourglass);
                EXPECT_EQ(timeout, 60);
            } else if (cdb[0] == 0x3B && cdb[9] == 0x80) {
                ++commits;
                EXPECT_EQ(f.progressMax, 200);
                EXPECT_EQ(f.progressPos, 198);
                EXPECT_EQ(f.progressStep, 0);
                EXPECT_EQ(timeout, 180);
                EXPECT_EQ(f.status, "Don't turn off the system, Flash is in progress...");
            } else if (cdb[0] == 0x12 && commits == 1) {
                ++refreshes;
                EXPECT_EQ(f.progressPos, 200);
                EXPECT_EQ(timeout, 60);
                EXPECT_EQ(f.status, "Flash Completed.");
            }
        };
        rig.Flash();
        rig.os.onCommand = nullptr;
        EXPECT_EQ(chunks, 6);
        EXPECT_EQ(commits, 1);
        EXPECT_EQ(refreshes, 1);
        EXPECT_EQ(rig.form.status, "Flash Completed.");
        EXPECT_EQ(rig.form.progressPos, 0);
        EXPECT_EQ(rig.form.cursor, CursorKind::Default);
        EXPECT_EQ(CDDrive::TimeoutSeconds(), 60);
    }
}

TEST(FlashSequence, RefreshWithNoItemSelectedUpdatesTheFlashedDrivesItem) {
    FlasherRig rig;
    rig.AddDrive(FlasherRig::Model("1A10"));
    rig.AddDrive(FlasherRig::Model("1A20"));
    rig.SetImage(16384, "1A50");
    rig.Start();
    ASSERT_EQ(rig.form.combo.size(), 2u);
    rig.form.ComboSetIndex(1);
    rig.window->ComboBoxChange();
    CDDrive* second = rig.window->CurrentDrive;
    ASSERT_EQ(second, rig.window->Drives->Drives[1]);
    rig.form.comboIndex = -1;  // typed text: no item selected at the click
    rig.Flash();
    ASSERT_EQ(rig.form.status, "Flash Completed.");
    EXPECT_EQ(rig.form.combo, (std::vector<std::string>{"0-0-0  : OPTIDRV CDRW-A100       1A10",
                                                        "0-1-0  : OPTIDRV CDRW-A100       1A50"}));
    EXPECT_EQ(rig.form.comboIndex, 1);
    EXPECT_EQ(rig.window->CurrentDrive, second);
}

// WriteE2 is not part of the flash; its edge cases on their own.
class WriteE2 : public ::testing::Test {
  protected:
    FlasherRig rig;
    VirtualDrive* drive = nullptr;
    void SetUp() override {
        drive = &rig.AddDrive(FlasherRig::Model("1A10"));
        rig.SetImage(16384);
        rig.Start();
        rig.form.boxes.clear();
    }
    std::vector<TraceEntry> Writes() const { return Of(rig.os.trace, 0xDF); }
};

TEST_F(WriteE2, CountZeroSendsNothing) {
    const uint8_t data[1] = {0x11};
    EXPECT_TRUE(rig.window->WriteE2(data, 0x1234, 0));
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(rig.form.boxes.empty());
    EXPECT_EQ(drive->eeprom[0x1234], 0xFF);
}

TEST_F(WriteE2, AddressWrapsFromFFFFToZero) {
    const uint8_t data[2] = {0xA1, 0xB2};
    EXPECT_TRUE(rig.window->WriteE2(data, 0xFFFF, 2));
    std::vector<TraceEntry> w = Writes();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(Cdb(w[0]), (std::vector<uint8_t>{0xDF, 0x0A, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xA1, 0, 0}));
    EXPECT_EQ(Cdb(w[1]), (std::vector<uint8_t>{0xDF, 0x0A, 0, 0, 0, 0, 0, 0x00, 0x00, 0xB2, 0, 0}));
    EXPECT_TRUE(w[1].dataIn);
    EXPECT_EQ(w[1].length, 0u);
    EXPECT_EQ(drive->eeprom[0xFFFF], 0xA1);
    EXPECT_EQ(drive->eeprom[0x0000], 0xB2);
}

TEST_F(WriteE2, FailureOnTheThirdByteStopsThereWithOneBox) {
    drive->FailWithSense(0xDF, 3, 0x03, 0x0C, 0x00);
    const uint8_t data[5] = {1, 2, 3, 4, 5};
    EXPECT_FALSE(rig.window->WriteE2(data, 0x0100, 5));
    EXPECT_EQ(Writes().size(), 3u);
    ASSERT_EQ(rig.form.boxes.size(), 1u);
    EXPECT_EQ(rig.form.boxes[0].text.rfind("Write E2> 03 0C 00", 0), 0u) << rig.form.boxes[0].text;
    EXPECT_EQ(rig.form.boxes[0].kind, BoxKind::Plain);
    EXPECT_EQ(rig.form.boxes[0].buttons, BoxButtons::Ok);
    EXPECT_EQ(drive->eeprom[0x0100], 1);
    EXPECT_EQ(drive->eeprom[0x0101], 2);
    EXPECT_EQ(drive->eeprom[0x0102], 0xFF);  // the failed byte was not performed
    EXPECT_EQ(drive->eeprom[0x0103], 0xFF);
}
