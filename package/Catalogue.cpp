// The builder's model catalogue, read section by section from the INI file.
#include "package/Catalogue.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

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
        if (lists.model.back() == kAbsent) {
            read.missingKey = keys[0];
            break;
        }

        for (int key = 1; key < 6 && !read.incomplete; ++key)
            if (values[key]->back() == kAbsent) {
                read.incomplete = true;
                read.missingKey = keys[key];
            }
        if (read.incomplete) break;
        read.items.push_back(lists.range.back() + " " + lists.inquiry.back());

        lists.model.back() = Cut(lists.model.back(), 24);
        lists.inquiry.back() = PadRight(Cut(lists.inquiry.back(), 24), 24);
        lists.range.back() = Cut(lists.range.back(), 24);
        lists.vendor.back() = Cut(lists.vendor.back(), 24);
        lists.note.back() = Cut(lists.note.back(), 24);
    }
    return read;
}

void FindSectionAfterGap(OsCalls& os, const std::string& path, CatalogueRead& read) {
    if (read.incomplete || read.missingKey.empty()) return;
    std::vector<char> value(kValueBuffer);
    for (int later = std::atoi(read.section.c_str() + 5) + 1; later <= 99; ++later) {
        char name[16];
        std::snprintf(name, sizeof name, "%5.5s%02d", "MODEL", later % 100);
        uint32_t n = os.GetPrivateProfileStringA(name, "Model", kAbsent, value.data(), kValueBuffer,
                                                 path.c_str());
        if (n >= kValueBuffer) n = kValueBuffer - 1;
        if (std::string(value.data(), n) != kAbsent) {
            read.afterGap = name;
            return;
        }
    }
}

std::string CatalogueExplanation(const CatalogueRead& read) {
    const std::string lacks = read.section + " has no " + read.missingKey +
                              " key (or its value is FAIL, which counts as none)";
    if (read.incomplete) return lacks + ": every model needs all six keys.";
    if (read.missingKey.empty()) return std::string();
    if (!read.afterGap.empty())
        return lacks + ", so the catalogue ends before it and " + read.afterGap +
               " is never read: number the sections from MODEL00 without a gap.";
    if (read.items.empty()) return lacks + ": the catalogue's first model must be MODEL00.";
    return std::string();
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
