// A read-back proves only the bytes the drive really delivered: what the
// download left in the shared data buffer must never pass the compare.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "app/FlashForm.h"
#include "sim/SimOs.h"
#include "tests/support/FakeForm.h"
#include "tests/support/ShortReadOs.h"
#include "tests/support/TestPackage.h"

namespace {

struct ShortReadRig {
    ShortReadOs os;
    FakeForm form;
    TestPackage pkg;
    std::unique_ptr<TFlashForm> window;

    // Three chunks of identical bytes, as the padding of a firmware image is.
    ShortReadRig() {
        os.platformId = kPlatformWin32Nt;
        VirtualDrive::Config c;
        c.vendor = "OPTIDRV";
        c.product = "CDRW-A100";
        c.revision = "1A10";
        os.AddCdrom('D', c);
        pkg.SetImageSize(3 * kChunkSize);
        std::memset(pkg.Image(), 0xFF, 3 * kChunkSize);
        CDDrive::Attach(&os, &form);
    }
    ~ShortReadRig() {
        window.reset();
        CDDrive::Attach(nullptr, nullptr);
    }
    void Flash() {
        form.defaultAnswer = BoxAnswer::Yes;
        window = std::make_unique<TFlashForm>(form, os, pkg.Record(), "C:\\FLASH\\FF.EXE");
        window->FormCreate();
        ASSERT_NE(window->CurrentDrive, nullptr);
        form.boxes.clear();
        window->FlashButtonClick();
    }
    bool Committed() { return os.DriveAt('D')->committed; }
};
}  // namespace

TEST(ReadBack, NothingDeliveredFailsTheCompareAndNothingIsCommitted) {
    ShortReadRig rig;
    rig.os.delivered = 0;
    rig.Flash();
    EXPECT_EQ(rig.os.shortReads, 1);
    EXPECT_EQ(rig.form.BoxTexts().back(), "Compare BIN and DRAM fail!");
    EXPECT_EQ(rig.form.status,
              "Read back and Verify drive's DRAM... , Compare BIN and DRAM Fail! ");
    EXPECT_FALSE(rig.Committed());
}

TEST(ReadBack, OneByteShortFailsTheCompare) {
    ShortReadRig rig;
    rig.os.delivered = kChunkSize - 1;
    rig.Flash();
    EXPECT_EQ(rig.form.BoxTexts().back(), "Compare BIN and DRAM fail!");
    EXPECT_FALSE(rig.Committed());
}

TEST(ReadBack, EveryByteDeliveredCompletes) {
    ShortReadRig rig;
    rig.os.delivered = kChunkSize;
    rig.Flash();
    EXPECT_EQ(rig.os.shortReads, 0);
    EXPECT_EQ(rig.form.status, "Flash Completed.");
    EXPECT_TRUE(rig.Committed());
}
