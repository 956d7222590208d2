// Prints the package a flasher (or the template) carries, one "key=value"
// line each, for scripts: what the flasher will accept and what it writes.
//
//   nfinfo FLASHER.EXE
//
// role       flasher or template
// model, inquiry, range, vendor, note   the package fields (inquiry padded to 24)
// low, high  the range's ends as the flasher compares them (blank-padded to 4)
// any_drive, any_firmware, flash_all    0 or 1
// revision   the packaged revision (the flasher's name: the firmware file's
//            first four characters), what the flasher's prompt offers
// image_size the image's byte count
// layout     plain, a or b: the profile form the flasher sends for this image
// image_revision  the four bytes after the drive's identification inside the
//            image (what a virtual drive reports after the commit), or empty
//            when the image does not carry the identification
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "flash/ImageClass.h"
#include "package/Package.h"

namespace {
bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
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

// Printable as one line: control bytes would break the key=value format.
std::string Clean(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: nfinfo FLASHER.EXE\n");
        return 2;
    }
    std::vector<uint8_t> file;
    if (!ReadWholeFile(argv[1], file)) {
        std::fprintf(stderr, "nfinfo: cannot read %s\n", argv[1]);
        return 1;
    }
    const uint8_t* keyword = PackageView(PackageRecord()).Keyword();
    auto at = std::search(file.begin(), file.end(), keyword, keyword + kKeywordSize);
    if (at == file.end()) {
        std::fprintf(stderr, "nfinfo: %s carries no package (not a flasher of this program)\n",
                     argv[1]);
        return 1;
    }
    size_t offset = static_cast<size_t>(at - file.begin());
    if (file.size() - offset < kPackageRecordSize) {
        std::fprintf(stderr, "nfinfo: %s ends inside its package\n", argv[1]);
        return 1;
    }
    PackageView package(file.data() + offset);
    uint32_t imageSize = package.ImageSize();
    bool isTemplate = package.IsTemplate();
    if (!isTemplate && (imageSize == 0 || imageSize > kImageAreaSize)) {
        std::fprintf(stderr, "nfinfo: %s carries an image size of %u, which no flash can use\n",
                     argv[1], imageSize);
        return 1;
    }

    const uint8_t* image = package.FirmwareArea();
    std::string inquiry = package.InquiryText();
    std::string imageRevision;
    const uint8_t* end = image + (isTemplate ? 0 : imageSize);
    const uint8_t* found = std::search(image, end, inquiry.begin(), inquiry.end());
    if (found != end && end - found >= 28) imageRevision.assign(found + 24, found + 28);

    std::printf("role=%s\n", isTemplate ? "template" : "flasher");
    std::printf("model=%s\n", Clean(package.Model()).c_str());
    std::printf("inquiry=%s\n", Clean(inquiry).c_str());
    std::printf("range=%s\n", Clean(package.Range()).c_str());
    std::printf("low=%s\n", Clean(package.LowVersion()).c_str());
    std::printf("high=%s\n", Clean(package.HighVersion()).c_str());
    std::printf("vendor=%s\n", Clean(package.Vendor()).c_str());
    std::printf("note=%s\n", Clean(package.Note()).c_str());
    std::printf("any_drive=%d\n", package.AnyDrive() ? 1 : 0);
    std::printf("any_firmware=%d\n", package.AnyFirmware() ? 1 : 0);
    std::printf("flash_all=%d\n", package.FlashAll() ? 1 : 0);
    std::printf("revision=%s\n", Clean(package.NewRevision()).c_str());
    std::printf("image_size=%u\n", imageSize);
    std::printf("layout=%s\n", isTemplate ? "plain" : LayoutName(ClassifyImage(image)));
    std::printf("image_revision=%s\n", Clean(imageRevision).c_str());
    return 0;
}
