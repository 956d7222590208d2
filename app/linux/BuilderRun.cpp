// The builder road on a terminal: the catalogue's models, the firmware
// files of the working directory that match the chosen model, Build.
#include <strings.h>

#include "app/linux/ExitStatus.h"
#include "app/linux/HeldSignals.h"
#include "app/linux/LinuxFront.h"

namespace {
void ShowList(TerminalForm& form, const std::vector<std::string>& items) {
    for (size_t i = 0; i < items.size(); ++i)
        form.Say("  " + std::to_string(i + 1) + ") " + items[i]);
}

// --model: the catalogue's Model value, the list item, or its number.
int FindModel(LinuxFront& f, const std::string& wanted) {
    const auto& items = f.form.ComboItems();
    for (size_t i = 0; i < items.size(); ++i) {
        if (i < f.flash.ModelList.size() &&
            strcasecmp(f.flash.ModelList[i].c_str(), wanted.c_str()) == 0)
            return static_cast<int>(i);
        if (items[i] == wanted) return static_cast<int>(i);
    }
    char* end = nullptr;
    long n = std::strtol(wanted.c_str(), &end, 10);
    if (!wanted.empty() && *end == '\0' && n >= 1 && n <= static_cast<long>(items.size()))
        return static_cast<int>(n - 1);
    return -1;
}

int FindFile(const std::vector<std::string>& files, const std::string& wanted) {
    for (size_t i = 0; i < files.size(); ++i)
        if (files[i] == wanted) return static_cast<int>(i);
    for (size_t i = 0; i < files.size(); ++i)
        if (strcasecmp(files[i].c_str(), wanted.c_str()) == 0) return static_cast<int>(i);
    return -1;
}
}  // namespace

int RunBuilder(LinuxFront& f) {
    f.flash.FormCreate();
    // Beside the box: which key, or which gap in the numbering.
    CatalogueRead end = f.flash.CatalogueEnd;
    FindSectionAfterGap(f.os, f.flash.CatalogPath(), end);
    if (const std::string note = CatalogueExplanation(end); !note.empty())
        f.form.Say("norvexflash: " + note);
    if (f.form.QuitPosted() || f.form.Closed()) return kExitNothingSent;

    f.form.Say("== " + f.form.WindowCaption() + " ==");
    f.form.Say(f.form.Label());
    ShowList(f.form, f.form.ComboItems());
    const int models = f.form.ComboCount();
    int model;
    if (!f.options.model.empty()) {
        model = FindModel(f, f.options.model);
        if (model < 0) {
            f.form.Say("norvexflash: the catalogue has no model \"" + f.options.model +
                       "\". Nothing was written. (exit status 1)");
            return kExitNothingSent;
        }
        f.form.Say("Model: " + std::to_string(model + 1) + " (--model)");
    } else {
        model = AskNumber(f.form, "Model", models);
        if (model < 0) return kExitNothingSent;
    }
    f.form.ComboSetIndex(model);
    f.flash.ComboBoxChange();

    const std::vector<std::string> files = f.form.FileItems();
    if (files.empty()) {
        f.form.Say("norvexflash: no file in the working directory matches this model's masks (" +
                   f.flash.MaskList[size_t(model)] + "). Nothing was written. (exit status 1)");
        return kExitNothingSent;
    }
    f.form.Say("Firmware files:");
    ShowList(f.form, files);
    int file;
    if (!f.options.firmware.empty()) {
        file = FindFile(files, f.options.firmware);
        if (file < 0) {
            f.form.Say("norvexflash: " + f.options.firmware +
                       " is not among this model's firmware files in the working directory. "
                       "Nothing was written. (exit status 1)");
            return kExitNothingSent;
        }
    } else {
        file = AskNumber(f.form, "Firmware file to build from", static_cast<int>(files.size()));
        if (file < 0) return kExitNothingSent;
    }
    f.form.FileListSetIndex(file);
    f.flash.FileListBox1Click();

    HeldSignals held(
        [&f](int) {
            f.form.Say(
                "norvexflash: signal received: the flasher being written is finished first; "
                "the program ends after it.");
        },
        [&f] { f.form.Tick(); });
    held.Start();
    f.form.boxes.clear();
    f.flash.FlashButtonClick();
    f.form.EndLine();
    held.Stop();
    const std::string status = f.form.Status();
    const bool built = f.form.boxes.empty() && status.size() > 10 &&
                       status.compare(status.size() - 10, 10, " complete!") == 0;
    f.form.Say(built ? "norvexflash: written. (exit status 0)"
                     : "norvexflash: the build failed. (exit status 2)");
    if (held.Received())
        f.form.Say(
            "norvexflash: ending now on the signal received during the build, with the "
            "build's own exit status " +
            std::to_string(built ? 0 : 2) + ".");
    held.Release();
    return built ? kExitDone : kExitFailedBeforeCommit;
}
