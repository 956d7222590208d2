// The virtual optical drive.
#include "sim/VirtualDrive.h"

#include <algorithm>
#include <cstring>

#include "drive/Scsi.h"

namespace {
uint32_t Be24(const uint8_t* p) {
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}

// The text field of `width` bytes: the bytes given, blank-padded on the right.
void PutField(uint8_t* out, const std::string& text, size_t width) {
    std::memset(out, ' ', width);
    std::memcpy(out, text.data(), std::min(width, text.size()));
}
}  // namespace

VirtualDrive::VirtualDrive() : VirtualDrive(Config{}) {}

VirtualDrive::VirtualDrive(Config cfg)
    : config(std::move(cfg)), bufferMemory(kBufferMemorySize, 0), eeprom(kEepromSize, 0xFF) {}

std::string VirtualDrive::Identification() const {
    std::vector<uint8_t> data = InquiryData();
    return std::string(reinterpret_cast<const char*>(data.data() + 8), 24);
}

std::vector<uint8_t> VirtualDrive::InquiryData() const {
    std::vector<uint8_t> d(96, 0);
    d[0] = config.peripheralType;
    d[1] = 0x80;  // removable
    d[2] = 0x00;
    d[3] = 0x32;  // ATAPI, response format 2
    d[4] = static_cast<uint8_t>(d.size() - 5);
    PutField(&d[8], config.vendor, 8);
    PutField(&d[16], config.product, 16);
    PutField(&d[32], config.revision, 4);
    return d;
}

DriveOutcome VirtualDrive::DataIn(const uint8_t* bytes, uint32_t count, bool dataIn, uint8_t* data,
                                  uint32_t length) const {
    if (!dataIn && length > 0) return Check(kSenseKeyIllegalRequest, kAscInvalidFieldInCdb, 0);
    uint32_t n = std::min(count, length);
    if (n > 0 && !data) return Check(kSenseKeyIllegalRequest, kAscInvalidFieldInCdb, 0);
    if (n > 0) std::memcpy(data, bytes, n);
    return Good(n);
}

DriveOutcome VirtualDrive::Good(uint32_t transferred) const {
    DriveOutcome o;
    o.status = kStatusGood;
    o.transferred = transferred;
    return o;
}

DriveOutcome VirtualDrive::Check(uint8_t key, uint8_t asc, uint8_t ascq) {
    DriveOutcome o;
    o.status = kStatusCheckCondition;
    o.sense[0] = kSenseCurrentFixed;
    o.sense[2] = key;
    o.sense[7] = 10;
    o.sense[12] = asc;
    o.sense[13] = ascq;
    return o;
}

void VirtualDrive::AddFault(const DriveFault& fault) {
    faults_.push_back(fault);
    DriveFault& f = faults_.back();
    f.seen = 0;
    for (const auto& c : commands)
        if (f.Matches(c.data())) ++f.seen;
}

void VirtualDrive::FailWithSense(uint8_t opcode, uint32_t nth, uint8_t key, uint8_t asc,
                                 uint8_t ascq) {
    FailWithSenseWhen(opcode, nth, -1, 0, key, asc, ascq);
}

void VirtualDrive::FailWithSenseWhen(uint8_t opcode, uint32_t nth, int matchByte,
                                     uint8_t matchValue, uint8_t key, uint8_t asc, uint8_t ascq) {
    DriveFault f;
    f.kind = DriveFault::Kind::Sense;
    f.opcode = opcode;
    f.nth = nth;
    f.matchByte = matchByte;
    f.matchValue = matchValue;
    f.key = key;
    f.asc = asc;
    f.ascq = ascq;
    AddFault(f);
}

void VirtualDrive::FailTransport(uint8_t opcode, uint32_t nth) {
    DriveFault f;
    f.kind = DriveFault::Kind::Transport;
    f.opcode = opcode;
    f.nth = nth;
    AddFault(f);
}

void VirtualDrive::TimeOut(uint8_t opcode, uint32_t nth) {
    DriveFault f;
    f.kind = DriveFault::Kind::Timeout;
    f.opcode = opcode;
    f.nth = nth;
    AddFault(f);
}

