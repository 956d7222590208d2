// Tests of the image class: which profile form a firmware image asks for.
#include <gtest/gtest.h>

#include <cstring>

#include "app/FlashForm.h"
#include "tests/support/FakeForm.h"
#include "tests/support/StubOs.h"
#include "tests/support/TestPackage.h"

namespace {

struct Classified {
    bool a, b;
    uint32_t size;
};

Classified Classify(const TestPackage& pkg) {
    FakeForm form;
    StubOs os;
    TFlashForm window(form, os, pkg.Record(), "x.exe");
    window.CheckNewFormatBIN();
    return {window.ProfileFormatA, window.ProfileFormatB, window.ImageSize};
}

void Put(TestPackage& pkg, size_t offset, const void* bytes, size_t n) {
    std::memcpy(pkg.Image() + offset, bytes, n);
}
const uint8_t kMarker[2] = {0x05, 0x80};
const uint8_t kReversed[2] = {0x80, 0x05};
}  // namespace

TEST(Classification, SpecialModelAtAMarkedPositionSelectsTheSixByteForm) {
    for (size_t pos : {size_t(0x4000), size_t(0x4008)}) {
        TestPackage pkg;
        Put(pkg, pos, kMarker, 2);
        Put(pkg, pos + 0x10, "dvd-rom kvb-517", 15);  // case does not matter
        Classified c = Classify(pkg);
        EXPECT_FALSE(c.a) << pos;
        EXPECT_TRUE(c.b) << pos;
    }
}

TEST(Classification, FirstMarkerFoundDecides) {
    TestPackage pkg;
    Put(pkg, 0x4000, kMarker, 2);
    Put(pkg, 0x4010, "DVD-ROM KVX-999", 15);
    Put(pkg, 0x1100, kMarker, 2);  // never looked at
    Classified c = Classify(pkg);
    EXPECT_FALSE(c.a);
    EXPECT_FALSE(c.b);

    TestPackage second;  // marker at position 2, model string only at position 1
    Put(second, 0x4008, kMarker, 2);
    Put(second, 0x4010, "DVD-ROM KVA-204", 15);
    c = Classify(second);
    EXPECT_FALSE(c.a);
    EXPECT_FALSE(c.b);
}

TEST(Classification, MarkerOnlyAtThirdPositionSelectsTheFourByteForm) {
    TestPackage pkg;
    Put(pkg, 0x1100, kMarker, 2);
    Put(pkg, 0x4010, "DVD-ROM KVA-204", 15);
    Put(pkg, 0x4018, "DVD-ROM KVA-204", 15);
    Classified c = Classify(pkg);
    EXPECT_TRUE(c.a);
    EXPECT_FALSE(c.b);
}

TEST(Classification, ReversedOrMissingMarkersSetNothingButTheSizeIsCopied) {
    TestPackage pkg;
    pkg.SetImageSize(12345);
    for (size_t pos : {size_t(0x4000), size_t(0x4008), size_t(0x1100)}) Put(pkg, pos, kReversed, 2);
    Put(pkg, 0x4010, "DVD-ROM KVA-204", 15);
    Classified c = Classify(pkg);
    EXPECT_FALSE(c.a);
    EXPECT_FALSE(c.b);
    EXPECT_EQ(c.size, 12345u);
}

TEST(Classification, ModelComparedOverExactlyFifteenBytes) {
    TestPackage pkg;
    Put(pkg, 0x4000, kMarker, 2);
    Put(pkg, 0x4010, "DVD-ROM KVA-204XYZ", 18);  // no terminator needed
    EXPECT_TRUE(Classify(pkg).b);
    Put(pkg, 0x4010, "DVD-ROM KVA-20", 14);
    pkg.Image()[0x4010 + 14] = 0;
    EXPECT_FALSE(Classify(pkg).b);
}
