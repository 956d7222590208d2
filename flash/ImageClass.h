// Which profile form a firmware image asks for, read from markers at fixed
// places in the image.
#pragma once
#include <cstdint>

enum class ImageClass {
    Unmarked,          // no marker: no profile is sent
    FourByteProfile,   // marker at 0x1100 only
    SixByteProfile,    // marker at 0x4000 or 0x4008 naming one of the two special models
    OtherMarkedModel,  // marker at 0x4000 or 0x4008 naming another model: nothing is decided
};

// image: the image area, at least 0x4027 bytes.
ImageClass ClassifyImage(const uint8_t* image);

// The layout's name as the tools and the log print it: "a" (four-byte
// profile), "b" (six-byte profile) or "plain" (no profile is sent).
const char* LayoutName(ImageClass c);
