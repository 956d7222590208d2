// The status line's texts (the caption of GroupBox2), in one place so the
// window can make room for the widest before work starts. A blank at the end
// of a text is part of it.
#pragma once
#include <string>
#include <vector>

namespace status_text {
// Flash phases, and the failure suffixes appended to them.
constexpr const char* kProfile = "Write profile to drive's DRAM... ";
constexpr const char* kDownload = "Write BIN to drive's DRAM... ";
constexpr const char* kEntryCritical = "Drive entry critical... ";
constexpr const char* kVerify = "Read back and Verify drive's DRAM... ";
constexpr const char* kCommit = "Don't turn off the system, Flash is in progress...";
constexpr const char* kCompleted = "Flash Completed.";
constexpr const char* kFlashFail = "Flash Fail.";
constexpr const char* kFail = ", Fail! ";
constexpr const char* kProfileCheckFail = ", Valid Profile Fail!";
constexpr const char* kReadFail = ", Read Fail! ";
constexpr const char* kCompareFail = ", Compare BIN and DRAM Fail! ";

// Every text a flash can leave on the status line.
std::vector<std::string> FlashTexts();

// The builder's texts for one firmware file.
std::string Building(const std::string& firmwareFileName);
std::string Built(const std::string& outputName);
}  // namespace status_text
