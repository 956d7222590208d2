// One flash at a time on the computer, and nothing else on the drive while
// it is flashed: the flash mutex at start and at FLASH, the drive's exclusive
// lock and media polling on the NT family, placed among the command blocks,
// released on every way out.
#include <gtest/gtest.h>

#include <cstring>

#include "app/FlashMutex.h"
#include "platform/ControlRequests.h"
#include "tests/support/FlasherRig.h"

namespace {
const std::string kMutex = "Global\\NorvexFlash.DriveFirmwareFlash";
const std::string kAtStart =
    "\nAnother drive firmware flash is in progress on this computer.\n"
    "\nStart this flasher again when that flash has ended.\n";
const std::string kAtFlash =
    "\nAnother drive firmware flash is in progress on this computer.\n"
    "\nPress FLASH again when that flash has ended.\nNothing was sent to the drive.\n";

// A pass-through flasher with one drive of the model at D:, started.
struct NtFlasher : FlasherRig {
    NtFlasher() : FlasherRig(false) {
        AddDrive(Model("1A10"));
        SetImage(262144);
    }
    OsHandle DriveHandle() const { return window->CurrentDrive->DeviceHandle; }
    // The storage controls of one kind sent so far.
    std::vector<SimOs::ControlCall> Controls(uint32_t code, uint32_t type) const {
        std::vector<SimOs::ControlCall> r;
        for (auto& c : os.controls)
            if (c.code == code && c.requestType == type) r.push_back(c);
        return r;
    }
    // Nothing held once the flash is over.
    void ExpectAllReleased() const {
        EXPECT_EQ(os.LockHolder('D'), nullptr);
        EXPECT_FALSE(os.PollingOff('D'));
        EXPECT_EQ(os.OpenDevices(), 1u);  // the drive's own handle only
        EXPECT_FALSE(os.MutexOwned(kMutex));
        EXPECT_EQ(os.OpenMutexes(), 0u);
        EXPECT_EQ(form.cursor, CursorKind::Default);
    }
};

size_t IndexOf(const std::vector<TraceEntry>& t, uint8_t opcode) {
    for (size_t i = 0; i < t.size(); ++i)
        if (t[i].cdb[0] == opcode) return i;
    return t.size();
}
}  // namespace

TEST(OneFlash, LockAndPollingSpanFromTheReadinessWaitToTheLastCommand) {
    NtFlasher rig;
    rig.os.DriveAt('D')->config.becomingReady = 2;
    rig.Start();
    const OsHandle commands = rig.DriveHandle();
    const size_t before = rig.os.trace.size();
    // At each command block: guarded from STOP PLAY/SCAN on, not before.
    std::vector<bool> guarded;
    rig.os.onCommand = [&](const uint8_t*, const PassThroughRecord*) {
        guarded.push_back(rig.os.LockHolder('D') == commands && rig.os.PollingOff('D'));
        EXPECT_TRUE(rig.os.MutexOwned(kMutex));
    };
    std::vector<TraceEntry> t = rig.Flash();
    rig.os.onCommand = nullptr;
    ASSERT_EQ(rig.form.status, "Flash Completed.");
    ASSERT_EQ(guarded.size(), t.size());

    const size_t stop = IndexOf(t, 0x4E);
    ASSERT_EQ(stop, 4u);  // load, three TEST UNIT READY (two "becoming ready")
    for (size_t i = 0; i < t.size(); ++i) EXPECT_EQ(guarded[i], i >= stop) << i;
    EXPECT_EQ(t.back().cdb[0], 0x12);  // the list refresh is the last command

    // The query before the load; polling off, then the lock, between the
    // readiness wait and STOP PLAY/SCAN; the unlock after the last command.
    auto query = rig.Controls(kIoctlCdromExclusiveAccess, kExclusiveAccessQueryState);
    auto lock = rig.Controls(kIoctlCdromExclusiveAccess, kExclusiveAccessLockDevice);
    auto unlock = rig.Controls(kIoctlCdromExclusiveAccess, kExclusiveAccessUnlockDevice);
    auto pollingOff = rig.Controls(kIoctlStorageMcnControl, 1);
    ASSERT_EQ(query.size(), 1u);
    ASSERT_EQ(lock.size(), 1u);
    ASSERT_EQ(unlock.size(), 1u);
    ASSERT_EQ(pollingOff.size(), 1u);
    EXPECT_EQ(query[0].traceLength, before);
    EXPECT_EQ(pollingOff[0].traceLength, before + stop);
    EXPECT_EQ(lock[0].traceLength, before + stop);
    EXPECT_EQ(unlock[0].traceLength, before + t.size());
    EXPECT_TRUE(lock[0].ok && unlock[0].ok && pollingOff[0].ok);

    // The lock on the commands' own handle, with the program's name; polling
    // off through a second handle opened for attributes only.
    EXPECT_EQ(lock[0].device, commands);
    EXPECT_EQ(unlock[0].device, commands);
    EXPECT_EQ(lock[0].callerName, "NORVEX Windows Flash utility");
    EXPECT_EQ(lock[0].flags, kCdromLockIgnoreVolume);
    EXPECT_EQ(unlock[0].flags, kCdromNoMediaNotifications);
    EXPECT_NE(pollingOff[0].device, commands);
    ASSERT_EQ(rig.os.opens.size(), 2u);
    EXPECT_EQ(rig.os.opens[1].name, "\\\\.\\D:");
    EXPECT_EQ(rig.os.opens[1].desiredAccess, kFileReadAttributes);
    EXPECT_EQ(rig.os.opens[1].shareMode, kFileShareReadWrite);
    rig.ExpectAllReleased();
}

