// sgcheck: sends one command block to a Linux SCSI device through SG_IO and
// prints what the kernel handed back, one line, for the real-kernel rig.
//
//   sgcheck DEVICE [--in N | --out N] [--timeout SECONDS] [--readonly] BYTE...
//
// BYTEs are the command block in hexadecimal (padded to 12 with zeros); --in N
// reads N bytes, --out N writes N bytes of the pattern i*7 (nothing moves by
// default). Output:
//   ret=0 errno=0 status=02 host=00 driver=08 resid=0 sense=70 00 02 ... data=...
// Exit status 0 when the ioctl returned 0, 1 when it failed, 2 for a usage error.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(
            stderr,
            "usage: sgcheck DEVICE [--in N | --out N] [--timeout S] [--readonly] BYTE...\n");
        return 2;
    }
    std::vector<unsigned char> cdb;
    unsigned length = 0, timeout = 20;
    int direction = SG_DXFER_NONE;
    bool readOnly = false;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "--in" || a == "--out" || a == "--timeout") && i + 1 < argc) {
            unsigned v = unsigned(std::strtoul(argv[++i], nullptr, 0));
            if (a == "--timeout") {
                timeout = v;
            } else {
                length = v;
                direction = a == "--in" ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
            }
        } else if (a == "--readonly") {
            readOnly = true;
        } else {
            cdb.push_back(static_cast<unsigned char>(std::strtoul(a.c_str(), nullptr, 16)));
        }
    }
    if (cdb.empty() || cdb.size() > 16) return 2;
    if (cdb.size() < 12) cdb.resize(12, 0);
    if (length == 0) direction = SG_DXFER_NONE;

    int fd = open(argv[1], (readOnly ? O_RDONLY : O_RDWR) | O_NONBLOCK);
    if (fd < 0) {
        std::printf("open failed errno=%d (%s)\n", errno, std::strerror(errno));
        return 1;
    }
    std::vector<unsigned char> data(length ? length : 1);
    for (unsigned i = 0; i < length; ++i) data[i] = static_cast<unsigned char>(i * 7);
    unsigned char sense[32] = {};
    sg_io_hdr_t h = {};
    h.interface_id = 'S';
    h.cmd_len = static_cast<unsigned char>(cdb.size());
    h.cmdp = cdb.data();
    h.dxfer_direction = direction;
    h.dxfer_len = length;
    h.dxferp = length ? data.data() : nullptr;
    h.mx_sb_len = sizeof sense;
    h.sbp = sense;
    h.timeout = timeout * 1000;
    int ret = ioctl(fd, SG_IO, &h);
    int err = ret < 0 ? errno : 0;
    std::printf("ret=%d errno=%d status=%02X host=%02X driver=%02X resid=%d duration=%u", ret, err,
                h.status, h.host_status, h.driver_status, h.resid, h.duration);
    std::printf(" sense=");
    for (int i = 0; i < h.sb_len_wr; ++i) std::printf("%s%02X", i ? " " : "", sense[i]);
    if (direction == SG_DXFER_FROM_DEV) {
        std::printf(" data=");
        unsigned moved = length - unsigned(h.resid > 0 ? h.resid : 0);
        for (unsigned i = 0; i < moved && i < 64; ++i) std::printf("%02X", data[i]);
    }
    std::printf("\n");
    close(fd);
    return ret == 0 ? 0 : 1;
}
