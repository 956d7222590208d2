// Request records of the two transports, laid out as the 32-bit system
// expects them. (Placeholder: completed with the transport.)
#pragma once
#include <cstdint>

struct PassThroughRecord {
    uint8_t bytes[80];
};
struct SrbExecScsiCmd {
    uint8_t bytes[80];
};
