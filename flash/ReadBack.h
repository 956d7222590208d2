// Read-backs prove only the bytes a drive really delivered.
#pragma once
#include <cstdint>

// Fills the start of the shared data buffer (at most its length) with the
// complement of the `length` bytes a read-back must return. A drive may
// answer GOOD and deliver fewer bytes; whatever an earlier command left in
// the buffer then never passes the compare.
void PoisonReadBack(const uint8_t* expected, uint32_t length);
