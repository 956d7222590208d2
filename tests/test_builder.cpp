// Tests of the file-level build of a flasher from a template.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/FlashForm.h"
#include "package/BuildFlasher.h"
#include "package/Integrity.h"
#include "tests/support/FakeForm.h"
#include "tests/support/FileOs.h"
#include "tests/support/TempDir.h"
#include "tests/support/TemplateFile.h"
#include "tests/support/TestPackage.h"

namespace {
const char* kCatalogue =
    "[MODEL00]\nModel=CDRW-A100\nInquiry=OPTIDRV CDRW-A100\nFW-Range=1A00-1A99\n"
    "BINMask=*.BIN;A.B;ABCD\nVendor=OPTIDRV\nNote=\n"
    "[MODEL01]\nModel=DVDRW-B200\nInquiry=OPTIDRV DVDRW-B200\nFW-Range=2B00-2B40\n"
    "BINMask=*.HEX\nVendor=OPTIDRV\nNote=FLASH-ALL\n";

class CountingForm : public FakeForm {
  public:
    int steps = 0;
    void ProgressStepIt() override {
        ++steps;
        FakeForm::ProgressStepIt();
    }
};

class Builder : public ::testing::Test {
  protected:
    TempDir dir;
    CountingForm form;
    FileOs os;
    TestPackage package;
    TemplateFile shape;
    std::vector<uint8_t> templ;
    TFlashForm flash{form, os, package.Record(), dir.File("BUILDER.EXE")};

