// The package carried inside the executable: keyword, 137-byte description
// block and image area, one contiguous record. The logic reads it through a
// PackageView so tests can point it at any bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kKeywordSize = 15;  // "FWBLOCK-MARKER" and its NUL
constexpr size_t kTextFieldSize = 25;
constexpr size_t kModelOffset = 15;
constexpr size_t kInquiryOffset = 40;
constexpr size_t kRangeOffset = 65;
constexpr size_t kVendorOffset = 90;
constexpr size_t kNoteOffset = 115;
constexpr size_t kVersionTagOffset = 140;
constexpr size_t kVersionTagSize = 5;
constexpr size_t kImageSizeOffset = 148;
constexpr size_t kImageAreaOffset = 152;
constexpr size_t kPackageBlockSize = 137;
constexpr size_t kImageAreaSize = 327680;
constexpr size_t kPackageRecordSize = kImageAreaOffset + kImageAreaSize;

// The running program's own record (its initialised data).
uint8_t* PackageRecord();

class PackageView {
  public:
    explicit PackageView(const uint8_t* record) : record_(record) {}

    const uint8_t* Record() const { return record_; }
    const uint8_t* Keyword() const { return record_; }
    const uint8_t* Block() const { return record_ + kModelOffset; }
    const uint8_t* FirmwareArea() const { return record_ + kImageAreaOffset; }

    // Fields as NUL-terminated text (nothing after the first NUL, at most 25 bytes).
    std::string Model() const { return Text(kModelOffset, kTextFieldSize); }
    std::string Inquiry() const { return Text(kInquiryOffset, kTextFieldSize); }
    std::string Range() const { return Text(kRangeOffset, kTextFieldSize); }
    std::string Vendor() const { return Text(kVendorOffset, kTextFieldSize); }
    std::string Note() const { return Text(kNoteOffset, kTextFieldSize); }
    std::string VersionTag() const { return Text(kVersionTagOffset, kVersionTagSize); }
    uint32_t ImageSize() const;

    // The template's image area begins with "TMPL".
    bool IsTemplate() const;
    // Inquiry field begins "--".
    bool AnyDrive() const;
    // FW-Range has '-' as first and sixth character.
    bool AnyFirmware() const;
    // First nine bytes of Note are "FLASH-ALL".
    bool FlashAll() const;

    // Derived texts.
    std::string InquiryText() const;  // "%-24.24s"
    std::string RangeText() const;    // "%9.9s"
    // "%4.4s": at most four characters, padded on the left with blanks to four.
    std::string LowVersion() const;
    std::string HighVersion() const;  // from the sixth character
    std::string NewRevision() const;  // of the Version tag

  private:
    std::string Text(size_t offset, size_t size) const;
    const uint8_t* record_;
};
