// Linux words after a box that speaks in Windows words: the device path and
// the system's reason after "Error opening: ...", the meaning of the system
// error code at the end of a command's box.
#pragma once
#include <string>

#include "host/linux/LinuxOsCalls.h"

// The line to print after the box (starting "norvexflash: "), or "".
std::string BoxNote(const std::string& boxText, const LinuxOsCalls& os);