    Builder() {
        std::memcpy(package.Image(), "TMPL", 4);
        os.currentDirectory = dir.Path();
        dir.Write("BUILDER.INI", kCatalogue);
    }
    void WriteTemplate() { WriteTemplate(shape.Bytes()); }
    void WriteTemplate(const std::vector<uint8_t>& bytes) {
        templ = bytes;
        dir.Write("BUILDER.EXE", bytes);
    }
    // Starts the builder, chooses the model and the file, presses "Build".
    bool Build(const std::string& file, int model = 0) {
        if (form.combo.empty()) flash.FormCreate();
        form.ComboSetIndex(model);
        flash.ComboBoxChange();
        form.fileIndex = -1;
        for (size_t i = 0; i < form.files.size(); ++i)
            if (form.files[i] == file) form.fileIndex = int(i);
        flash.FileListBox1Click();
        form.boxes.clear();
        flash.FlashButtonClick();
        EXPECT_EQ(form.cursor, CursorKind::Default);
        return form.boxes.empty();
    }
    // Every byte outside the block and the first `imageSize` image bytes is
    // the template's, and the trailer after them holds.
    void ExpectOnlyPackageChanged(const std::vector<uint8_t>& out, size_t imageSize) {
        ASSERT_EQ(out.size(), templ.size() + kTrailerSize);
        EXPECT_EQ(CheckIntegrity(out.data(), out.size()).state, Integrity::Holds);
        for (size_t i = 0; i < templ.size(); ++i) {
            bool inBlock = i >= shape.BlockAt() && i < shape.BlockAt() + kPackageBlockSize;
            bool inImage = i >= shape.ImageAt() && i < shape.ImageAt() + imageSize;
            if (!inBlock && !inImage) {
                ASSERT_EQ(out[i], templ[i]) << "at " << i;
            }
        }
    }
    std::string Text(const std::string& name) const {
        auto bytes = dir.Read(name);
        return std::string(bytes.begin(), bytes.end());
    }
    // Moves as recorded, with one kind of separator (Windows joins with '\\').
    std::vector<std::string> Moves() const {
        std::vector<std::string> moves = os.moves;
        for (auto& m : moves) std::replace(m.begin(), m.end(), '\\', '/');
        return moves;
    }
    std::string Slashed(std::string path) const {
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
    }
    // The names in the folder, sorted.
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    PackageView Record(const std::vector<uint8_t>& out) {
        return PackageView(out.data() + shape.KeywordAt());
    }
    // Texts of the boxes shown; every box of the builder is a plain one with OK.
    std::vector<std::string> Boxes() const {
        for (const ShownBox& box : form.boxes) {
            EXPECT_EQ(box.kind, BoxKind::Plain) << box.text;
            EXPECT_EQ(box.buttons, BoxButtons::Ok) << box.text;
        }
        return form.BoxTexts();
    }
};

TEST_F(Builder, OutputIsTheTemplateWithNewBlockAndImage) {
    WriteTemplate();
    auto firmware = Firmware(262144);
    dir.Write("abcd1234.bin", firmware);

    ASSERT_TRUE(Build("abcd1234.bin")) << Boxes()[0];
    EXPECT_EQ(form.statusRepaints.front(), "Building abcd1234.bin  Please wait... ");
    EXPECT_EQ(form.status, "Build abcd.EXE complete!");
    EXPECT_EQ(form.statusRepaints.back(), "Build abcd.EXE complete!");
    EXPECT_EQ(form.unfitted, std::vector<std::string>{});  // room made at the file's click
    EXPECT_EQ(form.progressMax, int(templ.size()));
    EXPECT_EQ(form.progressStep, 1024);
    EXPECT_EQ(form.progressPos, 0);
    EXPECT_EQ(flash.ImageSize, firmware.size());
    EXPECT_TRUE(form.buttonEnabled);

    // One step per 1024 template positions copied, plus one per 1024 image bytes.
    size_t skipFrom = shape.BlockAt(), skipTo = shape.ImageAt() + firmware.size();
    int expected = int(firmware.size() / 1024);
    for (size_t j = 0; j < templ.size(); j += 1024)
        if (j < skipFrom || j >= skipTo) ++expected;
    EXPECT_EQ(form.steps, expected);

    auto out = dir.Read("abcd.EXE");
    ExpectOnlyPackageChanged(out, firmware.size());
    PackageView record = Record(out);
    EXPECT_EQ(std::memcmp(record.Keyword(), "FWBLOCK-MARKER", kKeywordSize), 0);
    EXPECT_EQ(record.Model(), "CDRW-A100");
    EXPECT_EQ(record.Inquiry(), "OPTIDRV CDRW-A100       ");
    EXPECT_EQ(record.Range(), "1A00-1A99");
    EXPECT_EQ(record.Vendor(), "OPTIDRV");
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + shape.KeywordAt() + kNoteOffset,
                                   out.begin() + shape.KeywordAt() + kNoteOffset + 25),
              std::vector<uint8_t>(25, 0));
    EXPECT_EQ(std::memcmp(record.Record() + kVersionTagOffset, "ABCD1\0\0\0", 8), 0);
    EXPECT_EQ(record.ImageSize(), firmware.size());
    EXPECT_EQ(std::memcmp(record.FirmwareArea(), firmware.data(), firmware.size()), 0);
    EXPECT_FALSE(record.IsTemplate());
}

TEST_F(Builder, ShortNamesAndFieldsAreZeroFilled) {
    WriteTemplate();
    auto firmware = Firmware(100);
    std::memcpy(firmware.data(), "TMPL", 4);
    dir.Write("A.B", firmware);
    dir.Write("ABCD", firmware);

    // "%4.4s" of A.B would be the revision "A.B": refused, nothing written.
    EXPECT_FALSE(Build("A.B"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Building fail: A.B has fewer than four characters before its "
                           "extension, so its flasher's revision would be \"A.B\"!"});
    EXPECT_FALSE(dir.Exists("A.B.EXE"));
    EXPECT_EQ(form.status, "");

    ASSERT_TRUE(Build("ABCD"));
    EXPECT_EQ(form.status, "Build ABCD.EXE complete!");
    auto out = dir.Read("ABCD.EXE");
    ExpectOnlyPackageChanged(out, firmware.size());
    const uint8_t* block = out.data() + shape.KeywordAt();
    EXPECT_EQ(std::memcmp(block + kVersionTagOffset, "ABCD\0\0\0\0", 8), 0);
    // The model field ends in zero bytes, not in the template's placeholder.
    for (size_t i = 9; i < kTextFieldSize; ++i) EXPECT_EQ(block[kModelOffset + i], 0) << i;
    // An image that itself starts with the marker makes another builder.
    EXPECT_TRUE(Record(out).IsTemplate());
}

