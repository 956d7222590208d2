// The flash sequence: readiness, download, read-back and compare, commit, list refresh.
#include <algorithm>
#include <cstring>

#include "app/FlashForm.h"
#include "app/FlashMutex.h"
#include "app/StatusTexts.h"
#include "drive/DriveGuard.h"
#include "flash/Commands.h"
#include "drive/Scsi.h"
#include "flash/ReadBack.h"
#include "flash/Revision.h"

namespace {
constexpr uint32_t kReadyPassMs = 30;
constexpr int kReadyPasses = 10;
// A drive that keeps answering "becoming ready" gets two minutes, then the
// flash is abandoned before anything is downloaded.
constexpr int kReadyPassLimit = 120000 / kReadyPassMs;
constexpr uint32_t kCommitTimeout = 180;
constexpr uint32_t kNormalTimeout = 60;
}  // namespace

// Returns false when the flash must not go on (a message has been shown).
bool TFlashForm::WaitUntilReady() {
    int counter = 0;
    for (int pass = 0;; ++pass) {
        if (pass == kReadyPassLimit) {
            form_.MessageBox(
                "The drive did not become ready within two minutes.\n"
                "The flash was not started; nothing was written to the drive.",
                BoxKind::Plain, BoxButtons::Ok);
            return false;
        }
        os_.Sleep(kReadyPassMs);
        MakeTestUnitReady(CommandBlock);
        CurrentDrive->Execute(CommandBlock, kDataIn, 0);
        if (CurrentDrive->SenseIs(kSenseKeyNotReady, kAscNotReady, kAscqBecomingReady)) {
            counter = 0;
        } else if (CurrentDrive->SenseKeyAscIs(kSenseKeyNotReady, kAscMediumNotPresent)) {
            return true;
        } else if (!CheckDisc()) {
            // Kept word for word: the program's own text (docs/ARCHITECTURE.md, Style).
            form_.MessageBox("Remove disc, before to do the flash task.", BoxKind::Plain,
                             BoxButtons::Ok);
            return false;
        }
        if (++counter >= kReadyPasses) return true;
    }
}

void TFlashForm::FlashSequence() {
    if (CurrentDrive == nullptr || Drives == nullptr) return;
    ProfileFound = false;
    ProfileLength = 0;
    int selected = form_.ComboIndex();

    std::string driveRevision = CurrentDrive->FirmwareRevision();
    std::string newRevision = package_.NewRevision();
    std::string prompt = "\nUpdate FW:" + driveRevision + " to FW:" + newRevision + " ?\n";
    if (!package_.AnyFirmware() && !RevisionLess(driveRevision, newRevision)) {
        // Kept word for word: the program's own text (docs/ARCHITECTURE.md, Style).
        form_.MessageBox("\nWARNING:" + std::string("\n\nYour drive FW:") + driveRevision +
                             " is aready the most updated ?",
                         BoxKind::Warning, BoxButtons::Ok);
        return;
    }
    BoxKind kind =
        RevisionGreater(driveRevision, newRevision) ? BoxKind::Warning : BoxKind::Confirmation;
    if (form_.MessageBox(prompt, kind, BoxButtons::YesNo) != BoxAnswer::Yes) return;

    // Held to the end of the handler; where none can be made the flash goes on.
    FlashMutex oneFlash(os_);
    if (oneFlash.Take() == FlashMutex::Result::Busy) {
        ShowAnotherFlash();
        return;
    }
    // A drive another program has locked refuses every command: the
    // readiness wait would read that as a disc in the drive.
    std::string owner;
    if (DriveGuard::LockedByAnother(*CurrentDrive, owner)) {
        ShowDriveLockedBy(owner);
        return;
    }

    FlashAllMode = package_.FlashAll();
    MakeLoad(CommandBlock);
    CurrentDrive->Execute(CommandBlock, kDataIn, 0);
    if (!WaitUntilReady()) return;
    // From here to the last command no other handle's request and no media
    // polling reaches the drive, where the system offers the means.
    DriveGuard guard;
    if (guard.Take(*CurrentDrive, kAppTitle, owner) == DriveGuard::Outcome::LockedByOther) {
        ShowDriveLockedBy(owner);
        return;
    }
    MakeStopPlayScan(CommandBlock);
    CurrentDrive->Execute(CommandBlock, kDataIn, 0);
    MakeStop(CommandBlock);
    CurrentDrive->Execute(CommandBlock, kDataIn, 0);

    // Never read past the image area, whatever the package claims.
    const uint32_t imageSize = std::min<uint32_t>(ImageSize, kImageAreaSize);
    form_.ProgressSetRange(0, static_cast<int>(imageSize));
    form_.ProgressSetStep(static_cast<int>(kChunkSize));
    if (TransferBuffer.empty()) TransferBuffer.resize(kChunkSize);

    form_.SetCursor(CursorKind::Hourglass);
    FlashImage(imageSize, selected);
    guard.Release();
    form_.SetCursor(CursorKind::Default);
    form_.ProgressSetPosition(0);
}

