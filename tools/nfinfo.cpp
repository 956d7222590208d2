// Prints the package a flasher (or the template) carries, one "key=value"
// line each, for scripts: what the flasher will accept and what it writes.
//
//   nfinfo FLASHER.EXE
//   nfinfo --drive [--revision REV] FLASHER.EXE
//   nfinfo --decode TRACE
//   nfinfo --decode LOG
//
// With --drive it prints instead the drive-file lines of one virtual drive
// this flasher lists, judged by the flasher's own rules: Vendor, Product
// (the package's identification; the vendor and model for an any-drive
// package), Revision (REV, or else the range's low end, or 0000 for an
// any-firmware package), FlashId (a chip whose profile suits the image),
// and a "; note: ..." line for each reason the flasher would not list the
// drive or would not offer it the packaged revision.
//
// With --decode it names the command blocks of a virtual drive's trace by
// the one SCSI vocabulary (drive/Scsi.h), one line per run of equal names
// with its count. Given a flasher's command log (FLASHER.LOG, or the Linux
// program's --log file) it prints the log's other lines as they stand and
// its command lines by the same names, one line per run of equal names and
// equal outcomes: the time of the run's first command, the count, the
// outcome in words and the commands' own time together.
//
// role       flasher or template
// model, inquiry, range, vendor, note   the package fields (inquiry padded to 24)
// low, high  the range's ends as the flasher compares them (blank-padded to 4)
// any_drive, any_firmware, flash_all    0 or 1
// revision   the packaged revision (the flasher's name: the firmware file's
//            first four characters), what the flasher's prompt offers
// image_size the image's byte count
// layout     plain, a or b: the profile form the flasher sends for this image
// image_revision  the four bytes after the drive's identification inside the
//            image (what a virtual drive reports after the commit), or empty
//            when the image does not carry the identification
// sha256     the SHA-256 of the file's contents (without its trailer)
// integrity  holds, differs (contents not what the builder wrote), damaged
//            (the trailer itself), or none (no trailer: built before them)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drive/Scsi.h"
#include "flash/Eligibility.h"
#include "flash/ImageClass.h"
#include "flash/Revision.h"
#include "package/Integrity.h"
#include "package/Package.h"

