// The package of a flasher or template file, found as the Windows program
// finds its own: the first occurrence of the keyword, then the description
// block and the image area, one contiguous record.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Reads path and copies its record (kPackageRecordSize bytes from the
// keyword on) into record. False with a sentence in *error when the file
// cannot be read, has no keyword, or ends inside the record.
bool LoadPackageFile(const std::string& path, std::vector<uint8_t>& record, std::string* error);
