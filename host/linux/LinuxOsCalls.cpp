// OsCalls over Linux's SCSI generic driver, sysfs and the terminal.
#include "host/linux/LinuxOsCalls.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

#include "host/ini/IniReader.h"
#include "host/linux/SgTranslate.h"
#include "host/linux/SystemErrors.h"

namespace {
constexpr uint32_t kDriveNoRootDir = 1;  // DRIVE_NO_ROOT_DIR
// GENERIC_READ, GENERIC_WRITE, FILE_READ_DATA, FILE_WRITE_DATA
constexpr uint32_t kDataAccess = 0x80000000u | kGenericWrite | 0x1u | 0x2u;

// "\\.\X:" -> 'X' (upper case); 0 for any other name.
char LetterOfDeviceName(const char* name) {
    if (!name || std::strncmp(name, "\\\\.\\", 4) != 0) return 0;
    char c = name[4];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z' || name[5] != ':' || name[6] != '\0') return 0;
    return c;
}
// Who holds the flock on the file behind fd, from /proc/locks: "process N
// (name)", or "" where the system does not say.
std::string LockHolder(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return "";
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, advisory, mode, pid, file;
        fields >> number >> kind >> advisory >> mode >> pid >> file;
        if (kind != "FLOCK" || file != id || pid.empty() || pid[0] == '-' || pid == "0") continue;
        std::string name;
        std::ifstream comm("/proc/" + pid + "/comm");
        std::getline(comm, name);
        return "process " + pid + (name.empty() ? std::string() : " (" + name + ")");
    }
    return "";
}
}  // namespace

LinuxOsCalls::LinuxOsCalls(std::vector<LinuxDevice> devices)
    : openDevice([](const char* path, int flags) { return open(path, flags); }),
      isSgNode(IsSgNode),
      devices_(std::move(devices)),
      openErrors_(devices_.size(), 0),
      openErrnos_(devices_.size(), 0) {}

LinuxOsCalls::~LinuxOsCalls() {
    for (Open* o : open_) {
        close(o->fd);
        delete o;
    }
}

const LinuxDevice* LinuxOsCalls::DeviceOf(char letter) const {
    for (const auto& d : devices_)
        if (d.letter == letter) return &d;
    return nullptr;
}

int LinuxOsCalls::OpenErrno(char letter) const {
    for (size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i].letter == letter) return openErrnos_[i];
    return 0;
}

uint32_t LinuxOsCalls::OpenError(char letter) const {
    for (size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i].letter == letter) return openErrors_[i];
    return 0;
}

void LinuxOsCalls::Notice(const std::string& text) {
    if (notice) notice(text);
}

LinuxOsCalls::Open* LinuxOsCalls::Find(OsHandle handle) {
    auto it = std::find(open_.begin(), open_.end(), static_cast<Open*>(handle));
    return it == open_.end() ? nullptr : *it;
}

bool LinuxOsCalls::GetVersionExA(OsVersionInfo& info) {
    info.dwPlatformId = kPlatformWin32Nt;
    return true;
}

// No ASPI layer on this road: the NT family never loads one.
OsModule LinuxOsCalls::LoadLibraryA(const char*) {
    lastError_ = kErrorFileNotFound;
    return nullptr;
}
OsProc LinuxOsCalls::GetProcAddress(OsModule, const char*) {
    lastError_ = kErrorInvalidHandle;
    return nullptr;
}
bool LinuxOsCalls::FreeLibrary(OsModule) {
    lastError_ = kErrorInvalidHandle;
    return false;
}
uint32_t LinuxOsCalls::CallGetASPI32SupportInfo(OsProc) {
    return 0;
}
uint32_t LinuxOsCalls::CallSendASPI32Command(OsProc, void*) {
    return 0;
}
OsHandle LinuxOsCalls::CreateEventA(bool, bool) {
    lastError_ = kErrorInvalidFunction;
    return nullptr;
}
uint32_t LinuxOsCalls::WaitForSingleObject(OsHandle, uint32_t) {
    lastError_ = kErrorInvalidHandle;
    return kWaitFailed;
}
bool LinuxOsCalls::ResetEvent(OsHandle) {
    lastError_ = kErrorInvalidHandle;
    return false;
}

