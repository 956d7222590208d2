// Reads the import table and version fields of a 32- or 64-bit PE file and
// judges them against a table of allowed system functions: the check that
// every shipped file loads on the oldest systems the program claims.
// Header-only so the command-line tool and its tests share one reader.
#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

struct PeImport {
    std::string dll;       // lower case, as the loader compares it
    std::string function;  // "#<n>" for an import by ordinal
};

struct PeInfo {
    uint16_t majorOs = 0, minorOs = 0;
    uint16_t majorSubsystem = 0, minorSubsystem = 0;
    std::vector<PeImport> imports;
};

namespace pe_detail {
inline bool Read16(const std::vector<uint8_t>& f, uint64_t at, uint16_t& v) {
    if (at + 2 > f.size()) return false;
    v = uint16_t(f[at] | f[at + 1] << 8);
    return true;
}
inline bool Read32(const std::vector<uint8_t>& f, uint64_t at, uint32_t& v) {
    if (at + 4 > f.size()) return false;
    v = uint32_t(f[at]) | uint32_t(f[at + 1]) << 8 | uint32_t(f[at + 2]) << 16 |
        uint32_t(f[at + 3]) << 24;
    return true;
}
inline std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

struct Section {
    uint32_t address, size, rawOffset, rawSize;
};

// File offset of an RVA, or false when no section holds it.
inline bool Offset(const std::vector<Section>& sections, uint32_t rva, uint64_t& offset) {
    for (const Section& s : sections) {
        uint32_t span = s.size > s.rawSize ? s.size : s.rawSize;
        if (rva >= s.address && rva - s.address < span) {
            if (rva - s.address >= s.rawSize) return false;  // not in the file
            offset = uint64_t(s.rawOffset) + (rva - s.address);
            return true;
        }
    }
    return false;
}

inline bool String(const std::vector<uint8_t>& f, uint64_t at, std::string& out) {
    out.clear();
    for (; at < f.size(); ++at) {
        if (f[at] == 0) return true;
        out.push_back(char(f[at]));
    }
    return false;
}
}  // namespace pe_detail

// Fills info from the file's bytes; on false, error says what is wrong. Files
// with delay-load imports are refused: their imports are not checked here.
inline bool ReadPeImports(const std::vector<uint8_t>& f, PeInfo& info, std::string& error) {
    using namespace pe_detail;
    info = PeInfo();
    uint32_t peAt = 0, signature = 0;
    uint16_t sectionCount = 0, optionalSize = 0, magic = 0;
    if (f.size() < 64 || f[0] != 'M' || f[1] != 'Z' || !Read32(f, 0x3C, peAt) ||
        !Read32(f, peAt, signature) || signature != 0x00004550) {
        error = "not a PE file";
        return false;
    }
    const uint64_t coff = uint64_t(peAt) + 4, optional = coff + 20;
    if (!Read16(f, coff + 2, sectionCount) || !Read16(f, coff + 16, optionalSize) ||
        !Read16(f, optional, magic) || (magic != 0x10B && magic != 0x20B)) {
        error = "no PE32 or PE32+ optional header";
        return false;
    }
    const bool wide = magic == 0x20B;
    uint32_t directoryCount = 0;
    if (!Read16(f, optional + 40, info.majorOs) || !Read16(f, optional + 42, info.minorOs) ||
        !Read16(f, optional + 48, info.majorSubsystem) ||
        !Read16(f, optional + 50, info.minorSubsystem) ||
        !Read32(f, optional + (wide ? 108 : 92), directoryCount)) {
        error = "optional header cut short";
        return false;
    }
    const uint64_t directories = optional + (wide ? 112 : 96);
    auto directory = [&](uint32_t index, uint32_t& rva, uint32_t& size) {
        rva = size = 0;
        if (index >= directoryCount) return true;
        return Read32(f, directories + 8 * index, rva) &&
               Read32(f, directories + 8 * index + 4, size);
    };

    std::vector<Section> sections;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = optional + optionalSize + 40 * uint64_t(i);
        Section s{};
        if (!Read32(f, at + 8, s.size) || !Read32(f, at + 12, s.address) ||
            !Read32(f, at + 16, s.rawSize) || !Read32(f, at + 20, s.rawOffset)) {
            error = "section table cut short";
            return false;
        }
        sections.push_back(s);
    }

    uint32_t delayRva = 0, delaySize = 0, importRva = 0, importSize = 0;
    if (!directory(13, delayRva, delaySize) || !directory(1, importRva, importSize)) {
        error = "data directories cut short";
        return false;
    }
    if (delayRva != 0) {
        error = "delay-load imports present";
        return false;
    }
    if (importRva == 0) return true;

    uint64_t descriptor = 0;
    if (!Offset(sections, importRva, descriptor)) {
        error = "import directory outside the sections";
        return false;
    }
    for (;; descriptor += 20) {
        uint32_t lookup = 0, nameRva = 0, thunks = 0;
        if (!Read32(f, descriptor, lookup) || !Read32(f, descriptor + 12, nameRva) ||
            !Read32(f, descriptor + 16, thunks)) {
            error = "import directory cut short";
            return false;
        }
        if (nameRva == 0 && thunks == 0) break;
        uint64_t at = 0;
        std::string dll;
        if (!Offset(sections, nameRva, at) || !String(f, at, dll)) {
            error = "import DLL name unreadable";
            return false;
        }
        dll = Lower(dll);
        uint64_t entry = 0;
        if (!Offset(sections, lookup ? lookup : thunks, entry)) {
            error = "import list of " + dll + " outside the sections";
            return false;
        }
        for (;; entry += wide ? 8 : 4) {
            uint32_t low = 0, high = 0;
            if (!Read32(f, entry, low) || (wide && !Read32(f, entry + 4, high))) {
                error = "import list of " + dll + " cut short";
                return false;
            }
            if (low == 0 && high == 0) break;
            const bool byOrdinal = wide ? (high & 0x80000000u) != 0 : (low & 0x80000000u) != 0;
            std::string function;
            if (byOrdinal) {
                function = "#" + std::to_string(low & 0xFFFFu);
            } else if (!Offset(sections, low & 0x7FFFFFFFu, at) || !String(f, at + 2, function)) {
                error = "import name in " + dll + " unreadable";
                return false;
            }
            info.imports.push_back({dll, function});
        }
    }
    return true;
}

