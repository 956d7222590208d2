// Which Linux devices stand for drives: sysfs's optical sg nodes, or the paths the user names.
#include "host/linux/LinuxDevices.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr unsigned kScsiGenericMajor = 21;

// The first line of a small sysfs file, without its line end.
bool ReadLine(const std::string& path, std::string& value) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return false;
    char line[64] = {};
    bool ok = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    if (!ok) return false;
    value = line;
    while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) value.pop_back();
    return true;
}

bool WriteValue(const std::string& path, const std::string& value, int* error) {
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    ssize_t n = write(fd, value.data(), value.size());
    *error = n < 0 ? errno : 0;
    close(fd);
    return n == static_cast<ssize_t>(value.size());
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// "sg12" -> 12; names without a number sort last.
long SgNumber(const std::string& name) {
    return name.size() > 2 ? std::strtol(name.c_str() + 2, nullptr, 10) : 1L << 30;
}

std::string DeviceNumber(dev_t dev) {
    return std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}
}  // namespace

std::vector<std::string> FindOpticalSgNodes(const std::string& sysRoot,
                                            const std::string& devRoot) {
    const std::string classDir = sysRoot + "/class/scsi_generic";
    std::vector<std::string> names;
    for (const auto& name : Entries(classDir)) {
        std::string type;
        if (ReadLine(classDir + "/" + name + "/device/type", type) && type == "5")
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return SgNumber(a) != SgNumber(b) ? SgNumber(a) < SgNumber(b) : a < b;
    });
    for (auto& name : names) name = devRoot + "/" + name;
    return names;
}

std::string SgNodeOfBlockDevice(const std::string& path, const std::string& sysRoot,
                                const std::string& devRoot) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return "";
    auto names =
        Entries(sysRoot + "/dev/block/" + DeviceNumber(st.st_rdev) + "/device/scsi_generic");
    return names.empty() ? "" : devRoot + "/" + names.front();
}

std::vector<LinuxDevice> AssignDevices(const std::vector<std::string>& paths,
                                       std::vector<std::string>* notes, const std::string& sysRoot,
                                       const std::string& devRoot) {
    std::vector<LinuxDevice> devices;
    for (const auto& named : paths) {
        if (devices.size() == kMaxLinuxDevices) {
            if (notes)
                notes->push_back(named + ": no drive letter left (at most " +
                                 std::to_string(kMaxLinuxDevices) + " devices); left out");
            continue;
        }
        LinuxDevice d;
        d.named = named;
        d.path = named;
        std::string sg = SgNodeOfBlockDevice(named, sysRoot, devRoot);
        if (!sg.empty()) {
            d.path = sg;
            // The sr driver lets only root send WRITE BUFFER and vendor commands.
            if (notes) notes->push_back(named + " is used through its SCSI generic node " + sg);
        }
        bool twice = false;
        for (const auto& e : devices) twice = twice || e.path == d.path;
        if (twice) {
            // A second letter would open the node again, and O_EXCL refuses it.
            if (notes) notes->push_back(named + ": named twice; used once");
            continue;
        }
        d.letter = static_cast<char>(kFirstDriveLetter + devices.size());
        devices.push_back(d);
    }
    return devices;
}

bool IsSgNode(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
           major(st.st_rdev) == kScsiGenericMajor;
}

std::string NoAccessAdvice(const std::string& path) {
    std::string advice = "You may not open " + path + " for reading and writing. ";
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        std::string group;
        if (struct group* g = getgrgid(st.st_gid)) group = g->gr_name;
        if (!group.empty() && st.st_gid != 0 &&
            (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
            return advice + "It belongs to the group \"" + group +
                   "\": add yourself to it (sudo adduser $USER " + group +
                   ", then log in again), or run as root.";
        if (!group.empty() && st.st_gid != 0)
            return advice + "It belongs to the group \"" + group +
                   "\"; give that group read and write access to it and add yourself to the "
                   "group, or run as root.";
    }
    return advice + "Run as root, or ask for read and write access to it.";
}

bool MediaPolling::Suspend(const std::string& devicePath, std::string* why) {
    Restore();
    struct stat st;
    if (stat(devicePath.c_str(), &st) != 0) return true;
    std::string file;
    if (S_ISBLK(st.st_mode)) {
        file = sysRoot_ + "/dev/block/" + DeviceNumber(st.st_rdev) + "/events_poll_msecs";
    } else if (S_ISCHR(st.st_mode)) {
        const std::string blockDir =
            sysRoot_ + "/dev/char/" + DeviceNumber(st.st_rdev) + "/device/block";
        auto names = Entries(blockDir);
        if (names.empty()) return true;
        file = blockDir + "/" + names.front() + "/events_poll_msecs";
    } else {
        return true;  // a practice file: no kernel polls it
    }
    std::string value;
    if (!ReadLine(file, value)) return true;  // a kernel without in-kernel polling
    if (value == "0") return true;            // already off
    int error = 0;
    if (!WriteValue(file, "0", &error)) {
        if (why)
            *why = "The kernel keeps polling the drive for a disc during the flash (" + file +
                   ": " + std::strerror(error) + "; switching it off needs root).";
        return false;
    }
    file_ = file;
    saved_ = value;
    return true;
}

void MediaPolling::Restore() {
    if (file_.empty()) return;
    int error = 0;
    if (!WriteValue(file_, saved_, &error))
        std::fprintf(stderr, "norvexflash: could not give back %s=%s: %s\n", file_.c_str(),
                     saved_.c_str(), std::strerror(error));
    file_.clear();
    saved_.clear();
}