OsHandle LinuxOsCalls::CreateFileA(const char* name, uint32_t desiredAccess, uint32_t,
                                   uint32_t creationDisposition, uint32_t) {
    const char letter = LetterOfDeviceName(name);
    if (!letter && name && creationDisposition == kOpenAlways && (desiredAccess & kGenericWrite)) {
        // A plain file to append to (the command log), made when missing.
        int fd = open(name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) {
            lastError_ = WindowsErrorOf(errno);
            return InvalidOsHandle();
        }
        open_.push_back(new Open{fd, 0, true});
        lastError_ = 0;
        return open_.back();
    }
    if (!letter && name && (desiredAccess & kGenericWrite))
        return CreateOutputFile(name, creationDisposition);
    const LinuxDevice* device = DeviceOf(letter);
    if (!device) {
        lastError_ = kErrorFileNotFound;
        return InvalidOsHandle();
    }
    // A handle for attributes alone is what Windows takes media change
    // control through. Here MediaPolling does that job, and a second open of
    // an sg node would only be refused (and reported as another program).
    if ((desiredAccess & kDataAccess) == 0) {
        lastError_ = kErrorNotSupported;
        return InvalidOsHandle();
    }
    const bool write = (desiredAccess & kGenericWrite) != 0;
    int flags = O_NONBLOCK | O_CLOEXEC | (write ? O_RDWR : O_RDONLY);
    // The sg driver keeps every other open of the node away while this one
    // lasts (EBUSY), for a read-write open only; on other files O_EXCL
    // without O_CREAT means nothing.
    const bool exclusive = write && isSgNode(device->path);
    if (exclusive) flags |= O_EXCL;
    int fd = openDevice(device->path.c_str(), flags);
    if (fd < 0) {
        const int error = errno;
        lastError_ = WindowsErrorOf(error);
        openErrors_[size_t(device - devices_.data())] = lastError_;
        openErrnos_[size_t(device - devices_.data())] = error;
        if (error == EACCES || error == EPERM)
            Notice(NoAccessAdvice(device->path));
        else if (error == EBUSY && exclusive)
            Notice(device->path +
                   " is in use by another program, which has it open; close it "
                   "and try again.");
        return InvalidOsHandle();
    }
    // One flash per drive also where O_EXCL does not reach (an sr node, a
    // plain file the virtual drive serves): an exclusive advisory lock on the
    // device for as long as the handle lasts. Another copy of this program,
    // and anything else that honours the lock, is then refused here, before
    // it sends a command.
    if (write && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            const std::string holder = LockHolder(fd);
            close(fd);
            lastError_ = kErrorBusy;
            openErrors_[size_t(device - devices_.data())] = lastError_;
            openErrnos_[size_t(device - devices_.data())] = error;
            Notice(device->path +
                   " is in use: " + (holder.empty() ? std::string("another program") : holder) +
                   " holds its lock (another flasher on this drive?); let it end, then try "
                   "again.");
            return InvalidOsHandle();
        }
        // A file system without locks: the flash goes on as before.
    }
    openErrors_[size_t(device - devices_.data())] = 0;
    openErrnos_[size_t(device - devices_.data())] = 0;
    open_.push_back(new Open{fd, letter, false});
    lastError_ = 0;
    return open_.back();
}

