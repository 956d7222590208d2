// Placeholder until the transport lands.
#include "drive/CDDrive.h"
CDDrive::CDDrive(char letter, uint8_t adapter, uint8_t target, uint8_t lun)
    : DriveLetter(letter), HostAdapter(adapter), TargetId(target), Lun(lun), AspiRequest(nullptr) {}
CDDrive::~CDDrive() {}
bool CDDrive::Open() { return false; }
bool CDDrive::Inquire() { return false; }
std::string CDDrive::DisplayLine() { return IdentLine; }
std::string CDDrive::ProductId() const { return ""; }
std::string CDDrive::FirmwareRevision() const { return ""; }
int32_t CDDrive::Execute(const uint8_t*, uint8_t, uint32_t) { return 0; }
bool CDDrive::SenseIs(uint8_t k, uint8_t a, uint8_t q) const { return SenseKey == k && Asc == a && Ascq == q; }
bool CDDrive::SenseKeyAscIs(uint8_t k, uint8_t a) const { return SenseKey == k && Asc == a; }
std::string CDDrive::ErrorText() const { return ""; }
bool CDDrive::TransportOk() const { return false; }
void CDDrive::SetTimeout(uint16_t) {}
void CDDrive::SetDataBuffer(uint8_t*, uint32_t) {}
uint8_t* CDDrive::DataBuffer() { return nullptr; }
uint32_t CDDrive::DataBufferLength() { return 0; }
void CDDrive::Attach(OsCalls*, Form*) {}
