// The simulated operating system: its construction, set-up and observation.
#include "sim/SimOs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "host/ini/IniReader.h"
#include "sim/AspiService.h"
#include "sim/SimOsText.h"

using namespace sim_os;

OsModule SimOs::AspiModuleHandle() {
    return reinterpret_cast<OsModule>(uintptr_t(0x10000000));
}
OsProc SimOs::SupportInfoEntry() {
    return reinterpret_cast<OsProc>(uintptr_t(0x10001000));
}
OsProc SimOs::SendCommandEntry() {
    return reinterpret_cast<OsProc>(uintptr_t(0x10001040));
}

SimOs::SimOs() {
    messages[0] = "The operation completed successfully.\r\n";
    messages[kErrorInvalidFunction] = "Incorrect function.\r\n";
    messages[kErrorFileNotFound] = "The system cannot find the file specified.\r\n";
    messages[kErrorAccessDenied] = "Access is denied.\r\n";
    messages[kErrorInvalidHandle] = "The handle is invalid.\r\n";
    messages[kErrorNotEnoughMemory] =
        "Not enough storage is available to process this command.\r\n";
    messages[kErrorNotReady] = "The device is not ready.\r\n";
    messages[kErrorInvalidParameter] = "The parameter is incorrect.\r\n";
    messages[kErrorSemTimeout] = "The semaphore timeout period has expired.\r\n";
    messages[kErrorBadExeFormat] = "%1 is not a valid Win32 application.\r\n";
    messages[kErrorIoDevice] =
        "The request could not be performed because of an I/O device error.\r\n";
}

SimOs::~SimOs() = default;

// ---- configuration -----------------------------------------------------------

void SimOs::AddLetter(char letter, uint32_t driveType) {
    Letter& l = letters_[Upper(letter)];
    l.type = driveType;
}

VirtualDrive& SimOs::AddCdrom(char letter, VirtualDrive::Config config) {
    Letter& l = letters_[Upper(letter)];
    l.type = kDriveCdrom;
    l.drive = std::make_unique<VirtualDrive>(std::move(config));
    return *l.drive;
}

void SimOs::FailOpen(char letter, uint32_t error) {
    Letter& l = letters_[Upper(letter)];
    if (l.type == 0) l.type = kDriveCdrom;
    l.failOpen = true;
    l.openError = error;
}

VirtualDrive* SimOs::DriveAt(char letter) {
    auto it = letters_.find(Upper(letter));
    return it == letters_.end() ? nullptr : it->second.drive.get();
}

VirtualDrive& SimOs::AddAspiDrive(uint8_t ha, uint8_t target, VirtualDrive::Config config) {
    auto& d = aspiDrives_[uint16_t((ha << 8) | target)];
    d = std::make_unique<VirtualDrive>(std::move(config));
    return *d;
}

VirtualDrive* SimOs::AspiDriveAt(uint8_t ha, uint8_t target) {
    auto it = aspiDrives_.find(uint16_t((ha << 8) | target));
    return it == aspiDrives_.end() ? nullptr : it->second.get();
}

uint8_t SimOs::AdapterCount() const {
    int count = 1;
    for (auto& [key, drive] : aspiDrives_) count = std::max(count, (key >> 8) + 1);
    return static_cast<uint8_t>(count);
}

// ---- observation ---------------------------------------------------------------

size_t SimOs::CountOpcode(uint8_t opcode) const {
    return static_cast<size_t>(std::count_if(
        trace.begin(), trace.end(), [opcode](const TraceEntry& e) { return e.cdb[0] == opcode; }));
}

std::vector<TraceEntry> SimOs::TraceOf(uint8_t opcode) const {
    std::vector<TraceEntry> out;
    for (auto& e : trace)
        if (e.cdb[0] == opcode) out.push_back(e);
    return out;
}

size_t SimOs::CountCalls(const std::string& name) const {
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), name));
}

size_t SimOs::OpenEvents() const {
    return static_cast<size_t>(std::count_if(objects_.begin(), objects_.end(), [](auto& o) {
        return o.second.type == Object::Type::Event;
    }));
}

size_t SimOs::OpenDevices() const {
    return static_cast<size_t>(std::count_if(objects_.begin(), objects_.end(), [](auto& o) {
        return o.second.type == Object::Type::Device;
    }));
}

size_t SimOs::PendingRequests() const {
    return pending_.size();
}

std::vector<const uint8_t*> SimOs::PendingDataAreas() const {
    std::vector<const uint8_t*> areas;
    for (auto& p : pending_) areas.push_back(p.data);
    return areas;
}

size_t SimOs::TimedOutRequests() const {
    return static_cast<size_t>(
        std::count_if(pending_.begin(), pending_.end(), [](auto& p) { return p.timedOut; }));
}