bool LinuxOsCalls::DeviceIoControl(OsHandle device, uint32_t code, void* in, uint32_t inSize,
                                   void* out, uint32_t outSize, uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    Open* o = Find(device);
    if (!o || o->letter == 0) {  // none, or the log's file
        lastError_ = kErrorInvalidHandle;
        return false;
    }
    if (code != kIoctlScsiPassThroughDirect) {
        lastError_ = kErrorInvalidFunction;
        return false;
    }
    SgExchange exchange;
    if (uint32_t refused = PrepareSgExchange(in, inSize, out, outSize, exchange)) {
        lastError_ = refused;
        return false;
    }
    // Signals are held during a flash (app/linux), so the call is never
    // interrupted: the sg driver would resend an interrupted request on a
    // restart, and a commit must reach the drive once.
    int result = ioctl(o->fd, SG_IO, &exchange.header);
    const int error = result < 0 ? errno : 0;
    if (result < 0 && error == ENOTTY && !o->warnedNotSg) {
        o->warnedNotSg = true;
        const LinuxDevice* d = DeviceOf(o->letter);
        Notice((d ? d->path : std::string("the device")) +
               " is not a SCSI device: it does not accept SG_IO.");
    }
    lastError_ = FinishSgExchange(result, error, exchange, out, bytesReturned);
    return lastError_ == 0;
}

bool LinuxOsCalls::CloseHandle(OsHandle handle) {
    auto it = std::find(open_.begin(), open_.end(), static_cast<Open*>(handle));
    if (it == open_.end()) {
        lastError_ = kErrorInvalidHandle;
        return false;
    }
    close((*it)->fd);
    delete *it;
    open_.erase(it);
    return true;
}

