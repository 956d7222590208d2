// vtcmu: the user-space handler of a TCMU device of the Linux kernel's SCSI
// target, serving one virtual drive (sim/VirtualDrive) from a drive file.
// Exported through the loopback fabric (tcm_loop) the device becomes a real
// SCSI device of that kernel, bound by sg and, as peripheral type 5, by sr;
// every command the kernel or a program sends it arrives here.
//
//   vtcmu --name NAME --drives FILE [--section DRIVE0] [--trace FILE]
//         [--loopback TPG_DIR] [--ready FILE]
//
// NAME is the backstore's name (target/core/user_N/NAME); the handler waits
// up to 10 s for its UIO device. The drive file is the virtual ASPI layer's
// format (docs/TESTING.md); of its keys `Letter` labels the trace lines, and
// `HostAdapter`, `Target`, `Device`, `Completion` and
// `TimeoutCompleteAfterMs` have no meaning here. After a commit the new
// Revision is written back into the file. With --trace, one line per command
// is appended in the virtual SCSI generic device's format. TPG_DIR is the
// loopback target portal group's configfs directory, needed for transport
// failures (its transport_status is switched offline and back). --ready
// names a file made once the handler serves the ring.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "sim/DriveFile.h"
#include "sim/TcmuRing.h"
#include "sim/TcmuService.h"

