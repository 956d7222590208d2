// The Linux front end's line after a box: which device, and why, in Linux words.
#include "app/linux/BoxNotes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/linux/SystemErrors.h"

namespace {
bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}
}  // namespace

std::string BoxNote(const std::string& boxText, const LinuxOsCalls& os) {
    // The drive layer's "Error opening: %d, Drive: \\.\X:".
    const std::string opening = "Error opening: ";
    const std::string drive = ", Drive: \\\\.\\";
    if (boxText.compare(0, opening.size(), opening) == 0) {
        const size_t at = boxText.find(drive);
        if (at == std::string::npos || at + drive.size() >= boxText.size()) return "";
        const char letter = boxText[at + drive.size()];
        const LinuxDevice* device = os.DeviceOf(letter);
        if (!device) return "";
        const int error = os.OpenErrno(letter);
        std::string why;
        if (error == EISDIR)
            why = "is a directory, not a device";
        else if (error != 0)
            why = std::strerror(error);
        else
            return "";
        return "norvexflash: " + device->path + ": " + why + " (the drive " +
               std::string(1, letter) + ": of the box)";
    }
    // A command's box ends in its error text "%02X %02X %02X. %02X, %04X":
    // the last four digits are the system error code, in hexadecimal.
    const size_t n = boxText.size();
    if (n < 20 || boxText.compare(n - 6, 2, ", ") != 0 || boxText[n - 10] != '.') return "";
    for (size_t i = n - 4; i < n; ++i)
        if (!IsHex(boxText[i])) return "";
    const uint32_t code = static_cast<uint32_t>(std::strtoul(boxText.c_str() + n - 4, nullptr, 16));
    if (code == 0) return "";
    const char* words = LinuxWordsFor(code);
    return "norvexflash: " + boxText.substr(n - 4) + " is system error " + std::to_string(code) +
           (words ? std::string(": ") + words : std::string(" (no text for it)")) + ".";
}
