// The Linux backend's system side: devices found in sysfs and given drive
// letters, opening, calls on a file that is no SCSI device, system texts,
// and the kernel's media polling switched off and given back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ScsiRequests.h"
#include "host/linux/LinuxDevices.h"
#include "host/linux/LinuxOsCalls.h"
#include "host/linux/SystemErrors.h"
#include "package/BuildFlasher.h"
#include "package/Integrity.h"
#include "tests/support/TempDir.h"

namespace {
namespace fs = std::filesystem;

void Put(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

std::string Get(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

TEST(LinuxDevices, ScanFindsOpticalGenericNodesInNumberOrder) {
    TempDir sys;
    const std::string cls = sys.Path() + "/class/scsi_generic/";
    Put(cls + "sg0/device/type", "0\n");  // a disk
    Put(cls + "sg1/device/type", "5\n");
    Put(cls + "sg10/device/type", "5\n");
    Put(cls + "sg2/device/type", "5\n");
    Put(cls + "sg3/device/type", "");  // unreadable type: left out
    EXPECT_EQ((std::vector<std::string>{"/dev/sg1", "/dev/sg2", "/dev/sg10"}),
              FindOpticalSgNodes(sys.Path(), "/dev"));
    EXPECT_TRUE(FindOpticalSgNodes(sys.Path() + "/none", "/dev").empty());
}

TEST(LinuxDevices, LettersFromDAndNoMoreThanTheAlphabetHolds) {
    std::vector<std::string> paths;
    for (int i = 0; i < 25; ++i) paths.push_back("/tmp/practice" + std::to_string(i));
    std::vector<std::string> notes;
    auto devices = AssignDevices(paths, &notes, "/nonexistent", "/dev");
    ASSERT_EQ(kMaxLinuxDevices, devices.size());
    EXPECT_EQ('D', devices.front().letter);
    EXPECT_EQ('Z', devices.back().letter);
    EXPECT_EQ("/tmp/practice0", devices.front().path);
    EXPECT_EQ(2u, notes.size());  // the two left out, each named

    notes.clear();
    devices = AssignDevices({"/tmp/a", "/tmp/b", "/tmp/a"}, &notes, "/nonexistent", "/dev");
    ASSERT_EQ(2u, devices.size());
    EXPECT_EQ('E', devices[1].letter);
    ASSERT_EQ(1u, notes.size());
    EXPECT_EQ("/tmp/a: named twice; used once", notes[0]);
}

TEST(LinuxDevices, AnSrDeviceIsUsedThroughItsGenericNode) {
    TempDir dir;
    // A block device node of the sr driver's numbers (making one needs root).
    if (mknod(dir.File("sr0").c_str(), S_IFBLK | 0600, makedev(11, 0)) != 0)
        GTEST_SKIP() << "no block device node can be made here";
    Put(dir.File("sys/dev/block/11:0/device/scsi_generic/sg4/dev"), "21:4\n");
    std::vector<std::string> notes;
    auto devices =
        AssignDevices({dir.File("sr0"), dir.File("plain")}, &notes, dir.File("sys"), "/dev");
    ASSERT_EQ(2u, devices.size());
    EXPECT_EQ(dir.File("sr0"), devices[0].named);
    EXPECT_EQ("/dev/sg4", devices[0].path);
    EXPECT_EQ(dir.File("plain"), devices[1].path);
    ASSERT_EQ(1u, notes.size());
    EXPECT_EQ(dir.File("sr0") + " is used through its SCSI generic node /dev/sg4", notes[0]);
    EXPECT_EQ("", SgNodeOfBlockDevice(dir.File("sr0"), dir.File("nosys"), "/dev"));
}

TEST(LinuxOsCalls, LettersStandForTheDevicesOfAnNtFamilySystem) {
    LinuxOsCalls os({{"/a", "/a", 'D'}, {"/b", "/b", 'E'}});
    OsVersionInfo info;
    EXPECT_TRUE(os.GetVersionExA(info));
    EXPECT_EQ(kPlatformWin32Nt, info.dwPlatformId);
    char roots[16];
    EXPECT_EQ(9u, os.GetLogicalDriveStringsA(4, roots)) << "too small: the size it needs";
    ASSERT_EQ(8u, os.GetLogicalDriveStringsA(sizeof roots, roots));
    EXPECT_EQ(0, std::memcmp("D:\\\0E:\\\0\0", roots, 9));
    EXPECT_EQ(kDriveCdrom, os.GetDriveTypeA("D:\\"));
    EXPECT_EQ(kDriveCdrom, os.GetDriveTypeA("e:\\"));
    EXPECT_EQ(1u, os.GetDriveTypeA("F:\\"));
    EXPECT_EQ(nullptr, os.LoadLibraryA("WNASPI32.DLL"));
    EXPECT_EQ(InvalidOsHandle(), os.CreateFileA("\\\\.\\F:", 0xC0000000u, 1, kOpenExisting, 0));
    EXPECT_EQ(kErrorFileNotFound, os.GetLastError());
}

TEST(LinuxOsCalls, AFileThatIsNoScsiDeviceFailsItsCallsAndIsNamedOnce) {
    TempDir dir;
    dir.Write("plain", std::string("x"));
    LinuxOsCalls os(
        {{dir.File("plain"), dir.File("plain"), 'D'}, {dir.File("gone"), dir.File("gone"), 'E'}});
    std::vector<std::string> notices;
    os.notice = [&](const std::string& text) { notices.push_back(text); };

    EXPECT_EQ(InvalidOsHandle(), os.CreateFileA("\\\\.\\E:", 0xC0000000u, 1, kOpenExisting, 0));
    EXPECT_EQ(kErrorFileNotFound, os.GetLastError());
    EXPECT_EQ(kErrorFileNotFound, os.OpenError('E'));

    OsHandle h = os.CreateFileA("\\\\.\\d:", 0xC0000000u, 1, kOpenExisting, 0);
    ASSERT_NE(InvalidOsHandle(), h);
    EXPECT_EQ(0u, os.OpenError('D'));
    PassThroughRecord record{};
    record.Spt.Length = sizeof(ScsiPassThroughDirect);
    record.Spt.CdbLength = 12;
    record.Spt.DataIn = kScsiIoctlDataIn;
    record.Spt.TimeOutValue = 1;
    uint32_t returned = 7;
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(os.DeviceIoControl(h, kIoctlScsiPassThroughDirect, &record, sizeof record,
                                        &record, sizeof record, &returned));
        EXPECT_EQ(kErrorIoDevice, os.GetLastError());  // ENOTTY
    }
    EXPECT_EQ(0u, returned);
    ASSERT_EQ(1u, notices.size());
    EXPECT_NE(std::string::npos, notices[0].find("is not a SCSI device"));
    EXPECT_FALSE(
        os.DeviceIoControl(h, 0x2D1400, &record, sizeof record, &record, sizeof record, &returned));
    EXPECT_EQ(kErrorInvalidFunction, os.GetLastError());
    EXPECT_TRUE(os.CloseHandle(h));
    EXPECT_FALSE(os.CloseHandle(h));
    EXPECT_EQ(kErrorInvalidHandle, os.GetLastError());
}

// The open as the drive layer asks for it, seen through the open's seam:
// O_EXCL on an sg node (the driver then keeps every other open away), none on
// any other file, and the advice for each refusal the system gives.
TEST(LinuxOsCalls, AnSgNodeIsOpenedExclusivelyAndEachRefusalIsExplained) {
    TempDir dir;
    dir.Write("sg", std::string());
    dir.Write("plain", std::string());
    LinuxOsCalls os(
        {{dir.File("sg"), dir.File("sg"), 'D'}, {dir.File("plain"), dir.File("plain"), 'E'}});
    std::vector<std::string> notices;
    os.notice = [&](const std::string& text) { notices.push_back(text); };
    os.isSgNode = [&](const std::string& path) { return path == dir.File("sg"); };
    std::vector<int> flags;
    int refuse = 0;
    os.openDevice = [&](const char* path, int f) {
        flags.push_back(f);
        if (refuse) {
            errno = refuse;
            return -1;
        }
        return open(path, f & ~O_EXCL);
    };

    OsHandle h = os.CreateFileA("\\\\.\\D:", 0xC0000000u, 3, kOpenExisting, 0);
    ASSERT_NE(InvalidOsHandle(), h);
    ASSERT_EQ(1u, flags.size());
    EXPECT_EQ(O_EXCL, flags[0] & O_EXCL) << "an sg node is opened exclusively";
    EXPECT_EQ(O_RDWR, flags[0] & O_ACCMODE);
    EXPECT_TRUE(os.CloseHandle(h));
    h = os.CreateFileA("\\\\.\\E:", 0xC0000000u, 3, kOpenExisting, 0);
    ASSERT_NE(InvalidOsHandle(), h);
    EXPECT_EQ(0, flags[1] & O_EXCL) << "O_EXCL without O_CREAT means nothing on a plain file";
    EXPECT_TRUE(os.CloseHandle(h));
    EXPECT_TRUE(notices.empty());

    for (int error : {EACCES, EPERM}) {
        refuse = error;
        notices.clear();
        EXPECT_EQ(InvalidOsHandle(), os.CreateFileA("\\\\.\\D:", 0xC0000000u, 3, kOpenExisting, 0));
        EXPECT_EQ(kErrorAccessDenied, os.GetLastError());
        ASSERT_EQ(1u, notices.size()) << error;
        EXPECT_EQ(0u, notices[0].find("You may not open " + dir.File("sg"))) << notices[0];
        EXPECT_EQ(error, os.OpenErrno('D'));
    }
    refuse = EBUSY;
    notices.clear();
    EXPECT_EQ(InvalidOsHandle(), os.CreateFileA("\\\\.\\D:", 0xC0000000u, 3, kOpenExisting, 0));
    EXPECT_EQ(kErrorBusy, os.GetLastError());
    ASSERT_EQ(1u, notices.size());
    EXPECT_NE(std::string::npos, notices[0].find("is in use by another program"));
}

// One flash per drive where O_EXCL does not reach: the second open of the
// same device, as a second flasher makes it, meets the first one's lock.
TEST(LinuxOsCalls, ASecondOpenOfALockedDeviceIsRefusedAndNamesTheHolder) {
    TempDir dir;
    dir.Write("dev", std::string());
    LinuxOsCalls first({{dir.File("dev"), dir.File("dev"), 'D'}});
    LinuxOsCalls second({{dir.File("dev"), dir.File("dev"), 'D'}});
    std::vector<std::string> notices;
    second.notice = [&](const std::string& text) { notices.push_back(text); };
    OsHandle h = first.CreateFileA("\\\\.\\D:", 0xC0000000u, 3, kOpenExisting, 0);
    ASSERT_NE(InvalidOsHandle(), h);
    EXPECT_EQ(InvalidOsHandle(), second.CreateFileA("\\\\.\\D:", 0xC0000000u, 3, kOpenExisting, 0));
    EXPECT_EQ(kErrorBusy, second.GetLastError());
    EXPECT_EQ(kErrorBusy, second.OpenError('D'));
    ASSERT_EQ(1u, notices.size());
    EXPECT_NE(std::string::npos,
              notices[0].find(" is in use: process " + std::to_string(getpid()) + " ("))
        << notices[0];
    // Once the first lets go, the drive is free again.
    EXPECT_TRUE(first.CloseHandle(h));
    h = second.CreateFileA("\\\\.\\D:", 0xC0000000u, 3, kOpenExisting, 0);
    EXPECT_NE(InvalidOsHandle(), h);
    EXPECT_TRUE(second.CloseHandle(h));
}

// What the flash asks of Windows beside its commands is answered "not
// supported", quietly, so the flash goes on: the flash mutex, the handle for
// media change control (a second open of an sg node would be refused), and
// the drive's exclusive lock.
TEST(LinuxOsCalls, FlashMutexAndDriveControlsAreNotSupportedAndSayNothing) {
    TempDir dir;
    dir.Write("plain", std::string("x"));
    LinuxOsCalls os({{dir.File("plain"), dir.File("plain"), 'D'}});
    std::vector<std::string> notices;
    os.notice = [&](const std::string& text) { notices.push_back(text); };
    EXPECT_EQ(nullptr, os.CreateMutexA(false, "Global\\NorvexFlash.DriveFirmwareFlash"));
    EXPECT_EQ(kErrorNotSupported, os.GetLastError());
    EXPECT_EQ(InvalidOsHandle(), os.CreateFileA("\\\\.\\D:", kFileReadAttributes,
                                                kFileShareReadWrite, kOpenExisting, 0));
    EXPECT_EQ(kErrorNotSupported, os.GetLastError());
    OsHandle h = os.CreateFileA("\\\\.\\D:", 0xC0000000u, 1, kOpenExisting, 0);
    ASSERT_NE(InvalidOsHandle(), h);
    uint8_t query[8] = {}, state[65] = {};
    uint32_t returned = 0;
    EXPECT_FALSE(os.DeviceIoControl(h, kIoctlCdromExclusiveAccess, query, sizeof query, state,
                                    sizeof state, &returned));
    EXPECT_TRUE(os.CloseHandle(h));
    EXPECT_TRUE(notices.empty());
}

TEST(LinuxOsCalls, FormatMessageGivesTheSystemTextOrFails) {
    LinuxOsCalls os({});
    char text[80];
    const uint32_t flags = kFormatMessageFromSystem | kFormatMessageIgnoreInserts;
    ASSERT_EQ(19u, os.FormatMessageA(flags, 5, 0, text, sizeof text));
    EXPECT_STREQ("Access is denied.\r\n", text);
    EXPECT_EQ(0u, os.FormatMessageA(flags, 5, 0, text, 10)) << "too small";
    EXPECT_EQ(0u, os.FormatMessageA(flags, 433, 0, text, sizeof text)) << "no text of ours";
}

TEST(MediaPolling, SwitchedOffForTheFlashAndGivenBack) {
    // The block device behind a character device, as sysfs links it: the
    // numbers of /dev/null stand in for an sg node.
    struct stat st;
    ASSERT_EQ(0, stat("/dev/null", &st));
    TempDir sys;
    const std::string file = sys.Path() + "/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                             std::to_string(minor(st.st_rdev)) +
                             "/device/block/sr0/events_poll_msecs";
    Put(file, "2000\n");
    {
        MediaPolling polling(sys.Path());
        std::string why;
        EXPECT_TRUE(polling.Suspend("/dev/null", &why));
        EXPECT_EQ("0", Get(file));
        EXPECT_EQ(file, polling.File());
        polling.Restore();
        EXPECT_EQ("2000", Get(file));
        EXPECT_TRUE(polling.Suspend("/dev/null", &why));
    }
    EXPECT_EQ("2000", Get(file)) << "given back when it goes out of scope";

    Put(file, "0\n");  // already off: nothing to give back
    MediaPolling off(sys.Path());
    EXPECT_TRUE(off.Suspend("/dev/null", nullptr));
    EXPECT_EQ("", off.File());
    // A practice file has no block device: nothing to switch.
    EXPECT_TRUE(off.Suspend(sys.Path(), nullptr));
    EXPECT_EQ("", off.File());
}

// The command log's file: a name that is no drive's is a plain file, made
// when missing and appended to; a folder that does not exist cannot be
// opened; the file takes no SCSI request; the clocks run.
TEST(LinuxOsCalls, LogFileIsAppendedToAndTakesNoRequest) {
    TempDir dir;
    LinuxOsCalls os({});
    const std::string name = dir.File("run.log");
    for (const char* text : {"first\n", "second\n"}) {
        OsHandle h = os.CreateFileA(name.c_str(), kGenericWrite, kFileShareRead, kOpenAlways,
                                    kFileAttributeNormal);
        ASSERT_NE(h, InvalidOsHandle());
        EXPECT_NE(os.SetFilePointer(h, 0, kFileEnd), kInvalidSetFilePointer);
        uint32_t written = 0;
        EXPECT_TRUE(os.WriteFile(h, text, uint32_t(std::strlen(text)), &written));
        EXPECT_EQ(written, std::strlen(text));
        PassThroughRecord record{};
        uint32_t returned = 0;
        EXPECT_FALSE(os.DeviceIoControl(h, kIoctlScsiPassThroughDirect, &record, sizeof record,
                                        &record, sizeof record, &returned));
        EXPECT_TRUE(os.CloseHandle(h));
    }
    std::ifstream in(name);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all, "first\nsecond\n");

    const std::string missing = dir.File("no-such-dir/run.log");
    EXPECT_EQ(os.CreateFileA(missing.c_str(), kGenericWrite, kFileShareRead, kOpenAlways, 0),
              InvalidOsHandle());
    EXPECT_EQ(os.GetLastError(), kErrorFileNotFound);  // ENOENT, as the backend names it

    int64_t frequency = 0, first = 0, second = 0;
    ASSERT_TRUE(os.QueryPerformanceFrequency(&frequency));
    ASSERT_TRUE(os.QueryPerformanceCounter(&first));
    os.Sleep(5);
    ASSERT_TRUE(os.QueryPerformanceCounter(&second));
    EXPECT_GE((second - first) * 1000 / frequency, 4);
    OsSystemTime now;
    os.GetLocalTime(now);
    EXPECT_GE(now.wYear, 2020);
}

}  // namespace

