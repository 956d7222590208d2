// The Linux entry: reads the package from the flasher (or template) file
// named on the command line, wires the drive layer to Linux's SCSI generic
// driver and the terminal, and runs the window's logic as a person would.
#include <sys/utsname.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/FlashForm.h"
#include "app/LoggedForm.h"
#include "app/linux/BoxNotes.h"
#include "app/linux/CatalogueName.h"
#include "app/linux/ExitStatus.h"
#include "app/linux/LinuxFront.h"
#include "app/linux/PackageFile.h"
#include "drive/CDDrive.h"
#include "drive/CommandLog.h"

namespace {
// The command log of a flasher run: the file of --log, the echo of --verbose.
// A log that cannot be written is said once and left out: the run goes on.
void StartLog(OsCalls& os, TerminalForm& form, const Options& options) {
    gCommandLog.Start(os);
    gCommandLog.roadName = "Linux SCSI generic (SG_IO)";
    utsname name{};
    if (uname(&name) == 0)
        gCommandLog.systemName =
            std::string(name.sysname) + " " + name.release + " " + name.machine;
    if (options.verbose)
        gCommandLog.SetEcho([&form](const std::string& line) {
            form.EndLine();
            std::fprintf(stderr, "%s\n", line.c_str());
        });
    if (!options.log.empty() && !gCommandLog.Open(options.log))
        std::fprintf(stderr, "norvexflash: cannot write the log %s; going on without it\n",
                     options.log.c_str());
}

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
    if (builder && (!options.log.empty() || options.verbose)) {
        std::fprintf(stderr,
                     "norvexflash: %s is the template (the builder): --log and --verbose are for "
                     "flashers.\n",
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

    // Redrawn in place only on a terminal that takes control sequences; the
    // answers are written into the output whenever the terminal's own echo
    // does not reach it (input from a file, or output into a pipe or a file).
    const char* term = std::getenv("TERM");
    const bool outTerminal = isatty(STDOUT_FILENO) != 0;
    const bool redraw = outTerminal && term && *term && std::strcmp(term, "dumb") != 0;
    TerminalForm form(stdin, stdout, redraw, isatty(STDIN_FILENO) == 0 || !outTerminal);
    LinuxOsCalls os(devices);
    os.notice = [&form](const std::string& text) {
        form.EndLine();
        std::fprintf(stderr, "norvexflash: %s\n", text.c_str());
    };
    // Every box and status text goes through the log's form; the drive
    // layer writes each command.
    LoggedForm logged(form);
    CDDrive::Attach(&os, &logged);
    if (!options.log.empty() || options.verbose) StartLog(os, form, options);
    form.boxNote = [&os](const std::string& text) { return BoxNote(text, os); };

    // The builder reads the catalogue beside the template under the name
    // Windows finds whatever its letter case.
    CatalogueName catalogue(options.file);
    if (builder && !catalogue.Prepare(&error)) {
        std::fprintf(stderr, "norvexflash: %s\n", error.c_str());
        return kExitNothingSent;
    }
    form.pathAlias = catalogue.Alias();

    TFlashForm flash(logged, os, record.data(), builder ? catalogue.TemplatePath() : options.file);
    LinuxFront front{form, os, flash, options};
    int status;
    if (builder)
        status = RunBuilder(front);
    else if (options.list)
        status = ListDrives(front);
    else
        status = RunFlasher(front);
    flash.FormDestroy();
    gCommandLog.Line("exit", std::to_string(status));
    gCommandLog.Close();
    return status;
}
}  // namespace

int main(int argc, char** argv) {
    // A closed output must not end a flash: writes fail instead.
    std::signal(SIGPIPE, SIG_IGN);
    return Run(argc, argv);
}
