// The program's own package, in initialised data. The keyword bytes appear
// in the file only here: every other use reads them from this record, so the
// builder's scan finds exactly one occurrence.
#include <cstdint>

#include "package/Package.h"

namespace {
struct Record {
    char keyword[kKeywordSize];
    uint8_t block[kPackageBlockSize];
    uint8_t image[kImageAreaSize];
};
static_assert(sizeof(Record) == kPackageRecordSize, "package record must be contiguous");

// Not const, so the compiler can neither fold the role test nor move the
// record into read-only or zero-filled storage.
__attribute__((used, section(".data")))
Record gRecord = {"FWBLOCK-MARKER", {}, {'T', 'M', 'P', 'L'}};
}  // namespace

uint8_t* PackageRecord() {
    return reinterpret_cast<uint8_t*>(&gRecord);
}