TEST_F(Builder, KeywordIsFoundOnlyByAnUnbrokenMatch) {
    {
        SCOPED_TRACE("keyword right behind its own first letter");
        auto bytes = shape.Bytes();
        bytes[shape.KeywordAt() - 1] = 'F';
        WriteTemplate(bytes);
        dir.Write("X1AA.BIN", Firmware(10));
        EXPECT_FALSE(Build("X1AA.BIN"));
        EXPECT_EQ(Boxes(),
                  std::vector<std::string>{"Building fail: not found key-word in BUILDER.EXE"});
        EXPECT_EQ(dir.Read("X1AA.BIN.EXE").size(), 0u);  // name is "%4.4s": X1AA
        EXPECT_FALSE(dir.Exists("X1AA.EXE"));
        EXPECT_EQ(form.status, "Building X1AA.BIN  Please wait... ");
    }
    {
        SCOPED_TRACE("a broken partial match earlier");
        auto bytes = shape.Bytes();
        std::memcpy(bytes.data() + 10, "FWBLOCK-MARKEX", 14);
        WriteTemplate(bytes);
        dir.Write("X2AA.BIN", Firmware(10));
        EXPECT_TRUE(Build("X2AA.BIN"));
        ExpectOnlyPackageChanged(dir.Read("X2AA.EXE"), 10);
    }
}

TEST_F(Builder, TemplateWithoutKeywordIsReportedAndLeavesTheEarlierFile) {
    auto bytes = shape.Bytes();
    bytes[shape.KeywordAt() + 3] = 'l';
    WriteTemplate(bytes);
    dir.Write("ABCD.BIN", Firmware(10));
    EXPECT_FALSE(Build("ABCD.BIN"));
    EXPECT_EQ(Boxes(),
              std::vector<std::string>{"Building fail: not found key-word in BUILDER.EXE"});
    // A copy of the template would start as a builder: nothing is left.
    EXPECT_FALSE(dir.Exists("ABCD.EXE"));
    dir.Write("ABCD.EXE", std::string("an earlier build"));
    EXPECT_FALSE(Build("ABCD.BIN"));
    EXPECT_EQ(Text("ABCD.EXE"), "an earlier build");
    EXPECT_EQ(Listing(),
              (std::vector<std::string>{"ABCD.BIN", "ABCD.EXE", "BUILDER.EXE", "BUILDER.INI"}));
}