namespace {
bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// Printable as one line: control bytes would break the key=value format.
std::string Clean(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}
std::string TrimRight(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// One virtual drive the flasher lists, as drive-file lines.
void PrintDrive(const PackageView& package, ImageClass image, std::string revision) {
    const std::string inquiry = package.InquiryText();
    std::string vendor = TrimRight(inquiry.substr(0, 8)),
                product = TrimRight(inquiry.substr(8, 16));
    if (package.AnyDrive())
        vendor = TrimRight(package.Vendor()), product = TrimRight(package.Model());
    if (revision.empty()) revision = package.AnyFirmware() ? "0000" : package.LowVersion();
    EligibilityRule rule;
    rule.anyDrive = package.AnyDrive();
    rule.anyFirmware = package.AnyFirmware();
    rule.inquiry = inquiry;
    rule.lowVersion = package.LowVersion();
    rule.highVersion = package.HighVersion();
    char productId[25];
    std::snprintf(productId, sizeof productId, "%-8.8s%-16.16s", vendor.c_str(), product.c_str());
    std::printf("Vendor=%s\nProduct=%s\nRevision=%s\n", Clean(vendor).c_str(),
                Clean(product).c_str(), Clean(revision).c_str());
    // The six-byte profiles are for the chips of the newer table rows.
    std::printf("FlashId=%s\n",
                image == ImageClass::SixByteProfile ? "BF B6 00 01" : "DA C8 00 00");
    if (!IsEligible(rule, productId, revision))
        std::printf("; note: revision %s lies outside %s-%s: the flasher will not list the drive\n",
                    Clean(revision).c_str(), Clean(package.LowVersion()).c_str(),
                    Clean(package.HighVersion()).c_str());
    else if (!RevisionLess(revision, package.NewRevision()))
        std::printf("; note: revision %s is not below the packaged %s\n", Clean(revision).c_str(),
                    Clean(package.NewRevision()).c_str());
}
// What a command block is, in the vocabulary's words.
std::string CommandName(const uint8_t* cdb, bool dataOut) {
    char other[32];
    switch (cdb[0]) {
        case kOpTestUnitReady:
            return "TEST UNIT READY";
        case kOpInquiry:
            return "INQUIRY";
        case kOpStartStopUnit:
            return cdb[4] == kStartStopLoad ? "START STOP UNIT (load)" : "START STOP UNIT (stop)";
        case kOpReadCapacity:
            return "READ CAPACITY";
        case kOpStopPlayScan:
            return "STOP PLAY/SCAN";
        case kOpVendor:
            if (cdb[1] == kVendorReadFlashId) return "read flash ID";
            if (cdb[1] == kVendorWriteE2) return "write EEPROM byte";
            return "vendor command";
        case kOpWriteBuffer:
            if (IsCommit(cdb)) return "commit (program flash)";
            if (cdb[9] == kControlProfile) return dataOut ? "write profile" : "entry critical";
            return "WRITE BUFFER (image)";
        case kOpReadBuffer:
            if (((uint32_t(cdb[3]) << 16) | (uint32_t(cdb[4]) << 8) | cdb[5]) == kProfileAreaOffset)
                return "read profile back";
            return "READ BUFFER (verify)";
        default:
            std::snprintf(other, sizeof other, "operation %02X", cdb[0]);
            return other;
    }
}

// One command: its name and, from a log, its outcome and own time.
struct DecodedCommand {
    std::string name, outcome, time;
    double took = 0;
};

// A trace line: the address, twelve bytes in hex, the direction and the
// length (docs/TESTING.md, "The trace"). Returns the characters read.
bool ParseTraceLine(const char* line, DecodedCommand& command, int* used) {
    unsigned b[12];
    char address[32], direction[8];
    int n = 0;
    if (std::sscanf(line, "%31s %x %x %x %x %x %x %x %x %x %x %x %x %7s %*u%n", address, &b[0],
                    &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &b[8], &b[9], &b[10], &b[11],
                    direction, &n) != 14 ||
        n == 0)
        return false;
    if (std::strchr(address, ':') == nullptr) return false;
    uint8_t cdb[12];
    for (int i = 0; i < 12; ++i) cdb[i] = static_cast<uint8_t>(b[i]);
    command.name = CommandName(cdb, std::strcmp(direction, "out") == 0);
    if (used) *used = n;
    return true;
}

// A log line: the time, a word for its kind, the rest. For a command, the
// rest is a trace line, " took X ms: " and the outcome.
bool ParseLogLine(const std::string& line, std::string& time, std::string& kind,
                  std::string& rest) {
    size_t at = line.find_first_not_of(' ');
    if (at == std::string::npos) return false;
    size_t end = line.find(' ', at);
    if (end == std::string::npos) return false;
    time = line.substr(at, end - at);
    if (time.find_first_not_of("0123456789.") != std::string::npos) return false;
    size_t kindEnd = line.find(' ', end + 1);
    kind =
        line.substr(end + 1, kindEnd == std::string::npos ? std::string::npos : kindEnd - end - 1);
    rest = kindEnd == std::string::npos ? "" : line.substr(kindEnd + 1);
    return !kind.empty();
}

int Decode(const char* path) {
    std::FILE* f = std::fopen(path, "r");
    if (!f) {
        std::fprintf(stderr, "nfinfo: cannot read %s\n", path);
        return 1;
    }
    char buffer[4096];
    DecodedCommand last;
    int run = 0, number = 0;
    bool log = false;
    double took = 0;
    auto flush = [&]() {
        if (run == 0) return;
        if (log)
            std::printf("%10s %-26s x%-4d %s, %.3f ms\n", last.time.c_str(), last.name.c_str(), run,
                        last.outcome.c_str(), took);
        else
            std::printf("%-26s x%d\n", last.name.c_str(), run);
        run = 0;
        took = 0;
    };
    while (std::fgets(buffer, sizeof buffer, f)) {
        ++number;
        std::string line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        DecodedCommand command;
        std::string time, kind, rest;
        if (number == 1) log = ParseLogLine(line, time, kind, rest);
        if (!log) {
            if (!ParseTraceLine(line.c_str(), command, nullptr)) {
                std::fprintf(stderr, "nfinfo: %s:%d is not a trace line\n", path, number);
                std::fclose(f);
                return 1;
            }
        } else if (line.empty()) {
            continue;
        } else if (!ParseLogLine(line, time, kind, rest)) {
            std::fprintf(stderr, "nfinfo: %s:%d is not a log line\n", path, number);
            std::fclose(f);
            return 1;
        } else if (kind == "cmd") {
            int used = 0;
            const size_t colon = rest.find(" took ");
            if (!ParseTraceLine(rest.c_str(), command, &used) || colon == std::string::npos) {
                std::fprintf(stderr, "nfinfo: %s:%d is not a command line\n", path, number);
                std::fclose(f);
                return 1;
            }
            command.time = time;
            command.took = std::atof(rest.c_str() + colon + 6);
            const size_t words = rest.find(": ", colon);
            command.outcome = words == std::string::npos ? "" : rest.substr(words + 2);
        } else {
            flush();
            last = DecodedCommand{};
            std::printf("%10s %s %s\n", time.c_str(), kind.c_str(), rest.c_str());
            continue;
        }
        if ((command.name != last.name || command.outcome != last.outcome) && run > 0) flush();
        if (run == 0) last = command;
        ++run;
        took += command.took;
    }
    flush();
    std::fclose(f);
    return 0;
}
const char* IntegrityName(Integrity state) {
    switch (state) {
        case Integrity::Holds:
            return "holds";
        case Integrity::ContentsDiffer:
            return "differs";
        case Integrity::TrailerDamaged:
            return "damaged";
        case Integrity::NoTrailer:
        case Integrity::Unreadable:
        case Integrity::NotOpened:
            break;
    }
    return "none";
}

const char* const kUsage =
    "usage: nfinfo FLASHER.EXE | nfinfo --drive [--revision REV] FLASHER.EXE"
    " | nfinfo --decode TRACE|LOG\n";
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("nfinfo (norvex-flash) %s\n", NORVEX_VERSION);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        std::puts(
            "Prints the package a flasher (or the template) carries as key=value lines,\n"
            "with the SHA-256 of its contents and whether its trailer holds (integrity=).\n"
            "--drive: the drive-file lines of a virtual drive this flasher lists.\n"
            "--decode: a virtual drive's trace or a flasher's log, the commands by name.");
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--decode") == 0) return Decode(argv[2]);
    bool drive = false;
    std::string revision;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--drive") == 0) {
            drive = true;
        } else if (std::strcmp(argv[i], "--revision") == 0 && i + 1 < argc) {
            revision = argv[++i];
        } else if (!path && argv[i][0] != '-') {
            path = argv[i];
        } else {
            path = nullptr;
            break;
        }
    }
    if (!path || (!revision.empty() && !drive)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::vector<uint8_t> file;
    if (!ReadWholeFile(path, file)) {
        std::fprintf(stderr, "nfinfo: cannot read %s\n", path);
        return 1;
    }
    const uint8_t* keyword = PackageView(PackageRecord()).Keyword();
    auto at = std::search(file.begin(), file.end(), keyword, keyword + kKeywordSize);
    if (at == file.end()) {
        std::fprintf(stderr, "nfinfo: %s carries no package (not a flasher of this program)\n",
                     path);
        return 1;
    }
    size_t offset = static_cast<size_t>(at - file.begin());
    if (file.size() - offset < kPackageRecordSize) {
        std::fprintf(stderr, "nfinfo: %s ends inside its package\n", path);
        return 1;
    }
    PackageView package(file.data() + offset);
    uint32_t imageSize = package.ImageSize();
    bool isTemplate = package.IsTemplate();
    if (!isTemplate && (imageSize == 0 || imageSize > kImageAreaSize)) {
        std::fprintf(stderr, "nfinfo: %s carries an image size of %u, which no flash can use\n",
                     path, imageSize);
        return 1;
    }

    const uint8_t* image = package.FirmwareArea();
    std::string inquiry = package.InquiryText();
    std::string imageRevision;
    const uint8_t* end = image + (isTemplate ? 0 : imageSize);
    const uint8_t* found = std::search(image, end, inquiry.begin(), inquiry.end());
    if (found != end && end - found >= 28) imageRevision.assign(found + 24, found + 28);

    if (drive) {
        if (isTemplate) {
            std::fprintf(stderr, "nfinfo: %s is the builder template, not a flasher\n", path);
            return 1;
        }
        PrintDrive(package, ClassifyImage(image), revision);
        return 0;
    }
    std::printf("role=%s\n", isTemplate ? "template" : "flasher");
    std::printf("model=%s\n", Clean(package.Model()).c_str());
    std::printf("inquiry=%s\n", Clean(inquiry).c_str());
    std::printf("range=%s\n", Clean(package.Range()).c_str());
    std::printf("low=%s\n", Clean(package.LowVersion()).c_str());
    std::printf("high=%s\n", Clean(package.HighVersion()).c_str());
    std::printf("vendor=%s\n", Clean(package.Vendor()).c_str());
    std::printf("note=%s\n", Clean(package.Note()).c_str());
    std::printf("any_drive=%d\n", package.AnyDrive() ? 1 : 0);
    std::printf("any_firmware=%d\n", package.AnyFirmware() ? 1 : 0);
    std::printf("flash_all=%d\n", package.FlashAll() ? 1 : 0);
    std::printf("revision=%s\n", Clean(package.NewRevision()).c_str());
    std::printf("image_size=%u\n", imageSize);
    std::printf("layout=%s\n", isTemplate ? "plain" : LayoutName(ClassifyImage(image)));
    std::printf("image_revision=%s\n", Clean(imageRevision).c_str());
    const IntegrityReport integrity = CheckIntegrity(file.data(), file.size());
    std::printf("sha256=%s\n", HexDigest(integrity.actual).c_str());
    std::printf("integrity=%s\n", IntegrityName(integrity.state));
    return 0;
}
