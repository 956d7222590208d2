// Builder role: the model catalogue beside the executable and the file list
// of the working directory.
#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "app/FlashForm.h"
#include "package/FileMask.h"
#include "package/Text.h"

namespace {
constexpr uint32_t kValueBuffer = 2048;
constexpr const char* kAbsent = "FAIL";

bool FileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}
}  // namespace

void TFlashForm::BuilderStart() {
    std::vector<char> buffer(260);
    uint32_t n = os_.GetCurrentDirectoryA(uint32_t(buffer.size()), buffer.data());
    if (n >= buffer.size()) {
        // Too small: the call answered with the size it needs.
        buffer.assign(n + 1, '\0');
        n = os_.GetCurrentDirectoryA(uint32_t(buffer.size()), buffer.data());
        if (n >= buffer.size()) n = 0;
    }
    directory_.assign(buffer.data(), n);
    fileMask_ = "*.*";
    RefreshFileList();

    if (!RetriveINI()) return;

    form_.FileListShow(true);
    form_.SetLabel("Select Model: ");
    form_.ButtonSetCaption("Build");
    form_.ButtonEnable(false);
}

bool TFlashForm::RetriveINI() {
    ClearCatalogue();

    const std::string path = CatalogPath();
    if (!FileExists(path)) {
        form_.MessageBox("Can't load " + path, BoxKind::Plain, BoxButtons::Ok);
        Quit = true;
        form_.PostQuit(0);
        return false;
    }

    std::vector<std::string>* lists[] = {&ModelList, &InquiryList, &RangeList,
                                         &MaskList,  &VendorList,  &NoteList};
    const char* keys[] = {"Model", "Inquiry", "FW-Range", "BINMask", "Vendor", "Note"};
    std::vector<char> value(kValueBuffer);
    std::string section;
    for (int index = 0; index <= 99; ++index) {
        char name[16];
        std::snprintf(name, sizeof name, "%5.5s%02d", "MODEL", index);
        section = name;
        for (int key = 0; key < 6; ++key) {
            uint32_t n = os_.GetPrivateProfileStringA(name, keys[key], kAbsent, value.data(),
                                                      kValueBuffer, path.c_str());
            if (n >= kValueBuffer) n = kValueBuffer - 1;
            lists[key]->push_back(std::string(value.data(), n));
        }
        if (ModelList.back() == kAbsent) break;

        // No selection while a section is checked: it marks a faulty catalogue.
        form_.ComboSetIndex(-1);
        bool complete = true;
        for (int key = 1; key < 6 && complete; ++key) complete = lists[key]->back() != kAbsent;
        if (!complete) break;

        form_.ComboAdd(RangeList.back() + " " + InquiryList.back());
        form_.ComboSetIndex(0);

        ModelList.back() = Cut(ModelList.back(), 24);
        InquiryList.back() = PadRight(Cut(InquiryList.back(), 24), 24);
        RangeList.back() = Cut(RangeList.back(), 24);
        VendorList.back() = Cut(VendorList.back(), 24);
        NoteList.back() = Cut(NoteList.back(), 24);
    }

    if (form_.ComboIndex() < 0) {
        form_.MessageBox(path + " > Session " + section + " error!", BoxKind::Plain,
                         BoxButtons::Ok);
        Quit = true;
        form_.PostQuit(0);
        return false;
    }
    BuilderComboBoxChange();
    return true;
}

void TFlashForm::BuilderComboBoxChange() {
    int k = form_.ComboIndex();
    if (k < 0 || size_t(k) >= RangeList.size() || size_t(k) >= MaskList.size()) {
        // Typed text selects no model: offer no files, so nothing can be built.
        fileMask_.clear();
        RefreshFileList();
        form_.SetCaption(VendorText + kVersionCaption);
        form_.ButtonEnable(false);
        return;
    }
    fileMask_ = MaskList[k];
    RefreshFileList();
    form_.SetCaption(VendorText + kVersionCaption + RangeList[k] + " [Buiding]");
    form_.ButtonEnable(false);
}

void TFlashForm::FileListBox1Click() {
    int index = form_.FileListIndex();
    FirmwareFileName =
        index < 0 ? std::string() : NamePart(JoinPath(directory_, form_.FileListItem(index)));
    form_.ButtonEnable(true);
}

void TFlashForm::RefreshFileList() {
    form_.FileListSetItems(ListMatchingFiles(directory_, fileMask_));
}
