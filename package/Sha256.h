// SHA-256 (FIPS 180-4) of our own: the integrity trailer needs it on every
// Windows the program runs on, and Windows 95 has no system cryptography.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kSha256Size = 32;

class Sha256 {
  public:
    Sha256();
    void Update(const uint8_t* data, size_t length);
    // The digest; the object is then spent (start a new one for new data).
    void Final(uint8_t (&digest)[kSha256Size]);

  private:
    void Block(const uint8_t* block);

    uint32_t state_[8];
    uint8_t buffer_[64];
    size_t buffered_ = 0;
    uint64_t length_ = 0;  // bytes so far
};

// Lower-case hexadecimal of a digest, for people and scripts.
std::string HexDigest(const uint8_t (&digest)[kSha256Size]);
