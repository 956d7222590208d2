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
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("mkfirmware (norvex-flash) %s\n", NORVEX_VERSION);
        return 0;
    }
    SampleArgs args;
    if (!ParseSampleArgs(argc, argv, args)) {
        std::fprintf(
            stderr,
            "mkfirmware: %s\n"
            "usage: mkfirmware OUT.BIN --size N --ident \"VENDOR PRODUCT\" --revision REV4\n"
            "                  [--layout plain|a|b] [--model MODEL15]\n"
            "  --ident: as INQUIRY reports it, padded with blanks to 24 characters\n"
            "  --layout: plain (no profile), a (4-byte profile header), b (6-byte,\n"
            "            for the models DVD-ROM KVA-204 and DVD-ROM KVB-517)\n",
            args.problem.c_str());
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
