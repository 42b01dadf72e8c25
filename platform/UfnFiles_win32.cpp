// Windows paths, files and folders: the ANSI ("A") calls, so that every string is text of the
// process's ANSI code page, as everywhere else in the core.
#include "platform/UfnFiles.h"

#include "platform/UfnSystemErrors.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <shlobj.h>
// The layer's own names, which windows.h takes for its A/W macros.
#undef DeleteFile
#undef RemoveDirectory

#include <algorithm>

namespace platform {

using detail::Remember;

namespace {

bool IsDelimiter(char c) {
  return c == '\\' || c == '/';
}

// "C:\", "\\server\share\" or "\": the part of a path that no folder can be made for.
size_t RootLength(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && IsDelimiter(path[2]) ? 3 : 2;
  if (path.size() >= 2 && IsDelimiter(path[0]) && IsDelimiter(path[1])) {
    size_t server = path.find_first_of("\\/", 2);
    if (server == std::string::npos) return path.size();
    size_t share = path.find_first_of("\\/", server + 1);
    return share == std::string::npos ? path.size() : share + 1;
  }
  return !path.empty() && IsDelimiter(path[0]) ? 1 : 0;
}

// The folder part of a path: without its trailing delimiter, except for a root ("C:\");
// "" when there is none.
std::string ParentOf(const std::string& path) {
  std::string p = path;
  while (p.size() > RootLength(p) && IsDelimiter(p.back()))
    p.pop_back();
  size_t pos = p.find_last_of("\\/");
  if (pos == std::string::npos || p.size() <= RootLength(p)) return "";
  return pos + 1 <= RootLength(p) ? p.substr(0, pos + 1) : p.substr(0, pos);
}

std::string LastName(const std::string& path) {
  std::string p = path;
  while (p.size() > RootLength(p) && IsDelimiter(p.back()))
    p.pop_back();
  size_t pos = p.find_last_of("\\/:");
  return pos == std::string::npos ? p : p.substr(pos + 1);
}

std::time_t ToTimeT(const FILETIME& ft) {
  ULARGE_INTEGER u;
  u.LowPart = ft.dwLowDateTime;
  u.HighPart = ft.dwHighDateTime;
  // 100-ns steps since 1601-01-01 UTC.
  const uint64_t epoch = 116444736000000000ull;
  if (u.QuadPart < epoch) return 0;
  return static_cast<std::time_t>((u.QuadPart - epoch) / 10000000ull);
}

FILETIME ToFileTime(std::time_t t) {
  ULARGE_INTEGER u;
  u.QuadPart = static_cast<uint64_t>(t) * 10000000ull + 116444736000000000ull;
  FILETIME ft;
  ft.dwLowDateTime = u.LowPart;
  ft.dwHighDateTime = u.HighPart;
  return ft;
}

void Fill(DirEntry& e, const std::string& name, DWORD attributes, DWORD sizeHigh, DWORD sizeLow,
          const FILETIME& written) {
  e.name = name;
  e.attributes = attributes;
  e.size = (attributes & FILE_ATTRIBUTE_DIRECTORY)
               ? 0
               : (static_cast<uint64_t>(sizeHigh) << 32 | static_cast<uint64_t>(sizeLow));
  e.mtime = ToTimeT(written);
  e.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

} // namespace

// ---- paths -------------------------------------------------------------------------------

char PathDelimiter() {
  return '\\';
}

std::string ExecutablePath() {
  std::string buf(MAX_PATH, '\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return "orlenway.exe";
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.resize(buf.size() * 2);
  }
}

std::string StateFolder() {
  std::string exe = ExecutablePath();
  size_t pos = exe.find_last_of("\\/");
  return pos == std::string::npos ? std::string(".\\") : exe.substr(0, pos + 1);
}

std::string ProgramPath() {
  return ExecutablePath();
}

std::string ProgramFilesFolder() {
  LPITEMIDLIST list = nullptr;
  if (::SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAM_FILES, &list) != S_OK || !list) return "";
  char buf[MAX_PATH + 1] = {};
  BOOL ok = ::SHGetPathFromIDListA(list, buf);
  ::CoTaskMemFree(list); // the shell's allocator
  return ok ? std::string(buf) : std::string();
}

bool IsAbsolutePath(const std::string& path) {
  return (path.size() >= 3 && path[1] == ':' && IsDelimiter(path[2])) ||
         (!path.empty() && IsDelimiter(path[0]));
}

namespace {

// The system's own name of an existing file or folder, links resolved; "" when it cannot be
// opened.
std::string FinalPath(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "";
  std::string buf(32768, '\0');
  const DWORD n = ::GetFinalPathNameByHandleA(h, buf.data(), static_cast<DWORD>(buf.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  ::CloseHandle(h);
  if (n == 0 || n >= buf.size()) return "";
  buf.resize(n);
  if (buf.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + buf.substr(8);
  if (buf.rfind("\\\\?\\", 0) == 0) return buf.substr(4);
  return buf;
}

std::string FullPath(const std::string& path) {
  const DWORD n = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::string buf(n, '\0');
  const DWORD m = ::GetFullPathNameA(path.c_str(), n, buf.data(), nullptr);
  if (m == 0 || m >= n) return path;
  buf.resize(m);
  return buf;
}

} // namespace

std::string ResolvedPath(const std::string& path) {
  // "." and ".." go first, as written; then the longest part that exists is resolved.
  const std::string full = FullPath(path);
  std::string head = full, tail;
  while (head.size() > RootLength(head)) {
    const std::string real = FinalPath(head);
    if (!real.empty()) return real + (tail.empty() || IsDelimiter(real.back()) ? "" : "\\") + tail;
    const size_t pos = head.find_last_of("\\/");
    if (pos == std::string::npos || pos < RootLength(head)) break;
    tail = head.substr(pos + 1) + (tail.empty() ? "" : "\\") + tail;
    head = head.substr(0, std::max(pos, RootLength(head)));
  }
  return full;
}

std::string LexicalPath(const std::string& path) {
  return FullPath(path);
}

bool PathWithin(const std::string& folder, const std::string& path, bool followLinks) {
  std::string f = followLinks ? ResolvedPath(folder) : LexicalPath(folder);
  const std::string p = followLinks ? ResolvedPath(path) : LexicalPath(path);
  if (f.empty() || !IsDelimiter(f.back())) f += '\\';
  if (p.size() <= f.size()) return false;
  for (size_t i = 0; i < f.size(); ++i) {
    const char a = f[i], b = p[i];
    if (IsDelimiter(a) && IsDelimiter(b)) continue;
    if (a == b) continue;
    if (a >= 'A' && a <= 'Z' && a + ('a' - 'A') == b) continue;
    if (b >= 'A' && b <= 'Z' && b + ('a' - 'A') == a) continue;
    return false;
  }
  return true;
}

// ---- files and folders -------------------------------------------------------------------

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  if (path.empty()) return false;
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::string p = path;
  while (p.size() > RootLength(p) && IsDelimiter(p.back()))
    p.pop_back();
  if (DirectoryExists(p)) return true;
  if (p.size() <= RootLength(p)) return DirectoryExists(p);
  std::string parent = ParentOf(p);
  if (!parent.empty() && parent != p && !DirectoryExists(parent) && !ForceDirectories(parent))
    return false;
  if (!::CreateDirectoryA(p.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    Remember();
    return false;
  }
  return DirectoryExists(p);
}

bool ForcePrivateDirectory(const std::string& path) {
  return ForceDirectories(path);
}

bool DeleteFile(const std::string& path) {
  if (!::DeleteFileA(path.c_str())) {
    Remember();
    return false;
  }
  return true;
}

bool RemoveDirectory(const std::string& path) {
  if (!::RemoveDirectoryA(path.c_str())) {
    Remember();
    return false;
  }
  return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
  // No MOVEFILE_COPY_ALLOWED: across volumes this fails, and the caller copies.
  if (!::MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Remember();
    return false;
  }
  return true;
}

bool GetEntry(const std::string& path, DirEntry& entry) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (path.empty() || !::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) {
    Remember();
    return false;
  }
  Fill(entry, LastName(path), d.dwFileAttributes, d.nFileSizeHigh, d.nFileSizeLow,
       d.ftLastWriteTime);
  return true;
}

bool ListDirectory(const std::string& path, std::vector<DirEntry>& entries, bool includeDots) {
  entries.clear();
  std::string pattern = path;
  if (pattern.empty() || !IsDelimiter(pattern.back())) pattern += '\\';
  pattern += "*.*";
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA(pattern.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) {
    Remember();
    return false;
  }
  // In the order the file system returns them (NTFS: sorted by its upper-case table).
  do {
    std::string name = fd.cFileName;
    if (!includeDots && (name == "." || name == "..")) continue;
    DirEntry e;
    Fill(e, name, fd.dwFileAttributes, fd.nFileSizeHigh, fd.nFileSizeLow, fd.ftLastWriteTime);
    entries.push_back(std::move(e));
  } while (::FindNextFileA(h, &fd));
  DWORD end = ::GetLastError();
  ::FindClose(h);
  if (end != ERROR_NO_MORE_FILES) {
    Remember(static_cast<int>(end));
    entries.clear();
    return false;
  }
  return true;
}

bool ListDirectoryNoFollow(const std::string& path, std::vector<DirEntry>& entries,
                           bool includeDots) {
  if (!ListDirectory(path, entries, includeDots)) return false;
  // A symbolic link or junction is listed as what it is, never as a folder to enter.
  for (DirEntry& e : entries)
    if (e.link) {
      e.attributes = FILE_ATTR_REPARSE_POINT | (e.attributes & FILE_ATTR_HIDDEN);
      e.size = 0;
    }
  return true;
}

uint32_t ToDosDateTime(std::time_t t) {
  const uint32_t floor = (1u << 5 | 1u) << 16; // 1980-01-01 0:00
  if (t < 0) return floor;
  FILETIME utc = ToFileTime(t), local;
  WORD date = 0, time = 0;
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToDosDateTime(&local, &date, &time))
    return floor;
  return static_cast<uint32_t>(date) << 16 | time;
}

std::string GetCurrentDir() {
  DWORD n = ::GetCurrentDirectoryA(0, nullptr);
  if (n == 0) {
    Remember();
    return "";
  }
  std::string buf(n, '\0');
  n = ::GetCurrentDirectoryA(n, buf.data());
  if (n == 0 || n >= buf.size()) {
    Remember();
    return "";
  }
  buf.resize(n);
  return buf;
}

bool SetCurrentDir(const std::string& path) {
  if (!::SetCurrentDirectoryA(path.c_str())) {
    Remember();
    return false;
  }
  return true;
}

std::string TempFolder() {
  char buf[MAX_PATH + 2] = {};
  DWORD n = ::GetTempPathA(sizeof buf, buf);
  std::string t = n > 0 && n < sizeof buf ? std::string(buf, n) : std::string("C:\\Temp\\");
  if (!IsDelimiter(t.back())) t += '\\';
  return t;
}

bool ReadWholeFile(const std::string& path, std::string& data) {
  data.clear();
  // Others may read meanwhile, but not change the file under the reader.
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    Remember();
    return false;
  }
  char buf[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) {
      Remember();
      ::CloseHandle(h);
      data.clear();
      return false;
    }
    if (n == 0) break;
    data.append(buf, n);
  }
  ::CloseHandle(h);
  return true;
}

