// Builder role: the model catalogue beside the executable in the model
// list, and the file list of the working directory.
#include "app/FlashForm.h"
#include "app/StatusTexts.h"
#include "package/BuildFlasher.h"
#include "package/Catalogue.h"
#include "package/FileMask.h"

void TFlashForm::BuilderStart() {
    directory_ = WorkingDirectory(os_);
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
    CatalogueEnd = CatalogueRead();

    const std::string path = CatalogPath();
    if (!CatalogueExists(path)) {
        form_.MessageBox("Can't load " + path, BoxKind::Plain, BoxButtons::Ok);
        form_.PostQuit(0);
        return false;
    }

    const CatalogueRead read = ReadCatalogue(
        os_, path, {ModelList, InquiryList, RangeList, MaskList, VendorList, NoteList});
    CatalogueEnd = read;
    // No selection while a section is checked: a faulty section leaves none.
    for (const std::string& item : read.items) {
        form_.ComboSetIndex(-1);
        form_.ComboAdd(item);
        form_.ComboSetIndex(0);
    }
    if (read.incomplete) form_.ComboSetIndex(-1);

    if (form_.ComboIndex() < 0) {
        // Kept word for word: the program's own text (docs/ARCHITECTURE.md, Style).
        form_.MessageBox(path + " > Session " + read.section + " error!", BoxKind::Plain,
                         BoxButtons::Ok);
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
    // Kept word for word: the program's own text (docs/ARCHITECTURE.md, Style).
    form_.SetCaption(VendorText + kVersionCaption + RangeList[k] + " [Buiding]");
    form_.ButtonEnable(false);
}

void TFlashForm::FileListBox1Click() {
    int index = form_.FileListIndex();
    FirmwareFileName =
        index < 0 ? std::string() : NamePart(JoinPath(directory_, form_.FileListItem(index)));
    form_.FitStatus({status_text::Building(FirmwareFileName),
                     status_text::Built(OutputName(FirmwareFileName))});
    form_.ButtonEnable(true);
}

void TFlashForm::RefreshFileList() {
    form_.FileListSetItems(ListMatchingFiles(directory_, fileMask_));
}
