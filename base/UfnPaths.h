// Taking paths apart and putting them together, with the delimiter of this system. Pure
// text: nothing here looks at the disk.
#pragma once

#include <string>

// The folder part with its trailing delimiter ("" when the path names no folder).
std::string ExtractFilePath(const std::string& path);
// What follows the last delimiter (the whole path when there is none).
std::string ExtractFileName(const std::string& path);
// The extension: from the last "." after the last delimiter, the "." included; "" for none.
std::string ExtractFileExt(const std::string& path);
// The folder that holds `path`, without a trailing delimiter: "." when the path names no
// folder, the root delimiter itself for a file directly in the root.
std::string FolderOf(const std::string& path);
// `folder` and `name` with exactly one delimiter between them (`name` alone when `folder` is
// empty).
std::string JoinPath(const std::string& folder, const std::string& name);
