// The flash sequence against a drive whose answers come from the fuzzer:
// start-up (warning accepted), then one "FLASH" (prompt answered Yes), or
// two in the same window.
// Property: the commit goes out only when every image byte was written by a
// WRITE BUFFER the drive accepted and read back, as the answers delivered
// it, equal to the image; and a completion is reported only for a commit
// the drive accepted.
//
// Input: five set-up bytes, then one decision per command (AnsweringOs).
//  0: bit 0 ASPI / pass-through, bit 1 a second flash, bit 2 FLASH-ALL
//     note, bits 3-5 image layout, bits 6-7 image content
//  1: the image is 3 chunks less n * 64 bytes
//  2: flash chip: the table's entries, any 4 bytes, or none
//  3: bits 0-1 "becoming ready" answers after the load, bit 2 a disc inside
//  4: seed or fill byte of the image
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/FlashForm.h"
#include "flash/FlashChip.h"
#include "drive/Scsi.h"
#include "fuzz/AnsweringOs.h"
#include "fuzz/Check.h"
#include "fuzz/FuzzInput.h"
#include "tests/support/FakeForm.h"
#include "tests/support/TestPackage.h"

namespace {
constexpr uint32_t kChunk = 16384;

uint32_t Be24(const uint8_t* p) {
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}
bool IsImageWrite(const Answer& a) {
    return a.cdb[0] == 0x3B && a.cdb[1] == 0x05 && a.cdb[2] == 0x01 && a.cdb[9] == 0x00 &&
           !a.dataIn;
}
bool IsImageRead(const Answer& a) {
    return a.cdb[0] == 0x3C && a.cdb[1] == 0x01 && a.cdb[2] == 0x01 && a.dataIn;
}

// What the drive has been given and has given back, byte by byte. A chunk
// with any byte wrong counts as wrong as a whole: the program compares
// whole chunks.
class Ledger {
  public:
    Ledger(const uint8_t* image, uint32_t size) : image_(image), written_(size), verified_(size) {}

    void Before(const uint8_t* cdb) {
        if (!IsCommit(cdb)) return;
        ++commits;
        FUZZ_CHECK(std::memchr(written_.data(), 0, written_.size()) == nullptr,
                   "commit only after every image byte was downloaded");
        FUZZ_CHECK(std::memchr(verified_.data(), 0, verified_.size()) == nullptr,
                   "commit only after every image byte was read back equal");
    }

    void After(const Answer& a) {
        if (IsCommit(a.cdb)) commitAccepted = a.success;
        const uint32_t offset = Be24(a.cdb + 3);
        if (offset >= written_.size()) return;
        const uint32_t n = std::min<uint32_t>(a.length, uint32_t(written_.size()) - offset);
        if (IsImageWrite(a)) {
            Mark(written_, offset, n, a.success && Equal(a.data, offset, n));
        } else if (IsImageRead(a)) {
            const uint32_t got = std::min(n, a.delivered);
            Mark(verified_, offset, got, a.success && Equal(a.data, offset, got));
            Mark(verified_, offset + got, n - got, false);
        }
    }

    void Reset() {
        std::fill(written_.begin(), written_.end(), 0);
        std::fill(verified_.begin(), verified_.end(), 0);
        commits = 0;
        commitAccepted = false;
    }

    int commits = 0;
    bool commitAccepted = false;

  private:
    bool Equal(const uint8_t* data, uint32_t offset, uint32_t n) const {
        return n == 0 || (data && std::memcmp(data, image_ + offset, n) == 0);
    }
    static void Mark(std::vector<uint8_t>& bytes, uint32_t offset, uint32_t n, bool good) {
        if (n) std::memset(bytes.data() + offset, good ? 1 : 0, n);
    }

