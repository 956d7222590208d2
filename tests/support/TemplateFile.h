// Bytes of a template executable: some leading bytes, the package record
// (keyword, placeholder block, image area starting "TMPL"), trailing bytes.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "package/Package.h"

struct TemplateFile {
    size_t before = 3000;               // bytes ahead of the keyword
    size_t imageArea = kImageAreaSize;  // image-area bytes present in the file
    size_t after = 2500;                // bytes behind the image area

    size_t KeywordAt() const { return before; }
    size_t BlockAt() const { return before + kKeywordSize; }
    size_t ImageAt() const { return before + kImageAreaOffset; }

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < before; ++i) bytes.push_back(uint8_t('a' + i % 5));  // never 'F'
        const char* keyword = "FWBLOCK-MARKER";
        bytes.insert(bytes.end(), keyword, keyword + kKeywordSize);
        for (size_t i = 0; i < kPackageBlockSize; ++i) bytes.push_back(0x5A);
        std::vector<uint8_t> image(imageArea, 0);
        std::memcpy(image.data(), "TMPL", imageArea < 4 ? imageArea : 4);
        bytes.insert(bytes.end(), image.begin(), image.end());
        for (size_t i = 0; i < after; ++i) bytes.push_back(uint8_t(0x80 + i % 97));
        return bytes;
    }
};

// A firmware image of the given size with a recognisable pattern.
inline std::vector<uint8_t> Firmware(size_t size, uint8_t seed = 1) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7 + (i >> 8));
    return bytes;
}
