// The virtual SCSI generic device's answer to SG_IO, header by header as
// Wine fills it for IOCTL_SCSI_PASS_THROUGH_DIRECT, and the drive file keys
// that name its drives.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "sim/AspiService.h"
#include "sim/DriveFile.h"
#include "sim/SgService.h"
#include "sim/VirtualDrive.h"
#include "tests/support/TempDir.h"

namespace {

// A header as Wine's CDROM_ScsiPassThroughDirect fills it: zeroed, then the
// request's fields; mx_sb_len 24 and a 60 s time-out as the program sends.
struct Request {
    sg_io_hdr_t hdr{};
    uint8_t cdb[16] = {};
    uint8_t sense[32];
    uint8_t data[16384];

    Request(std::initializer_list<int> bytes, int direction, uint32_t length) {
        int i = 0;
        for (int v : bytes) cdb[i++] = static_cast<uint8_t>(v);
        std::memset(sense, 0xEE, sizeof sense);
        std::memset(data, 0xEE, sizeof data);
        hdr.interface_id = 'S';
        hdr.cmd_len = 12;
        hdr.mx_sb_len = 24;
        hdr.dxfer_direction = direction;
        hdr.dxfer_len = length;
        hdr.dxferp = data;
        hdr.cmdp = cdb;
        hdr.sbp = sense;
        hdr.timeout = 60000;
    }
};

VirtualDrive Drive() {
    VirtualDrive::Config c;
    c.vendor = "OPTIDRV";
    c.product = "CDRW-A100";
    c.revision = "1A10";
    return VirtualDrive(c);
}

TEST(SgService, InquiryCompletesWithDataAndResidual) {
    VirtualDrive drive = Drive();
    Request r({0x12, 0, 0, 0, 0x80}, SG_DXFER_FROM_DEV, 128);
    SgCommand seen;
    ASSERT_EQ(ServeSgIo(drive, r.hdr, &seen), 0);
    EXPECT_EQ(r.hdr.status, 0);
    EXPECT_EQ(r.hdr.host_status, 0);
    EXPECT_EQ(r.hdr.driver_status, 0);
    EXPECT_EQ(r.hdr.sb_len_wr, 0);
    EXPECT_EQ(r.hdr.info & SG_INFO_CHECK, 0u);
    EXPECT_EQ(r.hdr.resid, 128 - 96);  // the drive answers 96 bytes
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r.data + 8), 28), "OPTIDRV CDRW-A100       1A10");
    EXPECT_EQ(r.sense[0], 0xEE);  // no sense written
    EXPECT_TRUE(seen.dataIn);
    EXPECT_EQ(seen.length, 128u);
    EXPECT_EQ(SgTraceLine('E', seen), "E: 12 00 00 00 80 00 00 00 00 00 00 00 in 128");
}

TEST(SgService, CheckConditionCarriesSenseUpToTheSenseLength) {
    VirtualDrive drive = Drive();
    drive.FailWithSense(0x3B, 1, 0x03, 0x0C, 0x00);
    Request r({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x40, 0, 0}, SG_DXFER_TO_DEV, 16384);
    ASSERT_EQ(ServeSgIo(drive, r.hdr), 0);
    EXPECT_EQ(r.hdr.status, kStatusCheckCondition);
    EXPECT_EQ(r.hdr.masked_status, 0x01);  // CHECK_CONDITION
    EXPECT_EQ(r.hdr.driver_status, kDriverStatusSense);
    EXPECT_EQ(r.hdr.info & SG_INFO_CHECK, SG_INFO_CHECK);
    EXPECT_EQ(r.hdr.sb_len_wr, 18);  // fixed-format sense, within mx_sb_len 24
    EXPECT_EQ(r.sense[2], 0x03);
    EXPECT_EQ(r.sense[12], 0x0C);
    EXPECT_EQ(r.sense[18], 0xEE);
    EXPECT_EQ(r.hdr.resid, 16384);  // not performed

    Request small({0x3B, 0x05, 0x01}, SG_DXFER_TO_DEV, 0);
    small.hdr.mx_sb_len = 8;
    drive.FailWithSense(0x3B, 2, 0x05, 0x24, 0x00);
    ASSERT_EQ(ServeSgIo(drive, small.hdr), 0);
    EXPECT_EQ(small.hdr.sb_len_wr, 8);
    EXPECT_EQ(small.sense[8], 0xEE);
}

