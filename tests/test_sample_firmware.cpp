// Tests of the practice firmware files: layouts and filler.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/FlasherRig.h"
#include "tests/support/StubOs.h"
#include "tools/SampleFirmware.h"

namespace {
const char* const kIdent = "OPTIDRV CDRW-A100       ";

SampleRequest Sample(SampleLayout layout, uint32_t size = 262144,
                     const std::string& revision = "1A50") {
    SampleRequest s;
    s.size = size;
    s.ident = kIdent;
    s.revision = revision;
    s.layout = layout;
    return s;
}

std::vector<uint8_t> Make(const SampleRequest& sample) {
    std::vector<uint8_t> image;
    EXPECT_TRUE(MakeSample(sample, image)) << CheckSample(sample);
    return image;
}

void Load(TestPackage& pkg, const std::vector<uint8_t>& image) {
    std::memcpy(pkg.Image(), image.data(), image.size());
    pkg.SetImageSize(static_cast<uint32_t>(image.size()));
}

struct Flags {
    bool a, b;
};
Flags Classify(const std::vector<uint8_t>& image) {
    TestPackage pkg;
    Load(pkg, image);
    FakeForm form;
    StubOs os;
    TFlashForm window(form, os, pkg.Record(), "x.exe");
    window.CheckNewFormatBIN();
    return {window.ProfileFormatA, window.ProfileFormatB};
}

bool MarkerAt(const std::vector<uint8_t>& image, size_t at) {
    return at + 1 < image.size() && image[at] == 0x05 && image[at + 1] == 0x80;
}
}  // namespace

TEST(SampleFirmware, EachLayoutClassifiesAsAsked) {
    Flags plain = Classify(Make(Sample(SampleLayout::Plain)));
    EXPECT_FALSE(plain.a);
    EXPECT_FALSE(plain.b);
    Flags a = Classify(Make(Sample(SampleLayout::A)));
    EXPECT_TRUE(a.a);
    EXPECT_FALSE(a.b);
    Flags b = Classify(Make(Sample(SampleLayout::B)));
    EXPECT_FALSE(b.a);
    EXPECT_TRUE(b.b);

    // Another model at the marked position: the marker still decides, without a profile.
    SampleRequest other = Sample(SampleLayout::B);
    other.model = "DVD-ROM KVC-999";
    Flags o = Classify(Make(other));
    EXPECT_FALSE(o.a);
    EXPECT_FALSE(o.b);
}

TEST(SampleFirmware, FillerNeverPlacesAMarkerOrTheTemplateWord) {
    // Many sizes give many filler tails; the filler itself is the same from byte 0.
    for (uint32_t size : {uint32_t(0x21C), uint32_t(0x1102), uint32_t(0x4020), uint32_t(65536),
                          uint32_t(262144), kSampleMaxSize}) {
        for (SampleLayout layout : {SampleLayout::Plain, SampleLayout::A, SampleLayout::B}) {
            SampleRequest sample = Sample(layout, size);
            if (size < SampleMinSize(layout)) continue;
            std::vector<uint8_t> image = Make(sample);
            ASSERT_EQ(image.size(), size);
            EXPECT_EQ(MarkerAt(image, 0x4000), layout == SampleLayout::B) << size;
            EXPECT_FALSE(MarkerAt(image, 0x4008)) << size;
            EXPECT_EQ(MarkerAt(image, 0x1100), layout == SampleLayout::A) << size;
            EXPECT_NE(std::memcmp(image.data(), "TMPL", 4), 0);
            EXPECT_EQ(std::string(image.begin() + 0x200, image.begin() + 0x200 + 28),
                      std::string(kIdent) + "1A50");
        }
    }
}

