// What the flasher concludes from the drive: the profile read-back proves
// only bytes the drive delivered, the revision texts are "%4.4s" fields, and
// a flash the drive accepted but does not show is told to the user.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "flash/FlashChip.h"
#include "tests/support/FlasherRig.h"
#include "tests/support/ShortReadOs.h"

namespace {

// ---- the profile read-back ------------------------------------------------------------

// The image's last chunk begins with the very profile transfer (header DA
// C8 01 3A and the chip's 314 bytes), so the download leaves exactly the
// expected bytes in the shared buffer.
TEST(ProfileReadBack, BytesTheDriveNeverDeliveredNeverPassTheCompare) {
    ShortReadOs os(ShortReadOs::Reads::Profile);  // delivers no byte
    FakeForm form;
    TestPackage pkg;
    os.platformId = kPlatformWin32Nt;
    os.AddCdrom('D', FlasherRig::Model("1A10"));
    CDDrive::Attach(&os, &form);
    const uint32_t size = 3 * kChunkSize;
    pkg.SetImageSize(size);
    for (uint32_t i = 0; i < size; ++i) pkg.Image()[i] = uint8_t(i * 7 + (i >> 9));
    pkg.Image()[0x1100] = 0x05;  // ProfileFormatA
    pkg.Image()[0x1101] = 0x80;
    uint8_t* last = pkg.Image() + 2 * kChunkSize;
    const uint8_t header[4] = {0xDA, 0xC8, 0x01, 0x3A};
    std::memcpy(last, header, 4);
    std::memcpy(last + 4, FlashProfileData, 0x13A);
    {
        TFlashForm window(form, os, pkg.Record(), "C:\\FLASH\\A150.EXE");
        form.answers = {BoxAnswer::Yes};
        window.FormCreate();
        ASSERT_TRUE(window.ProfileFormatA);
        form.boxes.clear();
        form.answers = {BoxAnswer::Yes};
        window.FlashButtonClick();
        EXPECT_EQ(os.shortReads, 1);
        EXPECT_EQ(window.ProfileLength, 318u);
        EXPECT_EQ(form.status, "Read back and Verify drive's DRAM... , Valid Profile Fail!");
        ASSERT_FALSE(form.boxes.empty());
        EXPECT_EQ(form.boxes.back().text, "Compared profile error!");
        size_t commits = 0;
        for (auto& e : os.trace) commits += IsCommit(e);
        EXPECT_EQ(commits, 0u);
    }
    CDDrive::Attach(nullptr, nullptr);
}

// ---- "%4.4s" ---------------------------------------------------------------------------

TEST(RevisionTexts, AreAtMostFourCharactersPaddedOnTheLeft) {
    TestPackage pkg;
    pkg.Set(kRangeOffset, "1A00-1B");
    pkg.SetVersion("1B");
    PackageView view(pkg.Record());
    EXPECT_EQ(view.LowVersion(), "1A00");
    EXPECT_EQ(view.HighVersion(), "  1B");
    EXPECT_EQ(view.NewRevision(), "  1B");

    pkg.Set(kRangeOffset, "1A-1B");
    pkg.SetVersion("ABCDE");
    EXPECT_EQ(view.LowVersion(), "1A-1");
    EXPECT_EQ(view.HighVersion(), "    ");  // nothing from the sixth character
    EXPECT_EQ(view.NewRevision(), "ABCD");

    pkg.Set(kRangeOffset, "");
    pkg.SetVersion("");
    EXPECT_EQ(view.LowVersion(), "    ");
    EXPECT_EQ(view.NewRevision(), "    ");
}

// A range "1A00-1B" ends at "  1B", below every revision that begins with
// a character: a drive at 1A50 lies above it and is not offered.
TEST(RevisionTexts, AShortHighEndIsComparedPadded) {
    for (bool aspi : {true, false}) {
        FlasherRig rig(aspi);
        rig.pkg.Set(kRangeOffset, "1A00-1B");
        rig.AddDrive(FlasherRig::Model("1A50"));
        rig.Start();
        EXPECT_EQ(rig.window->HighVersion, "  1B");
        EXPECT_TRUE(rig.form.combo.empty());
        EXPECT_TRUE(rig.form.quitPosted);
    }
}

// ---- a flash that did not take ---------------------------------------------------------

const char* kNotTakenText =
    "\nThe drive accepted the new firmware, but it still reports firmware revision 1A10, "
    "not the packaged revision 1A50.\n\n"
    "Some drives report a new revision only after the computer has been switched off and "
    "on again.\nAfter that, start this flasher again to see which revision the drive "
    "reports.\n";

TEST(FlashOutcome, ADriveStillReportingItsOldRevisionIsToldInABox) {
    for (bool aspi : {true, false}) {
        SCOPED_TRACE(aspi);
        FlasherRig rig(aspi);
        VirtualDrive& drive = rig.AddDrive(FlasherRig::Model("1A10"));
        rig.SetImage(4 * kChunkSize, "1A50");
        std::memset(rig.pkg.Image() + 0x200, 0, 28);  // no identification: the revision stays
        rig.Start();
        ASSERT_EQ(rig.form.combo.size(), 1u);
        rig.Flash();
        EXPECT_EQ(drive.commitCount, 1u);
        EXPECT_EQ(rig.form.status, "Flash Completed.");
        EXPECT_EQ(rig.form.combo[0].substr(rig.form.combo[0].size() - 4), "1A10");
        ASSERT_EQ(rig.form.boxes.size(), 2u);  // the prompt, then this
        EXPECT_EQ(rig.form.boxes[1].text, kNotTakenText);
        EXPECT_EQ(rig.form.boxes[1].kind, BoxKind::Plain);
        EXPECT_EQ(rig.form.boxes[1].buttons, BoxButtons::Ok);
        EXPECT_EQ(rig.form.cursor, CursorKind::Default);
        EXPECT_EQ(rig.form.progressPos, 0);
        // The box comes after the list shows the drive's fresh line.
        auto refreshed = std::find(rig.form.events.begin(), rig.form.events.end(),
                                   std::string("combo-repaint: "));
        auto box = std::find(rig.form.events.rbegin(), rig.form.events.rend(),
                             std::string("box: ") + kNotTakenText);
        ASSERT_NE(refreshed, rig.form.events.end());
        ASSERT_NE(box, rig.form.events.rend());
        EXPECT_LT(refreshed - rig.form.events.begin(), rig.form.events.rend() - box - 1);
    }
}

TEST(FlashOutcome, ADriveReportingThePackagedRevisionGetsNoBox) {
    for (bool aspi : {true, false}) {
        SCOPED_TRACE(aspi);
        FlasherRig rig(aspi);
        VirtualDrive& drive = rig.AddDrive(FlasherRig::Model("1A10"));
        rig.SetImage(4 * kChunkSize, "1A50");
        rig.Start();
        rig.Flash();
        EXPECT_EQ(drive.Revision(), "1A50");
        EXPECT_EQ(rig.form.status, "Flash Completed.");
        ASSERT_EQ(rig.form.boxes.size(), 1u);  // the prompt only
        EXPECT_EQ(rig.form.boxes[0].buttons, BoxButtons::YesNo);
    }
}

TEST(FlashOutcome, ADriveThatNoLongerAnswersIsToldToo) {
    FlasherRig rig;
    VirtualDrive& drive = rig.AddDrive(FlasherRig::Model("1A10"));
    rig.SetImage(4 * kChunkSize, "1A50");
    rig.Start();
    drive.FailWithSense(0x12, 0, 0x02, 0x04, 0x00);  // every later INQUIRY fails
    rig.Flash();
    EXPECT_EQ(rig.form.status, "Flash Completed.");
    EXPECT_EQ(rig.form.combo[0], "0");
    ASSERT_EQ(rig.form.boxes.size(), 2u);
    EXPECT_NE(rig.form.boxes[1].text.find("did not report its firmware revision"),
              std::string::npos);
    EXPECT_NE(rig.form.boxes[1].text.find("packaged revision 1A50"), std::string::npos);
    EXPECT_EQ(rig.form.boxes[1].kind, BoxKind::Plain);
}

}  // namespace

namespace {
// The window's data buffer stays page-aligned without the library's aligned
// new (its _aligned_malloc is missing from the oldest msvcrt.dll).
TEST(DataBuffer, TheWindowsBufferIsPageAligned) {
    FlasherRig rig;
    rig.AddDrive(FlasherRig::Model("1A10"));
    rig.Start();
    ASSERT_TRUE(rig.window->DriveData);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(rig.window->DriveData->bytes) % 4096, 0u);
    for (int i = 0; i < 8; ++i) {
        auto other = std::make_unique<DriveDataBuffer>();
        EXPECT_EQ(reinterpret_cast<uintptr_t>(other->bytes) % 4096, 0u);
        other->bytes[sizeof other->bytes - 1] = 1;  // the whole buffer is ours
    }
}
}  // namespace
