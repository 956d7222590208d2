// Tests of the builder's start: the catalogue, the model list and the file list.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/FlashForm.h"
#include "package/FileMask.h"
#include "host/ini/IniReader.h"
#include "tests/support/FakeForm.h"
#include "tests/support/FileOs.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPackage.h"

namespace {
const char* kTwoModels =
    "[MODEL00]\nModel=CDRW-A100\nInquiry=OPTIDRV CDRW-A100\nFW-Range=1A00-1A99\n"
    "BINMask=A1*.BIN\nVendor=OPTIDRV\nNote=\n\n"
    "[MODEL01]\nModel=DVDRW-B200\nInquiry=OPTIDRV DVDRW-B200\nFW-Range=2B00-2B40\n"
    "BINMask=B2*.BIN;B2*.HEX\nVendor=OPTIDRV\nNote=FLASH-ALL\n";

std::string Section(int index, const std::string& model, const std::string& mask = "*.BIN") {
    char name[16];
    std::snprintf(name, sizeof name, "[MODEL%02d]\n", index);
    return std::string(name) + "Model=" + model + "\nInquiry=INQ " + model +
           "\nFW-Range=" + std::to_string(1000 + index) + "-" + std::to_string(2000 + index) +
           "\nBINMask=" + mask + "\nVendor=VEND\nNote=note\n";
}

class Catalogue : public ::testing::Test {
  protected:
    TempDir dir;
    FakeForm form;
    FileOs os;
    TestPackage package;
    std::string exePath = dir.File("BUILDER.EXE");
    std::string iniPath = dir.File("BUILDER.INI");
    TFlashForm flash{form, os, package.Record(), exePath};