// Steps from the profile to the list refresh; every way out returns here so
// the caller restores the cursor and the progress bar.
void TFlashForm::FlashImage(uint32_t imageSize, int selected) {
    const uint8_t* image = package_.FirmwareArea();
    uint8_t* chunk = TransferBuffer.data();

    if (ProfileFormatA || ProfileFormatB) {
        SetStatus(status_text::kProfile);
        if (!SetupFlashProfile(chunk)) {
            AppendStatus(status_text::kFail);
            return;
        }
        // A later flash may send a longer profile than the first one.
        if (ProfileCopy.size() < ProfileLength) ProfileCopy.resize(ProfileLength);
        if (ProfileLength > 0) std::memcpy(ProfileCopy.data(), chunk, ProfileLength);
    }

    SetStatus(status_text::kDownload);
    form_.ProgressSetPosition(0);
    // The last chunk of an image that is not a whole number of chunks
    // carries only the bytes that remain.
    for (uint32_t offset = 0; offset < imageSize; offset += kChunkSize) {
        uint32_t length = std::min(kChunkSize, imageSize - offset);
        std::memcpy(chunk, image + offset, length);
        if (!WriteBuffer(offset, chunk, length, kControlData)) {
            AppendStatus(status_text::kFail);
            return;
        }
        form_.ProgressSetPosition(static_cast<int>(offset + length));
    }

    if (ProfileFormatA) {
        SetStatus(status_text::kEntryCritical);
        if (!EntryCritical()) {
            AppendStatus(status_text::kFail);
            return;
        }
    }

    SetStatus(status_text::kVerify);
    if (ProfileFound && !ReadVerifyProfile(ProfileCopy.data())) {
        AppendStatus(status_text::kProfileCheckFail);
        return;
    }
    form_.ProgressSetPosition(0);
    for (uint32_t offset = 0; offset < imageSize; offset += kChunkSize) {
        uint32_t length = std::min(kChunkSize, imageSize - offset);
        PoisonReadBack(image + offset, length);
        if (!ReadBuffer(offset, chunk, length)) {
            AppendStatus(status_text::kReadFail);
            return;
        }
        if (std::memcmp(image + offset, chunk, length) != 0) {
            AppendStatus(status_text::kCompareFail);
            form_.MessageBox("Compare BIN and DRAM fail!", BoxKind::Plain, BoxButtons::Ok);
            return;
        }
        form_.ProgressSetPosition(static_cast<int>(offset + length));
    }

    SetStatus(status_text::kCommit);
    form_.ProgressSetRange(0, 200);
    form_.ProgressSetPosition(198);
    form_.ProgressSetStep(0);
    CDDrive::SetTimeout(kCommitTimeout);
    if (!Commit(FlashAllMode ? kControlCommitAll : kControlCommit)) {
        SetStatus(status_text::kFlashFail);
        return;
    }

    CDDrive::SetTimeout(kNormalTimeout);
    form_.ProgressSetPosition(200);
    SetStatus(status_text::kCompleted);
    if (RefreshDriveLine(selected)) ReportRevisionNotTaken();
}

bool TFlashForm::RefreshDriveLine(int index) {
    // With nothing selected at the click, refresh the item of the drive that was flashed.
    if (index < 0 || index >= form_.ComboCount()) {
        auto it = std::find(DriveIndexMap.begin(), DriveIndexMap.end(), Drives->CurrentIndex);
        if (it == DriveIndexMap.end()) return false;
        index = static_cast<int>(it - DriveIndexMap.begin());
    }
    std::string line = CurrentDrive->DisplayLine();
    form_.ComboInsert(index, line);
    form_.ComboDelete(index + 1);
    form_.ComboSetIndex(index);
    form_.ComboRepaint();
    return true;
}

// The drive accepted every command, so the flash stays completed; but when
// its fresh identification does not carry the packaged revision the user
// is told, or they would take the old revision for a failed flash (or the
// new one for granted).
void TFlashForm::ReportRevisionNotTaken() {
    const std::string reported = CurrentDrive->FirmwareRevision();
    const std::string packaged = package_.NewRevision();
    if (reported == packaged) return;
    std::string text = "\nThe drive accepted the new firmware, but it ";
    if (reported.empty())
        text +=
            "did not report its firmware revision afterwards, so it is not known whether it "
            "runs the packaged revision " +
            packaged + ".\n\n";
    else
        text += "still reports firmware revision " + reported + ", not the packaged revision " +
                packaged + ".\n\n";
    text +=
        "Some drives report a new revision only after the computer has been switched off and on "
        "again.\nAfter that, start this flasher again to see which revision the drive reports.\n";
    form_.MessageBox(text, BoxKind::Plain, BoxButtons::Ok);
}
