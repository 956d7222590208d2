// The Linux front end's own decisions: the exit status of a flash, the
// command line, the package read from a file, and the terminal's framing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/linux/ExitStatus.h"
#include "app/linux/Options.h"
#include "app/linux/PackageFile.h"
#include "package/Package.h"
#include "host/linux/TerminalForm.h"
#include "tests/support/TempDir.h"

namespace {

TEST(ExitStatus, EachOutcomeOfAFlashHasItsOwnStatus) {
    FlashObservation seen;
    seen.packagedRevision = "1A50";
    seen.status = "Flash Completed.";
    EXPECT_EQ(kExitNothingSent, FlashExitStatus(seen)) << "the prompt was not answered Yes";
    seen.promptAccepted = true;
    seen.reportedRevision = "1A50";
    EXPECT_EQ(kExitDone, FlashExitStatus(seen));
    seen.reportedRevision = "1A10";
    EXPECT_EQ(kExitOldRevision, FlashExitStatus(seen));
    seen.reportedRevision = "";  // no identification after the flash
    EXPECT_EQ(kExitOldRevision, FlashExitStatus(seen));
    seen.status = "Flash Fail.";
    EXPECT_EQ(kExitCommitFailed, FlashExitStatus(seen));
    for (const char* before : {"Write BIN to drive's DRAM... , Fail! ",
                               "Read back and Verify drive's DRAM... , Compare BIN and DRAM Fail! ",
                               "Read back and Verify drive's DRAM... , Valid Profile Fail!", ""})
        EXPECT_EQ(kExitFailedBeforeCommit, (seen.status = before, FlashExitStatus(seen))) << before;
    EXPECT_EQ(5, int(kExitOldRevision) + 1) << "five distinct statuses, 0 to 4";
    EXPECT_NE(std::string::npos,
              ExitStatusAdvice(kExitCommitFailed, seen).find("run this flasher again"));
}

Options Parse(std::vector<const char*> args, bool* ok = nullptr, std::string* error = nullptr) {
    args.insert(args.begin(), "norvexflash");
    Options options;
    bool parsed = ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
    if (ok) *ok = parsed;
    return options;
}

TEST(Options, TheCommandLine) {
    bool ok;
    std::string error;
    Options o = Parse({"--device", "/dev/sg1", "--device=/dev/sr0", "--yes", "2B20.EXE"}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ((std::vector<std::string>{"/dev/sg1", "/dev/sr0"}), o.devices);
    EXPECT_TRUE(o.yes);
    EXPECT_EQ("2B20.EXE", o.file);
    o = Parse({"--model", "CDRW-A100", "--firmware", "1A50.BIN", "norvexflash.exe"}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ("CDRW-A100", o.model);
    EXPECT_EQ("1A50.BIN", o.firmware);
    EXPECT_TRUE(Parse({"--help"}, &ok).help && ok);

    struct {
        std::vector<const char*> args;
        const char* says;
    } const bad[] = {{{}, "no flasher"},
                     {{"--device"}, "needs a value"},
                     {{"--device="}, "needs a value"},
                     {{"--force", "A.EXE"}, "unknown option --force"},
                     {{"-y", "A.EXE"}, "unknown option -y"},
                     {{"--list=1", "A.EXE"}, "takes no value"},
                     {{"A.EXE", "B.EXE"}, "one file only"},
                     {{"--list", "--yes", "A.EXE"}, "--list"}};
    for (const auto& b : bad) {
        Parse(b.args, &ok, &error);
        EXPECT_FALSE(ok) << b.says;
        EXPECT_NE(std::string::npos, error.find(b.says)) << error;
    }
    EXPECT_EQ("-name.EXE", Parse({"--", "-name.EXE"}, &ok).file);
    EXPECT_NE(std::string::npos, HelpText().find("  3  the commit failed"));
}

TEST(PackageFile, TheRecordFromTheFirstKeywordOn) {
    TempDir dir;
    const uint8_t* keyword = PackageView(PackageRecord()).Keyword();
    std::vector<uint8_t> file(100, 0x4D);
    file.insert(file.end(), keyword, keyword + kKeywordSize);
    file.resize(file.size() + kPackageRecordSize - kKeywordSize, 0);
    file[100 + kModelOffset] = 'M';
    file.insert(file.end(), keyword, keyword + kKeywordSize);  // a later one is not the package
    dir.Write("A.EXE", file);
    std::vector<uint8_t> record;
    std::string error;
    ASSERT_TRUE(LoadPackageFile(dir.File("A.EXE"), record, &error)) << error;
    ASSERT_EQ(kPackageRecordSize, record.size());
    EXPECT_EQ("M", PackageView(record.data()).Model());

    file.resize(100 + kPackageRecordSize - 1);
    dir.Write("CUT.EXE", file);
    EXPECT_FALSE(LoadPackageFile(dir.File("CUT.EXE"), record, &error));
    EXPECT_NE(std::string::npos, error.find("runs past the end"));
    dir.Write("NONE.EXE", std::vector<uint8_t>(1000, 0));
    EXPECT_FALSE(LoadPackageFile(dir.File("NONE.EXE"), record, &error));
    EXPECT_NE(std::string::npos, error.find("not a flasher"));
    EXPECT_FALSE(LoadPackageFile(dir.File("ABSENT.EXE"), record, &error));
}

// The terminal with scripted input; what it printed.
struct Terminal {
    explicit Terminal(const std::string& input, bool redraw = false)
        : input_(input),
          in(input_.empty() ? std::fopen("/dev/null", "r")
                            : fmemopen(input_.data(), input_.size(), "r")),
          out(open_memstream(&buffer, &size)),
          form(in, out, redraw) {}
    ~Terminal() {
        std::fclose(in);
        std::fclose(out);
        std::free(buffer);
    }
    std::string Printed() {
        std::fflush(out);
        return std::string(buffer, size);
    }
    std::string input_;
    FILE* in;
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out;
    TerminalForm form;
};

TEST(TerminalForm, BoxesKeepTheirTextsFramedByTheirKind) {
    Terminal t("y\nno\n");
    EXPECT_EQ(BoxAnswer::Ok,
              t.form.MessageBox("Compare BIN and DRAM fail!", BoxKind::Plain, BoxButtons::Ok));
    EXPECT_EQ(BoxAnswer::Yes,
              t.form.MessageBox("\nWARNING:\n\nGo on?\n", BoxKind::Warning, BoxButtons::YesNo));
    EXPECT_EQ(BoxAnswer::No, t.form.MessageBox("\nUpdate FW:1A10 to FW:1A50 ?\n",
                                               BoxKind::Confirmation, BoxButtons::YesNo));
    EXPECT_EQ(BoxAnswer::No, t.form.MessageBox("Again?", BoxKind::Error, BoxButtons::YesNo))
        << "end of input";
    EXPECT_EQ(
        "[Message] Compare BIN and DRAM fail!\n"
        "[Warning]\nWARNING:\n\nGo on?\n[y/N] "
        "[Question] Update FW:1A10 to FW:1A50 ?\n[y/N] "
        "[Error] Again?\n[y/N] \n",
        t.Printed());
    ASSERT_EQ(4u, t.form.boxes.size());
    EXPECT_EQ("\nWARNING:\n\nGo on?\n", t.form.boxes[1].text) << "kept as the logic gave it";
}
TEST(TerminalForm, YesAnswersOneQuestionOnlyAndSaysSo) {
    Terminal t("");
    t.form.yesToNextQuestion = true;
    std::vector<BoxAnswer> after;
    t.form.afterQuestion = [&](BoxAnswer a) { after.push_back(a); };
    EXPECT_EQ(BoxAnswer::Yes, t.form.MessageBox("First?", BoxKind::Warning, BoxButtons::YesNo));
    EXPECT_EQ(BoxAnswer::No, t.form.MessageBox("Second?", BoxKind::Warning, BoxButtons::YesNo));
    EXPECT_EQ((std::vector<BoxAnswer>{BoxAnswer::Yes, BoxAnswer::No}), after);
    EXPECT_NE(std::string::npos, t.Printed().find("[y/N] y (--yes)\n"));
    // Windows line ends become the terminal's; a directory alias is given back.
    t.form.pathAlias = {"/tmp/norvexflash-x", "/home/u/dist"};
    t.form.MessageBox("Can't load /tmp/norvexflash-x/norvexflash.INI\r\n", BoxKind::Plain,
                      BoxButtons::Ok);
    EXPECT_NE(std::string::npos,
              t.Printed().find("[Message] Can't load /home/u/dist/norvexflash.INI\n"));
}

TEST(TerminalForm, OneLinePerPhaseWithoutATerminal) {
    Terminal t("");
    t.form.ProgressSetRange(0, 100);
    t.form.SetStatus("Write BIN to drive's DRAM... ");
    t.form.RepaintStatus();
    for (int p = 0; p <= 100; p += 10) t.form.ProgressSetPosition(p);
    t.form.RepaintStatus();  // the same text again
    t.form.SetStatus("Flash Completed.");
    t.form.RepaintStatus();
    EXPECT_EQ("Write BIN to drive's DRAM... \nFlash Completed.\n", t.Printed());
}

TEST(TerminalForm, OnATerminalTheStatusLineRedrawsInPlace) {
    Terminal t("", true);
    t.form.ProgressSetRange(0, 200);
    t.form.SetStatus("Don't turn off the system, Flash is in progress...");
    t.form.RepaintStatus();
    t.form.ProgressSetPosition(198);
    t.form.ProgressSetPosition(198);  // no change: not drawn again
    t.form.SetStatus("Flash Completed.");
    t.form.RepaintStatus();
    t.form.ProgressSetPosition(0);  // back at the start: no bar
    t.form.Say("done");
    EXPECT_EQ(
        "\r\033[KDon't turn off the system, Flash is in progress..."
        "\r\033[KDon't turn off the system, Flash is in progress... [###################.] 99%"
        "\r\033[KFlash Completed. [###################.] 99%"
        "\r\033[KFlash Completed.\ndone\n",
        t.Printed());
}

TEST(TerminalForm, ALineThatStandsLongShowsForHowLong) {
    Terminal t("", true);
    t.form.ProgressSetRange(0, 200);
    t.form.ProgressSetPosition(198);
    t.form.SetStatus("Don't turn off the system, Flash is in progress...");
    t.form.RepaintStatus();
    const auto drawn = std::chrono::steady_clock::now();
    const std::string line =
        "\r\033[KDon't turn off the system, Flash is in progress... [###################.] 99%";
    t.form.Tick(drawn + std::chrono::seconds(1));  // too soon: nothing
    t.form.Tick(drawn + std::chrono::seconds(5));
    t.form.Tick(drawn + std::chrono::milliseconds(5500));  // the same second: nothing
    t.form.Tick(drawn + std::chrono::seconds(6));
    EXPECT_EQ(line + line + "  5 s" + line + "  6 s", t.Printed());
    t.form.EndLine();
    t.form.Tick(drawn + std::chrono::seconds(9));  // no line open: nothing
    EXPECT_EQ(line + line + "  5 s" + line + "  6 s\n", t.Printed());
}

}  // namespace
