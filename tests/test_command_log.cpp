// The command log: what a flasher run leaves in it on both simulated roads,
// line by line against what was sent, and that it never changes a run.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "app/LoggedForm.h"
#include "app/RunLog.h"
#include "drive/CommandLog.h"
#include "sim/AspiService.h"
#include "tests/support/FlasherRig.h"

namespace {
const char* kExe = "C:\\FLASH\\A150.EXE";
const char* kLog = "C:\\FLASH\\A150.LOG";

// A flasher rig whose form and drive layer write the command log.
struct LogRig : FlasherRig {
    LoggedForm logged{form};
    bool opened = false;

    explicit LogRig(bool aspi, uint32_t commandMicros = 1500) : FlasherRig(aspi) {
        os.commandMicros = commandMicros;
        AddDrive(Model("1A10"));
        SetImage(262144);
    }
    void Run(BoxAnswer answer = BoxAnswer::Yes) {
        CDDrive::Attach(&os, &logged);
        opened = OpenFlasherLog(os, PackageView(pkg.Record()), kExe);
        form.answers = {BoxAnswer::Yes};
        window = std::make_unique<TFlashForm>(logged, os, pkg.Record(), kExe);
        window->FormCreate();
        form.answers = {answer};
        window->FlashButtonClick();
        window->FormDestroy();
    }
    std::vector<std::string> Lines(const std::string& name = kLog) {
        std::vector<std::string> lines;
        std::istringstream in(os.files[name]);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();  // the Windows build's
            lines.push_back(line);
        }
        return lines;
    }
    // The log's lines of one kind, without their time.
    std::vector<std::string> Of(const std::string& kind) {
        std::vector<std::string> out;
        for (const std::string& line : Lines()) {
            const size_t at = line.find(' ', line.find_first_not_of(' '));
            if (line.compare(at + 1, kind.size() + 1, kind + " ") == 0)
                out.push_back(line.substr(at + 2 + kind.size()));
        }
        return out;
    }
};

std::string TraceText(const std::string& address, const TraceEntry& e) {
    const std::string line = TraceLine(0, 0, e.cdb, e.dataIn, e.length);
    return address + line.substr(line.find(' '));
}
// The trace line of a command, with its drive's address as the log writes it.
std::string TraceText(const TraceEntry& e) {
    if (e.letter != ' ') return TraceText(std::string(1, e.letter) + ":", e);
    return TraceLine(e.ha, e.target, e.cdb, e.dataIn, e.length);
}

// Each command line carries the trace line of the same command, in order.
void ExpectCommandsMatchTrace(LogRig& rig) {
    const std::vector<std::string> cmds = rig.Of("cmd");
    ASSERT_EQ(cmds.size(), rig.os.trace.size());
    for (size_t i = 0; i < cmds.size(); ++i)
        EXPECT_EQ(cmds[i].rfind(TraceText(rig.os.trace[i]) + " took ", 0), 0u) << cmds[i];
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
}
}  // namespace

