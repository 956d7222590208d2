// Which Linux devices stand for drives: the SCSI generic nodes of optical
// drives found in sysfs, or the paths the user names; an sr node is replaced
// by its sg node. Also the kernel's media polling of a drive, switched off
// for a flash and given back afterwards.
#pragma once
#include <string>
#include <vector>

struct LinuxDevice {
    std::string named;  // as the user gave it, or as found in sysfs
    std::string path;   // what is opened: the sg node for an sr device
    char letter = 0;    // D:, E:, ... so the NT-family scan runs unchanged
};

constexpr char kFirstDriveLetter = 'D';
constexpr size_t kMaxLinuxDevices = 'Z' - kFirstDriveLetter + 1;

// Every /sys/class/scsi_generic/sgN whose device/type is 5 (CD/DVD), as
// devRoot/sgN, in the order of N.
std::vector<std::string> FindOpticalSgNodes(const std::string& sysRoot = "/sys",
                                            const std::string& devRoot = "/dev");

// The sg node of a block device (an sr path): devRoot/sgN from
// /sys/dev/block/MAJ:MIN/device/scsi_generic; empty when the path is no
// block device or the sg driver has no node for it.
std::string SgNodeOfBlockDevice(const std::string& path, const std::string& sysRoot = "/sys",
                                const std::string& devRoot = "/dev");

// The devices with their letters: at most kMaxLinuxDevices; each sr path
// replaced by its sg node (a note for each goes to *notes).
std::vector<LinuxDevice> AssignDevices(const std::vector<std::string>& paths,
                                       std::vector<std::string>* notes,
                                       const std::string& sysRoot = "/sys",
                                       const std::string& devRoot = "/dev");

// True for a character device of the SCSI generic driver (major 21), whose
// driver honours O_EXCL.
bool IsSgNode(const std::string& path);

// What a user who may not open the device should do, naming the device, the
// group that owns it and the way into that group.
std::string NoAccessAdvice(const std::string& path);

// The kernel's media polling of the drive behind a device (events_poll_msecs
// of its block device): off for a flash, given back on Restore and in the
// destructor.
class MediaPolling {
  public:
    explicit MediaPolling(std::string sysRoot = "/sys") : sysRoot_(std::move(sysRoot)) {}
    ~MediaPolling() { Restore(); }
    MediaPolling(const MediaPolling&) = delete;
    MediaPolling& operator=(const MediaPolling&) = delete;

    // Returns false with a sentence in *why when the device has a block
    // device whose polling could not be switched off; true otherwise (also
    // when there is nothing to switch: a practice file, no block device).
    bool Suspend(const std::string& devicePath, std::string* why);
    void Restore();
    // The sysfs file whose value was changed (empty when none).
    const std::string& File() const { return file_; }

  private:
    std::string sysRoot_;
    std::string file_;
    std::string saved_;
};
