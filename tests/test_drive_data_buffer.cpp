// The drive data buffer is page-aligned without an over-aligned allocation,
// holds its full size, and is freed through what was allocated (the sanitized
// build reports a free through the aligned pointer).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "drive/DriveDataBuffer.h"

TEST(DriveDataBuffer, PageAlignedFullSizeAndZeroedEveryTime) {
    static_assert(sizeof(DriveDataBuffer::bytes) == 16384);
    static_assert(alignof(DriveDataBuffer) <= alignof(std::max_align_t));
    for (int i = 0; i < 8; ++i) {
        auto buffer = std::make_unique<DriveDataBuffer>();
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer->bytes) % 4096, 0u);
        uint8_t zero[DriveDataBuffer::kSize] = {};
        EXPECT_EQ(std::memcmp(buffer->bytes, zero, sizeof zero), 0);
        std::memset(buffer->bytes, 0xA5, sizeof buffer->bytes);  // the whole of it is ours
    }
}
