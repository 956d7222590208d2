// The import check of the shipped files: the PE reader against small PE
// files made here, and the verdicts of the checked-in table on the imports
// that keep a file from loading on Windows 95 or NT 4.0.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/PeImports.h"

namespace {

using DllImports = std::vector<std::pair<std::string, std::vector<std::string>>>;

void Put16(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    f[at] = uint8_t(v);
    f[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    Put16(f, at, v & 0xFFFF);
    Put16(f, at + 2, v >> 16);
}

// A 32-bit PE file whose one section holds an import table of the given
// functions ("#n" imports by ordinal n).
std::vector<uint8_t> TinyPe(const DllImports& dlls, uint16_t subsystemMajor = 4,
                            uint16_t subsystemMinor = 0, uint16_t osMajor = 4) {
    constexpr uint32_t kSectionRva = 0x1000, kSectionFile = 0x200;
    // The section: descriptors, then per DLL its lookup list, name and hint/names.
    std::vector<uint8_t> s(20 * (dlls.size() + 1), 0);
    auto rvaOf = [&](size_t offset) { return uint32_t(kSectionRva + offset); };
    for (size_t d = 0; d < dlls.size(); ++d) {
        const size_t lookup = s.size();
        s.resize(s.size() + 4 * (dlls[d].second.size() + 1), 0);
        const size_t name = s.size();
        s.insert(s.end(), dlls[d].first.begin(), dlls[d].first.end());
        s.push_back(0);
        for (size_t i = 0; i < dlls[d].second.size(); ++i) {
            const std::string& function = dlls[d].second[i];
            if (function[0] == '#') {
                Put32(s, lookup + 4 * i, 0x80000000u | uint32_t(std::stoul(function.substr(1))));
                continue;
            }
            if (s.size() % 2) s.push_back(0);
            Put32(s, lookup + 4 * i, rvaOf(s.size()));
            s.push_back(0);  // hint
            s.push_back(0);
            s.insert(s.end(), function.begin(), function.end());
            s.push_back(0);
        }
        Put32(s, 20 * d + 0, rvaOf(lookup));
        Put32(s, 20 * d + 12, rvaOf(name));
        Put32(s, 20 * d + 16, rvaOf(lookup));
    }

    std::vector<uint8_t> f(kSectionFile, 0);
    f[0] = 'M';
    f[1] = 'Z';
    Put32(f, 0x3C, 0x40);
    std::memcpy(&f[0x40], "PE\0\0", 4);
    const size_t coff = 0x44, optional = coff + 20;
    Put16(f, coff, 0x14C);
    Put16(f, coff + 2, 1);
    Put16(f, coff + 16, 224);
    Put16(f, optional, 0x10B);
    Put16(f, optional + 40, osMajor);
    Put16(f, optional + 48, subsystemMajor);
    Put16(f, optional + 50, subsystemMinor);
    Put32(f, optional + 92, 16);
    Put32(f, optional + 96 + 8, kSectionRva);  // import directory
    Put32(f, optional + 96 + 12, uint32_t(20 * (dlls.size() + 1)));
    const size_t section = optional + 224;
    std::memcpy(&f[section], ".idata\0\0", 8);
    Put32(f, section + 8, uint32_t(s.size()));
    Put32(f, section + 12, kSectionRva);
    Put32(f, section + 16, uint32_t(s.size()));
    Put32(f, section + 20, kSectionFile);
    f.resize(kSectionFile + s.size());
    std::memcpy(f.data() + kSectionFile, s.data(), s.size());
    return f;
}

ImportTable CheckedInTable() {
    // From the build: __FILE__ is written from the tree's root (./tests/...).
    std::ifstream in(std::string(NORVEX_SOURCE_DIR) + "/tests/imports/allowed-imports.tsv");
    ImportTable table;
    std::string error;
    EXPECT_TRUE(in.is_open());
    EXPECT_TRUE(ParseImportTable(in, table, error)) << error;
    return table;
}

std::vector<std::string> Judge(const DllImports& dlls, const ImportTable& table) {
    PeInfo info;
    std::string error;
    EXPECT_TRUE(ReadPeImports(TinyPe(dlls), info, error)) << error;
    return JudgeImports(info, table);
}

TEST(PeImports, ReaderListsNamedAndOrdinalImportsOfEveryDll) {
    PeInfo info;
    std::string error;
    ASSERT_TRUE(ReadPeImports(
        TinyPe({{"KERNEL32.dll", {"Sleep", "GetProcAddress"}}, {"COMCTL32.DLL", {"#17"}}}, 5, 1, 6),
        info, error))
        << error;
    ASSERT_EQ(info.imports.size(), 3u);
    EXPECT_EQ(info.imports[0].dll, "kernel32.dll");
    EXPECT_EQ(info.imports[0].function, "Sleep");
    EXPECT_EQ(info.imports[1].function, "GetProcAddress");
    EXPECT_EQ(info.imports[2].dll, "comctl32.dll");
    EXPECT_EQ(info.imports[2].function, "#17");
    EXPECT_EQ(info.majorSubsystem, 5);
    EXPECT_EQ(info.minorSubsystem, 1);
    EXPECT_EQ(info.majorOs, 6);
}

TEST(PeImports, ReaderRefusesWhatIsNoPeFileOrIsCutShort) {
    PeInfo info;
    std::string error;
    EXPECT_FALSE(ReadPeImports(std::vector<uint8_t>(512, 0), info, error));
    std::vector<uint8_t> cut = TinyPe({{"kernel32.dll", {"Sleep"}}});
    cut.resize(cut.size() - 8);  // into the names
    EXPECT_FALSE(ReadPeImports(cut, info, error));
}

// Each import that kept the program from loading on Windows 95, 98, ME, NT 4.0
// or 2000 is refused, as newer, by the checked-in table.
TEST(PeImports, TableRefusesEachImportNewerThanWindows95AndNt4) {
    const ImportTable table = CheckedInTable();
    const DllImports newer = {
        {"GDI32.dll", {"GetGlyphIndicesA"}},      {"msvcrt.dll", {"_aligned_malloc"}},
        {"msvcrt.dll", {"_aligned_free"}},        {"COMCTL32.dll", {"InitCommonControlsEx"}},
        {"KERNEL32.dll", {"GetModuleHandleExA"}}, {"msvcrt.dll", {"_fstat64"}}};
    for (const auto& dll : newer) {
        const std::vector<std::string> faults = Judge({dll}, table);
        ASSERT_EQ(faults.size(), 1u) << dll.second[0];
        EXPECT_NE(faults[0].find("newer than Windows 95 / NT 4.0"), std::string::npos) << faults[0];
    }
    // Beside allowed imports the one newer import is still the one fault.
    EXPECT_EQ(
        Judge({{"kernel32.dll", {"Sleep", "GetModuleHandleExA", "CloseHandle"}}}, table).size(),
        1u);
}

TEST(PeImports, TableAllowsTheOldSystemsOwnFunctionsAndNothingUnlisted) {
    const ImportTable table = CheckedInTable();
    EXPECT_TRUE(Judge({{"KERNEL32.dll", {"CreateFileA", "DeviceIoControl"}},
                       {"USER32.dll", {"MessageBoxA"}},
                       {"COMCTL32.dll", {"InitCommonControls"}},
                       {"msvcrt.dll", {"malloc"}}},
                      table)
                    .empty());
    const std::vector<std::string> faults =
        Judge({{"kernel32.dll", {"NoSuchFunction", "#5"}}, {"ws2_32.dll", {"socket"}}}, table);
    ASSERT_EQ(faults.size(), 3u);
    for (const std::string& fault : faults)
        EXPECT_NE(fault.find("not in the table"), std::string::npos) << fault;
}

TEST(PeImports, VersionFieldsAboveFourAreFaults) {
    const ImportTable table;
    PeInfo info;
    std::string error;
    ASSERT_TRUE(ReadPeImports(TinyPe({}, 4, 0, 4), info, error));
    EXPECT_TRUE(JudgeImports(info, table).empty());
    ASSERT_TRUE(ReadPeImports(TinyPe({}, 4, 10, 4), info, error));
    EXPECT_EQ(JudgeImports(info, table).size(), 1u);  // subsystem 4.10
    ASSERT_TRUE(ReadPeImports(TinyPe({}, 6, 0, 6), info, error));
    EXPECT_EQ(JudgeImports(info, table).size(), 2u);  // subsystem and OS 6.0
}

TEST(PeImports, TableRowsAreCheckedWhenRead) {
    ImportTable table;
    std::string error;
    std::istringstream shortRow("# comment\nkernel32.dll\tSleep\t95\t3.1\n");
    EXPECT_FALSE(ParseImportTable(shortRow, table, error));
    table.clear();
    std::istringstream twice("a.dll\tf\t95\t3.1\tsdk\nA.DLL\tf\t95\t4.0\tsdk\n");
    EXPECT_FALSE(ParseImportTable(twice, table, error));
    EXPECT_NE(error.find("twice"), std::string::npos);
}

}  // namespace
