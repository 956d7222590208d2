// The simulated system's information: version, drive letters, modules, messages, profiles.
#include "sim/SimOs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "host/ini/IniReader.h"
#include "sim/AspiService.h"
#include "sim/SimOsText.h"

using namespace sim_os;

// ---- system information --------------------------------------------------------

bool SimOs::GetVersionExA(OsVersionInfo& info) {
    Enter("GetVersionExA");
    lastVersionInfoSize = info.dwOSVersionInfoSize;
    if (info.dwOSVersionInfoSize != 148) {
        lastError = kErrorInvalidParameter;
        return false;
    }
    info.dwPlatformId = platformId;
    info.dwMajorVersion = majorVersion;
    info.dwMinorVersion = 0;
    return true;
}

uint32_t SimOs::GetLastError() {
    Enter("GetLastError");
    return lastError;
}

uint32_t SimOs::FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t, char* buffer,
                               uint32_t size) {
    Enter("FormatMessageA");
    lastFormatFlags = flags;
    auto it = messages.find(messageId);
    if (!(flags & kFormatMessageFromSystem) || it == messages.end()) {
        lastError = 317;  // ERROR_MR_MID_NOT_FOUND
        return 0;
    }
    const std::string& text = it->second;
    // Inserts (%1 ...) expanded without arguments: Windows reads arguments
    // that were never passed; here the call fails.
    if (!(flags & kFormatMessageIgnoreInserts)) {
        for (size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') {
                lastError = kErrorInvalidParameter;
                return 0;
            }
        }
    }
    if (!buffer || text.size() + 1 > size) {
        lastError = 122;  // ERROR_INSUFFICIENT_BUFFER
        return 0;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<uint32_t>(text.size());
}

uint32_t SimOs::GetLogicalDriveStringsA(uint32_t bufferLength, char* buffer) {
    Enter("GetLogicalDriveStringsA");
    driveStringsSizes.push_back(bufferLength);
    std::string roots;
    for (auto& [letter, l] : letters_) {
        roots += letter;
        roots += ":\\";
        roots += '\0';
    }
    uint32_t needed = static_cast<uint32_t>(roots.size()) + 1;  // with the final zero
    if (bufferLength < needed || !buffer) return needed;
    std::memcpy(buffer, roots.data(), roots.size());
    buffer[roots.size()] = 0;
    return static_cast<uint32_t>(roots.size());
}

uint32_t SimOs::GetDriveTypeA(const char* root) {
    Enter("GetDriveTypeA");
    if (!root || !root[0]) return 1;
    auto it = letters_.find(Upper(root[0]));
    return it == letters_.end() ? 1 /* DRIVE_NO_ROOT_DIR */ : it->second.type;
}

void SimOs::Sleep(uint32_t milliseconds) {
    Enter("Sleep");
    sleptMs += milliseconds;
}

uint32_t SimOs::GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, char* buffer, uint32_t size,
                                         const char* fileName) {
    Enter("GetPrivateProfileStringA");
    return ReadProfileString(section, key, defaultValue, buffer, size, fileName);
}

uint32_t SimOs::GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) {
    Enter("GetCurrentDirectoryA");
    std::error_code error;
    std::string dir = std::filesystem::current_path(error).string();
    if (error) return 0;
    if (!buffer || bufferLength < dir.size() + 1) return static_cast<uint32_t>(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<uint32_t>(dir.size());
}