TEST(SampleFirmware, FillerThatWouldMarkOrLookLikeATemplateIsBroken) {
    // Seeds whose raw filler holds 05 80 at 0x1100, 0x4008, 0x4000, or starts "TMPL".
    struct Case {
        uint32_t seed;
        size_t at;
    };
    for (Case c : {Case{7147, 0x1100}, Case{24133, 0x4008}, Case{59087, 0x4000}}) {
        SampleRequest sample = Sample(SampleLayout::Plain);
        sample.seed = c.seed;
        std::vector<uint8_t> image = Make(sample);
        EXPECT_EQ(image[c.at], 0x05) << c.seed;  // the filler really was there
        EXPECT_FALSE(MarkerAt(image, c.at)) << c.seed;
        Flags f = Classify(image);
        EXPECT_FALSE(f.a || f.b) << c.seed;
    }
    SampleRequest sample = Sample(SampleLayout::Plain);
    sample.seed = 0x5BB43997;
    std::vector<uint8_t> image = Make(sample);
    EXPECT_EQ(std::memcmp(image.data() + 1, "MPL", 3), 0);
    EXPECT_NE(std::memcmp(image.data(), "TMPL", 4), 0);
}

TEST(SampleFirmware, SameArgumentsSameBytesAndRevisionIsTheOnlyDifference) {
    std::vector<uint8_t> first = Make(Sample(SampleLayout::A));
    EXPECT_EQ(first, Make(Sample(SampleLayout::A)));
    std::vector<uint8_t> other = Make(Sample(SampleLayout::A, 262144, "1A60"));
    size_t differing = 0;
    for (size_t i = 0; i < first.size(); ++i) differing += first[i] != other[i];
    EXPECT_EQ(differing, 1u);  // '5' against '6'
    // The filler is not a short repeat.
    EXPECT_NE(std::memcmp(&first[0x8000], &first[0x8000 + 16384], 16384), 0);
}

TEST(SampleFirmware, RefusesWhatItCannotMake) {
    std::vector<uint8_t> image{1, 2, 3};
    SampleRequest sample = Sample(SampleLayout::Plain);
    sample.ident = "OPTIDRV CDRW-A100";  // not padded to 24
    EXPECT_FALSE(MakeSample(sample, image));
    sample = Sample(SampleLayout::Plain, 262144, "1A5");
    EXPECT_FALSE(MakeSample(sample, image));
    sample = Sample(SampleLayout::B);
    sample.model = "DVD-ROM KVA-20";
    EXPECT_FALSE(MakeSample(sample, image));
    EXPECT_FALSE(MakeSample(Sample(SampleLayout::A, 0x1101), image));
    EXPECT_FALSE(MakeSample(Sample(SampleLayout::B, 0x401F), image));
    EXPECT_FALSE(MakeSample(Sample(SampleLayout::Plain, 0x21B), image));
    EXPECT_FALSE(MakeSample(Sample(SampleLayout::Plain, kSampleMaxSize + 1), image));
    sample = Sample(SampleLayout::Plain);
    sample.seed = 0;  // xorshift would give zeros only
    EXPECT_FALSE(MakeSample(sample, image));
    EXPECT_EQ(image, (std::vector<uint8_t>{1, 2, 3}));
    // A model other than the default is only checked where it is written.
    sample = Sample(SampleLayout::A);
    sample.model = "";
    EXPECT_TRUE(MakeSample(sample, image));
}

TEST(SampleFirmware, DriveRunningTheImageReportsItsRevision) {
    for (SampleLayout layout : {SampleLayout::Plain, SampleLayout::A, SampleLayout::B}) {
        FlasherRig rig;
        VirtualDrive::Config c = FlasherRig::Model("1A10");
        if (layout == SampleLayout::B) c.flashId = {0xBF, 0xB6, 0x00, 0x01};
        VirtualDrive& drive = rig.AddDrive(c);
        Load(rig.pkg, Make(Sample(layout)));
        rig.pkg.SetVersion("1A50.");
        rig.Start();
        rig.Flash();
        EXPECT_EQ(rig.form.status, "Flash Completed.");
        EXPECT_EQ(drive.Revision(), "1A50");
        EXPECT_EQ(rig.form.combo.at(0), "0-0-0  : OPTIDRV CDRW-A100       1A50");
        EXPECT_EQ(drive.programmedImage.size(), 262144u);
    }
}

