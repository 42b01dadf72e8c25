// Windows implementation of the OS layer: the ANSI ("A") calls, so that every string is text
// of the process's ANSI code page, as everywhere else in the core.
#include "platform/UfnPlatform.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
// winsock2.h before windows.h, which would bring the old winsock.h otherwise.
#include <winsock2.h>
// After winsock2.h:
#include <windows.h>
// After windows.h:
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
// The layer's own names, which windows.h takes for its A/W macros.
#undef DeleteFile
#undef RemoveDirectory

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

thread_local int g_lastError = 0;

void Remember() {
  g_lastError = static_cast<int>(::GetLastError());
}
void Remember(DWORD code) {
  g_lastError = static_cast<int>(code);
}

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
}

// Critical-error boxes ("There is no disk in the drive") off for the life of the object.
class TQuietErrors {
public:
  TQuietErrors() : FOld(::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
  ~TQuietErrors() { ::SetErrorMode(FOld); }

private:
  UINT FOld;
};

class MutexInstanceLock : public InstanceLock {
public:
  explicit MutexInstanceLock(HANDLE h) : FHandle(h) {}
  ~MutexInstanceLock() override {
    ::ReleaseMutex(FHandle);
    ::CloseHandle(FHandle);
  }

private:
  HANDLE FHandle;
};

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

int LastErrorCode() {
  return g_lastError;
}

std::string ErrorMessage(int code) {
  char* text = nullptr;
  DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string s = n && text ? std::string(text, n) : "System error " + std::to_string(code);
  if (text) ::LocalFree(text);
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' '))
    s.pop_back();
  return s;
}

std::string LastErrorMessage() {
  return ErrorMessage(g_lastError);
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
    Remember(end);
    entries.clear();
    return false;
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

bool WriteFileAtomic(const std::string& path, const std::string& data, int /*mode*/) {
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
    Remember(code);
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

// ---- processes and environment -----------------------------------------------------------

std::string GetEnv(const std::string& name) {
  DWORD n = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (n == 0) return "";
  std::string buf(n, '\0');
  n = ::GetEnvironmentVariableA(name.c_str(), buf.data(), n);
  buf.resize(n < buf.size() ? n : 0);
  return buf;
}

bool SetEnv(const std::string& name, const std::string& value) {
  return ::SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
}

char SearchPathSeparator() {
  return ';';
}

void SleepMs(unsigned ms) {
  ::Sleep(ms);
}

bool RunShellCommand(const std::string& commandLine, bool wait) {
  std::string full = "cmd.exe /c " + commandLine;
  std::vector<char> line(full.begin(), full.end());
  line.push_back('\0');
  std::string cwd = GetCurrentDir();

  // A hidden window and no standard handles at all.
  STARTUPINFOA si;
  std::memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi;
  std::memset(&pi, 0, sizeof pi);
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        cwd.empty() ? nullptr : cwd.c_str(), &si, &pi)) {
    Remember();
    return false;
  }
  bool ok = true;
  if (wait) {
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    ok = ::GetExitCodeProcess(pi.hProcess, &code) && code != STILL_ACTIVE;
    if (!ok) Remember();
  }
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return ok;
}

bool KillProcessesByName(const std::string& imageName) {
  auto upper = [](std::string s) {
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
  };
  const std::string wanted = upper(imageName);
  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) {
    Remember();
    return false;
  }
  PROCESSENTRY32 pe;
  std::memset(&pe, 0, sizeof pe);
  pe.dwSize = sizeof pe;
  bool found = false;
  for (BOOL more = ::Process32First(snap, &pe); more; more = ::Process32Next(snap, &pe)) {
    std::string name(pe.szExeFile, strnlen(pe.szExeFile, sizeof pe.szExeFile));
    if (upper(name) != wanted) continue;
    found = true;
    // Whoever cannot be opened with every right may still let itself be terminated.
    HANDLE p = ::OpenProcess(0x1F0FFF, FALSE, pe.th32ProcessID);
    if (!p) p = ::OpenProcess(PROCESS_TERMINATE, FALSE, pe.th32ProcessID);
    if (p) {
      ::TerminateProcess(p, 0);
      ::CloseHandle(p);
    }
  }
  ::CloseHandle(snap);
  return found;
}

