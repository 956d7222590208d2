// The command blocks the Linux program's end-to-end flashes must send
// (tests/linux/expected/*.trace, compared line by line by flash.test.sh)
// are those of the same flashes on the ASPI road: the window's logic over
// the ASPI transport and the virtual layer, with the images mkfirmware makes
// and the drive the end-to-end scripts describe (tests/linux/cases.sh).
// NORVEX_WRITE_EXPECTED=DIR writes the traces of this run into DIR, for
// when the flash sequence changes on purpose.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/AspiService.h"
#include "tests/support/FlasherRig.h"
#include "tools/SampleFirmware.h"

namespace {

std::string ExpectedTrace(const std::string& name) {
    // From the build: __FILE__ is written from the tree's root (./tests/...).
    std::ifstream in(std::string(NORVEX_SOURCE_DIR) + "/tests/linux/expected/" + name + ".trace");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Case {
    const char* name;
    uint32_t size;
    SampleLayout layout;
    const char* revision;
};

TEST(AspiRoadTraces, TheExpectedTracesAreTheAspiRoads) {
    const Case cases[] = {{"1A50A", 262144, SampleLayout::A, "1A50"},
                          {"1A55B", 262144, SampleLayout::B, "1A55"},
                          {"1A60P", 100001, SampleLayout::Plain, "1A60"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SampleRequest sample;
        sample.size = c.size;
        sample.ident = "OPTIDRV CDRW-A100       ";
        sample.revision = c.revision;
        sample.layout = c.layout;
        std::vector<uint8_t> image;
        ASSERT_TRUE(MakeSample(sample, image));

        FlasherRig rig(/*aspi=*/true);
        rig.pkg.SetImageSize(c.size);
        std::copy(image.begin(), image.end(), rig.pkg.Image());
        rig.pkg.SetVersion(std::string(c.name).substr(0, 5));
        VirtualDrive::Config drive = FlasherRig::Model("1A10");
        drive.becomingReady = 2;
        VirtualDrive& d = rig.AddDrive(drive);
        rig.Start();
        rig.Flash();
        ASSERT_EQ("Flash Completed.", rig.form.status);
        EXPECT_EQ(c.revision, d.Revision());

        // What the drive at 0:0 received (the scan asks every other address too).
        std::string trace;
        for (const TraceEntry& e : rig.os.trace)
            if (e.ha == 0 && e.target == 0)
                trace += TraceLine(e.ha, e.target, e.cdb, e.dataIn, e.length) + "\n";
        EXPECT_EQ(ExpectedTrace(c.name), trace);
        if (const char* dir = std::getenv("NORVEX_WRITE_EXPECTED"))
            std::ofstream(std::string(dir) + "/" + c.name + ".trace") << trace;
    }
}

}  // namespace
