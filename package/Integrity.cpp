// Writing and checking the integrity trailer of a flasher file.
#include "package/Integrity.h"

#include <cstdio>
#include <cstring>
#include <memory>

const uint8_t kTrailerMarker[kTrailerMarkerSize] = {'N', 'F', 'X', 'T', 'R', 'A', 'I', 'L',
                                                    'E', 'R', 'S', 'H', 'A', '2', '5', '6'};

namespace {
// Up to this many marker bytes changed still mark a (damaged) trailer; a file
// without one ends in bytes of its own that match 16 chosen ones at most by
// a chance too small to matter.
constexpr size_t kMarkerTolerance = 4;

uint32_t LengthOf(const uint8_t* tail) {
    const uint8_t* p = tail + kTrailerLengthOffset;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The verdict once the contents' digest is known.
void Judge(const uint8_t* tail, uint64_t contentSize, IntegrityReport& report) {
    std::memcpy(report.recorded, tail + kTrailerDigestOffset, kSha256Size);
    if (MarkOf(tail) != TrailerMark::Marker || LengthOf(tail) != contentSize)
        report.state = Integrity::TrailerDamaged;
    else if (std::memcmp(report.actual, report.recorded, kSha256Size) != 0)
        report.state = Integrity::ContentsDiffer;
    else
        report.state = Integrity::Holds;
}
}  // namespace

void MakeTrailer(uint32_t contentSize, const uint8_t (&digest)[kSha256Size],
                 uint8_t (&trailer)[kTrailerSize]) {
    std::memcpy(trailer, kTrailerMarker, kTrailerMarkerSize);
    for (int i = 0; i < 4; ++i)
        trailer[kTrailerLengthOffset + i] = static_cast<uint8_t>(contentSize >> (8 * i));
    std::memcpy(trailer + kTrailerDigestOffset, digest, kSha256Size);
}

TrailerMark MarkOf(const uint8_t* tail) {
    size_t differ = 0;
    for (size_t i = 0; i < kTrailerMarkerSize; ++i)
        if (tail[i] != kTrailerMarker[i]) ++differ;
    if (differ == 0) return TrailerMark::Marker;
    return differ <= kMarkerTolerance ? TrailerMark::DamagedMarker : TrailerMark::None;
}

IntegrityReport CheckIntegrity(const uint8_t* bytes, size_t size) {
    IntegrityReport report;
    const bool marked =
        size >= kTrailerSize && MarkOf(bytes + size - kTrailerSize) != TrailerMark::None;
    const size_t content = marked ? size - kTrailerSize : size;
    report.contentSize = static_cast<uint32_t>(content);
    Sha256 hash;
    hash.Update(bytes, content);
    hash.Final(report.actual);
    if (marked) Judge(bytes + content, content, report);
    return report;
}

IntegrityReport CheckFileIntegrity(const std::string& path) {
    IntegrityReport report;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        report.state = Integrity::NotOpened;
        return report;
    }
    struct Closer {
        std::FILE* f;
        ~Closer() { std::fclose(f); }
    } closer{f};
    report.state = Integrity::Unreadable;
    if (std::fseek(f, 0, SEEK_END) != 0) return report;
    const long size = std::ftell(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) return report;

    constexpr size_t kChunk = 65536;
    std::unique_ptr<uint8_t[]> chunk(new uint8_t[kChunk]);
    uint8_t tail[kTrailerSize];
    const bool marked = static_cast<size_t>(size) >= kTrailerSize;
    // Everything but the last kTrailerSize bytes is hashed as it streams
    // past; those are read apart, then judged.
    const size_t body = marked ? static_cast<size_t>(size) - kTrailerSize : size_t(size);
    Sha256 hash;
    for (size_t done = 0; done < body;) {
        size_t want = body - done < kChunk ? body - done : kChunk;
        if (std::fread(chunk.get(), 1, want, f) != want) return report;
        hash.Update(chunk.get(), want);
        done += want;
    }
    if (marked && std::fread(tail, 1, kTrailerSize, f) != kTrailerSize) return report;
    report.state = Integrity::NoTrailer;
    if (marked && MarkOf(tail) != TrailerMark::None) {
        report.contentSize = static_cast<uint32_t>(body);
        hash.Final(report.actual);
        Judge(tail, body, report);
        return report;
    }
    // No trailer: the digest of the whole file, for people who compare it.
    if (marked) hash.Update(tail, kTrailerSize);
    report.contentSize = static_cast<uint32_t>(size);
    hash.Final(report.actual);
    return report;
}

std::string DamageText(const IntegrityReport& report) {
    switch (report.state) {
        case Integrity::ContentsDiffer:
            return "its contents do not match the SHA-256 its builder recorded in it.";
        case Integrity::TrailerDamaged:
            return "the record of its SHA-256 at the end of the file is damaged.";
        case Integrity::Unreadable:
            return "its file cannot be read through to check its SHA-256.";
        case Integrity::NoTrailer:
        case Integrity::Holds:
        case Integrity::NotOpened:
            break;
    }
    return std::string();
}