TEST(OneFlash, EveryWayOutOfTheFlashReleasesTheDriveAndTheMutex) {
    std::vector<TraceEntry> clean;
    {
        NtFlasher rig;
        rig.Start();
        clean = rig.Flash();
    }
    // One failing command at each position of the flash, the commit and the
    // list refresh included; a failed load or test is not judged and the
    // flash may go on.
    for (size_t i = 0; i < clean.size(); ++i) {
        uint32_t nth = 0;
        for (size_t k = 0; k <= i; ++k) nth += clean[k].cdb[0] == clean[i].cdb[0];
        for (bool transport : {false, true}) {
            NtFlasher rig;
            rig.Start();
            VirtualDrive& drive = *rig.os.DriveAt('D');
            if (transport)
                drive.FailTransport(clean[i].cdb[0], nth);
            else
                drive.FailWithSense(clean[i].cdb[0], nth, 0x03, 0x0C, 0x00);
            rig.Flash();
            SCOPED_TRACE("command " + std::to_string(i) + (transport ? " transport" : " sense"));
            rig.ExpectAllReleased();
        }
    }
    // Ways out before and after the lock: a disc in the drive, a drive that
    // never becomes ready, the prompt declined, the revision not taken.
    {
        NtFlasher rig;
        rig.os.DriveAt('D')->config.medium = Medium::Disc;
        rig.Start();
        rig.Flash();
        EXPECT_EQ(rig.form.BoxTexts().back(), "Remove disc, before to do the flash task.");
        EXPECT_TRUE(rig.Controls(kIoctlCdromExclusiveAccess, kExclusiveAccessLockDevice).empty());
        rig.ExpectAllReleased();
    }
    {
        NtFlasher rig;
        rig.Start();
        rig.os.DriveAt('D')->config.becomingReady = 1000000;
        rig.Flash();
        EXPECT_NE(rig.form.BoxTexts().back().find("did not become ready"), std::string::npos);
        rig.ExpectAllReleased();
    }
    {
        NtFlasher rig;
        rig.Start();
        EXPECT_TRUE(rig.Flash(BoxAnswer::No).empty());
        EXPECT_TRUE(rig.os.mutexNames.size() == 1 && rig.os.controls.empty());
        rig.ExpectAllReleased();
    }
    {
        NtFlasher rig;
        rig.SetImage(262144, "1A50");
        rig.pkg.SetVersion("1A60.");  // the drive will report 1A50, not 1A60
        rig.Start();
        rig.Flash();
        EXPECT_EQ(rig.form.status, "Flash Completed.");
        EXPECT_NE(rig.form.BoxTexts().back().find("still reports"), std::string::npos);
        rig.ExpectAllReleased();
    }
}

