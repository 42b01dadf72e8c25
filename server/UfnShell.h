// Shell helpers: path helpers used wherever a name is appended to a folder setting.
#pragma once

#include <string>

// `path` if its last character is the path delimiter, else `path` + the delimiter.
// The empty string gives the lone delimiter.
std::string AddPathDelimiter(const std::string& path);

// The Program Files folder without a trailing delimiter, or "" when it cannot be found
// (POSIX: "/usr"). Never raises and never shows anything.
std::string GetSpecialFolderPath();
