// Reading one INI value as GetPrivateProfileStringA does, for hosts without that call.
#pragma once
#include <cstdint>

// Reads one value from an INI file the way the Windows profile call does:
// section and key names case-insensitive, blanks around the value dropped,
// the default copied when the file, section or key is missing. Returns the
// number of characters stored, not counting the terminating zero.
uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                           char* buffer, uint32_t size, const char* fileName);
