// Drive enumeration and identification against the simulated OS.
#include <gtest/gtest.h>

#include "drive/CDDrives.h"
#include "sim/SimOs.h"
#include "tests/support/FakeForm.h"
#include "tests/support/WatchedOs.h"

namespace {

constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveRemote = 4;

class Scan : public ::testing::Test {
  protected:
    SimOs os;
    FakeForm form;
    void SetUp() override { CDDrive::Attach(&os, &form); }

    static VirtualDrive::Config Drive(std::string vendor, std::string product,
                                      std::string revision) {
        VirtualDrive::Config c;
        c.vendor = std::move(vendor);
        c.product = std::move(product);
        c.revision = std::move(revision);
        return c;
    }
};

TEST_F(Scan, NtScanFindsTheOpticalDriveAmongOthers) {
    os.platformId = kPlatformWin32Nt;
    os.AddLetter('C', kDriveFixed);
    os.AddLetter('D', kDriveFixed);
    os.AddCdrom('E', Drive("NORVEX", "CDRW-1000", "1A00"));
    os.AddLetter('F', kDriveRemote);
    CDDrives drives;
    ASSERT_EQ(drives.Count(), 1);
    EXPECT_EQ(drives.Drives[0]->IdentLine, "0-0-0 E: NORVEX  CDRW-1000       1A00");
    EXPECT_EQ(drives.Drives[0]->IdentLine.substr(0, 9), "0-0-0 E: ");
    EXPECT_EQ(drives.Current, drives.Drives[0]);
    EXPECT_EQ(drives.CurrentIndex, 0);
    EXPECT_EQ(os.driveStringsSizes, std::vector<uint32_t>{80});
    EXPECT_EQ(os.CountCalls("GetDriveTypeA"), 4u);
    EXPECT_EQ(os.opens.size(), 1u);  // only the CD-ROM letter is opened
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 1);
}

TEST_F(Scan, AspiScanProbesFortyAddressesInOrder) {
    os.platformId = kPlatformWin32Windows;
    os.AddAspiDrive(0, 1, Drive("NORVEX", "CDRW-1000", "1A00"));
    os.AddAspiDrive(1, 0, Drive("OPTIDRV", "DVDRW-B200", "2B10"));
    CDDrives drives;
    ASSERT_EQ(drives.Count(), 2);
    EXPECT_EQ(drives.Drives[0]->IdentLine, "0-1-0  : NORVEX  CDRW-1000       1A00");
    EXPECT_EQ(drives.Drives[1]->IdentLine, "1-0-0  : OPTIDRV DVDRW-B200      2B10");
    EXPECT_EQ(drives.Current, drives.Drives[0]);
    EXPECT_TRUE(drives.Select(1));
    EXPECT_EQ(drives.Current, drives.Drives[1]);
    EXPECT_EQ(drives.Current->HostAdapter, 1);
    EXPECT_EQ(drives.Current->TargetId, 0);
    EXPECT_EQ(drives.Current->DriveLetter, ' ');

    auto inquiries = os.TraceOf(0x12);
    ASSERT_EQ(inquiries.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(inquiries[size_t(i)].ha, i / 2);
        EXPECT_EQ(inquiries[size_t(i)].target, i % 2);
        EXPECT_TRUE(inquiries[size_t(i)].dataIn);
        EXPECT_EQ(inquiries[size_t(i)].length, 128u);
    }
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 2);
    EXPECT_TRUE(form.boxes.empty());
}

