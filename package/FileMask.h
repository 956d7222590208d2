// The file list's matching: wildcard masks separated by semicolons, letter
// case ignored as on Windows file systems.
#pragma once
#include <string>
#include <vector>

// `*` any run of characters, `?` exactly one; "NAME.*" also matches "NAME".
bool MatchesMask(const std::string& name, const std::string& mask);
// True when the name matches any of the semicolon-separated masks.
bool MatchesAnyMask(const std::string& name, const std::string& masks);
// Names of the directory's regular files that match, sorted by name.
std::vector<std::string> ListMatchingFiles(const std::string& directory, const std::string& masks);
// directory + separator + name, without doubling a trailing separator.
std::string JoinPath(const std::string& directory, const std::string& name);
// The part after the last path separator.
std::string NamePart(const std::string& path);
