// An operating system whose catalogue and start directory are real: profile
// strings come from files on disk, the current directory is the one given.
#pragma once
#include <cstring>
#include <string>

#include "host/ini/IniReader.h"
#include "tests/support/StubOs.h"

class FileOs : public StubOs {
  public:
    std::string currentDirectory;
    int profileReads = 0;

    uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                      const char* defaultValue, char* buffer, uint32_t size,
                                      const char* fileName) override {
        ++profileReads;
        return ReadProfileString(section, key, defaultValue, buffer, size, fileName);
    }
    uint32_t GetCurrentDirectoryA(uint32_t length, char* buffer) override {
        // As Windows: the needed size (with the NUL) when the buffer is too small.
        if (currentDirectory.size() + 1 > length) return uint32_t(currentDirectory.size() + 1);
        std::memcpy(buffer, currentDirectory.c_str(), currentDirectory.size() + 1);
        return uint32_t(currentDirectory.size());
    }
};
