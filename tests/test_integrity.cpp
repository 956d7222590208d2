// The flasher's integrity trailer: our SHA-256 against the FIPS 180-4
// examples, the trailer the builder writes, and a damaged flasher refused at
// start before the warning and before any drive is touched.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/FlashForm.h"
#include "drive/CDDrive.h"
#include "package/BuildFlasher.h"
#include "package/Integrity.h"
#include "tests/support/FakeForm.h"
#include "tests/support/FileOs.h"
#include "tests/support/StubOs.h"
#include "tests/support/TempDir.h"
#include "tests/support/TemplateFile.h"

namespace {
std::string Digest(const std::string& text, size_t piece = 0) {
    Sha256 hash;
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    if (piece == 0) {
        hash.Update(p, text.size());
    } else {
        for (size_t at = 0; at < text.size(); at += piece)
            hash.Update(p + at, std::min(piece, text.size() - at));
    }
    uint8_t digest[kSha256Size];
    hash.Final(digest);
    return HexDigest(digest);
}

TEST(Sha256, PublishedExamplesInOnePieceAndInMany) {
    const struct {
        std::string message, digest;
    } examples[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnop"
         "qrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& e : examples) {
        SCOPED_TRACE(e.message.substr(0, 20));
        EXPECT_EQ(Digest(e.message), e.digest);
        for (size_t piece : {1u, 3u, 55u, 63u, 64u, 65u, 4096u})
            EXPECT_EQ(Digest(e.message, piece), e.digest);
    }
    // Lengths around the padding's edge (55, 56 and 64 bytes fill a block differently).
    EXPECT_EQ(Digest(std::string(55, 'a')),
              "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(Digest(std::string(56, 'a')),
              "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
    EXPECT_EQ(Digest(std::string(64, 'a')),
              "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

std::vector<uint8_t> WithTrailer(std::vector<uint8_t> bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    uint8_t digest[kSha256Size], trailer[kTrailerSize];
    hash.Final(digest);
    MakeTrailer(uint32_t(bytes.size()), digest, trailer);
    bytes.insert(bytes.end(), trailer, trailer + kTrailerSize);
    return bytes;
}

TEST(Trailer, EveryFlippedByteIsCaughtAndAFileWithoutOneRunsAsEver) {
    const std::vector<uint8_t> contents = Firmware(5000);
    const std::vector<uint8_t> good = WithTrailer(contents);
    EXPECT_EQ(CheckIntegrity(good.data(), good.size()).state, Integrity::Holds);
    EXPECT_EQ(CheckIntegrity(contents.data(), contents.size()).state, Integrity::NoTrailer);
    // Contents, marker, length and digest: every byte of the file, one at a time.
    for (size_t at = 0; at < good.size(); ++at) {
        std::vector<uint8_t> bad = good;
        bad[at] ^= 0x04;
        const Integrity state = CheckIntegrity(bad.data(), bad.size()).state;
        ASSERT_TRUE(state == Integrity::ContentsDiffer || state == Integrity::TrailerDamaged)
            << "byte " << at;
        EXPECT_FALSE(DamageText(CheckIntegrity(bad.data(), bad.size())).empty());
    }
    // Cut short, or grown, by a byte: the length no longer matches.
    std::vector<uint8_t> longer = good;
    longer.insert(longer.begin(), 0);
    EXPECT_EQ(CheckIntegrity(longer.data(), longer.size()).state, Integrity::TrailerDamaged);
}

TEST(Trailer, FileCheckAgreesWithTheCheckInMemory) {
    TempDir dir;
    const std::vector<uint8_t> good = WithTrailer(Firmware(200000));
    dir.Write("GOOD.EXE", good);
    dir.Write("PLAIN.EXE", Firmware(10));
    std::vector<uint8_t> bad = good;
    bad[150000] ^= 1;
    dir.Write("BAD.EXE", bad);
    IntegrityReport report = CheckFileIntegrity(dir.File("GOOD.EXE"));
    EXPECT_EQ(report.state, Integrity::Holds);
    EXPECT_EQ(report.contentSize, 200000u);
    EXPECT_EQ(HexDigest(report.actual), HexDigest(report.recorded));
    EXPECT_EQ(CheckFileIntegrity(dir.File("BAD.EXE")).state, Integrity::ContentsDiffer);
    EXPECT_EQ(CheckFileIntegrity(dir.File("PLAIN.EXE")).state, Integrity::NoTrailer);
    EXPECT_EQ(CheckFileIntegrity(dir.File("NONE.EXE")).state, Integrity::NotOpened);
    EXPECT_EQ(DamageText(CheckFileIntegrity(dir.File("NONE.EXE"))), "");
}

// A flasher built by the builder, started from its file.
class DamagedFlasher : public ::testing::Test {
  protected:
    TempDir dir;
    TemplateFile shape;
    FakeForm form;
    StubOs os;
    std::vector<uint8_t> flasher;

    void SetUp() override {
        dir.Write("T.EXE", shape.Bytes());
        dir.Write("1A50.BIN", Firmware(100000));
        BuildRequest request;
        request.templatePath = dir.File("T.EXE");
        request.firmwarePath = dir.File("1A50.BIN");
        request.outputPath = dir.File("1A50.EXE");
        request.keyword = reinterpret_cast<const uint8_t*>("FWBLOCK-MARKER");
        MakePackageBlock({"CDRW-A100", "OPTIDRV CDRW-A100       ", "1A00-1A99", "OPTIDRV", ""},
                         "1A50.BIN", 0, request.block);
        std::vector<uint8_t> image;
        uint32_t size = 0;
        FileOs files;
        ASSERT_EQ(BuildFlasher(files, request, image, size, {}), BuildOutcome::Complete);
        flasher = dir.Read("1A50.EXE");
        CDDrive::Attach(&os, &form);
    }
    void TearDown() override { CDDrive::Attach(nullptr, nullptr); }

    // Starts the flasher from `bytes` written as its file; the record is
    // read from the same bytes, as the running program holds its own.
    void Start(const std::vector<uint8_t>& bytes) {
        dir.Write("RUN.EXE", bytes);
        form.boxes.clear();
        form.answers = {BoxAnswer::No};
        os.calls = 0;
        form.quitPosted = false;
        TFlashForm flash(form, os, bytes.data() + shape.KeywordAt(), dir.File("RUN.EXE"));
        flash.FormCreate();
    }
};

TEST_F(DamagedFlasher, AFlippedByteAnywhereIsRefusedBeforeTheWarningAndTouchesNoDrive) {
    Start(flasher);
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_EQ(form.boxes[0].kind, BoxKind::Warning) << "an intact flasher warns";

    const size_t places[] = {0,                                      // the program's first byte
                             shape.KeywordAt() + kVersionTagOffset,  // its revision
                             shape.ImageAt() + 4096,                 // the firmware image
                             shape.ImageAt() + kImageAreaSize + 7,   // behind the image area
                             flasher.size() - kTrailerSize + 2,      // the trailer's marker
                             flasher.size() - 1};                    // its SHA-256
    for (size_t at : places) {
        SCOPED_TRACE("byte " + std::to_string(at));
        std::vector<uint8_t> bad = flasher;
        bad[at] ^= 0x20;
        Start(bad);
        ASSERT_EQ(form.boxes.size(), 1u);
        EXPECT_EQ(form.boxes[0].kind, BoxKind::Error);
        EXPECT_EQ(form.boxes[0].text.rfind("\nERROR:\n\nThis flash utility is damaged: ", 0), 0u)
            << form.boxes[0].text;
        EXPECT_NE(form.boxes[0].text.find("\nNo drive was touched.\n"), std::string::npos);
        EXPECT_EQ(os.calls, 0) << "no system call of the drive layer";
        EXPECT_TRUE(form.quitPosted);
    }
    // The same bytes without a trailer (built before trailers) run as ever.
    Start(std::vector<uint8_t>(flasher.begin(), flasher.end() - kTrailerSize));
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_EQ(form.boxes[0].kind, BoxKind::Warning);
}

TEST_F(DamagedFlasher, AFlasherBuiltFromAFlashersFileCarriesOneTrailer) {
    dir.Write("T2.EXE", flasher);  // has a trailer of its own
    dir.Write("1A60.BIN", Firmware(3000, 5));
    BuildRequest request;
    request.templatePath = dir.File("T2.EXE");
    request.firmwarePath = dir.File("1A60.BIN");
    request.outputPath = dir.File("1A60.EXE");
    request.keyword = reinterpret_cast<const uint8_t*>("FWBLOCK-MARKER");
    MakePackageBlock({"M", "I", "R", "V", "N"}, "1A60.BIN", 0, request.block);
    std::vector<uint8_t> image;
    uint32_t size = 0;
    FileOs files;
    ASSERT_EQ(BuildFlasher(files, request, image, size, {}), BuildOutcome::Complete);
    auto out = dir.Read("1A60.EXE");
    EXPECT_EQ(out.size(), flasher.size());
    EXPECT_EQ(CheckIntegrity(out.data(), out.size()).state, Integrity::Holds);
}
}  // namespace