// The builder's output file: a new name only, written whole, then renamed
// over the earlier file in one step.
TEST(LinuxOsCalls, OutputFilesAreNewFilesRenamedOverTheEarlierOne) {
    TempDir dir;
    LinuxOsCalls os({});
    dir.Write("OLD.EXE", std::string("an earlier build"));
    const std::string taken = dir.File("OLD.EXE"), fresh = dir.File("~NF0000.TMP");
    EXPECT_EQ(os.CreateFileA(taken.c_str(), kGenericWrite, 0, kCreateNew, kFileAttributeNormal),
              InvalidOsHandle());
    EXPECT_EQ(os.GetLastError(), kErrorFileExists);
    OsHandle h = os.CreateFileA(fresh.c_str(), kGenericWrite, 0, kCreateNew, kFileAttributeNormal);
    ASSERT_NE(h, InvalidOsHandle());
    uint32_t written = 0;
    EXPECT_TRUE(os.WriteFile(h, "new!", 4, &written));
    EXPECT_EQ(written, 4u);
    EXPECT_TRUE(os.FlushFileBuffers(h));
    EXPECT_TRUE(os.CloseHandle(h));
    EXPECT_FALSE(os.WriteFile(h, "x", 1, &written));  // closed
    EXPECT_EQ(os.GetLastError(), kErrorInvalidHandle);
    // As on Windows, MoveFileA never replaces; MoveFileExA with the flag does.
    EXPECT_FALSE(os.MoveFileA(fresh.c_str(), taken.c_str()));
    EXPECT_EQ(os.GetLastError(), kErrorAlreadyExists);
    EXPECT_TRUE(os.MoveFileExA(fresh.c_str(), taken.c_str(), kMoveFileReplaceExisting));
    auto bytes = dir.Read("OLD.EXE");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "new!");
    EXPECT_FALSE(dir.Exists("~NF0000.TMP"));
    EXPECT_FALSE(os.DeleteFileA(fresh.c_str()));
    EXPECT_EQ(os.GetLastError(), kErrorFileNotFound);
    // A device name is still a drive letter's, never a file.
    EXPECT_EQ(os.CreateFileA("\\\\.\\D:", kGenericWrite, 0, kCreateNew, 0), InvalidOsHandle());
    EXPECT_FALSE(std::filesystem::exists("\\\\.\\D:"));
}

