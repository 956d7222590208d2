// The integrity trailer of a built flasher: a short marked record after the
// file's contents with the SHA-256 of everything before it, so a flasher
// damaged on its way (a failing stick, a cut or altered download) is refused
// before it reaches a drive. Windows loads nothing past a program's last
// section, so the trailer changes nothing for the loader.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "package/Sha256.h"

// Layout: the 16 marker bytes, the covered length (unsigned 32-bit
// little-endian), the SHA-256 of those first bytes of the file.
constexpr size_t kTrailerMarkerSize = 16;
constexpr size_t kTrailerLengthOffset = kTrailerMarkerSize;
constexpr size_t kTrailerDigestOffset = kTrailerLengthOffset + 4;
constexpr size_t kTrailerSize = kTrailerDigestOffset + kSha256Size;
extern const uint8_t kTrailerMarker[kTrailerMarkerSize];  // "NFXTRAILERSHA256"

void MakeTrailer(uint32_t contentSize, const uint8_t (&digest)[kSha256Size],
                 uint8_t (&trailer)[kTrailerSize]);

// What the last kTrailerSize bytes of a file are. A marker with a few bytes
// changed still counts as one, so that a flipped byte in the marker itself
// cannot make a damaged flasher pass as one built without a trailer.
enum class TrailerMark { None, Marker, DamagedMarker };
TrailerMark MarkOf(const uint8_t* tail);

enum class Integrity {
    NoTrailer,       // built before trailers, or elsewhere: runs as ever
    Holds,           // the recorded SHA-256 is the contents'
    ContentsDiffer,  // the contents are not what the builder wrote
    TrailerDamaged,  // the record itself is damaged (marker or length)
    Unreadable,      // the file opened but could not be read through
    NotOpened,       // no file to check at that path
};

struct IntegrityReport {
    Integrity state = Integrity::NoTrailer;
    uint32_t contentSize = 0;  // bytes the check covered (the whole file without a trailer)
    uint8_t actual[kSha256Size] = {};
    uint8_t recorded[kSha256Size] = {};
};

IntegrityReport CheckIntegrity(const uint8_t* bytes, size_t size);
IntegrityReport CheckFileIntegrity(const std::string& path);

// The cause for "This flash utility is damaged: ...", or empty when the file
// may run (no trailer, holds, or no file to check).
std::string DamageText(const IntegrityReport& report);