namespace {

// Only a file on disk is replaced. A folder, a pipe or a device in its place (a reparse point
// may lead to one) is refused and stays as it is; false then, with the reason remembered.
bool ReplaceableTarget(const std::string& path) {
  // Asks for no access, so that opening it neither waits nor takes anything from its user.
  HANDLE h = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  // A new file; or the replacement itself says why it cannot be done.
  if (h == INVALID_HANDLE_VALUE) return true;
  const DWORD type = ::GetFileType(h);
  BY_HANDLE_FILE_INFORMATION info{};
  const bool folder = ::GetFileInformationByHandle(h, &info) &&
                      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  ::CloseHandle(h);
  if (folder) {
    Remember(ERROR_ACCESS_DENIED);
    return false;
  }
  if (type != FILE_TYPE_DISK) {
    Remember(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

} // namespace

bool WritePrivateFileAtomic(const std::string& path, const std::string& data, int mode) {
  return WriteFileAtomic(path, data, mode);
}

bool WriteFileAtomic(const std::string& path, const std::string& data, int /*mode*/) {
  if (!ReplaceableTarget(path)) return false;
  // Windows has no permission bits: the new file takes its folder's access rules.
  size_t slash = path.find_last_of("\\/");
  std::string folder = slash != std::string::npos           ? path.substr(0, slash + 1)
                       : path.size() >= 2 && path[1] == ':' ? path.substr(0, 2)
                                                            : std::string(".");
  char tmp[MAX_PATH + 1] = {};
  if (!::GetTempFileNameA(folder.c_str(), "orl", 0, tmp)) {
    Remember();
    return false;
  }
  auto fail = [&](DWORD code) {
    ::DeleteFileA(tmp);
    Remember(static_cast<int>(code));
    return false;
  };
  HANDLE h = ::CreateFileA(tmp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail(::GetLastError());
  size_t done = 0;
  while (done < data.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(h, data.data() + done, chunk, &n, nullptr) || n == 0) {
      DWORD code = n == 0 && ::GetLastError() == 0 ? ERROR_DISK_FULL : ::GetLastError();
      ::CloseHandle(h);
      return fail(code);
    }
    done += n;
  }
  if (!::FlushFileBuffers(h)) {
    DWORD code = ::GetLastError();
    ::CloseHandle(h);
    return fail(code);
  }
  if (!::CloseHandle(h)) return fail(::GetLastError());
  // A read-only target refuses the replacement and stays as it was, as it refuses being
  // created anew.
  DWORD old = ::GetFileAttributesA(path.c_str());
  if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
    return fail(ERROR_ACCESS_DENIED);
  if (!::MoveFileExA(tmp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return fail(::GetLastError());
  return true;
}

} // namespace platform
