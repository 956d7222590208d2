// The command blocks and the window-free rules of flash/, checked against
// literal bytes: a wrong name in drive/Scsi.h cannot hide a wrong byte.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "flash/Commands.h"
#include "flash/Eligibility.h"
#include "flash/FlashChip.h"
#include "flash/ImageClass.h"
#include "drive/Scsi.h"

namespace {
using Bytes = std::array<uint8_t, 12>;
Bytes Of(const CommandBytes& cdb) {
    Bytes b;
    std::memcpy(b.data(), cdb, 12);
    return b;
}
}  // namespace

TEST(Protocol, EveryBlockCarriesItsLiteralBytes) {
    CommandBytes cdb;
    std::memset(cdb, 0xEE, sizeof cdb);  // nothing of an earlier block may remain
    MakeWriteBuffer(cdb, 0x01C000, 0x4000, kControlData);
    EXPECT_EQ(Of(cdb), (Bytes{0x3B, 0x05, 0x01, 0x01, 0xC0, 0x00, 0x00, 0x40, 0x00, 0x00, 0, 0}));
    MakeWriteBuffer(cdb, kProfileAreaOffset, 0x13C, kControlProfile);
    EXPECT_EQ(Of(cdb), (Bytes{0x3B, 0x05, 0x01, 0x08, 0, 0, 0, 0x01, 0x3C, 0x7F, 0, 0}));
    MakeWriteBuffer(cdb, 0, 0, kControlCommitAll);
    EXPECT_EQ(Of(cdb), (Bytes{0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0xA0, 0, 0}));
    MakeReadBuffer(cdb, 0x04C000, 0x2A10);
    EXPECT_EQ(Of(cdb), (Bytes{0x3C, 0x01, 0x01, 0x04, 0xC0, 0x00, 0x00, 0x2A, 0x10, 0, 0, 0}));
    MakeWriteE2(cdb, 0x1234, 0x5A);
    EXPECT_EQ(Of(cdb), (Bytes{0xDF, 0x0A, 0, 0, 0, 0, 0, 0x12, 0x34, 0x5A, 0, 0}));
    MakeReadFlashId(cdb);
    EXPECT_EQ(Of(cdb), (Bytes{0xDF, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    MakeLoad(cdb);
    EXPECT_EQ(Of(cdb), (Bytes{0x1B, 0, 0, 0, 0x03, 0, 0, 0, 0, 0, 0, 0}));
    MakeStop(cdb);
    EXPECT_EQ(Of(cdb), (Bytes{0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    MakeTestUnitReady(cdb);
    EXPECT_EQ(Of(cdb), (Bytes{}));
    MakeStopPlayScan(cdb);
    EXPECT_EQ(Of(cdb), (Bytes{0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    MakeReadCapacity(cdb);
    EXPECT_EQ(Of(cdb), (Bytes{0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Protocol, OnlyADownloadWithACommitControlIsTheCommit) {
    Bytes b{0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80, 0, 0};
    EXPECT_TRUE(IsCommit(b.data()));
    b[9] = 0xA0;
    EXPECT_TRUE(IsCommit(b.data()));
    b[1] = 0xE5;  // the bits above the mode do not matter
    EXPECT_TRUE(IsCommit(b.data()));
    for (uint8_t control : {0x00, 0x7F, 0x81, 0xC0}) {
        b[9] = control;
        EXPECT_FALSE(IsCommit(b.data())) << int(control);
    }
    b = {0x3B, 0x02, 0x01, 0, 0, 0, 0, 0, 0, 0x80, 0, 0};  // another mode
    EXPECT_FALSE(IsCommit(b.data()));
    b = {0x3C, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80, 0, 0};  // READ BUFFER
    EXPECT_FALSE(IsCommit(b.data()));
}

TEST(Protocol, EligibilityWithoutAWindow) {
    EligibilityRule rule;
    rule.inquiry = "OPTIDRV CDRW-A100       ";
    rule.lowVersion = "1A00";
    rule.highVersion = "1A99";
    EXPECT_TRUE(IsEligible(rule, rule.inquiry, "1A50"));
    EXPECT_FALSE(IsEligible(rule, rule.inquiry, "1B00"));
    EXPECT_TRUE(IsEligible(rule, rule.inquiry, "7q01")) << "7Q0 drives take any range";
    EXPECT_FALSE(IsEligible(rule, "OPTIDRV CDRW-A100", "1A50")) << "blanks count";
    rule.anyFirmware = true;
    EXPECT_TRUE(IsEligible(rule, rule.inquiry, "ZZZZ"));
    rule.anyDrive = true;
    EXPECT_TRUE(IsEligible(rule, "OTHER", "0000"));
}

TEST(Protocol, ImageClassAndChipProfileWithoutAWindow) {
    std::vector<uint8_t> image(0x5000, 0);
    EXPECT_EQ(ClassifyImage(image.data()), ImageClass::Unmarked);
    image[0x1100] = 0x05;
    image[0x1101] = 0x80;
    EXPECT_EQ(ClassifyImage(image.data()), ImageClass::FourByteProfile);
    image[0x4008] = 0x05;
    image[0x4009] = 0x80;
    EXPECT_EQ(ClassifyImage(image.data()), ImageClass::OtherMarkedModel);
    std::memcpy(&image[0x4018], "DVD-ROM KVA-204", 15);
    EXPECT_EQ(ClassifyImage(image.data()), ImageClass::SixByteProfile);

    // The fourth chip (BF B6) shares the third's profile: its data starts
    // after the first two profiles only.
    std::vector<uint8_t> area(0x600);
    const uint8_t id[4] = {0xBF, 0xB6, 0x00, 0x01};
    ProfileBuild six = BuildProfile(id, false, true, area.data());
    ASSERT_EQ(six.chip, &FlashChipTable[3]);
    EXPECT_EQ(six.dataOffset, 0x013Au + 0x01C4u);
    EXPECT_EQ(six.headerLength, 6u);
    EXPECT_EQ(six.length, 0x500u);
    EXPECT_EQ(0, std::memcmp(area.data(), "\xBF\xB6\x00\x01\x05\x00", 6));
    EXPECT_EQ(0, std::memcmp(area.data() + 6, FlashProfileData + six.dataOffset, 0x500));

    const uint8_t odd[4] = {0xDA, 0xC8, 0x77, 0x77};  // extended ids ignored in the 4-byte form
    ProfileBuild four = BuildProfile(odd, true, false, area.data());
    ASSERT_EQ(four.chip, &FlashChipTable[0]);
    EXPECT_EQ(four.length, 4u + 0x013Au);
    EXPECT_EQ(0, std::memcmp(area.data(), "\xDA\xC8\x01\x3A", 4));

    const uint8_t unknown[4] = {0x01, 0x02, 0x03, 0x04};
    ProfileBuild none = BuildProfile(unknown, true, false, area.data());
    EXPECT_EQ(none.chip, nullptr);
    EXPECT_EQ(none.length, 4u);
    EXPECT_EQ(0, std::memcmp(area.data(), "\xFF\xFF\x00\x00", 4));
}
