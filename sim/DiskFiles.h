// The builder's file calls of OsCalls on the real disk, through the C library,
// for the simulated system, the tests' systems and the native tools. Not one
// step where the C library's rename does not replace: that is the backends'.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/OsCalls.h"

class DiskFiles {
  public:
    DiskFiles() = default;
    ~DiskFiles();
    DiskFiles(const DiskFiles&) = delete;
    DiskFiles& operator=(const DiskFiles&) = delete;

    uint32_t lastError = 0;  // the code the owner's GetLastError reports after a call here

    bool Owns(OsHandle handle) const;
    // kCreateNew for writing: fails with kErrorFileExists when the name is taken.
    OsHandle CreateFileA(const char* name, uint32_t creationDisposition);
    bool WriteFile(OsHandle file, const void* data, uint32_t size, uint32_t* written);
    bool FlushFileBuffers(OsHandle file);
    bool CloseHandle(OsHandle file);
    bool DeleteFileA(const char* name);
    bool MoveFileA(const char* existingName, const char* newName);
    bool MoveFileExA(const char* existingName, const char* newName, uint32_t flags);

  private:
    std::vector<std::FILE*> open_;
};
