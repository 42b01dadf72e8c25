// Paths, files and folders: the program's own folders, listings, whole-file reads and atomic
// replacement.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace platform {

// ---- paths -------------------------------------------------------------------------------

// The path delimiter of this system ("/" on POSIX, "\\" on Windows).
char PathDelimiter();

// The full path of the running executable (/proc/self/exe on Linux).
std::string ExecutablePath();

// The folder that holds the program's own files (settings file, User.Dat, probe file),
// with a trailing delimiter. POSIX: $XDG_CONFIG_HOME/orlenway/, else $HOME/.config/orlenway/.
// Windows: the executable's folder. The folder is not created here.
std::string StateFolder();

// The path whose extension rule gives the settings file: StateFolder() followed by the
// executable's file name (Windows: the executable's own path).
std::string ProgramPath();

// The Program Files folder without a trailing delimiter, or "" when it cannot be found.
// POSIX stand-in: "/usr", so that the default Subversion folder is where Debian puts it.
std::string ProgramFilesFolder();

// Whether `path` stands on its own rather than relative to a current folder (POSIX: a leading
// "/"; Windows: a drive and a delimiter, or a UNC or rooted path).
bool IsAbsolutePath(const std::string& path);
// The full path of `path` (a relative one taken from the current folder) with "." and ".."
// and symbolic links resolved as far as the path exists; the rest is normalised as written.
// Windows: links are resolved through the longest existing part as well.
std::string ResolvedPath(const std::string& path);
// The full path of `path` with "." and ".." taken as written, links not looked at (as
// svnserve joins a file name to a folder before the system opens it).
std::string LexicalPath(const std::string& path);
// Whether `path` lies below `folder` (not the folder itself), both resolved (ResolvedPath)
// or, without followLinks, both taken as written (LexicalPath). Windows compares without
// regard to ASCII letter case.
bool PathWithin(const std::string& folder, const std::string& path, bool followLinks = true);

// ---- files and folders -------------------------------------------------------------------

bool FileExists(const std::string& path);      // exists and is not a folder
bool DirectoryExists(const std::string& path); // exists and is a folder
// Creates the folder and every missing parent. True when the folder exists afterwards.
bool ForceDirectories(const std::string& path);
// ForceDirectories, then the folder is closed to other accounts (mode 0700; on Windows the
// folder under the user's profile already is).
bool ForcePrivateDirectory(const std::string& path);
bool DeleteFile(const std::string& path);
bool RemoveDirectory(const std::string& path); // an empty folder only
// Renames within one file system, replacing an existing target. False (errno kept) otherwise.
bool RenameFile(const std::string& from, const std::string& to);

// Windows file attributes, synthesised on POSIX.
constexpr uint32_t FILE_ATTR_READONLY = 0x01;
constexpr uint32_t FILE_ATTR_HIDDEN = 0x02;
constexpr uint32_t FILE_ATTR_SYSTEM = 0x04;
constexpr uint32_t FILE_ATTR_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTR_ARCHIVE = 0x20;
constexpr uint32_t FILE_ATTR_NORMAL = 0x80;
constexpr uint32_t FILE_ATTR_TEMPORARY = 0x100;
constexpr uint32_t FILE_ATTR_REPARSE_POINT = 0x400;
constexpr uint32_t FILE_ATTR_COMPRESSED = 0x800;
constexpr uint32_t FILE_ATTR_NOT_CONTENT_INDEXED = 0x2000;
constexpr uint32_t FILE_ATTR_ENCRYPTED = 0x4000;

struct DirEntry {
  std::string name;        // the entry's own name, no folder part
  uint32_t attributes = 0; // Windows attributes (POSIX: 0x10 folder, 0x20 file, +0x01 when
                           // the owner may not write, +0x02 for a name beginning with "."
                           // other than "." and "..")
  uint64_t size = 0;       // 0 for folders
  std::time_t mtime = 0;   // last write time, seconds since the epoch (UTC)
  bool link = false;       // a symbolic link (POSIX) or a reparse point (Windows)
  bool special = false;    // POSIX: a pipe, socket or device; only ListDirectoryNoFollow
                           // lists them (attributes 0, size 0)
  bool IsDirectory() const { return (attributes & FILE_ATTR_DIRECTORY) != 0; }
};

// Attributes of one path, as a listing would report them; false when it does not exist.
bool GetEntry(const std::string& path, DirEntry& entry);

// Lists a folder. POSIX: symbolic links are followed; entries that are neither files nor
// folders after that (sockets, pipes, devices, dangling links) are left out. Entries come
// in case-insensitive name order (ASCII letters; ties by byte order), as NTFS returns them.
// With includeDots the first two entries are "." and ".." with the attributes of the folder
// and of its parent. A folder that cannot be listed gives an empty list and false.
bool ListDirectory(const std::string& path, std::vector<DirEntry>& entries,
                   bool includeDots = false);
// As ListDirectory, but links are not followed: a symbolic link (dangling or not) or a
// reparse point is listed with `link` set and FILE_ATTR_REPARSE_POINT alone (plus the hidden
// bit of a dot name on POSIX), never as a folder, so nothing walking the list enters it.
// POSIX: pipes, sockets and devices are listed too, with `special` set.
bool ListDirectoryNoFollow(const std::string& path, std::vector<DirEntry>& entries,
                           bool includeDots = false);

// The MS-DOS date (high 16 bits) and time (low 16 bits) of a time in local time; the
// seconds are halved (rounded down to even seconds). Years before 1980 give 1980-01-01 0:00.
uint32_t ToDosDateTime(std::time_t t);

std::string GetCurrentDir();
bool SetCurrentDir(const std::string& path);

// The folder for temporary files, with a trailing delimiter.
std::string TempFolder();

// Reads a whole file; false when it cannot be opened or read. POSIX: a FIFO, socket or block
// device is refused at once (EINVAL) instead of being waited on.
bool ReadWholeFile(const std::string& path, std::string& data);

// Replaces a file atomically: writes `data` to a temporary file in the same folder, flushes
// it and renames it over `path`. A symbolic link is followed and its target replaced (the
// link stays). An existing file keeps its mode, owner and group; a new file gets `mode`
// (POSIX permission bits; -1: 0644). POSIX: where the replacement cannot be given the old
// owner and group (a file of another account), a file the program may write is rewritten in
// place instead; otherwise nothing changes. On failure the old file is untouched, the
// temporary file is removed and false is returned (LastErrorMessage tells why).
// Only regular files are replaced. POSIX: a character device (reached directly or through a
// link, such as a link to /dev/null) is written in place without waiting; a folder (EISDIR),
// FIFO, socket or block device (EINVAL) is refused and left alone. Windows: anything but a
// file on disk is refused. POSIX: temporary files of earlier saves of the same name that
// were killed midway (".<name>.XXXXXX", this account's, untouched for a minute) are removed.
bool WriteFileAtomic(const std::string& path, const std::string& data, int mode = -1);
// As WriteFileAtomic, for a file that holds passwords in clear text: the file never keeps
// permission bits for others, also when it had them (owner and group bits stay, so a server
// running under the group still reads it). Windows: as WriteFileAtomic.
bool WritePrivateFileAtomic(const std::string& path, const std::string& data, int mode = 0600);

} // namespace platform
