// An operating system whose catalogue, start directory and builder's output
// are real: profile strings come from files on disk, the current directory is
// the one given, output files are written on the disk (sim/DiskFiles). The
// 9x family (nineFamily) has no MoveFileExA. failWriteAfter makes the write
// that would pass that many bytes of one output file fail part-way, as a
// full disk does; failMove fails every move, failMoveAt one of them.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/ini/IniReader.h"
#include "sim/DiskFiles.h"
#include "tests/support/StubOs.h"

class FileOs : public StubOs {
  public:
    std::string currentDirectory;
    int profileReads = 0;
    bool nineFamily = false;
    uint64_t failWriteAfter = UINT64_MAX;
    bool failMove = false;
    int failMoveAt = -1;  // the index in moves of the one move that fails
    bool failFlush = false;
    std::vector<std::string> moves;  // "MoveFileA a -> b", in order

    bool GetVersionExA(OsVersionInfo& info) override {
        info.dwPlatformId = nineFamily ? kPlatformWin32Windows : kPlatformWin32Nt;
        info.dwMajorVersion = 4;
        return true;
    }
    uint32_t GetLastError() override { return error_; }
    OsHandle CreateFileA(const char* name, uint32_t access, uint32_t, uint32_t disposition,
                         uint32_t) override {
        if (!(access & kGenericWrite)) return StubOs::CreateFileA(name, access, 0, disposition, 0);
        written_ = 0;
        return Result(disk_.CreateFileA(name, disposition));
    }
    bool WriteFile(OsHandle file, const void* data, uint32_t size, uint32_t* written) override {
        if (written_ + size > failWriteAfter) {
            // Part of it reaches the disk, the rest does not fit.
            uint32_t fits = uint32_t(failWriteAfter - written_);
            disk_.WriteFile(file, data, fits, written);
            written_ += fits;
            error_ = kErrorDiskFull;
            return false;
        }
        written_ += size;
        return Result(disk_.WriteFile(file, data, size, written));
    }
    bool FlushFileBuffers(OsHandle file) override {
        if (failFlush) return error_ = kErrorDiskFull, false;
        return Result(disk_.FlushFileBuffers(file));
    }
    bool CloseHandle(OsHandle handle) override {
        if (!disk_.Owns(handle)) return StubOs::CloseHandle(handle);
        return Result(disk_.CloseHandle(handle));
    }
    bool DeleteFileA(const char* name) override { return Result(disk_.DeleteFileA(name)); }
    bool MoveFileA(const char* from, const char* to) override {
        moves.push_back(std::string("MoveFileA ") + from + " -> " + to);
        if (failMove || int(moves.size()) - 1 == failMoveAt)
            return error_ = kErrorAccessDenied, false;
        return Result(disk_.MoveFileA(from, to));
    }
    bool MoveFileExA(const char* from, const char* to, uint32_t flags) override {
        moves.push_back(std::string("MoveFileExA ") + from + " -> " + to);
        if (nineFamily) return error_ = kErrorCallNotImplemented, false;
        if (failMove) return error_ = kErrorAccessDenied, false;
        return Result(disk_.MoveFileExA(from, to, flags));
    }

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

  private:
    template <typename T>
    T Result(T value) {
        error_ = disk_.lastError;
        return value;
    }
    DiskFiles disk_;
    uint32_t error_ = 0;
    uint64_t written_ = 0;
};
