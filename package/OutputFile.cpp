// The builder's output file: a file of its own beside the one it replaces,
// moved into place only when whole and closed.
#include "package/OutputFile.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr size_t kBufferSize = 65536;
constexpr unsigned kNames = 10000;  // ~NF0000 to ~NF9999

// The folder part of path, with its separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
    const size_t end = path.find_last_of("\\/");
    return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

// Short names, so that a folder without long names (FAT on the 9x family) holds them.
std::string NameInFolder(const std::string& folder, unsigned n, const char* extension) {
    char name[16];
    std::snprintf(name, sizeof name, "~NF%04u.%s", n, extension);
    return folder + name;
}

bool NameTaken(uint32_t error) {
    return error == kErrorFileExists || error == kErrorAlreadyExists;
}
}  // namespace

OutputFile::OutputFile(OsCalls& os, std::string path) : os_(os), path_(std::move(path)) {}

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Create() {
    const std::string folder = FolderOf(path_);
    for (unsigned n = 0; n < kNames; ++n) {
        std::string name = NameInFolder(folder, n, "TMP");
        OsHandle h =
            os_.CreateFileA(name.c_str(), kGenericWrite, 0, kCreateNew, kFileAttributeNormal);
        if (h != InvalidOsHandle() && h != nullptr) {
            handle_ = h;
            temporary_ = name;
            if (!buffer_) buffer_.reset(new uint8_t[kBufferSize]);
            return true;
        }
        // A name left by an earlier build that could not end (power lost):
        // the next one. Any other refusal is the folder's.
        if (!NameTaken(os_.GetLastError())) return false;
    }
    return false;
}

void OutputFile::Write(const uint8_t* data, size_t size) {
    while (size && !failed_ && handle_) {
        size_t take = kBufferSize - used_ < size ? kBufferSize - used_ : size;
        std::memcpy(buffer_.get() + used_, data, take);
        used_ += take;
        data += take;
        size -= take;
        if (used_ == kBufferSize) Flush();
    }
}

void OutputFile::Flush() {
    if (!used_ || failed_ || !handle_) return;
    uint32_t written = 0;
    if (!os_.WriteFile(handle_, buffer_.get(), static_cast<uint32_t>(used_), &written) ||
        written != used_)
        failed_ = true;
    used_ = 0;
}

bool OutputFile::Finish() {
    if (!handle_) return false;
    Flush();
    // Whole on the disk before it takes the earlier file's place.
    if (!failed_ && !os_.FlushFileBuffers(handle_)) failed_ = true;
    if (!os_.CloseHandle(handle_)) failed_ = true;
    handle_ = nullptr;
    if (failed_ || !PutInPlace()) {
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

bool OutputFile::PutInPlace() {
    OsVersionInfo version;
    const bool nineFamily =
        os_.GetVersionExA(version) && version.dwPlatformId == kPlatformWin32Windows;
    if (!nineFamily) {
        // One step on the NT family (and Linux): the earlier file or the new one, never neither.
        if (os_.MoveFileExA(temporary_.c_str(), path_.c_str(),
                            kMoveFileReplaceExisting | kMoveFileWriteThrough))
            return true;
        if (os_.GetLastError() != kErrorCallNotImplemented) return false;
    }
    return MoveAsideAndIn();
}

// The 9x family has no MoveFileExA, and its MoveFileA does not replace: the
// earlier file is moved aside first, so that a failed move of the new one can
// put it back, and deleted only when the new one stands in its place.
bool OutputFile::MoveAsideAndIn() {
    if (os_.MoveFileA(temporary_.c_str(), path_.c_str())) return true;  // no earlier file
    if (!NameTaken(os_.GetLastError())) return false;
    const std::string folder = FolderOf(path_);
    std::string aside;
    for (unsigned n = 0; n < kNames && aside.empty(); ++n) {
        std::string name = NameInFolder(folder, n, "OLD");
        if (os_.MoveFileA(path_.c_str(), name.c_str()))
            aside = name;
        else if (!NameTaken(os_.GetLastError()))
            return false;  // in use, or not ours to move: it stays as it was
    }
    if (aside.empty()) return false;
    if (!os_.MoveFileA(temporary_.c_str(), path_.c_str())) {
        os_.MoveFileA(aside.c_str(), path_.c_str());
        return false;
    }
    os_.DeleteFileA(aside.c_str());
    return true;
}

void OutputFile::Discard() {
    if (handle_) os_.CloseHandle(handle_);
    handle_ = nullptr;
    if (!temporary_.empty()) os_.DeleteFileA(temporary_.c_str());
    temporary_.clear();
    used_ = 0;
}
