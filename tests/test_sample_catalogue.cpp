// The shipped sample catalogue is what a new user starts from: its masks must
// find firmware files named as the builder expects (first four characters =
// the revision), and each model's range must hold the revisions its own files
// carry, or a flashed drive drops out of the next flasher for its model.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "package/BuildFlasher.h"
#include "package/FileMask.h"
#include "host/ini/IniReader.h"

#ifdef NORVEX_SOURCE_DIR
namespace {
const std::string kSample = std::string(NORVEX_SOURCE_DIR) + "/samples/norvexflash.ini";

struct SampleModel {
    std::string section, model, inquiry, range, mask;
};

std::string Value(const std::string& section, const char* key) {
    char buffer[256];
    ReadProfileString(section.c_str(), key, "", buffer, sizeof buffer, kSample.c_str());
    return buffer;
}

std::vector<SampleModel> ReadSample() {
    std::vector<SampleModel> models;
    for (int i = 0; i < 100; ++i) {
        char section[16];
        std::snprintf(section, sizeof section, "MODEL%02d", i);
        SampleModel m{section, Value(section, "Model"), Value(section, "Inquiry"),
                      Value(section, "FW-Range"), Value(section, "BINMask")};
        if (m.model.empty()) break;
        models.push_back(m);
    }
    return models;
}

bool InRange(const std::string& revision, const std::string& range) {
    return range.size() == 9 && revision >= range.substr(0, 4) && revision <= range.substr(5, 4);
}
}  // namespace

TEST(SampleCatalogue, EveryModelFindsItsOwnFirmwareAndKeepsItsFlashedDrives) {
    std::vector<SampleModel> models = ReadSample();
    ASSERT_GE(models.size(), 2u) << kSample;
    for (const SampleModel& m : models) {
        SCOPED_TRACE(m.section);
        ASSERT_EQ(m.range.size(), 9u) << m.range;
        ASSERT_EQ(m.range[4], '-');
        EXPECT_FALSE(m.inquiry.empty());
        // Files carrying the lowest, a middle and the highest revision of the range.
        std::string low = m.range.substr(0, 4), high = m.range.substr(5, 4);
        for (const std::string& revision : {low, low.substr(0, 2) + "20", high}) {
            std::string file = revision + "PRA.BIN";
            EXPECT_TRUE(MatchesAnyMask(file, m.mask)) << file << " vs " << m.mask;
            std::string flasher = OutputName(file);
            EXPECT_TRUE(InRange(flasher.substr(0, 4), m.range)) << flasher << " vs " << m.range;
        }
        // No other model's files show up in this model's list.
        for (const SampleModel& other : models) {
            if (&other == &m) continue;
            std::string file = other.range.substr(0, 4) + "PRA.BIN";
            EXPECT_FALSE(MatchesAnyMask(file, m.mask)) << file << " in " << m.section;
        }
    }
}

TEST(SampleCatalogue, TheReadmeExampleBuildsAFlasherForItsOwnRange) {
    std::vector<SampleModel> models = ReadSample();
    int listed = 0;
    for (const SampleModel& m : models) {
        if (!MatchesAnyMask("2B20PRA.BIN", m.mask)) continue;
        ++listed;
        EXPECT_EQ(OutputName("2B20PRA.BIN"), "2B20.EXE");
        EXPECT_TRUE(InRange("2B20", m.range)) << m.range;
    }
    EXPECT_EQ(listed, 1);
}
#else
TEST(SampleCatalogue, EveryModelFindsItsOwnFirmwareAndKeepsItsFlashedDrives) {
    GTEST_SKIP() << "the source tree is not known to this build";
}
#endif