TEST(SgService, TransportFailureFailsTheIoctlAndWritesNothing) {
    VirtualDrive drive = Drive();
    drive.FailTransport(0x12, 1);
    Request r({0x12, 0, 0, 0, 0x80}, SG_DXFER_FROM_DEV, 128);
    r.hdr.resid = 77;  // whatever was there stays
    EXPECT_EQ(ServeSgIo(drive, r.hdr), -ENODEV);
    EXPECT_EQ(r.hdr.resid, 77);
    EXPECT_EQ(r.hdr.status, 0);
    EXPECT_EQ(r.hdr.host_status, 0);
    EXPECT_EQ(r.data[8], 0xEE);
    // The next command finds the drive again.
    Request again({0x12, 0, 0, 0, 0x80}, SG_DXFER_FROM_DEV, 128);
    EXPECT_EQ(ServeSgIo(drive, again.hdr), 0);
}

TEST(SgService, TimeOutIsAHostStatusOfASucceededIoctl) {
    VirtualDrive drive = Drive();
    drive.TimeOut(0x3B, 1);
    Request r({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80}, SG_DXFER_FROM_DEV, 16);
    r.hdr.timeout = 180000;
    ASSERT_EQ(ServeSgIo(drive, r.hdr), 0);
    EXPECT_EQ(r.hdr.host_status, kHostStatusTimeOut);
    EXPECT_EQ(r.hdr.status, 0);
    EXPECT_EQ(r.hdr.sb_len_wr, 0);
    EXPECT_EQ(r.hdr.resid, 16);
    EXPECT_EQ(r.hdr.duration, 180000u);
    EXPECT_EQ(r.hdr.info & SG_INFO_CHECK, SG_INFO_CHECK);
    EXPECT_FALSE(drive.committed);  // a timed-out command is not performed
}

TEST(SgService, MalformedHeadersAreRefusedBeforeTheDrive) {
    VirtualDrive drive = Drive();
    Request bad({0x12, 0, 0, 0, 0x80}, SG_DXFER_FROM_DEV, 128);
    bad.hdr.interface_id = 'Q';
    EXPECT_EQ(ServeSgIo(drive, bad.hdr), -ENOSYS);
    Request shortCdb({0x12}, SG_DXFER_FROM_DEV, 128);
    shortCdb.hdr.cmd_len = 4;
    EXPECT_EQ(ServeSgIo(drive, shortCdb.hdr), -EMSGSIZE);
    Request noData({0x12, 0, 0, 0, 0x80}, SG_DXFER_FROM_DEV, 128);
    noData.hdr.dxferp = nullptr;
    EXPECT_EQ(ServeSgIo(drive, noData.hdr), -EFAULT);
    Request direction({0x12, 0, 0, 0, 0x80}, -7, 128);
    EXPECT_EQ(ServeSgIo(drive, direction.hdr), -EINVAL);
    EXPECT_EQ(drive.TotalCommands(), 0u);
}

TEST(SgService, NoDataDirectionTransfersNothing) {
    VirtualDrive drive = Drive();
    Request r({0x00}, SG_DXFER_NONE, 4096);  // the length is ignored without a direction
    SgCommand seen;
    ASSERT_EQ(ServeSgIo(drive, r.hdr, &seen), 0);
    EXPECT_EQ(seen.length, 0u);
    EXPECT_EQ(r.hdr.resid, 0);
    EXPECT_EQ(SgTraceLine('F', seen), "F: 00 00 00 00 00 00 00 00 00 00 00 00 in 0");
}