TEST_F(Scan, MissingLayerIsReportedOnceAndEndsTheScan) {
    os.platformId = kPlatformWin32Windows;
    os.aspiLayer = SimOs::AspiLayer::Missing;
    os.AddAspiDrive(0, 1);  // unreachable without the layer
    CDDrives drives;
    EXPECT_EQ(drives.Count(), 0);
    EXPECT_EQ(drives.Current, nullptr);
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_EQ(form.boxes[0].text,
              "Unable to load WNASPI32.DLL !\nYou can down the DLL from http://www.adaptec.com\n"
              " and copy the DLL to system directory.\n\n");
    EXPECT_EQ(form.boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(CDDrive::LoadState(), 'b');
    EXPECT_EQ(os.CountCalls("LoadLibraryA"), 1u);
    EXPECT_TRUE(os.TraceOf(0x12).empty());

    // The next scan (a new collection) tries again and says so again, once.
    CDDrives again;
    EXPECT_EQ(again.Count(), 0);
    EXPECT_EQ(form.boxes.size(), 2u);
    EXPECT_EQ(os.CountCalls("LoadLibraryA"), 2u);
}

TEST_F(Scan, LayerWithoutEntryPointsStaysSilentAndScansEveryCandidate) {
    os.platformId = kPlatformWin32Windows;
    os.aspiLayer = SimOs::AspiLayer::NoSendEntry;
    CDDrives drives;
    EXPECT_EQ(drives.Count(), 0);
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_EQ(CDDrive::LoadState(), 'a');
    EXPECT_EQ(os.CountCalls("LoadLibraryA"), 40u);
    EXPECT_EQ(os.moduleReferences, 0);
}

TEST_F(Scan, UnusableLayerGivesAnEmptyCollectionWithoutBoxes) {
    os.platformId = kPlatformWin32Windows;
    os.aspiLayer = SimOs::AspiLayer::BadStatus;
    os.AddAspiDrive(0, 0);
    CDDrives drives;
    EXPECT_EQ(drives.Count(), 0);
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_EQ(CDDrive::LoadState(), 0x60);
    EXPECT_EQ(os.moduleReferences, 0);
}

TEST_F(Scan, TwoDigitAdapterKeepsIdentificationAndRevision) {
    os.platformId = kPlatformWin32Windows;
    os.AddAspiDrive(12, 1, Drive("OPTIDRV", "CDRW-A100", "1A50"));
    CDDrives drives;
    ASSERT_EQ(drives.Count(), 1);
    CDDrive& d = *drives.Drives[0];
    EXPECT_EQ(d.IdentLine, "12-1-0  : OPTIDRV CDRW-A100       1A50");
    EXPECT_EQ(d.ProductId(), "OPTIDRV CDRW-A100       ");
    EXPECT_EQ(d.ProductId().size(), 24u);
    EXPECT_EQ(d.FirmwareRevision(), "1A50");
}

TEST_F(Scan, ZeroByteInsideInquiryDataPadsOnTheLeft) {
    os.platformId = kPlatformWin32Nt;
    // Vendor "NORVEX", then a zero byte at INQUIRY byte 14: the text ends there.
    os.AddCdrom('E', Drive(std::string("NORVEX\0X", 8), "CDRW-1000", "1A00"));
    CDDrives drives;
    ASSERT_EQ(drives.Count(), 1);
    CDDrive& d = *drives.Drives[0];
    EXPECT_EQ(d.IdentLine, "0-0-0 E: " + std::string(22, ' ') + "NORVEX");
    EXPECT_EQ(d.ProductId(), std::string(22, ' ') + "NO");
    EXPECT_EQ(d.FirmwareRevision(), "RVEX");
}

TEST_F(Scan, OneAndTwoDigitPrefixes) {
    os.platformId = kPlatformWin32Windows;
    os.AddAspiDrive(1, 0, Drive("A", "B", "C"));
    os.AddAspiDrive(10, 1, Drive("A", "B", "C"));
    CDDrives drives;
    ASSERT_EQ(drives.Count(), 2);
    EXPECT_EQ(drives.Drives[0]->IdentLine.substr(0, 9), "1-0-0  : ");
    EXPECT_EQ(drives.Drives[1]->IdentLine.substr(0, 10), "10-1-0  : ");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(drives.Drives[i]->ProductId(), "A       B               ");
        EXPECT_EQ(drives.Drives[i]->FirmwareRevision(), "C   ");
    }
}

TEST_F(Scan, SelectOutOfRangeChangesNothing) {
    os.platformId = kPlatformWin32Windows;
    os.AddAspiDrive(0, 0);
    os.AddAspiDrive(0, 1);
    CDDrives drives;
    ASSERT_EQ(drives.Count(), 2);
    ASSERT_TRUE(drives.Select(1));
    EXPECT_FALSE(drives.Select(-1));
    EXPECT_FALSE(drives.Select(static_cast<int16_t>(drives.Count())));
    EXPECT_EQ(drives.CurrentIndex, 1);
    EXPECT_EQ(drives.Current, drives.Drives[1]);
}

TEST_F(Scan, NoDriveLeavesNoCurrent) {
    os.platformId = kPlatformWin32Nt;
    os.AddLetter('C', kDriveFixed);
    CDDrives drives;
    EXPECT_EQ(drives.Count(), 0);
    EXPECT_EQ(drives.Current, nullptr);
    EXPECT_FALSE(drives.Select(0));
}

TEST_F(Scan, AcceptsAtMostTwentyFourDrivesAndStopsProbing) {
    os.platformId = kPlatformWin32Windows;
    for (uint8_t ha = 0; ha < 15; ++ha)
        for (uint8_t t = 0; t < 2; ++t) os.AddAspiDrive(ha, t);  // 30 drives answer
    CDDrives drives;
    EXPECT_EQ(drives.Count(), 24);
    EXPECT_EQ(drives.Drives[23]->HostAdapter, 11);
    EXPECT_EQ(drives.Drives[23]->TargetId, 1);
    EXPECT_EQ(os.CountOpcode(0x12), 24u);  // no candidate beyond the 24th
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 24);
}

TEST_F(Scan, MoreRootsThanEightyCharactersAreAskedForAgain) {
    os.platformId = kPlatformWin32Nt;
    for (char c = 'C'; c <= 'V'; ++c) os.AddLetter(c, kDriveFixed);  // 20 roots
    os.AddCdrom('W');
    os.AddCdrom('X');  // 22 roots: 88 characters and the final zero
    CDDrives drives;
    ASSERT_EQ(drives.Count(), 2);
    EXPECT_EQ(drives.Drives[0]->DriveLetter, 'W');
    EXPECT_EQ(drives.Drives[1]->DriveLetter, 'X');
    ASSERT_EQ(os.driveStringsSizes.size(), 2u);
    EXPECT_EQ(os.driveStringsSizes[0], 80u);
    EXPECT_GE(os.driveStringsSizes[1], 89u);
}

