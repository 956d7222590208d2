// WinOsCalls against the real Win32 calls (the Windows test program only):
// what the drive layer and the catalogue rely on from each of them.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ScsiRequests.h"
#include "host/win/WinOsCalls.h"
#include "package/BuildFlasher.h"
#include "package/Integrity.h"
#include "tests/support/TempDir.h"

namespace {

// Sets an event from another thread after a pause, as an ASPI layer does.
DWORD WINAPI SetLater(LPVOID event) {
    ::Sleep(50);
    ::SetEvent(static_cast<HANDLE>(event));
    return 0;
}

TEST(WinOsCalls, ManualResetEventWaitsAndResets) {
    WinOsCalls os;
    OsHandle event = os.CreateEventA(true, false);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(os.WaitForSingleObject(event, 0), kWaitTimeout);
    ASSERT_TRUE(::SetEvent(static_cast<HANDLE>(event)));
    EXPECT_EQ(os.WaitForSingleObject(event, 0), kWaitObject0);
    EXPECT_EQ(os.WaitForSingleObject(event, 0), kWaitObject0);  // stays set
    EXPECT_TRUE(os.ResetEvent(event));
    EXPECT_EQ(os.WaitForSingleObject(event, 0), kWaitTimeout);
    EXPECT_TRUE(os.CloseHandle(event));
}

TEST(WinOsCalls, InitiallySetAutoResetEventIsTakenOnce) {
    WinOsCalls os;
    OsHandle event = os.CreateEventA(false, true);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(os.WaitForSingleObject(event, 0), kWaitObject0);
    EXPECT_EQ(os.WaitForSingleObject(event, 0), kWaitTimeout);
    EXPECT_TRUE(os.CloseHandle(event));
}

TEST(WinOsCalls, WaitRunsItsTimeOutOrEndsWhenAnotherThreadSignals) {
    WinOsCalls os;
    OsHandle event = os.CreateEventA(true, false);
    ASSERT_NE(event, nullptr);
    DWORD start = ::GetTickCount();
    EXPECT_EQ(os.WaitForSingleObject(event, 100), kWaitTimeout);
    EXPECT_GE(::GetTickCount() - start, 80u);

    HANDLE thread = ::CreateThread(nullptr, 0, SetLater, event, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    start = ::GetTickCount();
    EXPECT_EQ(os.WaitForSingleObject(event, 10000), kWaitObject0);
    EXPECT_LT(::GetTickCount() - start, 5000u);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    EXPECT_TRUE(os.CloseHandle(event));
}

TEST(WinOsCalls, ClosingAClosedHandleFails) {
    WinOsCalls os;
    OsHandle event = os.CreateEventA(true, false);
    ASSERT_NE(event, nullptr);
    EXPECT_TRUE(os.CloseHandle(event));
    EXPECT_FALSE(os.CloseHandle(event));
    EXPECT_EQ(os.GetLastError(), uint32_t(ERROR_INVALID_HANDLE));
}

TEST(WinOsCalls, FailedOpenLeavesItsOwnErrorCode) {
    WinOsCalls os;
    TempDir dir;
    std::string missing = dir.Path() + "\\MISSING.BIN";
    ::SetLastError(0);
    OsHandle h = os.CreateFileA(missing.c_str(), GENERIC_READ, FILE_SHARE_READ, kOpenExisting, 0);
    EXPECT_EQ(h, InvalidOsHandle());
    EXPECT_EQ(os.GetLastError(), uint32_t(ERROR_FILE_NOT_FOUND));

    std::string deeper = dir.Path() + "\\NO-SUCH-DIR\\MISSING.BIN";
    h = os.CreateFileA(deeper.c_str(), GENERIC_READ, FILE_SHARE_READ, kOpenExisting, 0);
    EXPECT_EQ(h, InvalidOsHandle());
    EXPECT_EQ(os.GetLastError(), uint32_t(ERROR_PATH_NOT_FOUND));
}

TEST(WinOsCalls, OpenedFileHandleIsUsableAndClosed) {
    WinOsCalls os;
    TempDir dir;
    dir.Write("THERE.BIN", std::string("data"));
    std::string path = dir.File("THERE.BIN");
    OsHandle h = os.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, kOpenExisting, 0);
    ASSERT_NE(h, InvalidOsHandle());
    EXPECT_EQ(::GetFileSize(static_cast<HANDLE>(h), nullptr), 4u);
    EXPECT_TRUE(os.CloseHandle(h));
}

TEST(WinOsCalls, FailedDeviceControlLeavesItsErrorCodeForTheCaller) {
    WinOsCalls os;
    TempDir dir;
    dir.Write("PLAIN.BIN", std::string("data"));
    std::string path = dir.File("PLAIN.BIN");
    OsHandle h = os.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, kOpenExisting, 0);
    ASSERT_NE(h, InvalidOsHandle());
    PassThroughRecord record{};
    record.Spt.Length = sizeof(ScsiPassThroughDirect);
    uint32_t returned = 12345;
    ::SetLastError(0);
    // A plain file is no SCSI device: the request fails with a code of its own.
    EXPECT_FALSE(os.DeviceIoControl(h, kIoctlScsiPassThroughDirect, &record, sizeof record, &record,
                                    sizeof record, &returned));
    EXPECT_NE(os.GetLastError(), 0u);
    EXPECT_TRUE(os.CloseHandle(h));

