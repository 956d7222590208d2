#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

// The window's 16,384-byte drive data buffer, page-aligned so the
// pass-through driver can transfer into it directly.
struct alignas(4096) DriveDataBuffer {
    uint8_t bytes[16384];

    // Aligned by hand on plain malloc: the library's aligned new calls
    // _aligned_malloc, which the msvcrt.dll of Windows 95 and NT 4.0 lacks.
    static void* operator new(std::size_t size, std::align_val_t align) {
        const std::size_t a = static_cast<std::size_t>(align);
        void* raw = std::malloc(size + a + sizeof(void*));
        if (!raw) throw std::bad_alloc();
        uintptr_t at = (reinterpret_cast<uintptr_t>(raw) + sizeof(void*) + a - 1) & ~(a - 1);
        reinterpret_cast<void**>(at)[-1] = raw;
        return reinterpret_cast<void*>(at);
    }
    static void operator delete(void* p, std::align_val_t) {
        if (p) std::free(static_cast<void**>(p)[-1]);
    }
};
