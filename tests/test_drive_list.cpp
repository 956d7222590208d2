// Tests of the revision order, eligibility and the flasher's drive list.
#include <gtest/gtest.h>

#include <algorithm>

#include "flash/Revision.h"
#include "tests/support/FlasherRig.h"

namespace {
const char* kHeading =
    "\nERROR:\n\nCan't found CDRW-A100 firmware: 1A00-1A99 drive !\n"
    "\nThis flash utility only supports CDRW-A100 firmware: 1A00-1A99\n";
}

TEST(RevisionOrder, BytewiseUnsignedWithShorterPrefixLesser) {
    EXPECT_LT(CompareRevision("1B2C", "1B2c"), 0);  // upper case before lower case
    EXPECT_LT(CompareRevision("1B9Z", "1BA0"), 0);  // digits before letters
    EXPECT_LT(CompareRevision("1B", "1B00"), 0);
    EXPECT_EQ(CompareRevision("1B00", "1B00"), 0);
    EXPECT_GT(CompareRevision("\xC0", "z"), 0);  // unsigned, not signed chars
    EXPECT_LT(CompareRevision("", "0"), 0);
}

struct EligibilityRow {
    const char* inquiry;
    const char* range;
    const char* vendor;
    const char* product;
    const char* revision;
    bool eligible;
};

class Eligibility : public testing::TestWithParam<EligibilityRow> {};

TEST_P(Eligibility, FollowsTheTable) {
    const EligibilityRow& row = GetParam();
    FlasherRig rig;
    rig.pkg.Set(kInquiryOffset, row.inquiry).Set(kRangeOffset, row.range);
    VirtualDrive::Config c;
    c.vendor = row.vendor;
    c.product = row.product;
    c.revision = row.revision;
    rig.AddDrive(c);
    rig.Start();
    bool listed = rig.form.ComboCount() == 1;
    EXPECT_EQ(rig.form.quitPosted, !listed);
    EXPECT_EQ(listed, row.eligible) << row.inquiry << " / " << row.range << " / " << row.revision;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Eligibility,
    testing::Values(
        // Any drive: nothing else is tested.
        EligibilityRow{"--", "1A00-1A99", "OTHER", "DRIVE", "ZZZZ", true},
        // Identification must be equal, case and blanks included.
        EligibilityRow{"OPTIDRV CDRW-A100", "1A00-1A99", "OPTIDRV", "CDRW-A200", "1A10", false},
        EligibilityRow{"OPTIDRV CDRW-A100", "1A00-1A99", "optidrv", "CDRW-A100", "1A10", false},
        // Any firmware: range and "7Q0" rule skipped.
        EligibilityRow{"OPTIDRV CDRW-A100", "--------", "OPTIDRV", "CDRW-A100", "ZZZZ", true},
        EligibilityRow{"OPTIDRV CDRW-A100", "-----", "OPTIDRV", "CDRW-A100", "ZZZZ", false},
        // Range ends included; order is bytewise.
        EligibilityRow{"OPTIDRV CDRW-A100", "1B00-1B3Z", "OPTIDRV", "CDRW-A100", "1B00", true},
        EligibilityRow{"OPTIDRV CDRW-A100", "1B00-1B3Z", "OPTIDRV", "CDRW-A100", "1B3Z", true},
        EligibilityRow{"OPTIDRV CDRW-A100", "1B00-1B3Z", "OPTIDRV", "CDRW-A100", "1B2C", true},
        EligibilityRow{"OPTIDRV CDRW-A100", "1B00-1B3Z", "OPTIDRV", "CDRW-A100", "1B4A", false},
        EligibilityRow{"OPTIDRV CDRW-A100", "1B00-1B3Z", "OPTIDRV", "CDRW-A100", "1A9Z", false},
        EligibilityRow{"OPTIDRV CDRW-A100", "1B00-1B3Z", "OPTIDRV", "CDRW-A100", "1B3a", false},
        // Out of range but "7Q0", in any case.
        EligibilityRow{"OPTIDRV CDRW-A100", "1B00-1B3Z", "OPTIDRV", "CDRW-A100", "7Q05", true},
        EligibilityRow{"OPTIDRV CDRW-A100", "1B00-1B3Z", "OPTIDRV", "CDRW-A100", "7q0a", true},
        EligibilityRow{"OPTIDRV CDRW-A100", "1B00-1B3Z", "OPTIDRV", "CDRW-A100", "7Q1A", false}));