void VirtualDrive::FlipReadBuffer(uint32_t nth, uint32_t byteIndex, uint8_t mask) {
    DriveFault f;
    f.kind = DriveFault::Kind::FlipReadBuffer;
    f.opcode = kOpReadBuffer;
    f.nth = nth;
    f.byteIndex = byteIndex;
    f.mask = mask;
    AddFault(f);
}

void VirtualDrive::ClearFaults() {
    faults_.clear();
}

uint32_t VirtualDrive::CommandCount(uint8_t opcode) const {
    auto it = counts_.find(opcode);
    return it == counts_.end() ? 0 : it->second;
}

DriveOutcome VirtualDrive::Execute(const uint8_t cdb[12], bool dataIn, uint8_t* data,
                                   uint32_t length) {
    DriveOutcome o = Run(cdb, dataIn, data, length);
    const bool check = o.kind == DriveOutcome::Kind::Completed && o.status == kStatusCheckCondition;
    pendingSense_ = check ? o.sense : std::array<uint8_t, 18>{};
    return o;
}

DriveOutcome VirtualDrive::Run(const uint8_t cdb[12], bool dataIn, uint8_t* data, uint32_t length) {
    ++totalCommands_;
    ++counts_[cdb[0]];
    std::array<uint8_t, 12> block;
    std::memcpy(block.data(), cdb, 12);
    commands.push_back(block);

    // Which faults fire on this command (each fault counts its own matches).
    const DriveFault* timeout = nullptr;
    const DriveFault* transport = nullptr;
    const DriveFault* sense = nullptr;
    std::vector<const DriveFault*> flips;
    for (DriveFault& f : faults_) {
        if (!f.Matches(cdb)) continue;
        ++f.seen;
        if (f.nth != 0 && f.seen != f.nth) continue;
        switch (f.kind) {
            case DriveFault::Kind::Timeout:
                if (!timeout) timeout = &f;
                break;
            case DriveFault::Kind::Transport:
                if (!transport) transport = &f;
                break;
            case DriveFault::Kind::Sense:
                if (!sense) sense = &f;
                break;
            case DriveFault::Kind::FlipReadBuffer:
                flips.push_back(&f);
                break;
        }
    }
    if (timeout) {
        DriveOutcome o;
        o.kind = DriveOutcome::Kind::TimedOut;
        return o;
    }
    if (transport) {
        DriveOutcome o;
        o.kind = DriveOutcome::Kind::TransportFailure;
        return o;
    }
    if (sense) return Check(sense->key, sense->asc, sense->ascq);

    DriveOutcome o = Perform(cdb, dataIn, data, length);
    if (o.status == kStatusGood && data) {
        for (const DriveFault* f : flips)
            if (f->byteIndex < o.transferred) data[f->byteIndex] ^= f->mask;
    }
    return o;
}