TEST(SgService, TraceLineIsTheAspiLineWithTheLetterInFront) {
    SgCommand c;
    const uint8_t bytes[12] = {0x3B, 0x05, 0x01, 0x00, 0x40, 0x00, 0x00, 0x40};
    std::memcpy(c.cdb, bytes, 12);
    c.dataIn = false;
    c.length = 16384;
    std::string aspi = TraceLine(0, 1, c.cdb, false, 16384);
    EXPECT_EQ(SgTraceLine('E', c), "E:" + aspi.substr(3));
    EXPECT_EQ(SgTraceLine('E', c), "E: 3B 05 01 00 40 00 00 40 00 00 00 00 out 16384");
}

TEST(SgService, DownloadAndCommitProgramTheDrive) {
    VirtualDrive drive = Drive();
    Request chunk({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x40, 0, 0}, SG_DXFER_TO_DEV, 16384);
    std::memset(chunk.data, 0, sizeof chunk.data);
    std::memcpy(chunk.data + 100, "OPTIDRV CDRW-A100       1A50", 28);
    ASSERT_EQ(ServeSgIo(drive, chunk.hdr), 0);
    EXPECT_EQ(chunk.hdr.resid, 0);
    Request commit({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80}, SG_DXFER_FROM_DEV, 16);
    ASSERT_EQ(ServeSgIo(drive, commit.hdr), 0);
    EXPECT_EQ(commit.hdr.status, 0);
    EXPECT_TRUE(drive.committed);
    EXPECT_EQ(drive.Revision(), "1A50");
}

TEST(DriveFile, DeviceAndLetterNameTheDriveOfTheSgDevice) {
    std::vector<DriveFileEntry> drives;
    std::string error;
    ASSERT_TRUE(
        ParseDriveFile("[DRIVE0]\nDevice=/dev/sg3\nLetter=f\n"
                       "[DRIVE1]\nDevice = /tmp/sr e\nLetter=G:\n"
                       "[DRIVE2]\nVendor=X\n",
                       drives, &error))
        << error;
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].device, "/dev/sg3");
    EXPECT_EQ(drives[0].letter, 'F');
    EXPECT_EQ(drives[1].device, "/tmp/sr e");
    EXPECT_EQ(drives[1].letter, 'G');
    EXPECT_EQ(drives[2].device, "");
    EXPECT_EQ(drives[2].letter, 'E');  // the default

    for (const char* bad : {"Letter=EF", "Letter=1", "Letter="}) {
        error.clear();
        EXPECT_FALSE(ParseDriveFile(std::string("[DRIVE0]\n") + bad + "\n", drives, &error)) << bad;
        EXPECT_NE(error.find("Letter"), std::string::npos) << error;
    }
}

// The virtual device honours the flasher's lock as the sg driver honours an
// exclusive open: a Device another process holds an flock on is busy; this
// process's own lock, and a lock let go, are not.
TEST(SgService, ADeviceAnotherProcessHasLockedIsBusy) {
    TempDir dir;
    dir.Write("dev", std::string());
    const std::string path = dir.File("dev");
    struct stat st;
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_FALSE(LockedByAnotherProcess(st.st_dev, st.st_ino));

    int ready[2], release[2];
    ASSERT_EQ(0, pipe(ready));
    ASSERT_EQ(0, pipe(release));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(release[1]);  // so the parent's close ends the read below
        close(ready[0]);
        const int fd = open(path.c_str(), O_RDWR);
        char c = flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1);  // until the parent closes it
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char c = 0;
    ASSERT_EQ(1, read(ready[0], &c, 1));
    ASSERT_EQ('y', c);
    EXPECT_TRUE(LockedByAnotherProcess(st.st_dev, st.st_ino));
    close(release[1]);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    EXPECT_FALSE(LockedByAnotherProcess(st.st_dev, st.st_ino)) << "let go when its holder ended";

    const int own = open(path.c_str(), O_RDWR);
    ASSERT_EQ(0, flock(own, LOCK_EX));
    EXPECT_FALSE(LockedByAnotherProcess(st.st_dev, st.st_ino)) << "this process's own lock";
    close(own);
}
}  // namespace
