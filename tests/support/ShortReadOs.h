// A pass-through drive whose chosen READ BUFFERs answer GOOD but deliver only
// their first `delivered` bytes, as a drive with a residual count may: the
// rest of the caller's buffer keeps what it held before.
#pragma once
#include <cstring>
#include <vector>

#include "platform/ScsiRequests.h"
#include "sim/SimOs.h"

class ShortReadOs : public SimOs {
  public:
    // Which reads come short: the image's (mode offset byte 0) or the
    // profile's (offset 0x80000).
    enum class Reads { Image, Profile };

    explicit ShortReadOs(Reads reads = Reads::Image) : reads_(reads) {}

    uint32_t delivered = 0;
    int shortReads = 0;

    bool DeviceIoControl(OsHandle device, uint32_t code, void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* bytesReturned) override {
        // Only pass-through requests carry a command; the drive guard's
        // controls pass records of their own.
        if (code != kIoctlScsiPassThroughDirect)
            return SimOs::DeviceIoControl(device, code, in, inSize, out, outSize, bytesReturned);
        auto* record = static_cast<PassThroughRecord*>(in);
        const uint8_t* cdb = record->Spt.Cdb;
        auto* area = static_cast<uint8_t*>(record->Spt.DataBuffer);
        const uint32_t length = record->Spt.DataTransferLength;
        const uint8_t offsetByte = reads_ == Reads::Profile ? 0x08 : 0x00;
        const bool chosen = cdb[0] == 0x3C && cdb[3] == offsetByte && delivered < length;
        std::vector<uint8_t> before;
        if (chosen) before.assign(area, area + length);
        bool ok = SimOs::DeviceIoControl(device, code, in, inSize, out, outSize, bytesReturned);
        if (chosen && ok) {
            std::memcpy(area + delivered, before.data() + delivered, length - delivered);
            record->Spt.DataTransferLength = delivered;
            ++shortReads;
        }
        return ok;
    }

  private:
    Reads reads_;
};