DriveOutcome VirtualDrive::Perform(const uint8_t cdb[12], bool dataIn, uint8_t* data,
                                   uint32_t length) {
    auto in = [&](const uint8_t* bytes, uint32_t count) -> DriveOutcome {
        return DataIn(bytes, count, dataIn, data, length);
    };

    switch (cdb[0]) {
        case kOpTestUnitReady:
            if (becomingReadyLeft > 0) {
                --becomingReadyLeft;
                return Check(kSenseKeyNotReady, kAscNotReady, kAscqBecomingReady);
            }
            if (config.medium == Medium::None)
                return Check(kSenseKeyNotReady, kAscMediumNotPresent, 0);
            return Good();

        case kOpInquiry: {
            if (cdb[1] & kInquiryEvpd) return VitalProductData(cdb, dataIn, data, length);
            std::vector<uint8_t> d = InquiryData();
            uint32_t allocation = (uint32_t(cdb[3]) << 8) | cdb[4];
            return in(d.data(), std::min<uint32_t>(allocation, static_cast<uint32_t>(d.size())));
        }

        case kOpStartStopUnit:
            if ((cdb[4] & kStartStopLoad) == kStartStopLoad) {  // load and start
                ++loadCount;
                becomingReadyLeft = config.becomingReady;
            }
            return Good();

        case kOpStopPlayScan:
            return Good();

        case kOpReadCapacity: {
            if (config.medium == Medium::None)
                return Check(kSenseKeyNotReady, kAscMediumNotPresent, 0);
            const uint32_t lastBlock = 359999, blockLength = 2048;
            uint8_t d[8] = {uint8_t(lastBlock >> 24),   uint8_t(lastBlock >> 16),
                            uint8_t(lastBlock >> 8),    uint8_t(lastBlock),
                            uint8_t(blockLength >> 24), uint8_t(blockLength >> 16),
                            uint8_t(blockLength >> 8),  uint8_t(blockLength)};
            return in(d, 8);
        }

        case kOpWriteBuffer: {
            uint8_t mode = cdb[1] & kBufferModeMask;
            if ((mode != kWriteBufferMode && mode != kBufferModeData) || cdb[2] != kBufferId)
                return Check(kSenseKeyIllegalRequest, kAscInvalidFieldInCdb, 0);
            uint32_t offset = Be24(&cdb[3]);
            uint32_t count = Be24(&cdb[6]);
            uint8_t control = cdb[9];
            if (IsCommit(cdb)) {
                Commit(control);
                static const uint8_t reply[16] = {};
                return in(reply, 16);
            }
            if (count == 0 || length == 0) {
                if (mode == kWriteBufferMode && control == kControlProfile) entryCritical = true;
                return Good();
            }
            if (dataIn) return Check(kSenseKeyIllegalRequest, kAscInvalidFieldInCdb, 0);
            uint32_t n = std::min(count, length);
            if (!data || offset > bufferMemory.size() || n > bufferMemory.size() - offset)
                return Check(kSenseKeyIllegalRequest, kAscInvalidFieldInCdb, 0);
            std::memcpy(&bufferMemory[offset], data, n);
            if (offset < kImageArea)
                imageEnd = std::max(imageEnd, std::min(offset + n, kImageArea));
            return Good(n);
        }

        case kOpReadBuffer: {
            uint8_t mode = cdb[1] & kBufferModeMask;
            uint32_t offset = Be24(&cdb[3]);
            uint32_t count = Be24(&cdb[6]);
            if (mode == kBufferModeDescriptor) {  // descriptor: offset boundary 0, capacity
                uint32_t size = static_cast<uint32_t>(bufferMemory.size());
                uint8_t d[4] = {0, uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)};
                return in(d, std::min<uint32_t>(count, 4));
            }
            if ((mode != kReadBufferMode && mode != kBufferModeData) || cdb[2] != kBufferId)
                return Check(kSenseKeyIllegalRequest, kAscInvalidFieldInCdb, 0);
            if (offset > bufferMemory.size() || count > bufferMemory.size() - offset)
                return Check(kSenseKeyIllegalRequest, kAscInvalidFieldInCdb, 0);
            return in(&bufferMemory[offset], count);
        }

        case kOpVendor:
            if (cdb[1] == kVendorReadFlashId) {  // read flash identification
                uint8_t d[128] = {};
                std::memcpy(d, config.flashId.data(), 4);
                return in(d, 128);
            }
            if (cdb[1] == kVendorWriteE2) {  // write one EEPROM byte
                uint32_t address = (uint32_t(cdb[7]) << 8) | cdb[8];
                eeprom[address] = cdb[9];
                return Good();
            }
            return Check(kSenseKeyIllegalRequest, kAscInvalidFieldInCdb, 0);

        default:
            return PerformHostCommand(cdb, dataIn, data, length);
    }
}

void VirtualDrive::Commit(uint8_t control) {
    committed = true;
    commitControl = control;
    ++commitCount;
    uint32_t end = std::min(imageEnd, kImageArea);
    programmedImage.assign(bufferMemory.begin(), bufferMemory.begin() + end);
    // The new revision: the four characters after the drive's own
    // identification inside the programmed image; the old one without it.
    std::string ident = Identification();
    auto it =
        std::search(programmedImage.begin(), programmedImage.end(), ident.begin(), ident.end());
    if (it != programmedImage.end()) {
        size_t at = static_cast<size_t>(it - programmedImage.begin()) + ident.size();
        if (at + 4 <= programmedImage.size())
            config.revision.assign(reinterpret_cast<const char*>(&programmedImage[at]), 4);
    }
    imageEnd = 0;  // the drive restarts on its new firmware
    entryCritical = false;
}