bool MoveToTrash(const std::string& path) {
  if (path.empty()) return false;
  // The shell keeps undo information only for full paths: a relative one would be deleted
  // for good instead of going to the recycle bin.
  std::string full = path;
  char buf[MAX_PATH + 1];
  DWORD n = ::GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  if (n > 0 && n < sizeof buf) full.assign(buf, n);
  // The source list: the path and two zero bytes, as long as the path needs.
  std::vector<char> from(full.begin(), full.end());
  from.push_back('\0');
  from.push_back('\0');
  SHFILEOPSTRUCTA op;
  std::memset(&op, 0, sizeof op);
  op.hwnd = nullptr;
  op.wFunc = FO_DELETE;
  op.pFrom = from.data();
  op.pTo = nullptr;
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT;
  op.lpszProgressTitle = nullptr;
  return ::SHFileOperationA(&op) == 0;
}

// ---- server control: interpreter quoting and the loopback probe --------------------------

std::string InterpreterQuote(const std::string& text) {
  // cmd.exe takes the quotes as they are; the program it starts splits its arguments by the
  // C run-time's rules, where backslashes right before the closing quote would escape it.
  size_t trailing = 0;
  while (trailing < text.size() && text[text.size() - 1 - trailing] == '\\')
    ++trailing;
  return "\"" + text + std::string(trailing, '\\') + "\"";
}

bool LoopbackPortAccepts(int port, unsigned timeoutMs) {
  if (port <= 0 || port > 65535) return false;
  static const bool started = [] {
    WSADATA d;
    return ::WSAStartup(MAKEWORD(2, 2), &d) == 0;
  }();
  if (!started) return false;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    Remember(static_cast<DWORD>(::WSAGetLastError()));
    return false;
  }
  u_long nonBlocking = 1;
  ::ioctlsocket(s, FIONBIO, &nonBlocking);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (!ok && ::WSAGetLastError() == WSAEWOULDBLOCK) {
    fd_set w, e;
    FD_ZERO(&w);
    FD_ZERO(&e);
    FD_SET(s, &w);
    FD_SET(s, &e);
    timeval tv{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
    int r = ::select(0, nullptr, &w, &e, &tv);
    int soErr = 0;
    int len = sizeof soErr;
    ok = r > 0 && FD_ISSET(s, &w) &&
         ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soErr), &len) == 0 &&
         soErr == 0;
  }
  ::closesocket(s);
  return ok;
}

// ---- single instance ---------------------------------------------------------------------

std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name) {
  // No security attributes (not inherited by the commands the program runs), owned by the
  // creating thread; the name carries no namespace, so it holds within the logon session.
  ::SetLastError(0);
  HANDLE h = ::CreateMutexA(nullptr, TRUE, name.c_str());
  DWORD error = ::GetLastError();
  if (!h) return nullptr;
  if (error != 0) {
    ::CloseHandle(h);
    return nullptr;
  }
  return std::make_unique<MutexInstanceLock>(h);
}

// ---- the system code page ----------------------------------------------------------------

std::u16string AnsiToWide(const std::string& s) {
  if (s.empty()) return {};
  int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return std::u16string(w.begin(), w.end());
}

std::string WideToAnsi(const std::u16string& s) {
  if (s.empty()) return {};
  std::wstring w(s.begin(), s.end());
  // A lone surrogate has no character in any code page: the default character, "?".
  for (size_t i = 0; i < w.size(); ++i) {
    bool high = w[i] >= 0xD800 && w[i] <= 0xDBFF, low = w[i] >= 0xDC00 && w[i] <= 0xDFFF;
    if (high && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF)
      ++i;
    else if (high || low)
      w[i] = L'?';
  }
  int n = ::WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        nullptr);
  return out;
}

// ---- file handles for streamed reading and writing (archive writer) -----------------------

namespace {

HANDLE H(FileHandle h) {
  return reinterpret_cast<HANDLE>(h);
}
FileHandle F(HANDLE h) {
  return h == INVALID_HANDLE_VALUE ? InvalidFileHandle : reinterpret_cast<FileHandle>(h);
}

} // namespace

FileHandle FileOpenRead(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) Remember();
  return F(h);
}