    Catalogue() {
        std::memcpy(package.Image(), "TMPL", 4);
        os.currentDirectory = dir.Path();
    }
    void Start(const std::string& catalogue) {
        dir.Write("BUILDER.INI", catalogue);
        flash.FormCreate();
    }
    void Choose(int index) {
        form.ComboSetIndex(index);
        flash.ComboBoxChange();
    }
    void Click(const std::string& name) {
        for (size_t i = 0; i < form.files.size(); ++i)
            if (form.files[i] == name) form.fileIndex = int(i);
        flash.FileListBox1Click();
    }
    void ExpectRefused(const std::string& message) {
        ASSERT_EQ(form.BoxTexts(), std::vector<std::string>{message});
        EXPECT_EQ(form.boxes[0].kind, BoxKind::Plain);
        EXPECT_EQ(form.boxes[0].buttons, BoxButtons::Ok);
        EXPECT_TRUE(form.quitPosted);
        EXPECT_EQ(form.exitCode, 0);
        EXPECT_NE(form.buttonCaption, "Build");
        EXPECT_NE(form.label, "Select Model: ");
    }
};

TEST_F(Catalogue, TwoModelsStartInBuilderRoleWithTheFirstSelected) {
    for (auto name : {"a1x.bin", "A1Y.BIN", "A1Z.HEX", "B2Q.BIN", "notes.txt"})
        dir.Write(name, "x");
    std::filesystem::create_directory(dir.File("A1DIR.BIN"));
    Start(kTwoModels);

    EXPECT_TRUE(flash.BuilderMode);
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_FALSE(form.quitPosted);
    EXPECT_EQ(form.combo, (std::vector<std::string>{"1A00-1A99 OPTIDRV CDRW-A100",
                                                    "2B00-2B40 OPTIDRV DVDRW-B200"}));
    EXPECT_EQ(form.comboIndex, 0);
    EXPECT_EQ(form.label, "Select Model: ");
    EXPECT_EQ(form.buttonCaption, "Build");
    EXPECT_FALSE(form.buttonEnabled);
    EXPECT_TRUE(form.fileListVisible);
    EXPECT_EQ(form.caption, std::string(kVersionCaption) + "1A00-1A99 [Buiding]");
    EXPECT_EQ(form.files, (std::vector<std::string>{"a1x.bin", "A1Y.BIN"}));

    EXPECT_EQ(flash.InquiryList[0], "OPTIDRV CDRW-A100       ");
    // MODEL02 was read too: its "FAIL" values stay behind as a trailing entry.
    EXPECT_EQ(flash.NoteList, (std::vector<std::string>{"", "FLASH-ALL", "FAIL"}));
    EXPECT_EQ(flash.MaskList[1], "B2*.BIN;B2*.HEX");
}

TEST_F(Catalogue, ModelChangeAndFileClickDriveTheBuildButton) {
    for (auto name : {"A1X.BIN", "b2a.hex", "B2B.BIN", "B3C.BIN"}) dir.Write(name, "x");
    Start(kTwoModels);

    Click("A1X.BIN");
    EXPECT_EQ(flash.FirmwareFileName, "A1X.BIN");
    EXPECT_TRUE(form.buttonEnabled);

    Choose(1);
    EXPECT_EQ(form.files, (std::vector<std::string>{"b2a.hex", "B2B.BIN"}));
    EXPECT_EQ(form.fileIndex, -1);
    EXPECT_EQ(form.caption, std::string(kVersionCaption) + "2B00-2B40 [Buiding]");
    EXPECT_FALSE(form.buttonEnabled);
    EXPECT_EQ(flash.FirmwareFileName, "A1X.BIN");  // kept until the next click

    Click("B2B.BIN");
    EXPECT_EQ(flash.FirmwareFileName, "B2B.BIN");
    EXPECT_TRUE(form.buttonEnabled);
}

TEST_F(Catalogue, TypedTextSelectsNoModelAndNothingCanBeBuilt) {
    dir.Write("A1X.BIN", "x");
    Start(kTwoModels);
    Click("A1X.BIN");

    Choose(-1);
    EXPECT_TRUE(form.files.empty());
    EXPECT_FALSE(form.buttonEnabled);
    EXPECT_EQ(form.caption, kVersionCaption);

    EXPECT_FALSE(flash.NewBuildFlashProgram());
    EXPECT_EQ(form.BoxTexts(), std::vector<std::string>{"Select a model from the list first!"});
    EXPECT_FALSE(dir.Exists("A1X..EXE"));
    EXPECT_FALSE(dir.Exists("A1X.EXE"));
}

TEST_F(Catalogue, OneSectionIsACatalogue) {
    Start(Section(0, "ONLY"));
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_EQ(form.combo, std::vector<std::string>{"1000-2000 INQ ONLY"});
    EXPECT_EQ(form.comboIndex, 0);
    EXPECT_EQ(os.profileReads, 12);  // MODEL01 ends it at its missing Model
}

TEST_F(Catalogue, AGapEndsTheCatalogue) {
    Start(Section(0, "A") + Section(1, "B") + Section(3, "D"));
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_EQ(form.combo.size(), 2u);
    EXPECT_EQ(os.profileReads, 18);
}

TEST_F(Catalogue, AtMostAHundredSectionsAreRead) {
    std::string all;
    for (int i = 0; i <= 100; ++i) all += Section(i, "M" + std::to_string(i));
    Start(all);
    EXPECT_TRUE(form.boxes.empty());
    ASSERT_EQ(form.combo.size(), 100u);
    EXPECT_EQ(form.combo.back(), "1099-2099 INQ M99");
    EXPECT_EQ(os.profileReads, 600);
}

TEST_F(Catalogue, EmptyValuesAndSmallFailAreOrdinaryValues) {
    Start("[model00]\nMODEL=fail\ninquiry=\nfw-range=\nbinmask=\nVENDOR=\nnote=fail\n");
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_EQ(form.combo, std::vector<std::string>{" "});
    EXPECT_EQ(flash.ModelList[0], "fail");
    EXPECT_EQ(flash.InquiryList[0], std::string(24, ' '));
    EXPECT_EQ(flash.NoteList[0], "fail");
}

TEST_F(Catalogue, StoredFormsCutAndPadButNeverShortenTheMask) {
    const std::string longMask = "A1*.BIN;A2*.BIN;A3*.BIN;A4*.BIN;A5*.BIN;XYZ*.HEX";
    Start(
        "[MODEL00]\nModel=  ABCDEFGHIJKLMNOPQRSTUVWXYZ0123  \nInquiry=OPTIDRV CDRW-A100\n"
        "FW-Range=1A00-1A99-AND-MUCH-MORE-TEXT\nBINMask=" +
        longMask + "\nVendor=VENDOR-NAME-LONGER-THAN-24\nNote=N\n");
    EXPECT_EQ(flash.ModelList[0], "ABCDEFGHIJKLMNOPQRSTUVWX");
    EXPECT_EQ(flash.InquiryList[0], "OPTIDRV CDRW-A100       ");
    EXPECT_EQ(flash.RangeList[0], "1A00-1A99-AND-MUCH-MORE-");
    EXPECT_EQ(flash.VendorList[0], "VENDOR-NAME-LONGER-THAN-");
    EXPECT_EQ(flash.MaskList[0], longMask);
    // The list item shows the values as read.
    EXPECT_EQ(form.combo[0], "1A00-1A99-AND-MUCH-MORE-TEXT OPTIDRV CDRW-A100");
}

TEST_F(Catalogue, MissingCatalogueIsRefused) {
    flash.FormCreate();
    ExpectRefused("Can't load " + iniPath);
    EXPECT_TRUE(flash.ModelList.empty());
}

TEST_F(Catalogue, FirstSectionWithoutModelIsRefused) {
    Start("[MODEL00]\nInquiry=X\n[MODEL01]\n" + Section(1, "B").substr(10));
    ExpectRefused(iniPath + " > Session MODEL00 error!");
}

TEST_F(Catalogue, LaterIncompleteSectionIsRefusedNamingIt) {
    Start(Section(0, "A") + Section(1, "B") +
          "[MODEL02]\nModel=C\nInquiry=I\nFW-Range=R\n"
          "BINMask=M\nVendor=FAIL\nNote=N\n");
    ExpectRefused(iniPath + " > Session MODEL02 error!");
    // The stopping section's values stay as a trailing entry.
    EXPECT_EQ(flash.ModelList.size(), 3u);
    EXPECT_EQ(flash.VendorList.back(), "FAIL");
    EXPECT_EQ(form.combo.size(), 2u);
}

TEST_F(Catalogue, LongStartDirectoryIsListed) {
#ifdef _WIN32
    GTEST_SKIP() << "a Windows current directory is at most MAX_PATH long";
#endif
    std::string deep = dir.Path() + "/" + std::string(200, 'd') + "/" + std::string(200, 'e');
    std::filesystem::create_directories(deep);
    std::ofstream(deep + "/A1LONG.BIN") << "x";
    os.currentDirectory = deep;
    Start(kTwoModels);
    EXPECT_EQ(form.files, std::vector<std::string>{"A1LONG.BIN"});
}

// The profile reader that stands in for the Windows call natively.
class ProfileReader : public ::testing::Test {
  protected:
    TempDir dir;
    std::string Read(const std::string& text, const char* section, const char* key,
                     uint32_t size = 2048, uint32_t* length = nullptr) {
        dir.Write("t.ini", text);
        std::vector<char> buffer(size + 1, '#');
        uint32_t n =
            ReadProfileString(section, key, "DEF", buffer.data(), size, dir.File("t.ini").c_str());
        if (length) *length = n;
        EXPECT_EQ(n, std::strlen(buffer.data()));
        EXPECT_EQ(buffer[size], '#');  // nothing written past the buffer
        return buffer.data();
    }
};

TEST_F(ProfileReader, NamesIgnoreCaseAndBlanksAroundValuesAreDropped) {
    const std::string ini = "; comment\r\n  [ Sec ]  \r\nother=1\r\n  KeY  =  some value \t\r\n";
    EXPECT_EQ(Read(ini, "SEC", "key"), "some value");
    EXPECT_EQ(Read(ini, "sec", "OTHER"), "1");
    EXPECT_EQ(Read("[A]\nk=\"quoted \"\n", "a", "k"), "quoted ");
    EXPECT_EQ(Read("[A]\nk=  \n", "A", "k"), "");
}

TEST_F(ProfileReader, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(Read("[A]\nk=v\n", "B", "k"), "DEF");
    EXPECT_EQ(Read("[A]\nk=v\n[B]\nj=w\n", "B", "k"), "DEF");
    EXPECT_EQ(Read("k=v\n", "A", "k"), "DEF");
    char buffer[8];
    EXPECT_EQ(ReadProfileString("A", "k", "FAIL", buffer, 8, dir.File("none.ini").c_str()), 4u);
    EXPECT_STREQ(buffer, "FAIL");
}

TEST_F(ProfileReader, ValuesUpTo2047CharactersAndLongLines) {
    uint32_t n = 0;
    std::string v2047(2047, 'v');
    EXPECT_EQ(Read("[A]\nk=" + v2047 + "\n", "A", "k", 2048, &n), v2047);
    EXPECT_EQ(n, 2047u);
    EXPECT_EQ(Read("[A]\nk=" + std::string(5000, 'w') + "\n", "A", "k", 2048, &n),
              std::string(2047, 'w'));
    EXPECT_EQ(Read("[A]\nk=abcdef\n", "A", "k", 4), "abc");
    const std::string longLine = "junk=" + std::string(200000, 'j') + "\n";
    EXPECT_EQ(Read("[A]\n" + longLine + "k=after\n", "A", "k"), "after");
}

TEST_F(ProfileReader, NulBytesDoNotBreakTheReader) {
    std::string ini = "[A]\nk=ab";
    ini += '\0';
    ini += "cd\n";
    ini += std::string("j\0unk=1\n", 8);
    ini += "m=ok\n";
    EXPECT_EQ(Read(ini, "A", "k"), "ab");
    EXPECT_EQ(Read(ini, "A", "m"), "ok");
}

TEST(FileMask, WildcardsCaseAndSeveralMasks) {
    EXPECT_TRUE(MatchesMask("a1x.bin", "A1*.BIN"));
    EXPECT_TRUE(MatchesMask("A1.BIN", "A1*.BIN"));
    EXPECT_FALSE(MatchesMask("A1X.BINX", "A1*.BIN"));
    EXPECT_TRUE(MatchesMask("ABC.BIN", "A?C.BIN"));
    EXPECT_FALSE(MatchesMask("AC.BIN", "A?C.BIN"));
    EXPECT_TRUE(MatchesMask("xaxxbyb", "*a*b"));
    EXPECT_FALSE(MatchesMask("xaxxbyc", "*a*b"));
    EXPECT_TRUE(MatchesMask("README", "*.*"));
    EXPECT_TRUE(MatchesMask("fw", "FW.*"));
    EXPECT_FALSE(MatchesMask("fwx", "FW.*"));
    EXPECT_TRUE(MatchesAnyMask("B2A.HEX", "B2*.BIN;B2*.HEX"));
    EXPECT_FALSE(MatchesAnyMask("B3A.HEX", "B2*.BIN;B2*.HEX"));
    EXPECT_FALSE(MatchesAnyMask("x", ""));
    EXPECT_FALSE(MatchesAnyMask("x", ";;"));
}
}  // namespace
