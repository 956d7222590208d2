// The package record: its byte layout, the role test, the wildcards and the
// texts derived from the description block.
#include <gtest/gtest.h>

#include <cstring>

#include "package/Package.h"
#include "tests/support/TestPackage.h"

namespace {

// Writes raw bytes at a literal offset, so a wrong layout constant shows.
void Poke(TestPackage& pkg, size_t offset, const char* bytes, size_t n) {
    std::memcpy(pkg.bytes.data() + offset, bytes, n);
}

std::string RangeTextOf(const char* range) {
    TestPackage pkg;
    pkg.Set(kRangeOffset, range);
    return PackageView(pkg.Record()).RangeText();
}

}  // namespace

TEST(PackageRecord, TemplateStartsInBuilderRole) {
    PackageView view(PackageRecord());
    EXPECT_TRUE(view.IsTemplate());
}

TEST(PackageRecord, OwnRecordStartsWithTheKeywordAndItsNul) {
    const uint8_t* record = PackageRecord();
    EXPECT_EQ(std::memcmp(record, "FWBLOCK-MARKER", 14), 0);
    EXPECT_EQ(record[14], 0);
    EXPECT_EQ(std::memcmp(record + 152, "TMPL", 4), 0);
}

TEST(PackageRecord, RecordIsKeywordBlockAndImageAreaWithoutGaps) {
    // The program's own record, read at literal offsets: the keyword and its NUL
    // (0-14), the empty block (15-151), then the image area from 152 to 327,831,
    // holding the template marker and zeros. A gap or a shorter area moves or
    // cuts these bytes (and a read past the record's storage shows under ASan).
    const uint8_t* record = PackageRecord();
    EXPECT_EQ(std::memcmp(record, "FWBLOCK-MARKER\0", 15), 0);
    for (size_t i = 15; i < 152; ++i) ASSERT_EQ(record[i], 0) << "block byte " << i;
    EXPECT_EQ(std::memcmp(record + 152, "TMPL", 4), 0);
    for (size_t i = 156; i < 327832; ++i) ASSERT_EQ(record[i], 0) << "image byte " << i;
    EXPECT_EQ(kPackageRecordSize, 327832u);

    PackageView view(record);
    EXPECT_EQ(view.Block(), record + 15);
    EXPECT_EQ(view.FirmwareArea(), record + 152);
    EXPECT_TRUE(view.IsTemplate());
    EXPECT_EQ(view.ImageSize(), 0u);  // block bytes 133-136 of the empty block
}

TEST(PackageLayout, EachFieldIsReadAtItsOffset) {
    TestPackage pkg;
    std::memset(pkg.bytes.data() + 15, 0, 137);
    Poke(pkg, 15, "MODEL", 6);
    Poke(pkg, 40, "INQUIRY", 8);
    Poke(pkg, 65, "1000-2000", 10);
    Poke(pkg, 90, "VENDOR", 7);
    Poke(pkg, 115, "NOTE", 5);
    Poke(pkg, 140, "AB12.", 5);
    Poke(pkg, 148, "\x04\x03\x02\x01", 4);
    PackageView view(pkg.Record());
    EXPECT_EQ(view.Model(), "MODEL");
    EXPECT_EQ(view.Inquiry(), "INQUIRY");
    EXPECT_EQ(view.Range(), "1000-2000");
    EXPECT_EQ(view.Vendor(), "VENDOR");
    EXPECT_EQ(view.Note(), "NOTE");
    EXPECT_EQ(view.VersionTag(), "AB12.");
    EXPECT_EQ(view.NewRevision(), "AB12");
    EXPECT_EQ(view.ImageSize(), 0x01020304u) << "little-endian";
}

TEST(PackageLayout, FieldsEndAtTheirFirstNulAndNeverRunIntoTheNext) {
    TestPackage pkg;
    Poke(pkg, 15, "AB\0CD", 5);
    // A slot filled to its last byte with no NUL: the next field must not follow.
    Poke(pkg, 90, "VVVVVVVVVVVVVVVVVVVVVVVVV", 25);
    Poke(pkg, 115, "NEXT", 5);
    PackageView view(pkg.Record());
    EXPECT_EQ(view.Model(), "AB");
    EXPECT_EQ(view.Vendor(), std::string(25, 'V'));
    // The version tag is five bytes with the reserved zeros behind it.
    Poke(pkg, 140, "ABCDE", 5);
    Poke(pkg, 145, "XYZ", 3);
    EXPECT_EQ(view.VersionTag(), "ABCDE");
}