    const uint8_t* image_;
    std::vector<uint8_t> written_, verified_;
};

void PutMarker(uint8_t* image, size_t offset, const char* model) {
    image[offset] = 0x05;
    image[offset + 1] = 0x80;
    if (model) std::memcpy(image + offset + 0x10, model, 15);
}

// Content, then the layout markers over it.
void FillImage(uint8_t* image, uint32_t size, uint8_t control, uint8_t seed) {
    switch (control >> 6) {
        case 0:  // carries the identification, so the drive reports the new revision
            for (uint32_t i = 0; i < size; ++i) image[i] = uint8_t(i * 7 + (i >> 9));
            std::memcpy(image + 0x200, "OPTIDRV CDRW-A100       1A50", 28);
            break;
        case 1:
            std::memset(image, seed, size);
            break;
        case 2:  // every chunk the same
            for (uint32_t i = 0; i < kChunk; ++i) image[i] = uint8_t(seed + i * 3);
            for (uint32_t at = kChunk; at < size; at += kChunk)
                std::memcpy(image + at, image, std::min(kChunk, size - at));
            break;
        default:
            for (uint32_t i = 0; i < size; ++i) image[i] = uint8_t(seed ^ (i * 131 + (i >> 7)));
    }
    switch ((control >> 3) & 7) {
        case 1:
            PutMarker(image, 0x1100, nullptr);
            break;
        case 2:
            PutMarker(image, 0x4000, "DVD-ROM KVA-204");
            break;
        case 3:
            PutMarker(image, 0x4008, "dvd-rom kvb-517");
            break;
        case 4:
            PutMarker(image, 0x4000, "DVD-ROM KVA-205");
            break;
        case 5:
            PutMarker(image, 0x1100, nullptr);
            PutMarker(image, 0x4000, "DVD-ROM KVB-517");
            break;
        case 6:
            PutMarker(image, 0x1100, nullptr);
            PutMarker(image, 0x4008, "CD-RW  DRW-0001");
            break;
        default:
            break;
    }
}

std::array<uint8_t, 4> FlashId(uint8_t pick, FuzzInput& input) {
    if (pick % 9 < kFlashChipCount) {
        const FlashChip& chip = FlashChipTable[pick % 9];
        return {chip.ManufacturerId, chip.DeviceId, chip.ExtendedId[0], chip.ExtendedId[1]};
    }
    if (pick % 9 == 7) return {input.Byte(), input.Byte(), input.Byte(), input.Byte()};
    return {0, 0, 0, 0};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t control = input.Byte();
    const uint32_t imageSize = 3 * kChunk - uint32_t(input.Byte()) * 64;
    const uint8_t chip = input.Byte();
    const uint8_t drive = input.Byte();
    const uint8_t seed = input.Byte();

    TestPackage package;
    package.SetImageSize(imageSize).SetVersion("1A50.");
    if (control & 4) package.Set(kNoteOffset, "FLASH-ALL");
    FillImage(package.Image(), imageSize, control, seed);

    VirtualDrive::Config config;
    config.vendor = "OPTIDRV";
    config.product = "CDRW-A100";
    config.revision = "1A10";
    config.flashId = FlashId(chip, input);
    config.becomingReady = drive & 3;
    config.medium = (drive & 4) ? Medium::Disc : Medium::None;

    AnsweringOs os(input);
    os.platformId = (control & 1) ? kPlatformWin32Nt : kPlatformWin32Windows;
    if (os.platformId == kPlatformWin32Nt)
        os.AddCdrom('D', config);
    else
        os.AddAspiDrive(0, 0, config);
    Ledger ledger(package.Image(), imageSize);
    os.beforeCommand = [&ledger](const uint8_t* cdb) { ledger.Before(cdb); };
    os.afterCommand = [&ledger](const Answer& a) { ledger.After(a); };

    FakeForm form;
    form.defaultAnswer = BoxAnswer::Yes;
    CDDrive::Attach(&os, &form);
    {
        TFlashForm flash(form, os, package.Record(), "C:\\FLASH\\FUZZ.EXE");
        flash.FormCreate();
        const int clicks = (form.quitPosted || !flash.CurrentDrive) ? 0 : (control & 2) ? 2 : 1;
        for (int click = 0; click < clicks; ++click) {
            // Every flash proves its own download: the buffers are reused.
            ledger.Reset();
            form.status.clear();
            flash.FlashButtonClick();
            FUZZ_CHECK(form.cursor == CursorKind::Default, "the cursor is restored");
            FUZZ_CHECK(ledger.commits <= 1, "one flash commits at most once");
            const bool completed = form.status == "Flash Completed.";
            FUZZ_CHECK(!completed || (ledger.commits == 1 && ledger.commitAccepted),
                       "completion is reported only for an accepted commit");
            FUZZ_CHECK(completed || ledger.commits == 0 || !ledger.commitAccepted,
                       "an accepted commit is reported as completed");
            FUZZ_CHECK(click > 0 || os.bent > 0 || config.medium == Medium::Disc || completed,
                       "with every answer as the drive gave it, the flash completes");
        }
    }
    CDDrive::Attach(nullptr, nullptr);
    return 0;
}
