// The virtual SCSI generic device: a shared object that the 32-bit Wine
// process loads with LD_PRELOAD. It stands in for the kernel's SG_IO on the
// files that the drive file names, and serves virtual drives (sim/
// VirtualDrive) there, at the same boundary where Wine's translation of
// IOCTL_SCSI_PASS_THROUGH_DIRECT hands a request to a physical drive.
//
// Drives come from the INI file named by NORVEX_SG_DRIVES (a unix path; the
// virtual ASPI layer's format, with Device and Letter in place of HostAdapter
// and Target; docs/TESTING.md). A file is recognised by device and inode, so
// a descriptor that Wine's server opened and passed to the program is still
// recognised. After a commit, the drive's new Revision is written back into
// the drive file. With NORVEX_SG_TRACE naming a file, one line per SG_IO
// received for a drive is appended to it.
//
// A drive whose Device another process holds an exclusive flock on refuses
// this process's SG_IO with EBUSY, as the sg driver refuses a second open
// while the first lasts: so one flash per drive can be rehearsed on a plain
// file, where O_EXCL means nothing.
//
// Only ioctl is interposed, and of it only SG_IO on those files: every other
// file and every other request goes to the C library untouched. Wine's
// 32-bit ntdll calls __ioctl_time64 (it is built with 64-bit time), older
// code ioctl; both are covered.
#include <dlfcn.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "sim/DriveFile.h"
#include "sim/SgService.h"
#include "sim/VirtualDrive.h"

#define VSG_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using IoctlFn = int (*)(int, unsigned long, ...);

struct SgDrive {
    DriveFileEntry entry;
    std::unique_ptr<VirtualDrive> drive;
    bool found = false;  // the Device file exists: dev and ino are known
    dev_t dev = 0;
    ino_t ino = 0;
};

pthread_mutex_t gLock = PTHREAD_MUTEX_INITIALIZER;
bool gLoaded = false;
std::string gDrivePath;
std::string gTracePath;
std::vector<SgDrive>* gDrives = nullptr;  // made on first use, kept for the life of the process

struct Lock {
    Lock() { pthread_mutex_lock(&gLock); }
    ~Lock() { pthread_mutex_unlock(&gLock); }
};

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Reads the drive file at the first SG_IO, so processes that send none (the
// Wine server, the mount manager, the shell) never touch it.
void Load() {
    if (gLoaded) return;
    gLoaded = true;
    gDrives = new std::vector<SgDrive>();
    gDrivePath = Env("NORVEX_SG_DRIVES");
    gTracePath = Env("NORVEX_SG_TRACE");
    if (gDrivePath.empty()) return;
    std::vector<DriveFileEntry> entries;
    std::string error;
    if (!ReadDriveFile(gDrivePath, entries, &error)) {
        std::fprintf(stderr, "vsg: %s\n", error.c_str());
        return;
    }
    for (auto& e : entries) {
        if (e.device.empty()) {
            std::fprintf(stderr, "vsg: [%s] has no Device; ignored\n", e.section.c_str());
            continue;
        }
        SgDrive d;
        d.drive = std::make_unique<VirtualDrive>(e.config);
        for (auto& f : e.faults) d.drive->AddFault(f);
        d.entry = std::move(e);
        gDrives->push_back(std::move(d));
    }
}

// The drive whose Device is the file behind fd. A Device that did not exist
// yet is looked up again each time.
SgDrive* Find(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return nullptr;
    for (auto& d : *gDrives) {
        if (!d.found) {
            struct stat ds;
            if (stat(d.entry.device.c_str(), &ds) != 0) continue;
            d.found = true;
            d.dev = ds.st_dev;
            d.ino = ds.st_ino;
        }
        if (d.dev == st.st_dev && d.ino == st.st_ino) return &d;
    }
    return nullptr;
}

void Trace(const SgDrive& d, const SgCommand& command) {
    if (gTracePath.empty()) return;
    std::string line = SgTraceLine(d.entry.letter, command);
    if (FILE* f = std::fopen(gTracePath.c_str(), "ab")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

int Serve(SgDrive& d, sg_io_hdr_t& hdr) {
    SgCommand command;
    if (int refused = ReadSgRequest(hdr, command)) {
        Trace(d, command);
        return refused;
    }
    Trace(d, command);
    // A slow drive, so that a person (or a screenshot) can see the progress.
    if (d.entry.commandDelayMs > 0 && command.length > 0) usleep(d.entry.commandDelayMs * 1000u);
    uint32_t commits = d.drive->commitCount;
    DriveOutcome outcome = d.drive->Execute(command.cdb, command.dataIn,
                                            static_cast<uint8_t*>(hdr.dxferp), command.length);
    if (d.drive->commitCount != commits && !gDrivePath.empty() &&
        !WriteDriveRevision(gDrivePath, d.entry.section, d.drive->config.revision))
        std::fprintf(stderr, "vsg: could not write the revision into %s\n", gDrivePath.c_str());
    return CompleteSgRequest(hdr, outcome);
}

IoctlFn Next(const char* name) {
    return reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, name));
}

int Interpose(IoctlFn next, int fd, unsigned long request, void* arg) {
    if (request == SG_IO && arg) {
        int result = 1;  // 1: not one of ours
        {
            Lock lock;
            Load();
            if (SgDrive* d = Find(fd))
                result = LockedByAnotherProcess(d->dev, d->ino)
                             ? -EBUSY
                             : Serve(*d, *static_cast<sg_io_hdr_t*>(arg));
        }
        if (result <= 0) {
            if (result == 0) return 0;
            errno = -result;
            return -1;
        }
    }
    if (!next) {
        errno = ENOSYS;
        return -1;
    }
    return next(fd, request, arg);
}

}  // namespace

VSG_EXPORT int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    static IoctlFn next = Next("ioctl");
    return Interpose(next, fd, request, arg);
}

VSG_EXPORT int __ioctl_time64(int fd, unsigned long request, ...) noexcept {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    static IoctlFn next = Next("__ioctl_time64") ? Next("__ioctl_time64") : Next("ioctl");
    return Interpose(next, fd, request, arg);
}
