// The builder's file calls on the real disk, through the C library.
#include "sim/DiskFiles.h"

#include <algorithm>

namespace {
bool Exists(const char* name) {
    std::FILE* f = std::fopen(name, "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}
}  // namespace

DiskFiles::~DiskFiles() {
    for (std::FILE* f : open_) std::fclose(f);
}

bool DiskFiles::Owns(OsHandle handle) const {
    return std::find(open_.begin(), open_.end(), static_cast<std::FILE*>(handle)) != open_.end();
}

OsHandle DiskFiles::CreateFileA(const char* name, uint32_t creationDisposition) {
    if (creationDisposition != kCreateNew) {
        lastError = kErrorInvalidParameter;
        return InvalidOsHandle();
    }
    if (Exists(name)) {
        lastError = kErrorFileExists;
        return InvalidOsHandle();
    }
    std::FILE* f = std::fopen(name, "wb");
    if (!f) {
        lastError = kErrorPathNotFound;
        return InvalidOsHandle();
    }
    open_.push_back(f);
    lastError = 0;
    return f;
}

bool DiskFiles::WriteFile(OsHandle file, const void* data, uint32_t size, uint32_t* written) {
    if (written) *written = 0;
    if (!Owns(file)) {
        lastError = kErrorInvalidHandle;
        return false;
    }
    size_t n = std::fwrite(data, 1, size, static_cast<std::FILE*>(file));
    if (written) *written = static_cast<uint32_t>(n);
    if (n != size) {
        lastError = kErrorDiskFull;
        return false;
    }
    return true;
}

bool DiskFiles::FlushFileBuffers(OsHandle file) {
    if (!Owns(file)) {
        lastError = kErrorInvalidHandle;
        return false;
    }
    if (std::fflush(static_cast<std::FILE*>(file)) != 0) {
        lastError = kErrorDiskFull;
        return false;
    }
    return true;
}

bool DiskFiles::CloseHandle(OsHandle file) {
    auto it = std::find(open_.begin(), open_.end(), static_cast<std::FILE*>(file));
    if (it == open_.end()) {
        lastError = kErrorInvalidHandle;
        return false;
    }
    std::FILE* f = *it;
    open_.erase(it);
    if (std::fclose(f) != 0) {
        lastError = kErrorDiskFull;
        return false;
    }
    return true;
}

bool DiskFiles::DeleteFileA(const char* name) {
    if (std::remove(name) != 0) {
        lastError = kErrorFileNotFound;
        return false;
    }
    return true;
}

bool DiskFiles::MoveFileA(const char* existingName, const char* newName) {
    if (Exists(newName)) {
        lastError = kErrorAlreadyExists;
        return false;
    }
    if (std::rename(existingName, newName) != 0) {
        lastError = kErrorFileNotFound;
        return false;
    }
    return true;
}

bool DiskFiles::MoveFileExA(const char* existingName, const char* newName, uint32_t flags) {
    if (!(flags & kMoveFileReplaceExisting)) return MoveFileA(existingName, newName);
#ifdef _WIN32
    // Windows' C library does not rename over a file: removed first there.
    if (Exists(existingName)) std::remove(newName);
#endif
    if (std::rename(existingName, newName) != 0) {
        lastError = kErrorAccessDenied;
        return false;
    }
    return true;
}
