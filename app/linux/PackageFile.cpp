// The package of a flasher or template file on Linux, found as the Windows program finds its own.
#include "app/linux/PackageFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "package/Package.h"

bool LoadPackageFile(const std::string& path, std::vector<uint8_t>& record, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = path + ": " + why;
        return false;
    };
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return fail("is a directory, not a flasher file");
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return fail(std::strerror(errno));
    std::vector<uint8_t> file;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        file.insert(file.end(), chunk, chunk + n);
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) return fail(std::string("read error: ") + std::strerror(errno));

    // The keyword's bytes come from this program's own record, the one place
    // they are written down.
    const uint8_t* keyword = PackageView(PackageRecord()).Keyword();
    auto hit = std::search(file.begin(), file.end(), keyword, keyword + kKeywordSize);
    if (hit == file.end())
        return fail(
            "no flasher package in this file (it is not a flasher or template of this "
            "program)");
    const size_t offset = static_cast<size_t>(hit - file.begin());
    if (file.size() - offset < kPackageRecordSize)
        return fail("the flasher package runs past the end of the file (damaged or cut short)");
    record.assign(file.begin() + static_cast<std::ptrdiff_t>(offset),
                  file.begin() + static_cast<std::ptrdiff_t>(offset + kPackageRecordSize));
    return true;
}
