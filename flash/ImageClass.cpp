// Which profile form a firmware image asks for, read from its markers.
#include "flash/ImageClass.h"

#include <cctype>
#include <cstddef>

namespace {
constexpr uint8_t kMarker[2] = {0x05, 0x80};

bool HasMarker(const uint8_t* image, size_t offset) {
    return image[offset] == kMarker[0] && image[offset + 1] == kMarker[1];
}

// The two drive models whose images take the 6-byte profile header.
bool IsSpecialModel(const uint8_t* text) {
    static const char* const kModels[] = {"DVD-ROM KVA-204", "DVD-ROM KVB-517"};
    for (const char* model : kModels) {
        bool equal = true;
        for (size_t i = 0; i < 15 && equal; ++i)
            equal = std::toupper(text[i]) == std::toupper(static_cast<unsigned char>(model[i]));
        if (equal) return true;
    }
    return false;
}
}  // namespace

ImageClass ClassifyImage(const uint8_t* image) {
    // The first marker found decides; later positions are not looked at.
    if (HasMarker(image, 0x4000))
        return IsSpecialModel(image + 0x4010) ? ImageClass::SixByteProfile
                                              : ImageClass::OtherMarkedModel;
    if (HasMarker(image, 0x4008))
        return IsSpecialModel(image + 0x4018) ? ImageClass::SixByteProfile
                                              : ImageClass::OtherMarkedModel;
    if (HasMarker(image, 0x1100)) return ImageClass::FourByteProfile;
    return ImageClass::Unmarked;
}

const char* LayoutName(ImageClass c) {
    switch (c) {
        case ImageClass::FourByteProfile:
            return "a";
        case ImageClass::SixByteProfile:
            return "b";
        case ImageClass::Unmarked:
        case ImageClass::OtherMarkedModel:
            break;
    }
    return "plain";
}
