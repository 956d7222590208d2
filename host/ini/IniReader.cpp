// Reading one INI value as GetPrivateProfileStringA does, for hosts without that call.
#include "host/ini/IniReader.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool SameName(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// Reads one line of any length; false at the end of the file.
bool ReadLine(std::FILE* f, std::string& line) {
    line.clear();
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n') return true;
        line.push_back(static_cast<char>(c));
    }
    return !line.empty();
}

// The value as Windows hands it out: blanks around it and one pair of
// matching quotes dropped; text after a NUL byte is not part of it.
std::string Unquote(std::string value) {
    value = Trim(value.substr(0, value.find('\0')));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return value;
}

bool FindValue(const char* section, const char* key, const char* fileName, std::string& value) {
    std::FILE* f = std::fopen(fileName, "rb");
    if (!f) return false;
    std::string line;
    bool inSection = false, found = false;
    while (!found && ReadLine(f, line)) {
        std::string text = Trim(line);
        if (!text.empty() && text[0] == '[') {
            size_t close = text.find(']');
            if (close == std::string::npos) continue;
            inSection = SameName(Trim(text.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection || text.empty() || text[0] == ';') continue;
        size_t eq = text.find('=');
        if (eq == std::string::npos || !SameName(Trim(text.substr(0, eq)), key)) continue;
        value = Unquote(text.substr(eq + 1));
        found = true;
    }
    std::fclose(f);
    return found;
}
}  // namespace

uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                           char* buffer, uint32_t size, const char* fileName) {
    if (!buffer || size == 0) return 0;
    std::string value;
    if (!section || !key || !fileName || !FindValue(section, key, fileName, value)) {
        // Windows drops trailing blanks of the default as well.
        value = defaultValue ? defaultValue : "";
        while (!value.empty() && IsBlank(value.back())) value.pop_back();
    }
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<uint32_t>(n);
}
