// The file list's wildcard masks: "*" and "?", separated by semicolons, letter case ignored.
#include "package/FileMask.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace {
#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool Match(const char* n, const char* ne, const char* m, const char* me) {
    // Iterative matcher: on a mismatch, retry from the last star one character further on.
    const char* starM = nullptr;
    const char* starN = nullptr;
    while (n < ne) {
        if (m < me && *m == '*') {
            starM = ++m;
            starN = n;
        } else if (m < me && (*m == '?' || Upper(*m) == Upper(*n))) {
            ++m;
            ++n;
        } else if (starM) {
            m = starM;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < me && *m == '*') ++m;
    return m == me;
}

bool LessByName(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(Upper(a[i]));
        unsigned char y = static_cast<unsigned char>(Upper(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}
}  // namespace

bool MatchesMask(const std::string& name, const std::string& mask) {
    const char* n = name.data();
    const char* m = mask.data();
    if (Match(n, n + name.size(), m, m + mask.size())) return true;
    // Windows lets "*.*" and "NAME.*" match names that have no extension.
    if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos)
        return Match(n, n + name.size(), m, m + mask.size() - 2);
    return false;
}

bool MatchesAnyMask(const std::string& name, const std::string& masks) {
    size_t start = 0;
    while (start <= masks.size()) {
        size_t end = masks.find(';', start);
        if (end == std::string::npos) end = masks.size();
        std::string mask = masks.substr(start, end - start);
        size_t b = mask.find_first_not_of(' ');
        size_t e = mask.find_last_not_of(' ');
        if (b != std::string::npos && MatchesMask(name, mask.substr(b, e - b + 1))) return true;
        start = end + 1;
    }
    return false;
}

std::vector<std::string> ListMatchingFiles(const std::string& directory, const std::string& masks) {
    std::vector<std::string> names;
    DIR* dir = opendir(directory.c_str());
    if (!dir) return names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (!MatchesAnyMask(name, masks)) continue;
        struct stat info;
        if (stat(JoinPath(directory, name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), LessByName);
    return names;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    char last = directory.back();
    if (last == kSeparator || last == '/') return directory + name;
    return directory + kSeparator + name;
}

std::string NamePart(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
