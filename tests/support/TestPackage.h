// A package record in memory, filled the way the builder writes one.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "package/Package.h"

struct TestPackage {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kPackageRecordSize, 0);

    TestPackage() {
        std::memcpy(bytes.data(), "FWBLOCK-MARKER", 15);
        Set(kModelOffset, "CDRW-A100");
        Set(kInquiryOffset, "OPTIDRV CDRW-A100       ");
        Set(kRangeOffset, "1A00-1A99");
        Set(kVendorOffset, "OPTIDRV");
        Set(kNoteOffset, "");
        SetVersion("1A50.");
        SetImageSize(262144);
    }
    TestPackage& Set(size_t offset, const std::string& text, size_t size = kTextFieldSize) {
        std::memset(&bytes[offset], 0, size);
        std::memcpy(&bytes[offset], text.data(), std::min(text.size(), size));
        return *this;
    }
    TestPackage& SetVersion(const std::string& tag) {
        return Set(kVersionTagOffset, tag, kVersionTagSize);
    }
    TestPackage& SetImageSize(uint32_t size) {
        for (int i = 0; i < 4; ++i) bytes[kImageSizeOffset + i] = uint8_t(size >> (8 * i));
        return *this;
    }
    uint8_t* Image() { return bytes.data() + kImageAreaOffset; }
    const uint8_t* Record() const { return bytes.data(); }
};