TEST_F(Builder, ImageMustEndWithinTheTemplate) {
    shape.imageArea = 5000;
    shape.after = 0;
    WriteTemplate();
    dir.Write("FITS.BIN", Firmware(5000));
    dir.Write("OVER.BIN", Firmware(5001));

    EXPECT_TRUE(Build("FITS.BIN"));
    ExpectOnlyPackageChanged(dir.Read("FITS.EXE"), 5000);

    EXPECT_FALSE(Build("OVER.BIN"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Building fail: some problem in BUILDER.EXE"});
    EXPECT_NE(form.status, "Build OVER.EXE complete!");
    EXPECT_FALSE(dir.Exists("OVER.EXE"));  // it would be longer than the template
}

TEST_F(Builder, FirmwareLargerThanTheImageAreaIsRefusedBeforeAnyOutput) {
    WriteTemplate();
    dir.Write("BIG1.BIN", Firmware(kImageAreaSize + 1));
    dir.Write("FULL.BIN", Firmware(kImageAreaSize));

    EXPECT_FALSE(Build("BIG1.BIN"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Firmware file BIG1.BIN is larger than the image area (327680 bytes)!"});
    EXPECT_FALSE(dir.Exists("BIG1.EXE"));

    EXPECT_TRUE(Build("FULL.BIN"));
    ExpectOnlyPackageChanged(dir.Read("FULL.EXE"), kImageAreaSize);
}

TEST_F(Builder, EmptyFirmwareFileIsRefusedAndNoFileIsWritten) {
    WriteTemplate();
    dir.Write("B2EM.HEX", std::vector<uint8_t>{});
    dir.Write("B2XX.HEX", std::vector<uint8_t>{});
    dir.Write("B2XX.EXE", std::string("an earlier build"));

    EXPECT_FALSE(Build("B2EM.HEX", 1));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Building fail: B2EM.HEX is empty (0 bytes)!"});
    EXPECT_FALSE(dir.Exists("B2EM.EXE"));
    EXPECT_NE(form.status, "Build B2EM.EXE complete!");

    // An existing output of that name is not replaced either.
    EXPECT_FALSE(Build("B2XX.HEX", 1));
    const std::string earlier = "an earlier build";
    EXPECT_EQ(dir.Read("B2XX.EXE"), std::vector<uint8_t>(earlier.begin(), earlier.end()));
}

TEST_F(Builder, RangeAFlasherCannotEnforceIsRefusedNamingSectionAndValue) {
    dir.Write("BUILDER.INI",
              "[MODEL00]\nModel=CDRW-A100\nInquiry=OPTIDRV CDRW-A100\nFW-Range=1A00-1A99\n"
              "BINMask=*.BIN\nVendor=OPTIDRV\nNote=\n"
              "[MODEL01]\nModel=DVDRW-B200\nInquiry=OPTIDRV DVDRW-B200\nFW-Range=2B00 to 2B40\n"
              "BINMask=*.HEX\nVendor=OPTIDRV\nNote=\n");
    WriteTemplate();
    dir.Write("B2AA.HEX", Firmware(1000));
    dir.Write("1A50.BIN", Firmware(1000));

    EXPECT_FALSE(Build("B2AA.HEX", 1));
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Building fail: FW-Range \"2B00 to 2B40\" of MODEL01 in " +
                           dir.File("BUILDER.INI") +
                           " is neither LLLL-HHHH nor any firmware ('-' as first and sixth "
                           "character)!"});
    EXPECT_FALSE(dir.Exists("B2AA.EXE"));
    EXPECT_EQ(form.status, "");  // nothing started

    // The well-formed model of the same catalogue still builds.
    EXPECT_TRUE(Build("1A50.BIN", 0));
    EXPECT_TRUE(dir.Exists("1A50.EXE"));
}

TEST(RangeShape, OnlyLowDashHighOrTheAnyFirmwareFormCanBePackaged) {
    for (const char* good : {"1A00-1A99", "2b00-2B4z", "----------", "-AAAA-BBB", "------"})
        EXPECT_TRUE(RangeCanBePackaged(good)) << good;
    for (const char* bad : {"2B00 to 2B40", "2B00-2B4", "2B00-2B400", "2B00_2B40", "", "-", "-----",
                            "-AAAA_BBB", "1A00--1A99"})
        EXPECT_FALSE(RangeCanBePackaged(bad)) << bad;
}

TEST_F(Builder, OpenAndCreateFailuresNameTheirFile) {
    WriteTemplate();
    dir.Write("GONE.BIN", Firmware(10));
    dir.Write("BUSY.BIN", Firmware(10));
    flash.FormCreate();
    std::filesystem::create_directory(dir.File("BUSY.EXE"));

    EXPECT_FALSE(Build("BUSY.BIN"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Create BUSY.EXE Fail"});

    // Removed after it was listed and clicked.
    EXPECT_TRUE(Build("GONE.BIN"));
    std::filesystem::remove(dir.File("GONE.BIN"));
    std::filesystem::remove(dir.File("GONE.EXE"));
    form.boxes.clear();
    flash.FlashButtonClick();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Open GONE.BIN fail!"});
    EXPECT_FALSE(dir.Exists("GONE.EXE"));

    std::filesystem::remove(dir.File("BUILDER.EXE"));
    dir.Write("TMPL.BIN", Firmware(10));
    flash.ComboBoxChange();  // re-list
    EXPECT_FALSE(Build("TMPL.BIN"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Open " + dir.File("BUILDER.EXE") + " fail!"});
    EXPECT_FALSE(dir.Exists("TMPL.EXE"));
}

TEST_F(Builder, WriteErrorIsAFailureNotACompletion) {
    // A disk that fills up part-way, on either family: the earlier flasher
    // of that name stays as it was, and the build leaves no file of its own.
    for (bool nine : {false, true}) {
        SCOPED_TRACE(nine ? "9x family" : "NT family");
        os.nineFamily = nine;
        WriteTemplate();
        dir.Write("FULL.BIN", Firmware(1000));
        dir.Write("FULL.EXE", std::string("an earlier build"));
        for (uint64_t after : {uint64_t(0), uint64_t(4096), uint64_t(templ.size() / 2),
                               uint64_t(templ.size() - 1)}) {
            os.failWriteAfter = after;
            EXPECT_FALSE(Build("FULL.BIN")) << after;
            EXPECT_EQ(Boxes(), std::vector<std::string>{"Building fail: write error in FULL.EXE"});
            EXPECT_NE(form.status, "Build FULL.EXE complete!");
            EXPECT_EQ(Text("FULL.EXE"), "an earlier build");
            EXPECT_EQ(Listing(), (std::vector<std::string>{"BUILDER.EXE", "BUILDER.INI", "FULL.BIN",
                                                           "FULL.EXE"}));
        }
        os.failWriteAfter = UINT64_MAX;
        os.failFlush = true;  // the last bytes do not reach the disk
        EXPECT_FALSE(Build("FULL.BIN"));
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Building fail: write error in FULL.EXE"});
        EXPECT_EQ(Text("FULL.EXE"), "an earlier build");
        os.failFlush = false;
        EXPECT_TRUE(os.moves.empty());  // nothing was moved
    }
}

TEST_F(Builder, TheNewFlasherTakesTheEarlierOnesPlaceOnlyWhenWhole) {
    WriteTemplate();
    dir.Write("2B20.BIN", Firmware(1000));
    dir.Write("2B20.EXE", std::string("an earlier build"));
    // A file of that kind left by a build the power cut off is passed over.
    dir.Write("~NF0000.TMP", std::string("left"));

    // NT family and Linux: one move over the earlier file.
    EXPECT_TRUE(Build("2B20.BIN"));
    ExpectOnlyPackageChanged(dir.Read("2B20.EXE"), 1000);
    EXPECT_EQ(Moves(), std::vector<std::string>{"MoveFileExA " + Slashed(dir.File("~NF0001.TMP")) +
                                                " -> " + Slashed(dir.File("2B20.EXE"))});
    EXPECT_EQ(Text("~NF0000.TMP"), "left");
    std::filesystem::remove(dir.File("~NF0000.TMP"));

    // 9x family: the earlier file moved aside, the new one in, the earlier deleted.
    os.nineFamily = true;
    os.moves.clear();
    dir.Write("2B20.EXE", std::string("an earlier build"));
    EXPECT_TRUE(Build("2B20.BIN"));
    ExpectOnlyPackageChanged(dir.Read("2B20.EXE"), 1000);
    const std::string tmp = Slashed(dir.File("~NF0000.TMP")), out = Slashed(dir.File("2B20.EXE")),
                      old = Slashed(dir.File("~NF0000.OLD"));
    EXPECT_EQ(Moves(), (std::vector<std::string>{"MoveFileA " + tmp + " -> " + out,
                                                 "MoveFileA " + out + " -> " + old,
                                                 "MoveFileA " + tmp + " -> " + out}));
    EXPECT_EQ(Listing(),
              (std::vector<std::string>{"2B20.BIN", "2B20.EXE", "BUILDER.EXE", "BUILDER.INI"}));

    // 9x family without an earlier file: one move.
    std::filesystem::remove(dir.File("2B20.EXE"));
    os.moves.clear();
    EXPECT_TRUE(Build("2B20.BIN"));
    EXPECT_EQ(Moves(), std::vector<std::string>{"MoveFileA " + tmp + " -> " + out});
    ExpectOnlyPackageChanged(dir.Read("2B20.EXE"), 1000);
}

TEST_F(Builder, AFlasherThatCannotBePutInPlaceLeavesTheEarlierOne) {
    WriteTemplate();
    dir.Write("2B20.BIN", Firmware(1000));
    const std::vector<std::string> files{"2B20.BIN", "2B20.EXE", "BUILDER.EXE", "BUILDER.INI"};
    for (bool nine : {false, true}) {
        SCOPED_TRACE(nine ? "9x family" : "NT family");
        os.nineFamily = nine;
        dir.Write("2B20.EXE", std::string("an earlier build"));
        // The earlier file in use (a running flasher), or a folder that refuses.
        os.failMove = true;
        EXPECT_FALSE(Build("2B20.BIN"));
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Create 2B20.EXE Fail"});
        EXPECT_NE(form.status, "Build 2B20.EXE complete!");
        EXPECT_EQ(Text("2B20.EXE"), "an earlier build");
        EXPECT_EQ(Listing(), files);
        os.failMove = false;
    }
    // 9x family: the earlier file moved aside, then the new one refused: put back.
    os.moves.clear();
    os.failMoveAt = 2;
    EXPECT_FALSE(Build("2B20.BIN"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Create 2B20.EXE Fail"});
    EXPECT_EQ(os.moves.size(), 4u);
    EXPECT_EQ(Text("2B20.EXE"), "an earlier build");
    EXPECT_EQ(Listing(), files);
}

TEST_F(Builder, ALaterLargerFirmwareGetsALargerBuffer) {
    WriteTemplate();
    dir.Write("SMAL.BIN", Firmware(1000, 3));
    dir.Write("LARG.BIN", Firmware(300000, 9));
    EXPECT_TRUE(Build("SMAL.BIN"));
    EXPECT_TRUE(Build("LARG.BIN"));
    EXPECT_GE(flash.ProfileCopy.size(), 300000u);
    auto out = dir.Read("LARG.EXE");
    ExpectOnlyPackageChanged(out, 300000);
    EXPECT_EQ(std::memcmp(out.data() + shape.ImageAt(), Firmware(300000, 9).data(), 300000), 0);
    // And a smaller one after it writes only its own bytes.
    EXPECT_TRUE(Build("SMAL.BIN"));
    ExpectOnlyPackageChanged(dir.Read("SMAL.EXE"), 1000);
}

// The file-level build that the command-line packer shares.
TEST(BuildFlasher, OutputMayReplaceTheFirmwareFileItself) {
    TempDir dir;
    TemplateFile shape;
    auto templ = shape.Bytes();
    dir.Write("T.EXE", templ);
    dir.Write("SAME.EXE", Firmware(4096));
    BuildRequest request;
    request.templatePath = dir.File("T.EXE");
    request.firmwarePath = request.outputPath = dir.File("SAME.EXE");
    request.keyword = reinterpret_cast<const uint8_t*>("FWBLOCK-MARKER");
    MakePackageBlock({"M", "I", "R", "V", "N"}, "SAME.EXE", 0, request.block);
    std::vector<uint8_t> image;
    uint32_t size = 0;
    FileOs os;
    ASSERT_EQ(BuildFlasher(os, request, image, size, {}), BuildOutcome::Complete);
    auto out = dir.Read("SAME.EXE");
    ASSERT_EQ(out.size(), templ.size() + kTrailerSize);
    EXPECT_EQ(std::memcmp(out.data() + shape.ImageAt(), Firmware(4096).data(), 4096), 0);
    EXPECT_EQ(PackageView(out.data() + shape.KeywordAt()).ImageSize(), 4096u);
}
}  // namespace
