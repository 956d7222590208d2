// The builder's output file: written under a name of its own in the folder it
// goes to, and put in place of any earlier file of its name only when whole.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/OsCalls.h"

// A build that fails at any point, or a file that cannot be put in place,
// leaves the earlier file of that name as it was and no file of its own.
class OutputFile {
  public:
    OutputFile(OsCalls& os, std::string path);
    ~OutputFile();  // not put in place: the file of its own is closed and deleted
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes the file of its own beside path ("~NF0000.TMP", the first free
    // number). False: nothing was made.
    bool Create();
    // Buffered; a failed write is remembered and fails Finish.
    void Write(const uint8_t* data, size_t size);
    bool WriteFailed() const { return failed_; }
    // Writes what is buffered, flushes, closes and moves the file over path.
    // False: path is as it was before the build, and no file of its own stays.
    bool Finish();
    // The file of its own while there is one (tests look for what stays).
    const std::string& TemporaryPath() const { return temporary_; }

  private:
    void Flush();
    bool PutInPlace();
    bool MoveAsideAndIn();
    void Discard();

    OsCalls& os_;
    std::string path_, temporary_;
    OsHandle handle_ = nullptr;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t used_ = 0;
    bool failed_ = false;
};
