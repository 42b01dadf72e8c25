// Open files for streamed reading and writing (the archive writer), and the room left on a
// file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// An open file of this system (POSIX: a descriptor; Windows: a HANDLE).
using FileHandle = std::intptr_t;
constexpr FileHandle InvalidFileHandle = -1;

// Opens a file for reading; other programs may go on reading and writing it meanwhile.
FileHandle FileOpenRead(const std::string& path);
// Holds a file of the program's own (made when missing) so that no other process can hold it
// until this one closes it or ends, however it ends: a mark that the run that made something
// is still alive (POSIX: an exclusive flock; Windows: the file open without sharing).
// InvalidFileHandle when another process holds it or it cannot be made.
FileHandle FileHoldExclusive(const std::string& path);
// As FileOpenRead, for a file found by a folder walk: `relative` (path delimiters between its
// steps) below `root` (with its trailing delimiter, or "" for the current folder). The root is
// taken as given; no step below it is followed when it is a link (POSIX: at any step, so a
// folder swapped for a link during a run is not entered; Windows: the last step). Never waits
// (a FIFO or device swapped in meanwhile), and fails unless what it opened is a regular file.
FileHandle FileOpenSource(const std::string& root, const std::string& relative);
// Creates a new file with a name of its own in `folder` (with or without a trailing
// delimiter), whose name starts with `prefix` (Windows: with its first three characters, the
// system's unique-file service); open for reading and writing, and only the owner may read it.
// `path` receives the full path. InvalidFileHandle on failure.
FileHandle FileCreateUnique(const std::string& folder, const std::string& prefix,
                            std::string& path);
// Bytes read (0 at the end of the file), or -1 on failure.
int64_t FileRead(FileHandle h, void* buffer, size_t count);
// Writes all `count` bytes; false when that failed (a full disk, a size limit, ...).
bool FileWrite(FileHandle h, const void* buffer, size_t count);
enum TFileSeekOrigin { fsoBeginning = 0, fsoCurrent = 1, fsoEnd = 2 };
// The new position, or -1 on failure.
int64_t FileSeek(FileHandle h, int64_t offset, TFileSeekOrigin origin);
bool FileTruncate(FileHandle h, int64_t size);
// False when the system reports a late write failure on closing.
bool FileClose(FileHandle h);
// Size and free space of the file system holding `path`; false when it cannot be queried.
bool DiskSpace(const std::string& path, uint64_t& total, uint64_t& available);

} // namespace platform