TEST(PackageRole, OnlyTheExactUpperCaseMarkerMakesTheTemplate) {
    struct Case {
        const char* first4;
        bool isTemplate;
    } cases[] = {{"TMPL", true},  {"tmpl", false},  {"Tmpl", false},
                 {"TMPX", false}, {"\0MPL", false}, {"MPLT", false}};
    for (const Case& c : cases) {
        TestPackage pkg;
        std::memcpy(pkg.Image(), c.first4, 4);
        EXPECT_EQ(PackageView(pkg.Record()).IsTemplate(), c.isTemplate) << c.first4;
    }
}

TEST(PackageWildcards, AnyFirmwareNeedsDashesAtFirstAndSixthCharacter) {
    struct Case {
        const char* range;
        bool any;
    } cases[] = {{"-AAAA-BBB", true},  {"-AAA-BBBB", false}, {"-----", false},     {"------", true},
                 {"-AAA0BBBB", false}, {"1A00-1A99", false}, {"0000-----", false}, {"", false}};
    for (const Case& c : cases) {
        TestPackage pkg;
        pkg.Set(kRangeOffset, c.range);
        EXPECT_EQ(PackageView(pkg.Record()).AnyFirmware(), c.any) << '"' << c.range << '"';
    }
}

TEST(PackageWildcards, AnyDriveAndFlashAllAreReadFromTheFieldStarts) {
    TestPackage pkg;
    EXPECT_FALSE(PackageView(pkg.Record()).AnyDrive());
    EXPECT_FALSE(PackageView(pkg.Record()).FlashAll());
    pkg.Set(kInquiryOffset, "--");
    pkg.Set(kNoteOffset, "FLASH-ALL");
    EXPECT_TRUE(PackageView(pkg.Record()).AnyDrive());
    EXPECT_TRUE(PackageView(pkg.Record()).FlashAll());
    pkg.Set(kInquiryOffset, "-X");
    pkg.Set(kNoteOffset, "FLASH-AL");
    EXPECT_FALSE(PackageView(pkg.Record()).AnyDrive());
    EXPECT_FALSE(PackageView(pkg.Record()).FlashAll());
}

TEST(PackageTexts, RangeTextIsNineCharactersPaddedOnTheLeft) {
    EXPECT_EQ(RangeTextOf("1A00-1A99"), "1A00-1A99");
    EXPECT_EQ(RangeTextOf("1A-1B"), "    1A-1B");
    EXPECT_EQ(RangeTextOf(""), "         ");
    EXPECT_EQ(RangeTextOf("1A00-1A99-EXTRA"), "1A00-1A99");
}

TEST(PackageTexts, InquiryTextIsTwentyFourCharactersPaddedOnTheRight) {
    TestPackage pkg;
    pkg.Set(kInquiryOffset, "OPTIDRV CDRW");
    EXPECT_EQ(PackageView(pkg.Record()).InquiryText(), "OPTIDRV CDRW            ");
    pkg.Set(kInquiryOffset, "OPTIDRV CDRW-A100 EXTRA LONG");  // slot keeps 24 + NUL
    EXPECT_EQ(PackageView(pkg.Record()).InquiryText(), "OPTIDRV CDRW-A100 EXTRA ");
}

TEST(PackageTexts, LowAndHighVersionAreTheFourCharactersAroundTheSeparator) {
    TestPackage pkg;
    pkg.Set(kRangeOffset, "1A00-1A99");
    PackageView view(pkg.Record());
    EXPECT_EQ(view.LowVersion(), "1A00");
    EXPECT_EQ(view.HighVersion(), "1A99");
    pkg.Set(kRangeOffset, "1A00-1A9");
    EXPECT_EQ(view.HighVersion(), " 1A9");  // "%4.4s" pads on the left
    pkg.Set(kRangeOffset, "1A0");
    EXPECT_EQ(view.LowVersion(), " 1A0");
    EXPECT_EQ(view.HighVersion(), "    ");
    pkg.Set(kRangeOffset, "1A00-1A99Z");
    EXPECT_EQ(view.HighVersion(), "1A99");
}