uint32_t LinuxOsCalls::FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t, char* buffer,
                                      uint32_t size) {
    const char* text = (flags & kFormatMessageFromSystem) ? WindowsErrorText(messageId) : nullptr;
    const size_t length = text ? std::strlen(text) : 0;
    if (!text || !buffer || size < length + 1) {
        lastError_ = text ? kErrorInsufficientBuffer : kErrorMessageNotFound;
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<uint32_t>(length);
}

uint32_t LinuxOsCalls::GetLogicalDriveStringsA(uint32_t bufferLength, char* buffer) {
    std::string roots;
    for (const auto& d : devices_) {
        roots += d.letter;
        roots += ":\\";
        roots += '\0';
    }
    // Too small: the size needed, with the final zero.
    if (!buffer || bufferLength < roots.size() + 1) return static_cast<uint32_t>(roots.size() + 1);
    std::memcpy(buffer, roots.data(), roots.size());
    buffer[roots.size()] = '\0';
    return static_cast<uint32_t>(roots.size());
}

uint32_t LinuxOsCalls::GetDriveTypeA(const char* root) {
    if (!root || root[0] == '\0' || root[1] != ':') return kDriveNoRootDir;
    char letter = root[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    return DeviceOf(letter) ? kDriveCdrom : kDriveNoRootDir;
}

OsHandle LinuxOsCalls::CreateMutexA(bool, const char*) {
    lastError_ = kErrorNotSupported;
    return nullptr;
}

bool LinuxOsCalls::ReleaseMutex(OsHandle) {
    lastError_ = kErrorInvalidHandle;
    return false;
}

void LinuxOsCalls::Sleep(uint32_t milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

uint32_t LinuxOsCalls::GetPrivateProfileStringA(const char* section, const char* key,
                                                const char* defaultValue, char* buffer,
                                                uint32_t size, const char* fileName) {
    return ReadProfileString(section, key, defaultValue, buffer, size, fileName);
}

uint32_t LinuxOsCalls::GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) {
    char path[4096];
    if (!getcwd(path, sizeof path)) {
        lastError_ = WindowsErrorOf(errno);
        return 0;
    }
    const size_t length = std::strlen(path);
    if (!buffer || bufferLength < length + 1) return static_cast<uint32_t>(length + 1);
    std::memcpy(buffer, path, length + 1);
    return static_cast<uint32_t>(length);
}

OsHandle LinuxOsCalls::CreateOutputFile(const char* name, uint32_t creationDisposition) {
    if (creationDisposition != kCreateNew) {
        lastError_ = kErrorInvalidParameter;
        return InvalidOsHandle();
    }
    // The mode a file the user makes gets (0666 less the umask), as before.
    int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        lastError_ = errno == EEXIST ? kErrorFileExists : WindowsErrorOf(errno);
        return InvalidOsHandle();
    }
    open_.push_back(new Open{fd, 0, false});
    lastError_ = 0;
    return open_.back();
}

bool LinuxOsCalls::WriteFile(OsHandle file, const void* data, uint32_t size, uint32_t* written) {
    if (written) *written = 0;
    Open* o = Find(file);
    if (!o) {
        lastError_ = kErrorInvalidHandle;
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t done = 0;
    while (done < size) {
        ssize_t n = write(o->fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            lastError_ = n < 0 ? WindowsErrorOf(errno) : kErrorDiskFull;
            if (written) *written = done;
            return false;
        }
        done += static_cast<uint32_t>(n);
    }
    if (written) *written = done;
    lastError_ = 0;
    return true;
}

bool LinuxOsCalls::FlushFileBuffers(OsHandle file) {
    Open* o = Find(file);
    if (!o) {
        lastError_ = kErrorInvalidHandle;
        return false;
    }
    if (fsync(o->fd) != 0) {
        lastError_ = WindowsErrorOf(errno);
        return false;
    }
    return true;
}

bool LinuxOsCalls::DeleteFileA(const char* name) {
    if (unlink(name) != 0) {
        lastError_ = WindowsErrorOf(errno);
        return false;
    }
    return true;
}

bool LinuxOsCalls::MoveFileA(const char* existingName, const char* newName) {
    // As Windows: never over an existing file.
    struct stat st;
    if (lstat(newName, &st) == 0) {
        lastError_ = kErrorAlreadyExists;
        return false;
    }
    if (rename(existingName, newName) != 0) {
        lastError_ = WindowsErrorOf(errno);
        return false;
    }
    return true;
}

bool LinuxOsCalls::MoveFileExA(const char* existingName, const char* newName, uint32_t flags) {
    if (!(flags & kMoveFileReplaceExisting)) return MoveFileA(existingName, newName);
    // One step: whoever opens newName gets the earlier file or the new one.
    if (rename(existingName, newName) != 0) {
        lastError_ = WindowsErrorOf(errno);
        return false;
    }
    return true;
}

uint32_t LinuxOsCalls::SetFilePointer(OsHandle file, int32_t distance, uint32_t moveMethod) {
    Open* o = Find(file);
    if (!o || o->letter != 0) {
        lastError_ = kErrorInvalidHandle;
        return kInvalidSetFilePointer;
    }
    const int whence = moveMethod == kFileEnd ? SEEK_END : moveMethod == 1 ? SEEK_CUR : SEEK_SET;
    const off_t at = lseek(o->fd, distance, whence);
    if (at < 0) {
        lastError_ = WindowsErrorOf(errno);
        return kInvalidSetFilePointer;
    }
    return static_cast<uint32_t>(at);
}

uint32_t LinuxOsCalls::GetTempPathA(uint32_t bufferLength, char* buffer) {
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    if (path.back() != '/') path += '/';
    if (!buffer || bufferLength < path.size() + 1) return static_cast<uint32_t>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<uint32_t>(path.size());
}

uint32_t LinuxOsCalls::GetTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

bool LinuxOsCalls::QueryPerformanceCounter(int64_t* count) {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return false;
    *count = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    return true;
}

bool LinuxOsCalls::QueryPerformanceFrequency(int64_t* frequency) {
    *frequency = 1000000000;  // the counter counts nanoseconds
    return true;
}

void LinuxOsCalls::GetLocalTime(OsSystemTime& time) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    time.wYear = static_cast<uint16_t>(local.tm_year + 1900);
    time.wMonth = static_cast<uint16_t>(local.tm_mon + 1);
    time.wDayOfWeek = static_cast<uint16_t>(local.tm_wday);
    time.wDay = static_cast<uint16_t>(local.tm_mday);
    time.wHour = static_cast<uint16_t>(local.tm_hour);
    time.wMinute = static_cast<uint16_t>(local.tm_min);
    time.wSecond = static_cast<uint16_t>(local.tm_sec);
    time.wMilliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
}
