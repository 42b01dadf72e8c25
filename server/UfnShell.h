// Shell helpers: path helpers used wherever a name is appended to a folder setting, and the
// process and recycle-bin operations of the server control and the project manager.
#pragma once

#include <string>

// `path` if its last character is the path delimiter, else `path` + the delimiter.
// The empty string gives the lone delimiter.
std::string AddPathDelimiter(const std::string& path);

// The Program Files folder without a trailing delimiter, or "" when it cannot be found
// (POSIX: "/usr"). Never raises and never shows anything.
std::string GetSpecialFolderPath();

// Terminates every process on the machine whose image name (the executable's file name)
// equals `imageName` without regard to ASCII letter case, whoever started it. True when at
// least one such process was found; termination may finish shortly after the return.
bool KillProcessByName(const std::string& imageName);

// Moves a file or a folder with everything in it to the recycle bin (the desktop's Trash),
// asking nothing. One trailing delimiter is removed first. True when the shell reported
// success; false on any failure, never an error. An empty path (or the lone delimiter) is
// refused rather than taken as the current folder.
bool DeleteToRecycleBin(const std::string& path);
