// The operating-system layer of the core. One header; one source file per system
// (UfnPlatform_posix.cpp, UfnPlatform_win32.cpp). Nothing here shows a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
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

// ---- files and folders -------------------------------------------------------------------

bool FileExists(const std::string& path);       // exists and is not a folder
bool DirectoryExists(const std::string& path);  // exists and is a folder
// Creates the folder and every missing parent. True when the folder exists afterwards.
bool ForceDirectories(const std::string& path);
bool DeleteFile(const std::string& path);
bool RemoveDirectory(const std::string& path);  // an empty folder only
// Renames within one file system, replacing an existing target. False (errno kept) otherwise.
bool RenameFile(const std::string& from, const std::string& to);
// The system's message for the last failed call of this thread (errno / GetLastError).
std::string LastErrorMessage();
int LastErrorCode();
std::string ErrorMessage(int code);

// Windows file attributes, synthesised on POSIX.
constexpr uint32_t FILE_ATTR_READONLY = 0x01;
constexpr uint32_t FILE_ATTR_HIDDEN = 0x02;
constexpr uint32_t FILE_ATTR_SYSTEM = 0x04;
constexpr uint32_t FILE_ATTR_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTR_ARCHIVE = 0x20;
constexpr uint32_t FILE_ATTR_NORMAL = 0x80;
constexpr uint32_t FILE_ATTR_TEMPORARY = 0x100;
constexpr uint32_t FILE_ATTR_COMPRESSED = 0x800;
constexpr uint32_t FILE_ATTR_NOT_CONTENT_INDEXED = 0x2000;
constexpr uint32_t FILE_ATTR_ENCRYPTED = 0x4000;

struct DirEntry {
  std::string name;         // the entry's own name, no folder part
  uint32_t attributes = 0;  // Windows attributes (POSIX: 0x10 folder, 0x20 file, +0x01 when
                            // the owner may not write, +0x02 for a name beginning with "."
                            // other than "." and "..")
  uint64_t size = 0;        // 0 for folders
  std::time_t mtime = 0;    // last write time, seconds since the epoch (UTC)
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

// The MS-DOS date (high 16 bits) and time (low 16 bits) of a time in local time; the
// seconds are halved (rounded down to even seconds). Years before 1980 give 1980-01-01 0:00.
uint32_t ToDosDateTime(std::time_t t);

std::string GetCurrentDir();
bool SetCurrentDir(const std::string& path);

// The folder for temporary files, with a trailing delimiter.
std::string TempFolder();

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& data);

// Replaces a file atomically: writes `data` to a temporary file in the same folder, flushes
// it, gives it `mode` (POSIX permission bits; -1 keeps the old file's bits, or 0644 for a new
// file) and renames it over `path`. On failure the old file is untouched, the temporary file
// is removed and false is returned (LastErrorMessage tells why).
bool WriteFileAtomic(const std::string& path, const std::string& data, int mode = -1);

// ---- processes and environment -----------------------------------------------------------

std::string GetEnv(const std::string& name);
bool SetEnv(const std::string& name, const std::string& value);
// The search-path list separator (":" on POSIX, ";" on Windows).
char SearchPathSeparator();
void SleepMs(unsigned ms);

// Runs `commandLine` through the command interpreter ("/bin/sh -c"; Windows "cmd.exe /c") in
// the current folder, standard handles on /dev/null. Without waiting, true once the
// interpreter exists (no zombie is left); with waiting, true when it ended in an orderly way,
// whatever its exit code.
bool RunShellCommand(const std::string& commandLine, bool wait);
// Terminates every process whose image name equals `imageName` without regard to ASCII case;
// true when at least one matched.
bool KillProcessesByName(const std::string& imageName);
// Moves a file or folder (with its contents) to the desktop's trash / recycle bin.
bool MoveToTrash(const std::string& path);

// ---- server control: interpreter quoting and the loopback probe --------------------------

// `text` as one double-quoted word of the command interpreter. POSIX escapes the four
// characters that keep a meaning inside double quotes (\ " $ `); Windows paths hold none
// that cmd.exe reads there.
std::string InterpreterQuote(const std::string& text);
// True when something accepts a TCP connection on 127.0.0.1:port within timeoutMs.
bool LoopbackPortAccepts(int port, unsigned timeoutMs = 1000);

// ---- single instance ---------------------------------------------------------------------

// Holds the named single-instance lock for as long as the object lives.
class InstanceLock {
public:
  virtual ~InstanceLock() = default;
};
// Takes the lock of that name; nullptr when another process holds it or it cannot be made.
// POSIX: an exclusive flock on the file `name` in $XDG_RUNTIME_DIR (else /tmp/orlenway-<uid>/),
// released when the process ends and never inherited by child processes.
std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name);

// ---- the system code page ----------------------------------------------------------------

// The system ANSI code page is UTF-8 on POSIX. Invalid input becomes U+FFFD; a UTF-16 unit
// that has no character (a lone surrogate) becomes "?", the code page's default character.
std::u16string AnsiToWide(const std::string& s);
std::string WideToAnsi(const std::u16string& s);

// ---- file handles for streamed reading and writing (archive writer) -----------------------

// An open file of this system (POSIX: a descriptor; Windows: a HANDLE).
using FileHandle = std::intptr_t;
constexpr FileHandle InvalidFileHandle = -1;

// Opens a file for reading; other programs may go on reading and writing it meanwhile.
FileHandle FileOpenRead(const std::string& path);
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
// Classes of error codes (LastErrorCode): no room left (full disk, quota, file size limit),
// and a file system that refuses every write.
bool IsDiskFullError(int code);
bool IsWriteProtectedError(int code);

// ---- text comparison (user registry) -----------------------------------------------------

// Whether two texts of the system code page are equal without regard to letter case, as the
// system's comparison that ignores case sees them: every cased letter, not ASCII only (POSIX:
// the Unicode case mappings of the C.UTF-8 locale). Letters without case compare as they are.
bool SameTextIgnoreCase(const std::string& a, const std::string& b);

// ---- archive entry names (archive writer) --------------------------------------------------

// A name in the OEM code page, as ZIP readers on MS-DOS and Windows take names without the
// UTF-8 flag (Windows: CharToOemA). POSIX has no OEM code page: the text stays as it is.
std::string ToOemCodePage(const std::string& s);
// Whether text of the OEM code page (oem) or of the ANSI code page (!oem) is UTF-8, so that
// a name in it may carry the UTF-8 flag. POSIX: always.
bool CodePageIsUtf8(bool oem);

}  // namespace platform
