// peimports TABLE FILE...: lists every DLL!function each PE file imports and
// fails (exit 1) when one is missing from TABLE or newer than Windows 95 /
// NT 4.0, or when the file's subsystem or OS version is above 4.0.
#include <cstdio>
#include <fstream>

#include "tools/PeImports.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: peimports TABLE FILE...\n");
        return 2;
    }
    std::ifstream tableFile(argv[1]);
    ImportTable table;
    std::string error;
    if (!tableFile || !ParseImportTable(tableFile, table, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], tableFile ? error.c_str() : "cannot read");
        return 2;
    }
    int failed = 0;
    for (int i = 2; i < argc; ++i) {
        std::vector<uint8_t> bytes;
        PeInfo info;
        if (!ReadFileBytes(argv[i], bytes) || !ReadPeImports(bytes, info, error)) {
            std::printf("%s: FAIL: %s\n", argv[i], bytes.empty() ? "cannot read" : error.c_str());
            ++failed;
            continue;
        }
        std::printf("%s: subsystem %u.%u, OS %u.%u, %zu imports\n", argv[i],
                    unsigned(info.majorSubsystem), unsigned(info.minorSubsystem),
                    unsigned(info.majorOs), unsigned(info.minorOs), info.imports.size());
        for (const PeImport& import : info.imports) {
            auto row = table.find(ImportKey(import.dll, import.function));
            if (row == table.end())
                std::printf("  %s!%s\n", import.dll.c_str(), import.function.c_str());
            else
                std::printf("  %s!%s\t9x %s, NT %s\n", import.dll.c_str(), import.function.c_str(),
                            row->second.win9x.c_str(), row->second.winNt.c_str());
        }
        const std::vector<std::string> faults = JudgeImports(info, table);
        for (const std::string& fault : faults) std::printf("  FAIL: %s\n", fault.c_str());
        if (!faults.empty()) ++failed;
    }
    std::printf("%s\n", failed ? "Import check FAILED." : "Import check passed.");
    return failed ? 1 : 0;
}
