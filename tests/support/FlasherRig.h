// A flasher window on the simulated system: a package, virtual drives, the
// form double, and helpers to start it and press "FLASH".
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "app/FlashForm.h"
#include "drive/Scsi.h"
#include "tests/support/FakeForm.h"
#include "tests/support/TestPackage.h"
#include "tests/support/WatchedOs.h"

struct FlasherRig {
    WatchedOs os;
    FakeForm form;
    TestPackage pkg;
    std::unique_ptr<TFlashForm> window;

    // A drive of the packaged model ("OPTIDRV CDRW-A100", range 1A00-1A99).
    static VirtualDrive::Config Model(const std::string& revision) {
        VirtualDrive::Config c;
        c.vendor = "OPTIDRV";
        c.product = "CDRW-A100";
        c.revision = revision;
        return c;
    }

    explicit FlasherRig(bool aspi = true) {
        os.platformId = aspi ? kPlatformWin32Windows : kPlatformWin32Nt;
        CDDrive::Attach(&os, &form);
    }
    ~FlasherRig() {
        window.reset();
        CDDrive::Attach(nullptr, nullptr);
    }

    VirtualDrive& AddDrive(const VirtualDrive::Config& c) {
        if (os.platformId == kPlatformWin32Nt) return os.AddCdrom(nextLetter++, c);
        uint8_t n = nextSlot++;
        return os.AddAspiDrive(n / 2, n % 2, c);
    }

    // Fills `size` image bytes with a pattern that carries the identification
    // and `revision`, so the drive reports that revision once it runs the image.
    void SetImage(uint32_t size, const std::string& revision = "1A50") {
        pkg.SetImageSize(size);
        for (uint32_t i = 0; i < size; ++i) pkg.Image()[i] = uint8_t(i * 7 + (i >> 9));
        std::string tag = "OPTIDRV CDRW-A100       " + revision;
        if (size >= 0x200 + tag.size()) std::copy(tag.begin(), tag.end(), pkg.Image() + 0x200);
        pkg.SetVersion(revision + ".");
    }

    // Starts the flasher and accepts the warning.
    void Start() {
        form.answers = {BoxAnswer::Yes};
        window = std::make_unique<TFlashForm>(form, os, pkg.Record(), "C:\\FLASH\\A150.EXE");
        window->FormCreate();
    }

    // Presses "FLASH" and answers the prompt with `answer`; returns the trace of the click.
    std::vector<TraceEntry> Flash(BoxAnswer answer = BoxAnswer::Yes) {
        size_t before = os.trace.size();
        form.boxes.clear();
        form.answers = {answer};
        window->FlashButtonClick();
        return std::vector<TraceEntry>(os.trace.begin() + before, os.trace.end());
    }

    char nextLetter = 'D';
    uint8_t nextSlot = 0;
};

inline bool IsCommit(const TraceEntry& e) {
    return IsCommit(e.cdb);
}
inline size_t Commits(const std::vector<TraceEntry>& t) {
    size_t n = 0;
    for (auto& e : t) n += IsCommit(e);
    return n;
}