TEST_F(Scan, FailedOpenDropsTheCandidateAndShowsItsBoxes) {
    os.platformId = kPlatformWin32Nt;
    os.FailOpen('D', kErrorAccessDenied);
    os.AddCdrom('E');
    CDDrives drives;
    ASSERT_EQ(drives.Count(), 1);
    EXPECT_EQ(drives.Drives[0]->DriveLetter, 'E');
    EXPECT_EQ(drives.Drives[1], nullptr);
    ASSERT_EQ(form.boxes.size(), 2u);
    EXPECT_EQ(form.boxes[0].text, "Error opening: 5, Drive: \\\\.\\D:");
    EXPECT_EQ(form.boxes[1].text.rfind("SenseCode: 00 00 00, 00, Error: 5, ", 0), 0u);
    EXPECT_TRUE(CDDrive::ReportErrors());
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 1);
}

TEST_F(Scan, InquiryFailureClosesTheDeviceAndDropsTheCandidate) {
    os.platformId = kPlatformWin32Nt;
    VirtualDrive& d = os.AddCdrom('D');
    d.FailWithSense(0x12, 1, 0x05, 0x24, 0x00);
    os.AddCdrom('E');
    CDDrives drives;
    ASSERT_EQ(drives.Count(), 1);
    EXPECT_EQ(drives.Drives[0]->DriveLetter, 'E');
    EXPECT_EQ(os.OpenDevices(), 1u);  // D's device was closed
    EXPECT_TRUE(form.boxes.empty());  // ReportErrors is off
}

TEST_F(Scan, NonOpticalDeviceOnTheAspiBusIsAccepted) {
    os.platformId = kPlatformWin32Windows;
    VirtualDrive::Config disk = Drive("DISKCO", "HARDDISK", "0001");
    disk.peripheralType = 0;
    os.AddAspiDrive(0, 0, disk);
    CDDrives drives;
    EXPECT_EQ(drives.Count(), 1);
}

TEST_F(Scan, DisplayLineReachesTheDriveEveryTime) {
    os.platformId = kPlatformWin32Windows;
    VirtualDrive& v = os.AddAspiDrive(0, 0, Drive("NORVEX", "CDRW-1000", "1A00"));
    CDDrives drives;
    ASSERT_EQ(drives.Count(), 1);
    CDDrive& d = *drives.Current;
    v.config.revision = "1B00";
    EXPECT_EQ(d.FirmwareRevision(), "1A00");  // as last identified
    EXPECT_EQ(d.DisplayLine(), "0-0-0  : NORVEX  CDRW-1000       1B00");
    EXPECT_EQ(d.FirmwareRevision(), "1B00");

    v.FailWithSense(0x12, 0, 0x02, 0x3A, 0x00);  // no longer answers
    EXPECT_EQ(d.DisplayLine(), "0");
    EXPECT_EQ(d.IdentLine, "0");
    EXPECT_EQ(d.ProductId(), "");
    EXPECT_EQ(d.FirmwareRevision(), "");
}

TEST_F(Scan, TeardownBringsTheCountToZeroAndKeepsTheLayer) {
    os.platformId = kPlatformWin32Windows;
    os.AddAspiDrive(0, 0);
    os.AddAspiDrive(3, 1);
    {
        CDDrives drives;
        EXPECT_EQ(drives.Count(), 2);
        EXPECT_EQ(CDDrive::LoadedDriveCount(), 2);
    }
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 0);
    EXPECT_GT(os.moduleReferences, 0);  // still loaded
    EXPECT_EQ(os.CountCalls("FreeLibrary"), 0u);
}

TEST_F(Scan, NtTeardownClosesEveryDeviceFromTheLastSlotDown) {
    WatchedOs watched;
    CDDrive::Attach(&watched, &form);
    watched.platformId = kPlatformWin32Nt;
    watched.AddCdrom('D');
    watched.AddCdrom('E');
    watched.AddCdrom('G');
    std::vector<OsHandle> slots;
    {
        CDDrives drives;
        ASSERT_EQ(drives.Count(), 3);
        EXPECT_EQ(watched.OpenDevices(), 3u);
        for (int i = 0; i < 3; ++i) slots.push_back(drives.Drives[i]->DeviceHandle);
        watched.closed.clear();
    }
    EXPECT_EQ(watched.closed, (std::vector<OsHandle>{slots[2], slots[1], slots[0]}));
    EXPECT_EQ(watched.OpenDevices(), 0u);
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 0);
    EXPECT_EQ(watched.badCalls, 0u);
    CDDrive::Attach(&os, &form);
}

}  // namespace