    ::SetLastError(0);
    EXPECT_FALSE(os.DeviceIoControl(InvalidOsHandle(), kIoctlScsiPassThroughDirect, &record,
                                    sizeof record, &record, sizeof record, &returned));
    EXPECT_EQ(os.GetLastError(), uint32_t(ERROR_INVALID_HANDLE));
}

TEST(WinOsCalls, SystemMessageTextForAnErrorCode) {
    WinOsCalls os;
    char text[512];
    std::memset(text, '#', sizeof text);
    uint32_t n = os.FormatMessageA(kFormatMessageFromSystem | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   ERROR_FILE_NOT_FOUND, 0, text, sizeof text);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(n, std::strlen(text));
    EXPECT_NE(std::string(text).find("not found"), std::string::npos) << text;

    // A code the system has no text for: nothing, and the call says so.
    n = os.FormatMessageA(kFormatMessageFromSystem | FORMAT_MESSAGE_IGNORE_INSERTS, 0x2FFFFFFF, 0,
                          text, sizeof text);
    EXPECT_EQ(n, 0u);
    EXPECT_NE(os.GetLastError(), 0u);
}

TEST(WinOsCalls, LogicalDrivesAreListedWithTheirTypes) {
    WinOsCalls os;
    uint32_t needed = os.GetLogicalDriveStringsA(0, nullptr);
    ASSERT_GT(needed, 4u);
    std::vector<char> list(needed + 8, '#');
    uint32_t n = os.GetLogicalDriveStringsA(uint32_t(list.size()), list.data());
    ASSERT_EQ(n + 1, needed);  // the size asked for counts the final NUL
    EXPECT_EQ(list[n], '\0');
    bool sawC = false;
    for (const char* root = list.data(); *root; root += std::strlen(root) + 1) {
        ASSERT_EQ(std::strlen(root), 3u) << root;  // "X:\"
        EXPECT_EQ(root[1], ':');
        EXPECT_EQ(root[2], '\\');
        uint32_t type = os.GetDriveTypeA(root);
        EXPECT_NE(type, uint32_t(DRIVE_UNKNOWN)) << root;
        EXPECT_NE(type, uint32_t(DRIVE_NO_ROOT_DIR)) << root;
        if (root[0] == 'C') sawC = true;
    }
    EXPECT_TRUE(sawC);
    EXPECT_EQ(os.GetDriveTypeA("C:\\"), uint32_t(DRIVE_FIXED));
}

TEST(WinOsCalls, VersionGivesThePlatformOnlyForTheRightRecordSize) {
    WinOsCalls os;
    OsVersionInfo info;
    ASSERT_TRUE(os.GetVersionExA(info));
    EXPECT_TRUE(info.dwPlatformId == kPlatformWin32Nt || info.dwPlatformId == kPlatformWin32Windows)
        << info.dwPlatformId;
    EXPECT_GE(info.dwMajorVersion, 4u);  // what the flash mutex's name is chosen by
    OsVersionInfo wrong;
    wrong.dwOSVersionInfoSize = 20;
    wrong.dwPlatformId = 77;
    EXPECT_FALSE(os.GetVersionExA(wrong));
    EXPECT_EQ(wrong.dwPlatformId, 77u);
}

