// The builder's model catalogue, read section by section from the INI file.
#include "package/Catalogue.h"

#include <sys/stat.h>

#include <cstdio>

#include "package/Text.h"

namespace {
constexpr uint32_t kValueBuffer = 2048;
constexpr const char* kAbsent = "FAIL";
}  // namespace

bool CatalogueExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

CatalogueRead ReadCatalogue(OsCalls& os, const std::string& path, CatalogueLists lists) {
    CatalogueRead read;
    std::vector<std::string>* values[] = {&lists.model, &lists.inquiry, &lists.range,
                                          &lists.mask,  &lists.vendor,  &lists.note};
    const char* keys[] = {"Model", "Inquiry", "FW-Range", "BINMask", "Vendor", "Note"};
    std::vector<char> value(kValueBuffer);
    for (int index = 0; index <= 99; ++index) {
        char name[16];
        std::snprintf(name, sizeof name, "%5.5s%02d", "MODEL", index);
        read.section = name;
        for (int key = 0; key < 6; ++key) {
            uint32_t n = os.GetPrivateProfileStringA(name, keys[key], kAbsent, value.data(),
                                                     kValueBuffer, path.c_str());
            if (n >= kValueBuffer) n = kValueBuffer - 1;
            values[key]->push_back(std::string(value.data(), n));
        }
        if (lists.model.back() == kAbsent) break;

        bool complete = true;
        for (int key = 1; key < 6 && complete; ++key) complete = values[key]->back() != kAbsent;
        if (!complete) {
            read.incomplete = true;
            break;
        }
        read.items.push_back(lists.range.back() + " " + lists.inquiry.back());

        lists.model.back() = Cut(lists.model.back(), 24);
        lists.inquiry.back() = PadRight(Cut(lists.inquiry.back(), 24), 24);
        lists.range.back() = Cut(lists.range.back(), 24);
        lists.vendor.back() = Cut(lists.vendor.back(), 24);
        lists.note.back() = Cut(lists.note.back(), 24);
    }
    return read;
}

std::string WorkingDirectory(OsCalls& os) {
    std::vector<char> buffer(260);
    uint32_t n = os.GetCurrentDirectoryA(uint32_t(buffer.size()), buffer.data());
    if (n >= buffer.size()) {
        // Too small: the call answered with the size it needs.
        buffer.assign(n + 1, '\0');
        n = os.GetCurrentDirectoryA(uint32_t(buffer.size()), buffer.data());
        if (n >= buffer.size()) n = 0;
    }
    return std::string(buffer.data(), n);
}