TEST(OneFlash, DriveLockedByAnotherProgramIsNamedAndNothingIsSent) {
    NtFlasher rig;
    rig.Start();
    rig.os.LockElsewhere('D', "Disc Burner 7.1");
    std::vector<TraceEntry> t = rig.Flash();
    EXPECT_TRUE(t.empty());
    ASSERT_EQ(rig.form.boxes.size(), 2u);  // the prompt, then the owner
    EXPECT_EQ(rig.form.boxes[1].text,
              "\nAnother program has locked the drive for its own use: Disc Burner 7.1\n\n"
              "Close that program, then press FLASH again.\nNothing was written to the drive.\n");
    EXPECT_TRUE(rig.Controls(kIoctlCdromExclusiveAccess, kExclusiveAccessLockDevice).empty());
    rig.ExpectAllReleased();
}

// The other program takes the lock after the readiness wait, just before this one.
TEST(OneFlash, LockTakenByAnotherProgramAfterTheWaitStopsBeforeAnythingIsWritten) {
    NtFlasher rig;
    rig.Start();
    rig.os.onControl = [&](uint32_t code) {
        if (code == kIoctlStorageMcnControl) rig.os.LockElsewhere('D', "");
    };
    std::vector<TraceEntry> t = rig.Flash();
    ASSERT_EQ(t.size(), 2u);  // the load and the test that found no medium
    EXPECT_EQ(rig.form.BoxTexts().back(),
              "\nAnother program has locked the drive for its own use.\n\n"
              "Close that program, then press FLASH again.\nNothing was written to the drive.\n");
    EXPECT_EQ(rig.form.status, "");
    EXPECT_EQ(rig.os.DriveAt('D')->commitCount, 0u);
    rig.ExpectAllReleased();
}

// While the owner's box is up, this program holds nothing of the drive's:
// the person is asked to close the other program, and polling must be back
// on before that, not only when the flash's handler has returned.
TEST(OneFlash, TheGuardIsGivenBackBeforeTheOwnersBoxIsShown) {
    NtFlasher rig;
    rig.Start();
    // Taken at the lock request itself, once polling is off: the lock is
    // refused with access denied while the polling handle is held.
    bool pollingSeen = false;
    rig.os.onControl = [&](uint32_t code) {
        if (code == kIoctlStorageMcnControl) pollingSeen = true;
        if (code == kIoctlCdromExclusiveAccess && pollingSeen)
            rig.os.LockElsewhere('D', "Disc Burner 7.1");
    };
    bool checked = false;
    rig.form.duringBox = [&] {
        if (rig.form.boxes.back().text.find("Another program has locked") == std::string::npos)
            return;
        checked = true;
        EXPECT_FALSE(rig.os.PollingOff('D')) << "media polling still off under the box";
        EXPECT_EQ(rig.os.OpenDevices(), 1u) << "the polling handle still open under the box";
    };
    rig.Flash();
    EXPECT_TRUE(checked) << "no owner's box";
}

TEST(OneFlash, WithoutTheControlsTheFlashCompletesWithTheSameCommands) {
    std::vector<TraceEntry> guarded;
    {
        NtFlasher rig;
        rig.Start();
        guarded = rig.Flash();
    }
    using Support = SimOs::ControlSupport;
    const std::pair<Support, Support> systems[] = {
        {Support::NotSupported, Support::NotSupported},        // Wine
        {Support::InvalidFunction, Support::InvalidFunction},  // NT 4.0, 2000
        {Support::InvalidFunction, Support::Supported},        // XP
        {Support::InvalidHandle, Support::Supported},          // a handle the driver did not open
        {Support::Supported, Support::NotSupported},
    };
    for (auto [exclusive, polling] : systems) {
        NtFlasher rig;
        rig.os.exclusiveAccess = exclusive;
        rig.os.mediaPolling = polling;
        rig.Start();
        std::vector<TraceEntry> t = rig.Flash();
        SCOPED_TRACE(int(exclusive) * 10 + int(polling));
        EXPECT_EQ(rig.form.status, "Flash Completed.");
        EXPECT_EQ(rig.form.boxes.size(), 1u);  // the prompt only
        ASSERT_EQ(t.size(), guarded.size());
        for (size_t i = 0; i < t.size(); ++i)
            EXPECT_EQ(std::vector<uint8_t>(t[i].cdb, t[i].cdb + 12),
                      std::vector<uint8_t>(guarded[i].cdb, guarded[i].cdb + 12));
        EXPECT_EQ(rig.os.LockHolder('D'), nullptr);
        rig.ExpectAllReleased();
    }
}

