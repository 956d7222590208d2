// The Linux program's command line, parsed into its options.
#include "app/linux/Options.h"

#include <cstring>

#include "app/linux/ExitStatus.h"

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    bool endOfOptions = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!endOfOptions && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            std::string name = arg, value;
            bool hasValue = false;
            if (size_t eq = arg.find('='); eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
                hasValue = true;
            }
            auto take = [&](std::string& into) {
                if (!hasValue) {
                    if (i + 1 >= argc) return fail(name + " needs a value");
                    value = argv[++i];
                }
                if (value.empty()) return fail(name + " needs a value");
                into = value;
                return true;
            };
            std::string device;
            if (name == "--device") {
                if (!take(device)) return false;
                options.devices.push_back(device);
            } else if (name == "--model") {
                if (!take(options.model)) return false;
            } else if (name == "--firmware") {
                if (!take(options.firmware)) return false;
            } else if (name == "--log") {
                if (!take(options.log)) return false;
            } else if (hasValue) {
                return fail(name + " takes no value");
            } else if (name == "--list") {
                options.list = true;
            } else if (name == "--yes") {
                options.yes = true;
            } else if (name == "--verbose") {
                options.verbose = true;
            } else if (name == "--help") {
                options.help = true;
            } else if (name == "--version") {
                options.version = true;
            } else {
                return fail("unknown option " + arg);
            }
        } else if (!endOfOptions && arg == "-h") {
            options.help = true;
        } else if (!endOfOptions && arg == "--") {
            endOfOptions = true;
        } else if (!endOfOptions && arg.size() > 1 && arg[0] == '-') {
            return fail("unknown option " + arg);
        } else if (options.file.empty()) {
            options.file = arg;
        } else {
            return fail("one file only: " + options.file + " and " + arg);
        }
    }
    if (options.help || options.version) return true;
    if (options.file.empty()) return fail("no flasher named (norvexflash FLASHER.EXE)");
    if (options.list && options.yes) return fail("--list flashes nothing: it takes no --yes");
    return true;
}

std::string HelpText() {
    return std::string(
               "Usage: norvexflash [OPTIONS] FLASHER.EXE\n"
               "       norvexflash [--model MODEL] [--firmware FILE] norvexflash.exe\n"
               "\n"
               "Runs a flasher written by the norvexflash builder, or the builder itself,\n"
               "on Linux, through the kernel's SCSI generic driver (/dev/sgN).\n"
               "\n"
               "A flasher warns, scans the drives, lists the ones it is meant for, and on\n"
               "your choice downloads the firmware, reads all of it back and compares it,\n"
               "and only then tells the drive to program it. The template norvexflash.exe\n"
               "reads the catalogue beside it (norvexflash.ini) and writes a new flasher\n"
               "into the working directory from a firmware file there.\n"
               "\n"
               "Options:\n"
               "  --device PATH    scan only this device (repeatable); an sr device is used\n"
               "                   through its sg node; any other path is tried as it stands\n"
               "                   (without it: every optical drive's /dev/sgN from sysfs)\n"
               "  --list           print every drive found, its device, its identification\n"
               "                   and whether this flasher accepts it; flash nothing\n"
               "  --yes            answer Yes to the warning and to the flash prompt (only\n"
               "                   these); needs exactly one drive the flasher accepts\n"
               "  --model MODEL    builder: the catalogue's model (its Model value or its\n"
               "                   number in the list, from 1)\n"
               "  --firmware FILE  builder: the firmware file in the working directory\n"
               "  --log FILE       flasher: append the command log to FILE: the run's drives,\n"
               "                   every command block with its time and its outcome in\n"
               "                   words, every message and answer (README, \"When a flash\n"
               "                   fails\")\n"
               "  --verbose        flasher: print each command's log line on standard error\n"
               "  -h, --help, --version\n"
               "\n"
               "Access: the user needs read and write access to the device (on Debian the\n"
               "group cdrom owns /dev/sgN: sudo adduser $USER cdrom, then log in again),\n"
               "or root. SIGINT, SIGTERM, SIGHUP and SIGQUIT during a flash or a build are\n"
               "held: the work goes on to its end, and the exit status is its outcome.\n"
               "One flash per drive: the flasher holds an exclusive lock (flock) on the\n"
               "device from its open on; a second flasher for that drive is refused.\n"
               "\n") +
           kExitStatusHelp;
}