TEST(CommandLog, GoodFlashOnBothRoads) {
    for (bool aspi : {true, false}) {
        SCOPED_TRACE(aspi ? "aspi" : "pass-through");
        LogRig rig(aspi);
        rig.Run();
        ASSERT_TRUE(rig.opened);
        ASSERT_EQ(rig.form.status, "Flash Completed.");
        ExpectCommandsMatchTrace(rig);

        const std::vector<std::string> lines = rig.Lines();
        ASSERT_GE(lines.size(), 4u);
        EXPECT_EQ(lines[0], "     0.000 start 2026-01-02 03:04:05, norvexflash " NORVEX_VERSION
                            ", Flash Utility V1.048A");
        EXPECT_EQ(lines[1].substr(11),
                  "package model \"CDRW-A100\", identification \"OPTIDRV CDRW-A100       \", "
                  "range \"1A00-1A99\", revision \"1A50\", layout plain, image 262144 bytes");
        EXPECT_EQ(lines[2].substr(11),
                  aspi ? "system Windows 9x family 6.0, road ASPI (WNASPI32.DLL)"
                       : "system Windows NT family 6.0, road SCSI pass-through");
        ASSERT_EQ(rig.Of("drive").size(), 1u);
        EXPECT_NE(rig.Of("drive")[0].find("\" eligible"), std::string::npos);

        // Every command's own time is the virtual drive's 1.5 ms; all of
        // the drive's good, the scan's empty addresses answered by the layer.
        const std::string drive = aspi ? "0:0 " : "D: ";
        for (const std::string& c : rig.Of("cmd")) {
            EXPECT_NE(c.find(" took 1.500 ms: "), std::string::npos) << c;
            if (c.rfind(drive + "00 ", 0) == 0) continue;  // readiness: no disc is right
            if (c.rfind(drive, 0) == 0)
                EXPECT_NE(c.find(" ms: good"), std::string::npos) << c;
            else
                EXPECT_NE(c.find(" ms: SS_"), std::string::npos) << c;
        }
        // Each box with its answer, the status texts, the end.
        const std::vector<std::string> boxes = rig.Of("box"), answers = rig.Of("answer");
        ASSERT_EQ(boxes.size(), rig.form.boxes.size());
        ASSERT_EQ(answers.size(), boxes.size());
        EXPECT_EQ(boxes[0].rfind("warning \"\\nWARNING:\\n", 0), 0u);
        EXPECT_EQ(answers[0], "Yes");
        EXPECT_EQ(rig.Of("status").back(), "Flash Completed.");
        EXPECT_EQ(rig.Of("end"), std::vector<std::string>{"status \"Flash Completed.\""});
        // Times never go back.
        double last = 0;
        for (const std::string& l : lines) {
            const double t = std::stod(l.substr(0, 10));
            EXPECT_GE(t, last) << l;
            last = t;
        }
    }
}

TEST(CommandLog, FailedDownloadCarriesTheSenseInWords) {
    for (bool aspi : {true, false}) {
        SCOPED_TRACE(aspi ? "aspi" : "pass-through");
        LogRig rig(aspi);
        VirtualDrive& d = aspi ? *rig.os.AspiDriveAt(0, 0) : *rig.os.DriveAt('D');
        d.FailWithSenseWhen(0x3B, 2, 9, 0x00, 0x03, 0x0C, 0x00);
        rig.Run();
        ExpectCommandsMatchTrace(rig);
        const std::string last = rig.Of("cmd").back();
        EXPECT_EQ(last.rfind(TraceText(rig.os.trace.back()), 0), 0u);
        EXPECT_NE(last.find(std::string(aspi ? "SS_ERR (04)" : "CHECK CONDITION (02)") +
                            ", sense 03 0C 00 MEDIUM ERROR, WRITE ERROR"),
                  std::string::npos)
            << last;
        // The box the user saw, right after the command, then its answer.
        const std::string all = Joined(rig.Lines());
        EXPECT_NE(all.find("box plain \"Write Buffer> 03 0C 00."), std::string::npos) << all;
        EXPECT_EQ(rig.Of("end").back(), "status \"Write BIN to drive's DRAM... , Fail! \"");
        for (const std::string& c : rig.Of("cmd"))
            EXPECT_FALSE(c.find(" 80 00 00 out ") != std::string::npos && c.find("3B 05") == 0);
    }
}

TEST(CommandLog, RefusedCommitAndTimeOut) {
    for (bool aspi : {true, false}) {
        SCOPED_TRACE(aspi ? "aspi" : "pass-through");
        LogRig rig(aspi);
        VirtualDrive& d = aspi ? *rig.os.AspiDriveAt(0, 0) : *rig.os.DriveAt('D');
        d.FailWithSenseWhen(0x3B, 1, 9, 0x80, 0x05, 0x24, 0x00);
        rig.Run();
        ExpectCommandsMatchTrace(rig);
        ASSERT_TRUE(IsCommit(rig.os.trace.back()));
        EXPECT_NE(rig.Of("cmd").back().find("sense 05 24 00 ILLEGAL REQUEST, INVALID FIELD IN CDB"),
                  std::string::npos)
            << rig.Of("cmd").back();
    }
    for (bool aspi : {true, false}) {
        SCOPED_TRACE(aspi ? "aspi time-out" : "pass-through time-out");
        LogRig rig(aspi);
        VirtualDrive& d = aspi ? *rig.os.AspiDriveAt(0, 0) : *rig.os.DriveAt('D');
        d.TimeOut(0x3C, 1);
        rig.Run();
        ExpectCommandsMatchTrace(rig);
        const std::string last = rig.Of("cmd").back();
        if (aspi) {
            // The wait's full time-out is the command's own time.
            EXPECT_NE(last.find(" took 60001.500 ms: no answer in time (SS_PENDING)"),
                      std::string::npos)
                << last;
        } else {
            EXPECT_NE(last.find("transport failed, error 121 The semaphore timeout period has "
                                "expired."),
                      std::string::npos)
                << last;
        }
    }
}

