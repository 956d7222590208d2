// The builder's catalogue: the profile-string reader and the catalogue load
// at start-up, over arbitrary catalogue files.
//
// Input: one control byte, then the file's bytes. In the file, 0xFE n
// stands for n * 256 more copies of the byte before it (n = 0: a plain
// 0xFE), so short inputs can carry lines of 64 KiB and values of thousands
// of characters.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/FlashForm.h"
#include "fuzz/Check.h"
#include "fuzz/FuzzInput.h"
#include "host/ini/IniReader.h"
#include "tests/support/FakeForm.h"
#include "tests/support/FileOs.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPackage.h"

namespace {
// Stretching stops here: room for a line of 64 KiB and more, not for files
// that only take time to read.
constexpr size_t kLongest = 70000;

std::vector<uint8_t> Expand(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != 0xFE || i + 1 == in.size()) {
            out.push_back(in[i]);
            continue;
        }
        size_t n = in[++i];
        if (n == 0 || out.empty())
            out.push_back(0xFE);
        else if (out.size() < kLongest)
            out.insert(out.end(), n * 256, out.back());
    }
    return out;
}

// One value read into a buffer of exactly `size` bytes, so a write past it is caught.
std::string Read(const char* section, const char* key, uint32_t size, const std::string& file) {
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memset(buffer.get(), 0x55, size);
    uint32_t n = ReadProfileString(section, key, "FAIL  ", buffer.get(), size, file.c_str());
    FUZZ_CHECK(n < size, "the count leaves room for the terminating zero");
    FUZZ_CHECK(buffer[n] == '\0', "the value is terminated right after the count");
    FUZZ_CHECK(std::strlen(buffer.get()) == n, "no zero byte inside the value");
    return std::string(buffer.get(), n);
}

void CheckReader(const std::string& file, uint32_t small) {
    static const char* const kSections[] = {"MODEL00", "model01"};
    static const char* const kKeys[] = {"Model", "INQUIRY", ""};
    for (const char* section : kSections) {
        for (const char* key : kKeys) {
            std::string full = Read(section, key, 2048, file);
            std::string cut = Read(section, key, small, file);
            FUZZ_CHECK(cut == full.substr(0, small - 1),
                       "a smaller buffer holds the start of the same value");
        }
    }
}

void CheckCatalogue(const TFlashForm& flash, const FakeForm& form) {
    const size_t n = flash.ModelList.size();
    FUZZ_CHECK(flash.InquiryList.size() == n && flash.RangeList.size() == n &&
                   flash.MaskList.size() == n && flash.VendorList.size() == n &&
                   flash.NoteList.size() == n,
               "entry k of every list belongs to the same section");
    if (form.quitPosted) {
        FUZZ_CHECK(form.boxes.size() == 1 && form.exitCode == 0,
                   "a refused catalogue shows one message and ends the program");
        FUZZ_CHECK(form.buttonCaption != "Build", "a refused catalogue sets nothing up");
        return;
    }
    FUZZ_CHECK(form.boxes.empty(), "an accepted catalogue shows no message");
    const size_t listed = form.combo.size();
    FUZZ_CHECK(listed >= 1 && listed <= 100 && (listed == n || listed + 1 == n),
               "every complete section is listed, the section that ended reading is not");
    FUZZ_CHECK(form.comboIndex == 0, "the first model is selected");
    FUZZ_CHECK(form.buttonCaption == "Build" && !form.buttonEnabled,
               "the build button waits for a file");
    for (size_t k = 0; k < listed; ++k) {
        FUZZ_CHECK(flash.ModelList[k].size() <= 24 && flash.RangeList[k].size() <= 24 &&
                       flash.VendorList[k].size() <= 24 && flash.NoteList[k].size() <= 24,
                   "stored values fit the package's 25-byte fields");
        FUZZ_CHECK(flash.InquiryList[k].size() == 24, "the inquiry is stored as 24 characters");
        FUZZ_CHECK(flash.ModelList[k] != "FAIL" && flash.MaskList[k] != "FAIL",
                   "a listed section has every key");
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempDir dir;
    FuzzInput input(data, size);
    const uint8_t control = input.Byte();
    const std::vector<uint8_t> text = Expand(input.Rest());

    const std::string ini = dir.File("FUZZ.INI");
    if (control & 0x80)
        std::remove(ini.c_str());
    else
        dir.Write("FUZZ.INI", text);

    if (!(control & 0x80)) CheckReader(ini, 1 + (control & 0x3F));

    FakeForm form;
    FileOs os;
    os.currentDirectory = dir.Path();
    TestPackage package;
    std::memcpy(package.Image(), "TMPL", 4);
    TFlashForm flash(form, os, package.Record(), dir.File("FUZZ.EXE"));
    flash.FormCreate();
    CheckCatalogue(flash, form);
    if (form.quitPosted) return 0;

    // Another model, or typed text that selects none; then a file click.
    form.ComboSetIndex(static_cast<int>(control & 0x3F) % (int(form.combo.size()) + 1) - 1);
    flash.ComboBoxChange();
    FUZZ_CHECK(!form.buttonEnabled, "a model change disables the build button");
    form.fileIndex = form.files.empty() ? -1 : 0;
    flash.FileListBox1Click();
    FUZZ_CHECK(form.files.empty() || flash.FirmwareFileName == form.files[0],
               "the clicked file's name is the firmware file name");
    return 0;
}
