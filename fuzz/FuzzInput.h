// A fuzzer's bytes read as a stream of small decisions. Past the end every
// read answers zero, so a short input always means "nothing unusual".
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t Word() {
        uint16_t low = Byte();
        return static_cast<uint16_t>(low | Byte() << 8);
    }
    size_t Left() const { return size_ - pos_; }

    // Up to n bytes, fewer at the end.
    std::vector<uint8_t> Take(size_t n) {
        if (n > Left()) n = Left();
        std::vector<uint8_t> bytes(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return bytes;
    }
    std::vector<uint8_t> Rest() { return Take(Left()); }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