// Takes the named mutex with a wait of 0 ms from a thread of its own, as
// another flasher would; returns the wait's result.
DWORD WINAPI TryMutexElsewhere(LPVOID name) {
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, static_cast<const char*>(name));
    if (!mutex) return WAIT_FAILED;
    DWORD result = ::WaitForSingleObject(mutex, 0);
    if (result == WAIT_OBJECT_0) ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    return result;
}

DWORD OtherThreadsWait(const char* name) {
    HANDLE thread =
        ::CreateThread(nullptr, 0, TryMutexElsewhere, const_cast<char*>(name), 0, nullptr);
    if (!thread) return WAIT_FAILED;
    ::WaitForSingleObject(thread, INFINITE);
    DWORD result = WAIT_FAILED;
    ::GetExitCodeThread(thread, &result);
    ::CloseHandle(thread);
    return result;
}

TEST(WinOsCalls, NamedMutexIsOwnedUntilReleasedAndSharedByName) {
    WinOsCalls os;
    const char* name = "NorvexFlash.WinOsCallsTest";
    OsHandle mutex = os.CreateMutexA(false, name);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(os.WaitForSingleObject(mutex, 0), kWaitObject0);
    EXPECT_EQ(OtherThreadsWait(name), DWORD(WAIT_TIMEOUT));  // another flasher is refused
    OsHandle again = os.CreateMutexA(false, name);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(os.GetLastError(), uint32_t(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(os.CloseHandle(again));
    EXPECT_TRUE(os.ReleaseMutex(mutex));
    EXPECT_FALSE(os.ReleaseMutex(mutex));  // no longer owned
    EXPECT_EQ(os.GetLastError(), uint32_t(ERROR_NOT_OWNER));
    EXPECT_EQ(OtherThreadsWait(name), DWORD(WAIT_OBJECT_0));
    EXPECT_TRUE(os.CloseHandle(mutex));
}

TEST(WinOsCalls, DriveControlsOnAFileAreRefused) {
    WinOsCalls os;
    TempDir dir;
    const std::string path = dir.File("plain.bin");
    std::ofstream(path) << "x";
    OsHandle file =
        os.CreateFileA(path.c_str(), kFileReadAttributes, kFileShareReadWrite, kOpenExisting, 0);
    ASSERT_NE(file, InvalidOsHandle());
    uint8_t prevent = 1;
    uint32_t returned = 0;
    EXPECT_FALSE(
        os.DeviceIoControl(file, kIoctlStorageMcnControl, &prevent, 1, nullptr, 0, &returned));
    uint8_t query[8] = {};
    uint8_t state[65] = {};
    EXPECT_FALSE(os.DeviceIoControl(file, kIoctlCdromExclusiveAccess, query, sizeof query, state,
                                    sizeof state, &returned));
    EXPECT_NE(os.GetLastError(), 0u);
    EXPECT_TRUE(os.CloseHandle(file));
}

TEST(WinOsCalls, LibrariesAndEntryPoints) {
    WinOsCalls os;
    OsModule kernel = os.LoadLibraryA("KERNEL32.DLL");
    ASSERT_NE(kernel, nullptr);
    EXPECT_NE(os.GetProcAddress(kernel, "GetVersionExA"), nullptr);
    EXPECT_EQ(os.GetProcAddress(kernel, "NoSuchEntryPoint"), nullptr);
    EXPECT_TRUE(os.FreeLibrary(kernel));
    EXPECT_EQ(os.LoadLibraryA("NOSUCH32.DLL"), nullptr);
    EXPECT_EQ(os.GetLastError(), uint32_t(ERROR_MOD_NOT_FOUND));
}

TEST(WinOsCalls, SleepWaitsAbout) {
    WinOsCalls os;
    DWORD start = ::GetTickCount();
    os.Sleep(60);
    EXPECT_GE(::GetTickCount() - start, 40u);
}

TEST(WinOsCalls, ProfileStringsAndTheCurrentDirectory) {
    WinOsCalls os;
    TempDir dir;
    dir.Write("CAT.INI", std::string("[Model]\r\nInquiry=NORVEX  CDRW-1000\r\n"));
    std::string ini = dir.File("CAT.INI");
    char value[64];
    uint32_t n =
        os.GetPrivateProfileStringA("Model", "Inquiry", "", value, sizeof value, ini.c_str());
    EXPECT_EQ(std::string(value, n), "NORVEX  CDRW-1000");
    n = os.GetPrivateProfileStringA("Model", "Missing", "DEF", value, sizeof value, ini.c_str());
    EXPECT_EQ(std::string(value, n), "DEF");
    n = os.GetPrivateProfileStringA("Model", "Inquiry", "", value, 5, ini.c_str());
    EXPECT_EQ(n, 4u);  // cut to the buffer, terminated
    EXPECT_STREQ(value, "NORV");

    char cwd[MAX_PATH + 1];
    n = os.GetCurrentDirectoryA(sizeof cwd, cwd);
    ASSERT_GT(n, 2u);
    EXPECT_EQ(n, std::strlen(cwd));
    // Too small: the answer is the size needed, NUL included, as the catalogue expects.
    char tiny[2];
    EXPECT_EQ(os.GetCurrentDirectoryA(sizeof tiny, tiny), n + 1);
}

std::string TextOf(const TempDir& dir, const std::string& name) {
    auto bytes = dir.Read(name);
    return std::string(bytes.begin(), bytes.end());
}

// The builder's output file: a new name only, then moved over the earlier one.
TEST(WinOsCalls, OutputFilesAreNewFilesMovedOverTheEarlierOne) {
    WinOsCalls os;
    TempDir dir;
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
    EXPECT_FALSE(os.MoveFileA(fresh.c_str(), taken.c_str()));
    EXPECT_EQ(os.GetLastError(), kErrorAlreadyExists);
    EXPECT_TRUE(os.MoveFileExA(fresh.c_str(), taken.c_str(),
                               kMoveFileReplaceExisting | kMoveFileWriteThrough));
    EXPECT_EQ(TextOf(dir, "OLD.EXE"), "new!");
    EXPECT_FALSE(dir.Exists("~NF0000.TMP"));
    EXPECT_FALSE(os.DeleteFileA(fresh.c_str()));
    EXPECT_EQ(os.GetLastError(), kErrorFileNotFound);
}

// The real calls on a disk that fills up after `room` bytes of a file, on
// either family (the 9x one without MoveFileExA).
class FullDiskWinOs : public WinOsCalls {
  public:
    FullDiskWinOs(uint64_t room, bool nineFamily) : room_(room), nine_(nineFamily) {}
    bool GetVersionExA(OsVersionInfo& info) override {
        if (!WinOsCalls::GetVersionExA(info)) return false;
        if (nine_) info.dwPlatformId = kPlatformWin32Windows;
        return true;
    }
    bool WriteFile(OsHandle file, const void* data, uint32_t size, uint32_t* written) override {
        if (used_ + size <= room_) {
            used_ += size;
            return WinOsCalls::WriteFile(file, data, size, written);
        }
        WinOsCalls::WriteFile(file, data, uint32_t(room_ - used_), written);
        used_ = room_;
        ::SetLastError(ERROR_DISK_FULL);
        return false;
    }
    bool MoveFileExA(const char* from, const char* to, uint32_t flags) override {
        if (nine_) return ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED), false;
        return WinOsCalls::MoveFileExA(from, to, flags);
    }

  private:
    uint64_t room_, used_ = 0;
    bool nine_;
};

TEST(WinOsCalls, ABuildThatFillsTheDiskLeavesTheEarlierFlasher) {
    TempDir dir;
    std::vector<uint8_t> templ(400000, 0x5A);
    std::memcpy(templ.data() + 1000, "FWBLOCK-MARKER", 15);
    dir.Write("T.EXE", templ);
    dir.Write("2B20.BIN", std::vector<uint8_t>(70000, 0x11));
    auto build = [&](FullDiskWinOs& os) {
        BuildRequest request;
        request.templatePath = dir.File("T.EXE");
        request.firmwarePath = dir.File("2B20.BIN");
        request.outputPath = dir.File("2B20.EXE");
        request.keyword = reinterpret_cast<const uint8_t*>("FWBLOCK-MARKER");
        std::vector<uint8_t> image;
        uint32_t size = 0;
        return BuildFlasher(os, request, image, size, {});
    };
    auto names = [&] {
        return size_t(std::distance(std::filesystem::directory_iterator(dir.Path()),
                                    std::filesystem::directory_iterator()));
    };
    for (bool nine : {false, true}) {
        SCOPED_TRACE(nine ? "9x family" : "NT family");
        dir.Write("2B20.EXE", std::string("an earlier build"));
        for (uint64_t room : {uint64_t(0), uint64_t(65536), uint64_t(399999)}) {
            FullDiskWinOs os(room, nine);
            EXPECT_EQ(build(os), BuildOutcome::OutputWriteFailed) << room;
            EXPECT_EQ(TextOf(dir, "2B20.EXE"), "an earlier build") << room;
            EXPECT_EQ(names(), 3u) << "a file of the build's stayed";
        }
        FullDiskWinOs os(UINT64_MAX, nine);
        EXPECT_EQ(build(os), BuildOutcome::Complete);
        EXPECT_EQ(dir.Read("2B20.EXE").size(), templ.size() + kTrailerSize);
        EXPECT_EQ(names(), 3u);
    }
}

// The virtual ASPI layer beside the program, called through the cdecl entry
// points with a real event, as the 9x transport calls a real layer. The layer
// reads its drive file once per process (it pins itself once it has deferred a
// request), so every test here gives it the same one: 0:1 completes at once,
// 1:1 from a thread of the layer.
class WinOsCallsAspi : public ::testing::Test {
  protected:
    WinOsCalls os;
    TempDir dir;
    OsModule aspi = nullptr;
    OsProc info = nullptr;
    OsProc send = nullptr;

    void SetUp() override {
        dir.Write("DRIVES.INI",
                  std::string("[DRIVE0]\r\nHostAdapter=0\r\nTarget=1\r\nVendor=NORVEX\r\n"
                              "Product=CDRW-1000\r\nRevision=1A00\r\n"
                              "[DRIVE1]\r\nHostAdapter=1\r\nTarget=1\r\nVendor=NORVEX\r\n"
                              "Product=CDRW-1000\r\nRevision=1A00\r\nCommandDelayMs=100\r\n"
                              "Completion=deferred\r\n"));
        ASSERT_TRUE(::SetEnvironmentVariableA("NORVEX_SIM_DRIVES", dir.File("DRIVES.INI").c_str()));
        aspi = os.LoadLibraryA("WNASPI32.DLL");
        ASSERT_NE(aspi, nullptr) << "WNASPI32.DLL next to the test program (wnaspi32=n)";
        info = os.GetProcAddress(aspi, "GetASPI32SupportInfo");
        send = os.GetProcAddress(aspi, "SendASPI32Command");
        ASSERT_NE(info, nullptr);
        ASSERT_NE(send, nullptr);
    }
    void TearDown() override {
        if (aspi) os.FreeLibrary(aspi);
        ::SetEnvironmentVariableA("NORVEX_SIM_DRIVES", nullptr);
    }

    // Sends an INQUIRY to (ha, target) with the event to notify.
    uint32_t SendInquiry(uint8_t ha, uint8_t target, OsHandle event, SrbExecScsiCmd& srb,
                         uint8_t (&data)[96]) {
        std::memset(data, 0, sizeof data);
        srb = SrbExecScsiCmd{};
        srb.SRB_Cmd = kScExecScsiCmd;
        srb.SRB_HaId = ha;
        srb.SRB_Target = target;
        srb.SRB_Flags = 0x08 | 0x40;  // data in, event notify
        srb.SRB_BufLen = sizeof data;
        srb.SRB_BufPointer = data;
        srb.SRB_SenseLen = 14;
        srb.SRB_CDBLen = 12;
        srb.SRB_PostProc = event;
        srb.CDBByte[0] = 0x12;
        srb.CDBByte[4] = sizeof data;
        return os.CallSendASPI32Command(send, &srb);
    }
    static std::string Identification(const uint8_t* data) {
        return std::string(reinterpret_cast<const char*>(data) + 8, 28);
    }
};

const std::string kIdentification = "NORVEX  CDRW-1000" + std::string(7, ' ') + "1A00";

TEST_F(WinOsCallsAspi, SupportInfoCountsTheAdapters) {
    uint32_t support = os.CallGetASPI32SupportInfo(info);
    EXPECT_EQ((support >> 8) & 0xFF, uint32_t(kSsComp));
    EXPECT_EQ(support & 0xFF, 2u);
}

TEST_F(WinOsCallsAspi, InquiryCompletesBeforeTheCallReturns) {
    OsHandle event = os.CreateEventA(true, false);
    ASSERT_NE(event, nullptr);
    SrbExecScsiCmd srb;
    uint8_t data[96];
    EXPECT_EQ(SendInquiry(0, 1, event, srb, data), uint32_t(kSsComp));
    EXPECT_EQ(srb.SRB_Status, kSsComp);
    EXPECT_EQ(os.WaitForSingleObject(event, 0), kWaitObject0);  // signalled already
    EXPECT_EQ(Identification(data), kIdentification);
    EXPECT_TRUE(os.CloseHandle(event));
}

TEST_F(WinOsCallsAspi, DeferredInquiryCompletesThroughTheEventFromAnotherThread) {
    OsHandle event = os.CreateEventA(true, false);
    ASSERT_NE(event, nullptr);
    SrbExecScsiCmd srb;
    uint8_t data[96];
    EXPECT_EQ(SendInquiry(1, 1, event, srb, data), uint32_t(kSsPending));
    EXPECT_EQ(data[8], 0);  // the layer has not written the data area yet
    EXPECT_EQ(os.WaitForSingleObject(event, 10000), kWaitObject0);
    EXPECT_EQ(srb.SRB_Status, kSsComp);  // written before the event was set
    EXPECT_EQ(Identification(data), kIdentification);
    EXPECT_TRUE(os.CloseHandle(event));
}

TEST_F(WinOsCallsAspi, AddressWithoutADriveHasNoDevice) {
    OsHandle event = os.CreateEventA(true, false);
    ASSERT_NE(event, nullptr);
    SrbExecScsiCmd srb;
    uint8_t data[96];
    EXPECT_EQ(SendInquiry(0, 0, event, srb, data), 0x82u);  // SS_NO_DEVICE
    EXPECT_EQ(srb.SRB_Status, 0x82);
    EXPECT_EQ(SendInquiry(7, 0, event, srb, data), 0x81u);  // SS_INVALID_HA
    EXPECT_TRUE(os.CloseHandle(event));
}

// The command log's calls: a file opened to append to (made when missing,
// kept when there), the temporary folder, the clocks and the local time.
TEST(WinOsCalls, LogFileIsAppendedToAndTheClocksRun) {
    WinOsCalls os;
    TempDir dir;
    const std::string name = dir.Path() + "\\2B20.LOG";
    for (const char* text : {"first\r\n", "second\r\n"}) {
        OsHandle h = os.CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, kOpenAlways,
                                    kFileAttributeNormal);
        ASSERT_NE(h, InvalidOsHandle());
        EXPECT_NE(os.SetFilePointer(h, 0, kFileEnd), kInvalidSetFilePointer);
        uint32_t written = 0;
        EXPECT_TRUE(os.WriteFile(h, text, uint32_t(std::strlen(text)), &written));
        EXPECT_EQ(written, std::strlen(text));
        EXPECT_TRUE(os.CloseHandle(h));
    }
    std::ifstream in(name, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all, "first\r\nsecond\r\n");

    char temp[MAX_PATH + 1] = {};
    const uint32_t length = os.GetTempPathA(sizeof temp, temp);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(temp[length - 1], '\\');

    os.SetLastError(1234);
    EXPECT_EQ(os.GetLastError(), 1234u);

    int64_t frequency = 0, first = 0, second = 0;
    ASSERT_TRUE(os.QueryPerformanceFrequency(&frequency));
    EXPECT_GT(frequency, 0);
    ASSERT_TRUE(os.QueryPerformanceCounter(&first));
    const uint32_t ticks = os.GetTickCount();
    ::Sleep(20);
    ASSERT_TRUE(os.QueryPerformanceCounter(&second));
    EXPECT_GE((second - first) * 1000 / frequency, 15);
    EXPECT_GE(os.GetTickCount() - ticks, 10u);

    OsSystemTime now;
    os.GetLocalTime(now);
    EXPECT_GE(now.wYear, 2000);
    EXPECT_GE(now.wMonth, 1);
    EXPECT_LE(now.wMonth, 12);
}

}  // namespace