namespace {

volatile sig_atomic_t gStop = 0;
void OnSignal(int) {
    gStop = 1;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    std::string t = s.str();
    while (!t.empty() && (t.back() == '\n' || t.back() == ' ')) t.pop_back();
    return t;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    out.flush();
    return bool(out);
}

std::vector<std::string> List(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// The UIO device of backstore NAME: its name is "tcm-user/HBA/NAME/CONFIG".
std::string FindUio(const std::string& name) {
    for (const std::string& uio : List("/sys/class/uio")) {
        std::string text = ReadText("/sys/class/uio/" + uio + "/name");
        if (text.rfind("tcm-user/", 0) == 0 && text.find("/" + name + "/") != std::string::npos)
            return uio;
    }
    return "";
}

// The SCSI device the kernel made of the drive (matched by vendor and
// product), for its error count.
std::string FindScsiDevice(const VirtualDrive::Config& c) {
    for (const std::string& d : List("/sys/bus/scsi/devices")) {
        std::string base = "/sys/bus/scsi/devices/" + d;
        if (ReadText(base + "/vendor") == c.vendor && ReadText(base + "/model") == c.product)
            return base;
    }
    return "";
}

unsigned long Counter(const std::string& path) {
    return std::strtoul(ReadText(path).c_str(), nullptr, 0);
}

struct Options {
    std::string name, drives, section = "DRIVE0", trace, loopback, ready;
};

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return false;
        std::string v = argv[++i];
        if (a == "--name")
            o.name = v;
        else if (a == "--drives")
            o.drives = v;
        else if (a == "--section")
            o.section = v;
        else if (a == "--trace")
            o.trace = v;
        else if (a == "--loopback")
            o.loopback = v;
        else if (a == "--ready")
            o.ready = v;
        else
            return false;
    }
    return !o.name.empty() && !o.drives.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!Parse(argc, argv, opt)) {
        std::fprintf(stderr,
                     "usage: vtcmu --name NAME --drives FILE [--section DRIVE0] [--trace FILE]\n"
                     "             [--loopback TPG_DIR] [--ready FILE]\n");
        return 2;
    }
    std::vector<DriveFileEntry> entries;
    std::string error;
    if (!ReadDriveFile(opt.drives, entries, &error)) {
        std::fprintf(stderr, "vtcmu: %s\n", error.c_str());
        return 1;
    }
    const DriveFileEntry* entry = nullptr;
    for (const auto& e : entries)
        if (e.section == opt.section) entry = &e;
    if (!entry) {
        std::fprintf(stderr, "vtcmu: no [%s] in %s\n", opt.section.c_str(), opt.drives.c_str());
        return 1;
    }

    std::string uio;
    for (int i = 0; i < 100 && (uio = FindUio(opt.name)).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (uio.empty()) {
        std::fprintf(stderr, "vtcmu: no UIO device for backstore %s (is it enabled?)\n",
                     opt.name.c_str());
        return 1;
    }
    const size_t size = Counter("/sys/class/uio/" + uio + "/maps/map0/size");
    int fd = open(("/dev/" + uio).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 || size == 0) {
        std::fprintf(stderr, "vtcmu: cannot open /dev/%s: %s\n", uio.c_str(), std::strerror(errno));
        return 1;
    }
    void* area = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (area == MAP_FAILED) {
        std::fprintf(stderr, "vtcmu: cannot map /dev/%s: %s\n", uio.c_str(), std::strerror(errno));
        return 1;
    }
    TcmuRing ring(static_cast<uint8_t*>(area), size);
    if (!ring.Check(&error)) {
        std::fprintf(stderr, "vtcmu: /dev/%s: %s\n", uio.c_str(), error.c_str());
        return 1;
    }

    VirtualDrive drive(entry->config);
    for (const auto& f : entry->faults) drive.AddFault(f);
    // Commands carry at most 64 KiB from the kernel's own drivers and 16 KiB
    // from the flasher; a longer one is refused as an invalid field.
    constexpr uint32_t kLargestTransfer = 1u << 20;
    TcmuService service(ring, drive, entry->letter, kLargestTransfer);
    service.commandDelayMs = entry->commandDelayMs;
    service.delay = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    service.trace = [&](const std::string& line) {
        if (opt.trace.empty()) return;
        if (FILE* f = std::fopen(opt.trace.c_str(), "ab")) {
            std::fprintf(f, "%s\n", line.c_str());
            std::fclose(f);
        }
    };
    service.committed = [&] {
        if (!WriteDriveRevision(opt.drives, entry->section, drive.config.revision))
            std::fprintf(stderr, "vtcmu: could not write the revision into %s\n",
                         opt.drives.c_str());
    };
    // A transport failure: the loopback transport goes offline before the
    // command is handed back BUSY; it comes back once the mid-layer's retry
    // has met it (the device's error count has moved twice: BUSY, refusal).
    std::string errors;
    unsigned long errorsBefore = 0;
    bool offline = false;
    service.refuseTransport = [&] {
        errors = FindScsiDevice(drive.config);
        if (!errors.empty()) errors += "/ioerr_cnt";
        errorsBefore = errors.empty() ? 0 : Counter(errors);
        if (opt.loopback.empty() || !WriteText(opt.loopback + "/transport_status", "offline"))
            std::fprintf(stderr, "vtcmu: cannot take the transport offline (--loopback)\n");
        offline = true;
    };

    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    if (!opt.ready.empty()) WriteText(opt.ready, uio + "\n");
    std::fprintf(stderr, "vtcmu: serving %s on /dev/%s (%zu bytes, flags 0x%x)\n", opt.name.c_str(),
                 uio.c_str(), size, unsigned(ring.Flags()));

    const uint32_t kick = 1;
    while (!gStop) {
        TcmuEntries found;
        ring.Read(found);
        if (service.Serve(found) || !found.aborted.empty()) {
            if (write(fd, &kick, sizeof kick) != sizeof kick)
                std::fprintf(stderr, "vtcmu: cannot notify the kernel: %s\n", std::strerror(errno));
        }
        if (offline) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            while (!errors.empty() && Counter(errors) < errorsBefore + 2 &&
                   std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!opt.loopback.empty()) WriteText(opt.loopback + "/transport_status", "online");
            offline = false;
        }
        if (ring.Unread() > 0) continue;
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 1000) > 0) {
            uint32_t events = 0;
            if (read(fd, &events, sizeof events) < 0 && errno != EINTR) break;
        }
    }
    std::fprintf(stderr, "vtcmu: stopped (%zu command(s) held)\n", service.Held());
    return 0;
}
