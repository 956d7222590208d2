// What the virtual drive answers to the commands that the host's own drivers
// send, as a real CD-RW drive without a disc answers them: a kernel's scan
// (vital product data), its CD-ROM driver on probe, open and close (the
// capabilities mode page, configuration, medium removal, table of contents)
// and media polling (event status, test unit ready). None of these is sent by
// the flasher; they exist so that a real kernel can bind its drivers to the
// drive.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "drive/Scsi.h"
#include "sim/VirtualDrive.h"

namespace {
uint32_t Be16(const uint8_t* p) {
    return (uint32_t(p[0]) << 8) | p[1];
}
void PutBe16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

// Page 2A, CD/DVD capabilities and mechanical status (MMC), 20 bytes after
// its two-byte header: reads and writes CD-R and CD-RW, tray with lock and
// eject, 24x read and 16x write.
constexpr uint8_t kCapabilitiesPage[22] = {
    0x2A, 0x14,              // page code, length
    0x03,                    // reads CD-R, CD-RW
    0x03,                    // writes CD-R, CD-RW
    0x70,                    // multi-session, mode 2 form 1 and 2
    0x00,                    // no CD-DA commands
    0x29,                    // tray loading, eject, lock
    0x00, 0x10, 0x89,        // maximum read speed, kB/s (obsolete field, still read by some)
    0x00, 0x00,              // volume levels
    0x00, 0x00,              // buffer size
    0x10, 0x89,              // current read speed
    0x00, 0x00, 0x0B, 0x06,  // maximum write speed
    0x0B, 0x06,              // current write speed
};

// GET CONFIGURATION features, each with its header: profile list (CD-ROM,
// CD-R, CD-RW, none current without a disc), core (ATAPI), morphing,
// removable medium (tray, eject, lock).
struct Feature {
    uint16_t code;
    bool current;
    std::vector<uint8_t> bytes;  // the feature descriptor, header included
};

std::vector<Feature> Features() {
    return {
        {0x0000,
         true,
         {0x00, 0x00, 0x03, 12, 0x00, 0x0A, 0, 0, 0x00, 0x09, 0, 0, 0x00, 0x08, 0, 0}},
        {0x0001, true, {0x00, 0x01, 0x0B, 8, 0, 0, 0, 2, 0x01, 0, 0, 0}},
        {0x0002, true, {0x00, 0x02, 0x07, 4, 0x02, 0, 0, 0}},
        {0x0003, true, {0x00, 0x03, 0x03, 4, 0x29, 0, 0, 0}},
    };
}
}  // namespace

DriveOutcome VirtualDrive::VitalProductData(const uint8_t cdb[12], bool dataIn, uint8_t* data,
                                            uint32_t length) const {
    const uint32_t allocation = Be16(&cdb[3]);
    std::vector<uint8_t> page(4, 0);
    page[0] = config.peripheralType;
    page[1] = cdb[2];
    switch (cdb[2]) {
        case 0x00:  // supported pages
            page.insert(page.end(), {0x00, 0x80, 0x83});
            break;
        case 0x80:  // unit serial number
            page.insert(page.end(), config.serial.begin(), config.serial.end());
            break;
        case 0x83: {  // device identification: one T10 vendor identification descriptor
            std::string id = Identification() + config.serial;
            page.insert(page.end(), {0x02, 0x01, 0x00, uint8_t(id.size())});
            page.insert(page.end(), id.begin(), id.end());
            break;
        }
        default:
            return Check(kSenseKeyIllegalRequest, kAscInvalidFieldInCdb, 0);
    }
    PutBe16(&page[2], static_cast<uint32_t>(page.size() - 4));
    return DataIn(page.data(), std::min<uint32_t>(allocation, uint32_t(page.size())), dataIn, data,
                  length);
}

