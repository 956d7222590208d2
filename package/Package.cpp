// The package inside the executable: its record, the role test and the texts derived from it.
#include "package/Package.h"

#include <cstring>

#include "package/Text.h"

std::string PackageView::Text(size_t offset, size_t size) const {
    const char* p = reinterpret_cast<const char*>(record_ + offset);
    size_t n = 0;
    while (n < size && p[n] != '\0') ++n;
    return std::string(p, n);
}

uint32_t PackageView::ImageSize() const {
    const uint8_t* p = record_ + kImageSizeOffset;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool PackageView::IsTemplate() const {
    return std::memcmp(FirmwareArea(), "TMPL", 4) == 0;
}

bool PackageView::AnyDrive() const {
    return record_[kInquiryOffset] == '-' && record_[kInquiryOffset + 1] == '-';
}

bool PackageView::AnyFirmware() const {
    // Both bytes lie inside the 25-byte slot; a NUL at the first makes this false anyway.
    return record_[kRangeOffset] == '-' && record_[kRangeOffset + 5] == '-';
}

bool PackageView::FlashAll() const {
    return std::memcmp(record_ + kNoteOffset, "FLASH-ALL", 9) == 0;
}

std::string PackageView::InquiryText() const {
    return PadRight(Cut(Inquiry(), 24), 24);
}
std::string PackageView::RangeText() const {
    return PadLeft(Cut(Range(), 9), 9);
}
std::string PackageView::LowVersion() const {
    return PadLeft(Cut(Range(), 4), 4);
}
std::string PackageView::HighVersion() const {
    std::string range = Range();
    return PadLeft(range.size() > 5 ? Cut(range.substr(5), 4) : std::string(), 4);
}
std::string PackageView::NewRevision() const {
    return PadLeft(Cut(VersionTag(), 4), 4);
}