namespace {
// The Linux backend on a disk that fills up after `room` bytes of a file.
class FullDiskOs : public LinuxOsCalls {
  public:
    explicit FullDiskOs(uint64_t room) : LinuxOsCalls({}), room_(room) {}
    bool WriteFile(OsHandle file, const void* data, uint32_t size, uint32_t* written) override {
        if (used_ + size <= room_) {
            used_ += size;
            return LinuxOsCalls::WriteFile(file, data, size, written);
        }
        uint32_t fits = uint32_t(room_ - used_);
        LinuxOsCalls::WriteFile(file, data, fits, written);
        used_ = room_;
        return false;
    }

  private:
    uint64_t room_, used_ = 0;
};
}  // namespace

TEST(LinuxOsCalls, ABuildThatFillsTheDiskLeavesTheEarlierFlasher) {
    TempDir dir;
    std::vector<uint8_t> templ(400000, 0x5A);
    std::memcpy(templ.data() + 1000, "FWBLOCK-MARKER", 15);
    dir.Write("T.EXE", templ);
    dir.Write("2B20.BIN", std::vector<uint8_t>(70000, 0x11));
    dir.Write("2B20.EXE", std::string("an earlier build"));
    for (uint64_t room : {uint64_t(0), uint64_t(65536), uint64_t(200000), uint64_t(399999)}) {
        FullDiskOs os(room);
        BuildRequest request;
        request.templatePath = dir.File("T.EXE");
        request.firmwarePath = dir.File("2B20.BIN");
        request.outputPath = dir.File("2B20.EXE");
        request.keyword = reinterpret_cast<const uint8_t*>("FWBLOCK-MARKER");
        std::vector<uint8_t> image;
        uint32_t size = 0;
        EXPECT_EQ(BuildFlasher(os, request, image, size, {}), BuildOutcome::OutputWriteFailed)
            << room;
        auto bytes = dir.Read("2B20.EXE");
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "an earlier build") << room;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                                std::filesystem::directory_iterator()),
                  3)
            << "a file of the build's stayed";
    }
    // With room enough, the same build replaces it.
    FullDiskOs os(UINT64_MAX);
    BuildRequest request;
    request.templatePath = dir.File("T.EXE");
    request.firmwarePath = dir.File("2B20.BIN");
    request.outputPath = dir.File("2B20.EXE");
    request.keyword = reinterpret_cast<const uint8_t*>("FWBLOCK-MARKER");
    std::vector<uint8_t> image;
    uint32_t size = 0;
    EXPECT_EQ(BuildFlasher(os, request, image, size, {}), BuildOutcome::Complete);
    EXPECT_EQ(dir.Read("2B20.EXE").size(), templ.size() + kTrailerSize);
}
