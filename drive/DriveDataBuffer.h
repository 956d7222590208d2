#pragma once
#include <cstdint>

// The window's 16,384-byte drive data buffer, page-aligned so the
// pass-through driver can transfer into it directly.
struct alignas(4096) DriveDataBuffer {
    uint8_t bytes[16384];
};