TEST(CommandLog, NeverChangesTheRunAndFallsBackToTheTemporaryFolder) {
    for (bool aspi : {true, false}) {
        SCOPED_TRACE(aspi ? "aspi" : "pass-through");
        FlasherRig plain(aspi);
        plain.AddDrive(FlasherRig::Model("1A10"));
        plain.SetImage(262144);
        plain.Start();
        plain.Flash();
        plain.window->FormDestroy();
        std::vector<std::string> shown;
        for (const auto& b : plain.form.BoxTexts()) shown.push_back(b);

        // The flasher's folder cannot be written: the temporary folder.
        LogRig beside(aspi);
        beside.os.readOnlyFolders = {"C:\\FLASH\\"};
        beside.Run();
        EXPECT_TRUE(beside.opened);
        EXPECT_EQ(beside.os.files.count(kLog), 0u);
        EXPECT_FALSE(beside.Lines("C:\\WINDOWS\\TEMP\\A150.LOG").empty());

        // Neither can: no log, and the same run.
        LogRig none(aspi);
        none.os.readOnlyFolders = {"C:\\FLASH\\", "C:\\WINDOWS\\"};
        none.Run();
        EXPECT_FALSE(none.opened);
        EXPECT_TRUE(none.os.files.empty());
        // Writes that fail part-way: the log is left out, the run goes on.
        LogRig failing(aspi);
        failing.os.failWrites = true;
        failing.Run();

        for (LogRig* rig : {&beside, &none, &failing}) {
            EXPECT_EQ(rig->form.status, "Flash Completed.");

            ASSERT_EQ(rig->os.trace.size(), plain.os.trace.size());
            for (size_t i = 0; i < rig->os.trace.size(); ++i)
                EXPECT_EQ(TraceText("", rig->os.trace[i]), TraceText("", plain.os.trace[i]));
        }
        // Boxes: the warning and the prompt are the rig's; the flash's boxes alike.
        std::vector<std::string> logged;
        for (const auto& b : failing.form.BoxTexts()) logged.push_back(b);
        ASSERT_GE(logged.size(), shown.size());
        EXPECT_TRUE(std::equal(shown.begin(), shown.end(), logged.end() - long(shown.size())));
    }
}

TEST(CommandLog, GrowsAcrossRuns) {
    LogRig first(false);
    first.Run();
    const std::string once = first.os.files[kLog];
    // The second run of the same flasher on the same system appends.
    LogRig second(false);
    second.os.files[kLog] = once;
    second.Run();
    const std::string twice = second.os.files[kLog];
    EXPECT_EQ(twice.compare(0, once.size(), once), 0);
    EXPECT_GT(twice.size(), once.size() + once.size() / 2);
    EXPECT_EQ(second.Of("start").size(), 2u);
}

TEST(CommandLog, TheBuilderWritesNone) {
    LogRig rig(false);
    std::memcpy(rig.pkg.Image(), "TMPL", 4);
    EXPECT_FALSE(OpenFlasherLog(rig.os, PackageView(rig.pkg.Record()), kExe));
    EXPECT_FALSE(gCommandLog.Active());
    EXPECT_TRUE(rig.os.files.empty());
}

TEST(CommandLog, LogSitsBesideTheFlasherNamedAfterIt) {
    EXPECT_EQ(LogPathBeside("C:\\FLASH\\2B20.EXE"), "C:\\FLASH\\2B20.LOG");
    EXPECT_EQ(LogPathBeside("D:\\X.Y\\FLASHER"), "D:\\X.Y\\FLASHER.LOG");
    EXPECT_EQ(LogPathBeside("/home/u/2b20.exe"), "/home/u/2b20.LOG");
    EXPECT_EQ(ProgramVersion(), NORVEX_VERSION ", Flash Utility V1.048A");
}

