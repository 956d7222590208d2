// The main window's logic: the handlers of FlashForm and the flash and build
// operations they run. It reaches the window only through Form and the
// system only through OsCalls, so it runs the same under tests.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drive/CDDrives.h"
#include "drive/DriveDataBuffer.h"
#include "package/Catalogue.h"
#include "package/Package.h"
#include "platform/Form.h"
#include "platform/OsCalls.h"

constexpr const char* kAppTitle = "NORVEX Windows Flash utility";
constexpr const char* kVersionCaption = " Flash Utility V1.048A ";
constexpr uint32_t kChunkSize = 16384;

class TFlashForm {
  public:
    // record: the package record (keyword first); exePath: the running
    // executable's full path (template of the builder, base of the catalogue name).
    TFlashForm(Form& form, OsCalls& os, const uint8_t* record, std::string exePath);
    ~TFlashForm();
    TFlashForm(const TFlashForm&) = delete;
    TFlashForm& operator=(const TFlashForm&) = delete;

    // Handlers.
    void FormCreate();
    void FormDestroy();
    void ComboBoxChange();
    void FileListBox1Click();
    void FlashButtonClick();

    // Drive eligibility and image classification.
    bool CheckCondition();
    // For the log: why CheckCondition refuses the current drive.
    std::string WhyNotEligible();
    void CheckNewFormatBIN();

    // Vendor commands on CurrentDrive.
    bool WriteE2(const uint8_t* data, uint16_t address, uint8_t count);
    // Downloads `length` bytes of `data` to `offset` of the drive's buffer memory.
    bool WriteBuffer(uint32_t offset, const uint8_t* data, uint32_t length, uint8_t control);
    // Tells the drive to program its flash chip (control kControlCommit or
    // kControlCommitAll): the one command after which there is no way back.
    bool Commit(uint8_t control);
    bool ReadBuffer(uint32_t offset, uint8_t* data, uint32_t length);
    bool EntryCritical();
    bool CheckDisc();

    // Flash-chip profile.
    bool SetupFlashProfile(uint8_t* buildArea);
    bool ReadVerifyProfile(const uint8_t* copy);

    // Builder role.
    // Kept as spelt: the program's own name (docs/ARCHITECTURE.md, Style).
    bool RetriveINI();
    bool NewBuildFlashProgram();

    // State, readable by tests.
    bool BuilderMode = false;
    bool ProfileFormatA = false;
    bool ProfileFormatB = false;
    bool ProfileFound = false;
    bool FlashAllMode = false;
    std::string VendorText, ModelText, RangeText, LowVersion, HighVersion, InquiryText;
    std::string FirmwareFileName;
    uint32_t ImageSize = 0;
    uint32_t ProfileLength = 0;
    uint32_t ProfileDataOffset = 0;
    uint32_t ProfileHeaderLength = 0;
    std::vector<int32_t> DriveIndexMap;
    CDDrive* CurrentDrive = nullptr;
    uint8_t CommandBlock[12] = {};
    std::unique_ptr<CDDrives> Drives;
    std::unique_ptr<DriveDataBuffer> DriveData;
    std::vector<uint8_t> TransferBuffer;  // one chunk; empty until the first flash
    std::vector<uint8_t> ProfileCopy;     // profile copy (flasher), image buffer (builder)
    std::vector<std::string> ModelList, InquiryList, RangeList, MaskList, VendorList, NoteList;
    // Where and why the catalogue read stopped, for a front end that can say
    // more than the box (package/Catalogue.h).
    CatalogueRead CatalogueEnd;

    PackageView Package() const { return package_; }
    const std::string& ExePath() const { return exePath_; }
    std::string CatalogPath() const;

  private:
    // Start-up halves.
    void FlasherStart();
    void CreateDriveList();
    void BuilderStart();
    void BuilderComboBoxChange();
    void FlasherComboBoxChange();
    void EndProgram();  // post quit (exit code 0) and close the window
    void ClearCatalogue();

    // One flash at a time (OneFlash.cpp): the start-up check and the boxes
    // of a flash that must not start.
    bool AnotherFlashAtStart();  // true: refused, the box has been shown
    void ShowAnotherFlash();
    void ShowDriveLockedBy(const std::string& owner);

    // Flash sequence pieces.
    void FlashSequence();
    void FlashImage(uint32_t imageSize, int selected);
    bool WaitUntilReady();
    bool RefreshDriveLine(int index);  // false when no item could be refreshed
    void ReportRevisionNotTaken();
    bool Succeeded();  // rule of success, judged on CurrentDrive
    bool Judge(const char* prefix);
    void SetStatus(const std::string& text);
    void AppendStatus(const std::string& text);

    // Builder pieces.
    void RefreshFileList();

    Form& form_;
    OsCalls& os_;
    PackageView package_;
    std::string exePath_;
    std::string directory_;   // the file list's directory (working directory)
    std::string fileMask_;    // the file list's masks, semicolon-separated
    bool runLogged_ = false;  // the run's end is in the command log
};
