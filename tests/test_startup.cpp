// Start-up of the main window: role choice, the flasher's texts and its
// warning box, and what declining the warning does.
#include <gtest/gtest.h>

#include <cstring>

#include "app/FlashForm.h"
#include "drive/CDDrive.h"
#include "tests/support/FakeForm.h"
#include "tests/support/StubOs.h"
#include "tests/support/TestPackage.h"

namespace {

// Counts the calls a drive scan would start with, on either transport.
class ScanWatchOs : public StubOs {
  public:
    int scanCalls = 0;
    bool GetVersionExA(OsVersionInfo& info) override {
        return ++scanCalls, StubOs::GetVersionExA(info);
    }
    OsModule LoadLibraryA(const char* name) override {
        return ++scanCalls, StubOs::LoadLibraryA(name);
    }
    OsHandle CreateFileA(const char* n, uint32_t a, uint32_t s, uint32_t c, uint32_t f) override {
        return ++scanCalls, StubOs::CreateFileA(n, a, s, c, f);
    }
    uint32_t GetLogicalDriveStringsA(uint32_t length, char* buffer) override {
        return ++scanCalls, StubOs::GetLogicalDriveStringsA(length, buffer);
    }
};

const char kRangeWarning[] =
    "\nWARNING:\n"
    "\nThis flash utility only supports OPTIDRV CDRW-A100 drive with firmware:1A00-1A99"
    "\nWe recommend you close all applications in order to run this update! "
    "\nDon't turn off the system while the flash is in progress!"
    "\n\nDo you wish to continue?\n";

const char kAnyFirmwareWarning[] =
    "\nWARNING:\n"
    "\nThis flash utility only supports OPTIDRV CDRW-A100 drive. "
    "\nWe recommend you close all applications in order to run this update!"
    "\nDon't turn off the system while the flash is in progress! "
    "\n\nDo you wish to continue?\n";

class Startup : public ::testing::Test {
  protected:
    void SetUp() override { CDDrive::Attach(&os, &form); }
    void TearDown() override { CDDrive::Attach(nullptr, nullptr); }

    // Runs the creation handler on `pkg`, answering the warning with `answer`.
    TFlashForm& Start(const TestPackage& pkg, BoxAnswer answer = BoxAnswer::No) {
        form.answers = {answer};
        window = std::make_unique<TFlashForm>(form, os, pkg.Record(), "C:\\NOWHERE\\FLASH.EXE");
        window->FormCreate();
        return *window;
    }