TEST(CommandLog, NamesEverySenseKeyAndTheListedCodes) {
    const char* keys[16] = {
        "NO SENSE",       "RECOVERED ERROR", "NOT READY",      "MEDIUM ERROR",
        "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
        "BLANK CHECK",    "VENDOR SPECIFIC", "COPY ABORTED",   "ABORTED COMMAND",
        "EQUAL",          "VOLUME OVERFLOW", "MISCOMPARE",     "COMPLETED"};
    for (int k = 0; k < 16; ++k) EXPECT_STREQ(SenseKeyName(uint8_t(k)), keys[k]);
    EXPECT_EQ(SenseKeyName(16), nullptr);

    struct Code {
        uint8_t asc, ascq;
        const char* name;
    };
    const Code codes[] = {
        {0x04, 0x00, "LOGICAL UNIT NOT READY, CAUSE NOT REPORTABLE"},
        {0x04, 0x01, "LOGICAL UNIT IS IN PROCESS OF BECOMING READY"},
        {0x04, 0x02, "LOGICAL UNIT NOT READY, INITIALIZING COMMAND REQUIRED"},
        {0x04, 0x03, "LOGICAL UNIT NOT READY, MANUAL INTERVENTION REQUIRED"},
        {0x04, 0x07, "LOGICAL UNIT NOT READY, OPERATION IN PROGRESS"},
        {0x04, 0x08, "LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS"},
        {0x3A, 0x00, "MEDIUM NOT PRESENT"},
        {0x3A, 0x01, "MEDIUM NOT PRESENT - TRAY CLOSED"},
        {0x3A, 0x02, "MEDIUM NOT PRESENT - TRAY OPEN"},
        {0x20, 0x00, "INVALID COMMAND OPERATION CODE"},
        {0x24, 0x00, "INVALID FIELD IN CDB"},
        {0x1A, 0x00, "PARAMETER LIST LENGTH ERROR"},
        {0x26, 0x00, "INVALID FIELD IN PARAMETER LIST"},
        {0x26, 0x01, "PARAMETER NOT SUPPORTED"},
        {0x26, 0x02, "PARAMETER VALUE INVALID"},
        {0x29, 0x00, "POWER ON, RESET, OR BUS DEVICE RESET OCCURRED"},
        {0x29, 0x01, "POWER ON OCCURRED"},
        {0x28, 0x00, "NOT READY TO READY CHANGE, MEDIUM MAY HAVE CHANGED"},
        {0x44, 0x00, "INTERNAL TARGET FAILURE"},
        {0x2C, 0x00, "COMMAND SEQUENCE ERROR"},
        {0x0C, 0x00, "WRITE ERROR"},
        {0x11, 0x00, "UNRECOVERED READ ERROR"},
        {0x1D, 0x00, "MISCOMPARE DURING VERIFY OPERATION"},
        {0x3F, 0x01, "MICROCODE HAS BEEN CHANGED"},
        {0x00, 0x00, "NO ADDITIONAL SENSE INFORMATION"},
    };
    for (const Code& c : codes) EXPECT_STREQ(AdditionalSenseName(c.asc, c.ascq), c.name);
    // Every listed code once.
    for (size_t i = 0; i < std::size(kAdditionalSenses); ++i)
        for (size_t j = i + 1; j < std::size(kAdditionalSenses); ++j)
            EXPECT_FALSE(kAdditionalSenses[i].asc == kAdditionalSenses[j].asc &&
                         kAdditionalSenses[i].ascq == kAdditionalSenses[j].ascq)
                << kAdditionalSenses[i].name;

    // Unknown codes in hexadecimal, never under a neighbour's name.
    EXPECT_EQ(AdditionalSenseName(0x04, 0x99), nullptr);
    EXPECT_EQ(DescribeSense(0x05, 0x99, 0x42),
              "sense 05 99 42 ILLEGAL REQUEST, unknown additional sense 99/42");
    EXPECT_EQ(DescribeSense(0x02, 0x04, 0x01),
              "sense 02 04 01 NOT READY, LOGICAL UNIT IS IN PROCESS OF BECOMING READY");
    EXPECT_EQ(DescribeSense(0x20, 0x00, 0x00),
              "sense 20 00 00 NO SENSE (flag bits 20), NO ADDITIONAL SENSE INFORMATION");
}