TEST(OneFlash, AspiRoadSendsNoControls) {
    FlasherRig rig(true);
    rig.AddDrive(FlasherRig::Model("1A10"));
    rig.SetImage(262144);
    rig.Start();
    rig.Flash();
    EXPECT_EQ(rig.form.status, "Flash Completed.");
    EXPECT_TRUE(rig.os.controls.empty());
    EXPECT_EQ(rig.os.CountCalls("CreateFileA"), 0u);
    // 9x takes no backslash in the mutex name.
    EXPECT_EQ(rig.os.mutexNames, (std::vector<std::string>{"NorvexFlash.DriveFirmwareFlash",
                                                           "NorvexFlash.DriveFirmwareFlash"}));
}

TEST(OneFlash, FlasherStartedWhileAnotherFlashesSaysSoAndDoesNotScan) {
    for (uint32_t major : {4u, 5u, 10u}) {
        NtFlasher rig;
        rig.os.majorVersion = major;
        rig.os.HoldMutexElsewhere(major == 4 ? "NorvexFlash.DriveFirmwareFlash" : kMutex);
        rig.Start();
        SCOPED_TRACE(major);
        ASSERT_EQ(rig.form.boxes.size(), 2u);  // the warning, then the refusal
        EXPECT_EQ(rig.form.boxes[1].text, kAtStart);
        EXPECT_EQ(rig.form.boxes[1].buttons, BoxButtons::Ok);
        EXPECT_TRUE(rig.form.quitPosted);
        EXPECT_EQ(rig.form.exitCode, 0);
        EXPECT_TRUE(rig.form.closed);
        EXPECT_TRUE(rig.os.trace.empty());
        EXPECT_EQ(rig.os.CountCalls("GetLogicalDriveStringsA"), 0u);
        EXPECT_EQ(rig.window->Drives, nullptr);
        EXPECT_EQ(rig.os.OpenMutexes(), 0u);
    }
}

TEST(OneFlash, FlashPressedWhileAnotherFlashesSendsNothing) {
    NtFlasher rig;
    rig.Start();
    rig.os.HoldMutexElsewhere(kMutex);
    EXPECT_TRUE(rig.Flash().empty());
    ASSERT_EQ(rig.form.boxes.size(), 2u);
    EXPECT_EQ(rig.form.boxes[1].text, kAtFlash);
    EXPECT_TRUE(rig.os.controls.empty());
    EXPECT_EQ(rig.form.status, "");
    rig.ExpectAllReleased();

    // Once the other flash has ended, FLASH works.
    rig.os.HoldMutexElsewhere(kMutex, false);
    rig.Flash();
    EXPECT_EQ(rig.form.status, "Flash Completed.");
    rig.ExpectAllReleased();
}

TEST(OneFlash, MutexThatCannotBeMadeOrWasAbandonedLetsTheFlashGoOn) {
    {
        NtFlasher rig;
        rig.os.failCreateMutex = kErrorAccessDenied;
        rig.Start();
        EXPECT_EQ(rig.form.boxes.size(), 1u);  // no refusal at start
        rig.Flash();
        EXPECT_EQ(rig.form.status, "Flash Completed.");
    }
    {
        NtFlasher rig;
        rig.os.AbandonMutex(kMutex);  // a flasher ended while it flashed
        rig.Start();
        rig.Flash();
        EXPECT_EQ(rig.form.status, "Flash Completed.");
        rig.ExpectAllReleased();
    }
}

TEST(OneFlash, BuilderTakesNoMutex) {
    WatchedOs os;
    FakeForm form;
    CDDrive::Attach(&os, &form);
    TestPackage pkg;
    std::memcpy(pkg.Image(), "TMPL", 4);
    {
        TFlashForm window(form, os, pkg.Record(), "C:\\FLASH\\NORVEXFLASH.EXE");
        window.FormCreate();
        window.FlashButtonClick();
    }
    CDDrive::Attach(nullptr, nullptr);
    EXPECT_TRUE(os.mutexNames.empty());
}