// One row of the table: the oldest Windows 9x release ("95", "98", "ME" or
// "-" for none) and the oldest NT release ("3.1" ... "4.0", "2000", "XP", ...)
// whose system DLL exports the function, and where that is documented.
struct AllowedImport {
    std::string win9x, winNt, source;
};
using ImportTable = std::map<std::string, AllowedImport>;  // key: "dll!function"

inline std::string ImportKey(const std::string& dll, const std::string& function) {
    return pe_detail::Lower(dll) + "!" + function;
}

// Tab-separated rows: dll, function, 9x, NT, source; '#' starts a comment line.
inline bool ParseImportTable(std::istream& in, ImportTable& table, std::string& error) {
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells;
        std::stringstream row(line);
        for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
        if (cells.size() != 5 || cells[0].empty() || cells[1].empty() || cells[2].empty() ||
            cells[3].empty() || cells[4].empty()) {
            error = "line " + std::to_string(number) + ": want dll, function, 9x, NT, source";
            return false;
        }
        const std::string key = ImportKey(cells[0], cells[1]);
        if (!table.emplace(key, AllowedImport{cells[2], cells[3], cells[4]}).second) {
            error = "line " + std::to_string(number) + ": " + key + " listed twice";
            return false;
        }
    }
    return true;
}

// True when Windows 95 and NT 4.0 both export the function.
inline bool OnOldestSystems(const AllowedImport& row) {
    const bool nt =
        row.winNt == "3.1" || row.winNt == "3.5" || row.winNt == "3.51" || row.winNt == "4.0";
    return row.win9x == "95" && nt;
}

// Every finding that keeps the file from loading on Windows 95 or NT 4.0;
// empty when there is none.
inline std::vector<std::string> JudgeImports(const PeInfo& info, const ImportTable& table) {
    std::vector<std::string> faults;
    for (const PeImport& import : info.imports) {
        const std::string key = ImportKey(import.dll, import.function);
        auto row = table.find(key);
        if (row == table.end())
            faults.push_back(key + ": not in the table");
        else if (!OnOldestSystems(row->second))
            faults.push_back(key + ": newer than Windows 95 / NT 4.0 (9x: " + row->second.win9x +
                             ", NT: " + row->second.winNt + ")");
    }
    auto above = [](uint16_t major, uint16_t minor) {
        return major > 4 || (major == 4 && minor > 0);
    };
    if (above(info.majorSubsystem, info.minorSubsystem))
        faults.push_back("subsystem version " + std::to_string(info.majorSubsystem) + "." +
                         std::to_string(info.minorSubsystem) + " above 4.0");
    if (above(info.majorOs, info.minorOs))
        faults.push_back("operating system version " + std::to_string(info.majorOs) + "." +
                         std::to_string(info.minorOs) + " above 4.0");
    return faults;
}

inline bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}
