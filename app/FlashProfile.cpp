// The flash-chip profile: read the chip's identification, send its profile,
// read the profile back.
#include <cstring>

#include "app/FlashForm.h"
#include "flash/Commands.h"
#include "flash/FlashChip.h"
#include "drive/Scsi.h"
#include "flash/ReadBack.h"

bool TFlashForm::SetupFlashProfile(uint8_t* buildArea) {
    MakeReadFlashId(CommandBlock);
    CurrentDrive->Execute(CommandBlock, kDataIn, kFlashIdLength);
    if (!Judge("Read Flash ID> ")) return false;

    const ProfileBuild build =
        BuildProfile(CDDrive::DataBuffer(), ProfileFormatA, ProfileFormatB, buildArea);
    ProfileDataOffset = build.dataOffset;
    if (build.chip) {
        ProfileFound = true;
        ProfileHeaderLength = build.headerLength;
    }
    ProfileLength = build.length;

    std::memcpy(CDDrive::DataBuffer(), buildArea, ProfileLength);
    MakeWriteBuffer(CommandBlock, ProfileFormatB ? 0 : kProfileAreaOffset, ProfileLength,
                    kControlProfile);
    CurrentDrive->Execute(CommandBlock, kDataOut, ProfileLength);
    return Judge("Write Profile> ");
}

bool TFlashForm::ReadVerifyProfile(const uint8_t* copy) {
    if (ProfileFormatB) {
        uint32_t count =
            ProfileLength > ProfileHeaderLength ? ProfileLength - ProfileHeaderLength : 0;
        return std::memcmp(copy + ProfileHeaderLength, FlashProfileData + ProfileDataOffset,
                           count) == 0;
    }
    MakeReadBuffer(CommandBlock, kProfileAreaOffset, ProfileLength);
    PoisonReadBack(copy, ProfileLength);
    CurrentDrive->Execute(CommandBlock, kDataIn, ProfileLength);
    if (!Judge("Read Profile> ")) return false;
    if (std::memcmp(CDDrive::DataBuffer(), copy, ProfileLength) != 0) {
        // Kept word for word: the program's own text (docs/ARCHITECTURE.md, Style).
        form_.MessageBox("Compared profile error!", BoxKind::Plain, BoxButtons::Ok);
        return false;
    }
    return true;
}