TEST(DriveList, ListsOnlyEligibleDrivesAndMapsItemsToCollection) {
    FlasherRig rig;
    rig.AddDrive(FlasherRig::Model("2000"));  // 0: out of range
    rig.AddDrive(FlasherRig::Model("1A10"));  // 1
    rig.AddDrive(FlasherRig::Model("0999"));  // 2: out of range
    rig.AddDrive(FlasherRig::Model("1A20"));  // 3
    rig.Start();

    EXPECT_FALSE(rig.form.quitPosted);
    ASSERT_EQ(rig.form.combo.size(), 2u);
    EXPECT_EQ(rig.form.combo[0], "0-1-0  : OPTIDRV CDRW-A100       1A10");
    EXPECT_EQ(rig.form.combo[1], "1-1-0  : OPTIDRV CDRW-A100       1A20");
    EXPECT_EQ(rig.window->DriveIndexMap, (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(rig.form.comboIndex, 0);
    EXPECT_EQ(rig.window->CurrentDrive, rig.window->Drives->Drives[1]);
    EXPECT_EQ(rig.form.caption, "OPTIDRV Flash Utility V1.048A CDRW-A100");
    EXPECT_FALSE(rig.form.fileListVisible);
    ASSERT_TRUE(rig.window->DriveData);
    EXPECT_EQ(CDDrive::DataBuffer(), rig.window->DriveData->bytes);
    EXPECT_EQ(CDDrive::DataBufferLength(), 16384u);

    rig.form.comboIndex = 1;
    rig.window->ComboBoxChange();
    EXPECT_EQ(rig.window->CurrentDrive, rig.window->Drives->Drives[3]);
    EXPECT_EQ(rig.window->Drives->CurrentIndex, 3);
}

TEST(DriveList, NoEligibleDriveListsEveryDriveInOrderAndQuits) {
    FlasherRig rig;
    rig.AddDrive(FlasherRig::Model("2000"));
    VirtualDrive::Config other;
    other.vendor = "OTHER";
    other.product = "DVD-X";
    other.revision = "1A10";
    rig.AddDrive(other);
    rig.Start();

    ASSERT_EQ(rig.form.boxes.size(), 2u);  // the warning, then the error
    const ShownBox& box = rig.form.boxes[1];
    EXPECT_EQ(box.kind, BoxKind::Error);
    EXPECT_EQ(box.text, std::string(kHeading) + "\nDetected drives:\n" + std::string(59, '-') +
                            "\n0-0-0  : OPTIDRV CDRW-A100       2000\n"
                            "0-1-0  : OTHER   DVD-X           1A10\n");
    EXPECT_TRUE(rig.form.quitPosted);
    EXPECT_EQ(rig.form.exitCode, 0);
    EXPECT_TRUE(rig.form.closed);
    EXPECT_FALSE(rig.window->DriveData);
    EXPECT_EQ(rig.window->ImageSize, 0u);  // never classified
}

TEST(DriveList, NoDriveAtAll) {
    FlasherRig rig(false);  // NT family, no optical drive letter
    rig.os.AddLetter('C', 3);
    rig.Start();
    ASSERT_EQ(rig.form.boxes.size(), 2u);
    EXPECT_EQ(rig.form.boxes[1].text, std::string(kHeading) + "\nCan't find ATAPI Drive !\n");
    EXPECT_EQ(rig.form.boxes[1].kind, BoxKind::Error);
    EXPECT_TRUE(rig.form.quitPosted);
    EXPECT_TRUE(rig.form.closed);
}

TEST(DriveList, MissingAspiLayerGivesOneBoxThenTheNoDriveBox) {
    FlasherRig rig;  // 9x family
    rig.os.aspiLayer = SimOs::AspiLayer::Missing;
    rig.AddDrive(FlasherRig::Model("1A10"));
    rig.Start();
    ASSERT_EQ(rig.form.boxes.size(), 3u);  // the warning, the layer, no drive
    EXPECT_EQ(rig.form.boxes[1].text.rfind("Unable to load WNASPI32.DLL !\n", 0), 0u);
    EXPECT_EQ(rig.form.boxes[1].kind, BoxKind::Error);
    EXPECT_EQ(rig.form.boxes[2].text, std::string(kHeading) + "\nCan't find ATAPI Drive !\n");
    EXPECT_EQ(rig.form.boxes[2].kind, BoxKind::Error);
    EXPECT_TRUE(rig.form.quitPosted);
    EXPECT_EQ(rig.form.exitCode, 0);
    EXPECT_TRUE(rig.form.closed);
}

TEST(DriveList, StatusLineHasRoomForTheLongestFlashTextsBeforeTheWindowIsShown) {
    FlasherRig rig;
    rig.AddDrive(FlasherRig::Model("1A10"));
    rig.SetImage(262144);  // plain layout: 16 chunks, then the commit
    rig.Start();
    const std::vector<std::string>& fitted = rig.form.fitted;
    for (const char* text : {"Read back and Verify drive's DRAM... , Compare BIN and DRAM Fail! ",
                             "Read back and Verify drive's DRAM... , Valid Profile Fail!",
                             "Write profile to drive's DRAM... , Fail! ",
                             "Don't turn off the system, Flash is in progress...", "Flash Fail."})
        EXPECT_NE(std::find(fitted.begin(), fitted.end(), text), fitted.end()) << text;
    // All made at start-up (the window is shown after it): none while work runs.
    EXPECT_EQ(fitted.size(), 13u);

    // A commit that fails: its text too had room made for it.
    rig.os.AspiDriveAt(0, 0)->FailWithSense(0x3B, 17, 0x03, 0x0C, 0x00);
    rig.Flash();
    EXPECT_EQ(rig.form.status, "Flash Fail.");
    EXPECT_EQ(rig.form.unfitted, std::vector<std::string>{});
}

TEST(DriveList, AnyFirmwareHeadingOmitsTheRange) {
    FlasherRig rig;
    rig.pkg.Set(kRangeOffset, "-----------");
    rig.pkg.Set(kInquiryOffset, "OPTIDRV CDRW-A999");
    rig.AddDrive(FlasherRig::Model("1A10"));
    rig.Start();
    ASSERT_EQ(rig.form.boxes.size(), 2u);
    EXPECT_EQ(rig.form.boxes[1].text.rfind(
                  "\nERROR:\n\nCan't found CDRW-A100 drive !\n\nThis flash utility only supports "
                  "CDRW-A100\n\nDetected drives:\n",
                  0),
              0u);
}

TEST(DriveList, PackageWithImpossibleImageSizeIsRefusedBeforeAnyDriveIsTouched) {
    for (uint32_t size : {uint32_t(kImageAreaSize + 1), 0xFFFFFFFFu, 0u}) {
        FlasherRig rig;
        rig.AddDrive(FlasherRig::Model("1A10"));
        rig.pkg.SetImageSize(size);
        rig.Start();
        ASSERT_EQ(rig.form.boxes.size(), 1u) << size;
        EXPECT_EQ(rig.form.boxes[0].kind, BoxKind::Error);
        EXPECT_NE(rig.form.boxes[0].text.find("No drive was touched."), std::string::npos);
        EXPECT_TRUE(rig.form.quitPosted);
        EXPECT_TRUE(rig.os.trace.empty());
        EXPECT_TRUE(rig.os.calls.empty());
    }
}