    FakeForm form;
    ScanWatchOs os;
    std::unique_ptr<TFlashForm> window;
};

TEST_F(Startup, DecliningTheWarningEndsTheProgramWithoutTouchingAnyDrive) {
    TFlashForm& w = Start(TestPackage());

    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_EQ(form.boxes[0].text, kRangeWarning);
    EXPECT_EQ(form.boxes[0].kind, BoxKind::Warning);
    EXPECT_EQ(form.boxes[0].buttons, BoxButtons::YesNo);

    EXPECT_EQ(form.label, "Select the OPTIDRV drive you want to update:");
    EXPECT_EQ(form.caption, " Flash Utility V1.048A ");
    EXPECT_TRUE(form.quitPosted);
    EXPECT_EQ(form.exitCode, 0);
    EXPECT_TRUE(form.closed);
    EXPECT_FALSE(w.BuilderMode);

    EXPECT_EQ(os.calls, 0) << "declining must not reach the system";
    EXPECT_EQ(w.Drives, nullptr);
    EXPECT_EQ(w.DriveData, nullptr);
    EXPECT_EQ(form.ComboCount(), 0);
}

TEST_F(Startup, ClosingTheWarningBoxCountsAsDeclining) {
    Start(TestPackage(), BoxAnswer::Closed);
    EXPECT_TRUE(form.quitPosted);
    EXPECT_TRUE(form.closed);
    EXPECT_EQ(form.exitCode, 0);
    EXPECT_EQ(os.calls, 0);
}

TEST_F(Startup, WindowIsCaptionedAndLabelledBeforeTheWarningAndClosedAfterIt) {
    Start(TestPackage());
    std::vector<std::string> expected = {
        "caption:  Flash Utility V1.048A ",
        "label: Select the OPTIDRV drive you want to update:",
        std::string("box: ") + kRangeWarning,
        "quit: 0",
        "close: ",
    };
    EXPECT_EQ(form.events, expected);
}

TEST_F(Startup, AnyFirmwareWarningLeavesOutTheRangeAndMovesTheBlanks) {
    TestPackage pkg;
    pkg.Set(kRangeOffset, "-AAAA-BBB");
    Start(pkg);
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_EQ(form.boxes[0].text, kAnyFirmwareWarning);
}

TEST_F(Startup, DashOnlyAtTheFirstCharacterIsAnOrdinaryRange) {
    TestPackage pkg;
    pkg.Set(kRangeOffset, "-AAA0BBBB");
    Start(pkg);
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_NE(form.boxes[0].text.find("drive with firmware:-AAA0BBBB\n"), std::string::npos)
        << form.boxes[0].text;
}

TEST_F(Startup, ShortRangeIsPaddedOnTheLeftRightAfterFirmwareColon) {
    TestPackage pkg;
    pkg.Set(kRangeOffset, "1A-1B");
    Start(pkg);
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_NE(form.boxes[0].text.find("drive with firmware:    1A-1B\nWe recommend"),
              std::string::npos)
        << form.boxes[0].text;
}

TEST_F(Startup, VendorAndModelComeFromTheBlockAsStored) {
    TestPackage pkg;
    pkg.Set(kVendorOffset, "Acme Optical");
    pkg.Set(kModelOffset, "RW 52x");
    Start(pkg);
    EXPECT_EQ(form.label, "Select the Acme Optical drive you want to update:");
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_NE(form.boxes[0].text.find("only supports Acme Optical RW 52x drive with firmware:"),
              std::string::npos);
}

TEST_F(Startup, FlasherKeepsTheTextsDerivedFromTheBlock) {
    TestPackage pkg;
    pkg.Set(kInquiryOffset, "OPTIDRV CDRW-A100");
    pkg.Set(kRangeOffset, "1A-1B");
    TFlashForm& w = Start(pkg);
    EXPECT_EQ(w.VendorText, "OPTIDRV");
    EXPECT_EQ(w.ModelText, "CDRW-A100");
    EXPECT_EQ(w.InquiryText, "OPTIDRV CDRW-A100       ");
    EXPECT_EQ(w.RangeText, "    1A-1B");
    EXPECT_EQ(w.LowVersion, "1A-1");
    EXPECT_EQ(w.HighVersion, "    ");  // "%4.4s" of nothing
}

TEST_F(Startup, CreationClearsTheFlashStateOfAnEarlierRun) {
    TestPackage pkg;
    window = std::make_unique<TFlashForm>(form, os, pkg.Record(), "C:\\NOWHERE\\FLASH.EXE");
    window->ProfileFormatA = window->ProfileFormatB = true;
    window->ProfileFound = window->FlashAllMode = true;
    window->TransferBuffer.resize(16);
    window->ProfileCopy.resize(16);
    form.answers = {BoxAnswer::No};
    window->FormCreate();
    EXPECT_FALSE(window->ProfileFormatA);
    EXPECT_FALSE(window->ProfileFormatB);
    EXPECT_FALSE(window->ProfileFound);
    EXPECT_FALSE(window->FlashAllMode);
    EXPECT_TRUE(window->TransferBuffer.empty());
    EXPECT_TRUE(window->ProfileCopy.empty());
}

TEST_F(Startup, TemplateComesUpAsBuilderEvenWithBlockValuesAndNeverWarnsOrScans) {
    TestPackage pkg;  // every block field holds a value
    std::memcpy(pkg.Image(), "TMPL", 4);
    TFlashForm& w = Start(pkg);
    EXPECT_TRUE(w.BuilderMode);
    for (const ShownBox& box : form.boxes) {
        EXPECT_NE(box.kind, BoxKind::Warning);
        EXPECT_EQ(box.text.find("WARNING"), std::string::npos);
    }
    EXPECT_EQ(os.scanCalls, 0);
    EXPECT_EQ(w.Drives, nullptr);
    EXPECT_TRUE(w.VendorText.empty()) << "the builder does not read the block's texts";
    EXPECT_EQ(form.caption.rfind(" Flash Utility V1.048A ", 0), 0u) << form.caption;
}

TEST_F(Startup, MarkerInLowerCaseOrCutShortIsAFlasher) {
    for (const char* marker : {"tmpl", "TMP\0", "TMPl", "XMPL"}) {
        FakeForm fresh;
        form = fresh;
        TestPackage pkg;
        std::memcpy(pkg.Image(), marker, 4);
        TFlashForm& w = Start(pkg);
        EXPECT_FALSE(w.BuilderMode) << marker;
        ASSERT_EQ(form.boxes.size(), 1u) << marker;
        EXPECT_EQ(form.boxes[0].kind, BoxKind::Warning) << marker;
    }
}

}  // namespace
