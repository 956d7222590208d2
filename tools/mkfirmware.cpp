// Writes a sample firmware file for demonstrations: the same arguments give
// the same bytes.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/SampleFirmware.h"

namespace {
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

const char* const kUsage =
    "usage: mkfirmware OUT.BIN --size N --ident \"VENDOR PRODUCT\" --revision REV4\n"
    "                  [--layout plain|a|b] [--model MODEL15]\n"
    "  --ident: as INQUIRY reports it, padded with blanks to 24 characters\n"
    "  --layout: plain (no profile), a (4-byte profile header), b (6-byte,\n"
    "            for the models DVD-ROM KVA-204 and DVD-ROM KVB-517)\n";
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("mkfirmware (norvex-flash) %s\n", NORVEX_VERSION);
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(
                "mkfirmware writes a sample firmware file: the same arguments give the "
                "same bytes.\n",
                stdout);
            std::fputs(kUsage, stdout);
            return 0;
        }
        // A value that happens to read "--help" stays a value.
        if (arg == "--size" || arg == "--ident" || arg == "--revision" || arg == "--layout" ||
            arg == "--model")
            ++i;
    }
    SampleArgs args;
    if (!ParseSampleArgs(argc, argv, args)) {
        std::fprintf(stderr, "mkfirmware: %s\n%s", args.problem.c_str(), kUsage);
        return 2;
    }
    std::vector<uint8_t> image;
    if (!MakeSample(args.sample, image) || !WriteFile(args.out, image)) {
        std::fprintf(stderr, "mkfirmware: cannot write %s\n", args.out.c_str());
        return 1;
    }
    std::printf("mkfirmware: wrote %s (%u bytes, revision %s)\n", args.out.c_str(),
                args.sample.size, args.sample.revision.c_str());
    return 0;
}
