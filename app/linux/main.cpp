// The Linux entry: reads the package from the flasher (or template) file
// named on the command line, wires the drive layer to Linux's SCSI generic
// driver and the terminal, and runs the window's logic as a person would.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/FlashForm.h"
#include "app/linux/CatalogueName.h"
#include "app/linux/ExitStatus.h"
#include "app/linux/LinuxFront.h"
#include "app/linux/PackageFile.h"
#include "drive/CDDrive.h"

namespace {
int Run(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, &error)) {
        std::fprintf(stderr, "norvexflash: %s\nTry: norvexflash --help\n", error.c_str());
        return kExitNothingSent;
    }
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitDone;
    }
    if (options.version) {
        std::string version = kVersionCaption;  // " Flash Utility V1.048A "
        while (!version.empty() && version.back() == ' ') version.pop_back();
        // The release's version (the file VERSION), then the program's own.
        std::printf("norvexflash %s for Linux (x86-64),%s\n", NORVEX_VERSION, version.c_str());
        return kExitDone;
    }

    std::vector<uint8_t> record;
    if (!LoadPackageFile(options.file, record, &error)) {
        std::fprintf(stderr, "norvexflash: %s\n", error.c_str());
        return kExitNothingSent;
    }
    const bool builder = PackageView(record.data()).IsTemplate();
    if (builder && (options.list || options.yes || !options.devices.empty())) {
        std::fprintf(stderr,
                     "norvexflash: %s is the template (the builder): --list, --yes and --device "
                     "are for flashers.\n",
                     options.file.c_str());
        return kExitNothingSent;
    }
    if (!builder && (!options.model.empty() || !options.firmware.empty())) {
        std::fprintf(stderr,
                     "norvexflash: %s is a flasher: --model and --firmware are for the template.\n",
                     options.file.c_str());
        return kExitNothingSent;
    }

    std::vector<std::string> notes;
    std::vector<LinuxDevice> devices;
    if (!builder)
        devices =
            AssignDevices(options.devices.empty() ? FindOpticalSgNodes() : options.devices, &notes);
    for (const auto& note : notes) std::fprintf(stderr, "norvexflash: %s\n", note.c_str());

    TerminalForm form(stdin, stdout, isatty(STDOUT_FILENO) != 0, isatty(STDIN_FILENO) == 0);
    LinuxOsCalls os(devices);
    os.notice = [&form](const std::string& text) {
        form.EndLine();
        std::fprintf(stderr, "norvexflash: %s\n", text.c_str());
    };
    CDDrive::Attach(&os, &form);

    // The builder reads the catalogue beside the template under the name
    // Windows finds whatever its letter case.
    CatalogueName catalogue(options.file);
    if (builder && !catalogue.Prepare(&error)) {
        std::fprintf(stderr, "norvexflash: %s\n", error.c_str());
        return kExitNothingSent;
    }
    form.pathAlias = catalogue.Alias();

    TFlashForm flash(form, os, record.data(), builder ? catalogue.TemplatePath() : options.file);
    LinuxFront front{form, os, flash, options};
    int status;
    if (builder)
        status = RunBuilder(front);
    else if (options.list)
        status = ListDrives(front);
    else
        status = RunFlasher(front);
    flash.FormDestroy();
    return status;
}
}  // namespace

int main(int argc, char** argv) {
    // A closed output must not end a flash: writes fail instead.
    std::signal(SIGPIPE, SIG_IGN);
    return Run(argc, argv);
}
