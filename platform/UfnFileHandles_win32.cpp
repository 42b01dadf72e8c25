// Windows file handles: HANDLEs of the ANSI ("A") calls.
#include "platform/UfnFileHandles.h"

#include "platform/UfnSystemErrors.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>

namespace platform {

using detail::Remember;

namespace {

HANDLE H(FileHandle h) {
  return reinterpret_cast<HANDLE>(h);
}
FileHandle F(HANDLE h) {
  return h == INVALID_HANDLE_VALUE ? InvalidFileHandle : reinterpret_cast<FileHandle>(h);
}

// Critical-error boxes ("There is no disk in the drive") off for the life of the object.
class TQuietErrors {
public:
  TQuietErrors() : FOld(::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
  ~TQuietErrors() { ::SetErrorMode(FOld); }

private:
  UINT FOld;
};

} // namespace

FileHandle FileOpenRead(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) Remember();
  return F(h);
}

FileHandle FileHoldExclusive(const std::string& path) {
  TQuietErrors quiet;
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) Remember();
  return F(h);
}

FileHandle FileOpenSource(const std::string& root, const std::string& relative) {
  const std::string path = root + relative;
  // The reparse point itself is opened, so its attributes show it and it is refused.
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    Remember();
    return InvalidFileHandle;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    ::CloseHandle(h);
    Remember(static_cast<int>(ERROR_CANT_ACCESS_FILE));
    return InvalidFileHandle;
  }
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

} // namespace platform