DriveOutcome VirtualDrive::PerformHostCommand(const uint8_t cdb[12], bool dataIn, uint8_t* data,
                                              uint32_t length) {
    const bool noDisc = config.medium == Medium::None;
    switch (cdb[0]) {
        case kOpRequestSense: {  // REQUEST SENSE: the previous command's, or nothing pending
            std::array<uint8_t, 18> sense = pendingSense_;
            if (sense[0] == 0) sense = {kSenseCurrentFixed, 0, 0, 0, 0, 0, 0, 10};
            return DataIn(sense.data(), std::min<uint32_t>(cdb[4], 18), dataIn, data, length);
        }

        case kOpModeSense6:     // MODE SENSE(6)
        case kOpModeSense10: {  // MODE SENSE(10)
            const bool ten = cdb[0] == kOpModeSense10;
            // Only the capabilities page (and "all pages", which is the same here).
            const uint8_t page = cdb[2] & 0x3F;
            if (page != 0x2A && page != 0x3F)
                return Check(kSenseKeyIllegalRequest, kAscInvalidFieldInCdb, 0);
            std::vector<uint8_t> d(ten ? 8 : 4, 0);
            d.insert(d.end(), std::begin(kCapabilitiesPage), std::end(kCapabilitiesPage));
            if (ten) {
                PutBe16(&d[0], uint32_t(d.size() - 2));
            } else {
                d[0] = uint8_t(d.size() - 1);
            }
            const uint32_t allocation = ten ? Be16(&cdb[7]) : cdb[4];
            return DataIn(d.data(), std::min<uint32_t>(allocation, uint32_t(d.size())), dataIn,
                          data, length);
        }

        case kOpPreventAllowRemoval:  // PREVENT ALLOW MEDIUM REMOVAL
            removalPrevented = (cdb[4] & 0x01) != 0;
            return Good();

        case kOpGetConfiguration: {  // GET CONFIGURATION
            const uint8_t rt = cdb[1] & 0x03;
            const uint16_t start = uint16_t(Be16(&cdb[2]));
            std::vector<uint8_t> d(8, 0);  // header; current profile 0: no disc
            for (const Feature& f : Features()) {
                if (f.code < start) continue;
                if (rt == 0x02 && f.code != start) continue;
                if (rt == 0x01 && !f.current) continue;
                d.insert(d.end(), f.bytes.begin(), f.bytes.end());
            }
            const uint32_t dataLength = uint32_t(d.size() - 4);
            d[0] = uint8_t(dataLength >> 24);
            d[1] = uint8_t(dataLength >> 16);
            d[2] = uint8_t(dataLength >> 8);
            d[3] = uint8_t(dataLength);
            return DataIn(d.data(), std::min<uint32_t>(Be16(&cdb[7]), uint32_t(d.size())), dataIn,
                          data, length);
        }

        case kOpGetEventStatus: {  // GET EVENT STATUS NOTIFICATION
            if (!(cdb[1] & 0x01))
                return Check(kSenseKeyIllegalRequest, kAscInvalidFieldInCdb,
                             0);                       // only polled operation
            std::vector<uint8_t> d = {0, 2, 0, 0x10};  // header; supported: media class
            if (cdb[4] & 0x10) {
                d[2] = 0x04;  // media class, an event follows
                // No change; no medium, tray closed.
                d.insert(d.end(), {0x00, uint8_t(noDisc ? 0x00 : 0x02), 0x00, 0x00});
            } else {
                d[2] = 0x80;  // no event available (NEA)
            }
            PutBe16(&d[0], uint32_t(d.size() - 2));
            return DataIn(d.data(), std::min<uint32_t>(Be16(&cdb[7]), uint32_t(d.size())), dataIn,
                          data, length);
        }

        case kOpRead10:                // READ(10)
        case kOpReadSubChannel:        // READ SUB-CHANNEL
        case kOpReadToc:               // READ TOC/PMA/ATIP
        case kOpReadDiscInformation:   // READ DISC INFORMATION
        case kOpReadTrackInformation:  // READ TRACK INFORMATION
        case kOpReadCd:                // READ CD
            if (noDisc) return Check(kSenseKeyNotReady, kAscMediumNotPresent, 0);
            return Check(kSenseKeyIllegalRequest, kAscInvalidOpcode,
                         0);  // the disc is not modelled

        default:
            return Check(kSenseKeyIllegalRequest, kAscInvalidOpcode,
                         0);  // invalid command operation code
    }
}