FileHandle FileCreateUnique(const std::string& folder, const std::string& prefix,
                            std::string& path) {
  std::string dir = folder.empty() ? std::string(".") : folder;
  char buf[MAX_PATH + 1] = {};
  // The system's unique-file service: at most three characters of the prefix count.
  if (!::GetTempFileNameA(dir.c_str(), prefix.c_str(), 0, buf)) {
    Remember();
    return InvalidFileHandle;
  }
  HANDLE h = ::CreateFileA(buf, GENERIC_READ | GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    Remember();
    ::DeleteFileA(buf);
    return InvalidFileHandle;
  }
  path = buf;
  return F(h);
}

int64_t FileRead(FileHandle h, void* buffer, size_t count) {
  DWORD n = 0;
  DWORD want = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
  if (!::ReadFile(H(h), buffer, want, &n, nullptr)) {
    Remember();
    return -1;
  }
  return n;
}

bool FileWrite(FileHandle h, const void* buffer, size_t count) {
  const char* p = static_cast<const char*>(buffer);
  while (count > 0) {
    DWORD n = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
    if (!::WriteFile(H(h), p, chunk, &n, nullptr)) {
      Remember();
      return false;
    }
    if (n == 0) {
      Remember(ERROR_DISK_FULL);
      return false;
    }
    p += n;
    count -= n;
  }
  return true;
}

int64_t FileSeek(FileHandle h, int64_t offset, TFileSeekOrigin origin) {
  LARGE_INTEGER to, now;
  to.QuadPart = offset;
  DWORD method = origin == fsoBeginning ? FILE_BEGIN
                 : origin == fsoCurrent ? FILE_CURRENT
                                        : FILE_END;
  if (!::SetFilePointerEx(H(h), to, &now, method)) {
    Remember();
    return -1;
  }
  return now.QuadPart;
}

bool FileTruncate(FileHandle h, int64_t size) {
  LARGE_INTEGER zero, here, to;
  zero.QuadPart = 0;
  to.QuadPart = size;
  if (!::SetFilePointerEx(H(h), zero, &here, FILE_CURRENT) ||
      !::SetFilePointerEx(H(h), to, nullptr, FILE_BEGIN) || !::SetEndOfFile(H(h))) {
    Remember();
    return false;
  }
  // The position stays where it was, as with ftruncate.
  ::SetFilePointerEx(H(h), here, nullptr, FILE_BEGIN);
  return true;
}

bool FileClose(FileHandle h) {
  if (!::CloseHandle(H(h))) {
    Remember();
    return false;
  }
  return true;
}

bool DiskSpace(const std::string& path, uint64_t& total, uint64_t& available) {
  TQuietErrors quiet;
  ULARGE_INTEGER avail, all;
  if (!::GetDiskFreeSpaceExA(path.c_str(), &avail, &all, nullptr)) {
    Remember();
    return false;
  }
  total = all.QuadPart;
  available = avail.QuadPart;
  return true;
}

bool IsDiskFullError(int code) {
  return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL ||
         code == 1295 /* ERROR_DISK_QUOTA_EXCEEDED */ || code == ERROR_FILE_TOO_LARGE;
}

bool IsWriteProtectedError(int code) {
  return code == ERROR_WRITE_PROTECT;
}

// ---- text comparison (user registry) -----------------------------------------------------

bool SameTextIgnoreCase(const std::string& a, const std::string& b) {
  if (a == b) return true;
  if (a.empty() || b.empty()) return false;
  // The comparison of CompareStringA, but with the texts converted by the process's own code
  // page: the A form converts by the locale's, which is not UTF-8 when the program's is.
  std::u16string x = AnsiToWide(a), y = AnsiToWide(b);
  std::wstring wx(x.begin(), x.end()), wy(y.begin(), y.end());
  return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wx.data(),
                          static_cast<int>(wx.size()), wy.data(),
                          static_cast<int>(wy.size())) == CSTR_EQUAL;
}

// ---- archive entry names (archive writer) --------------------------------------------------

std::string ToOemCodePage(const std::string& s) {
  if (s.empty()) return s;
  // The OEM form is never longer than the ANSI one; the room to spare costs nothing.
  std::vector<char> out(s.size() * 3 + 1, '\0');
  if (!::CharToOemA(s.c_str(), out.data())) return s;
  return std::string(out.data());
}

bool CodePageIsUtf8(bool oem) {
  return (oem ? ::GetOEMCP() : ::GetACP()) == CP_UTF8;
}

} // namespace platform
