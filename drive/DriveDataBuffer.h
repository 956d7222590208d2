// The window's 16,384-byte drive data buffer, page-aligned, allocated once.
#pragma once
#include <cstdint>

// The window's 16,384-byte drive data buffer, page-aligned so the
// pass-through driver can transfer into it directly. The alignment is made by
// hand in a plain allocation: an over-aligned `new` calls the runtime's
// aligned allocator, which the msvcrt.dll of Windows 95 and NT 4.0 lacks.
class DriveDataBuffer {
  public:
    static constexpr uint32_t kSize = 16384;
    static constexpr uintptr_t kAlignment = 4096;

    DriveDataBuffer()
        : storage_(new uint8_t[kSize + kAlignment - 1]()),
          bytes(*reinterpret_cast<uint8_t (*)[kSize]>(
              (reinterpret_cast<uintptr_t>(storage_) + kAlignment - 1) & ~(kAlignment - 1))) {}
    ~DriveDataBuffer() { delete[] storage_; }
    DriveDataBuffer(const DriveDataBuffer&) = delete;
    DriveDataBuffer& operator=(const DriveDataBuffer&) = delete;

  private:
    uint8_t* storage_;  // what was allocated, and what is freed

  public:
    // The aligned bytes; sizeof(bytes) is kSize.
    uint8_t (&bytes)[kSize];
};