namespace {
// Parses a command line given after the program name.
bool Parse(std::vector<const char*> words, SampleArgs& args) {
    words.insert(words.begin(), "mkfirmware");
    return ParseSampleArgs(static_cast<int>(words.size()), words.data(), args);
}
}  // namespace

TEST(SampleFirmwareArgs, FullCommandLineInAnyOrder) {
    SampleArgs args;
    ASSERT_TRUE(Parse({"--layout", "b", "--model", "DVD-ROM KVB-517", "--size", "262144", "OUT.BIN",
                       "--ident", kIdent, "--revision", "1A50"},
                      args))
        << args.problem;
    EXPECT_EQ(args.out, "OUT.BIN");
    EXPECT_EQ(args.sample.size, 262144u);
    EXPECT_EQ(args.sample.ident, kIdent);
    EXPECT_EQ(args.sample.revision, "1A50");
    EXPECT_EQ(args.sample.layout, SampleLayout::B);
    EXPECT_EQ(args.sample.model, "DVD-ROM KVB-517");

    SampleArgs plain;
    ASSERT_TRUE(Parse({"X.BIN", "--size", "4096", "--ident", kIdent, "--revision", "1A50"}, plain));
    EXPECT_EQ(plain.sample.layout, SampleLayout::Plain);

    // A catalogue's Inquiry value as it stands: padded as INQUIRY pads it.
    SampleArgs shortIdent;
    ASSERT_TRUE(
        Parse({"X.BIN", "--size", "4096", "--ident", "OPTIDRV DVDRW-B200", "--revision", "2B20"},
              shortIdent));
    EXPECT_EQ(shortIdent.sample.ident, "OPTIDRV DVDRW-B200      ");
}

TEST(SampleFirmwareArgs, SizeIsPlainDecimal) {
    for (const char* size : {"-1", "+4096", "0x40000", "4096k", "", "99999999999", "4294967296"}) {
        SampleArgs args;
        EXPECT_FALSE(
            Parse({"X.BIN", "--size", size, "--ident", kIdent, "--revision", "1A50"}, args))
            << size;
        EXPECT_FALSE(args.problem.empty());
    }
    // Within range as a number but beyond what a package carries.
    SampleArgs args;
    EXPECT_FALSE(
        Parse({"X.BIN", "--size", "4294967295", "--ident", kIdent, "--revision", "1A50"}, args));
}

TEST(SampleFirmwareArgs, RefusesIncompleteOrContradictoryLines) {
    const std::vector<std::vector<const char*>> lines = {
        {"--size", "4096", "--ident", kIdent, "--revision", "1A50"},                    // no output
        {"A.BIN", "B.BIN", "--size", "4096", "--ident", kIdent, "--revision", "1A50"},  // two
        {"X.BIN", "--ident", kIdent, "--revision", "1A50"},                             // no size
        {"X.BIN", "--size", "4096", "--revision", "1A50"},                              // no ident
        {"X.BIN", "--size", "4096", "--ident", kIdent},                // no revision
        {"X.BIN", "--size", "4096", "--ident", kIdent, "--revision"},  // no value
        {"X.BIN", "--size", "4096", "--ident", kIdent, "--revision", "1A50", "--layout", "c"},
        {"X.BIN", "--size", "4096", "--ident", kIdent, "--revision", "1A50", "--seed", "1"},
        {"X.BIN", "--size", "65536", "--ident", kIdent, "--revision", "1A50", "--model",
         "DVD-ROM KVA-204"},  // a model without layout b would be silently dropped
        {"X.BIN", "--size", "4096", "--ident", kIdent, "--revision", "1A50", "--layout", "b"},
        {"X.BIN", "--size", "4096", "--ident", "OPTIDRV  DVDRW-B200-LONGNAME", "--revision",
         "1A50"},  // longer than 24
        {"X.BIN", "--size", "4096", "--ident", "", "--revision", "1A50"},
    };
    for (const auto& line : lines) {
        SampleArgs args;
        EXPECT_FALSE(Parse(line, args)) << line.size();
        EXPECT_FALSE(args.problem.empty());
    }
}
