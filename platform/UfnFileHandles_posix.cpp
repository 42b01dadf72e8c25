// POSIX (Linux) file handles: descriptors.
#include "platform/UfnFileHandles.h"

#include "platform/UfnSystemErrors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace platform {

using detail::Remember;

FileHandle FileOpenRead(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Remember();
  return fd < 0 ? InvalidFileHandle : fd;
}

FileHandle FileHoldExclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    Remember();
    return InvalidFileHandle;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int code = errno;
    ::close(fd);
    Remember(code);
    return InvalidFileHandle;
  }
  return fd;
}

FileHandle FileOpenSource(const std::string& root, const std::string& relative) {
  // Step by step from the root, each folder opened without following a link.
  const bool absolute = root.empty() && !relative.empty() && relative[0] == '/';
  const char* base = !root.empty() ? root.c_str() : absolute ? "/" : ".";
  int dir = ::open(base, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    Remember();
    return InvalidFileHandle;
  }
  size_t start = 0;
  for (size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1) {
    if (slash == start) continue;
    const std::string step = relative.substr(start, slash - start);
    const int next = ::openat(dir, step.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int code = errno;
    ::close(dir);
    if (next < 0) {
      Remember(code);
      return InvalidFileHandle;
    }
    dir = next;
  }
  const int fd = ::openat(dir, relative.c_str() + start,
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  const int opened = errno;
  ::close(dir);
  if (fd < 0) {
    Remember(opened);
    return InvalidFileHandle;
  }
  struct stat st;
  const bool stated = ::fstat(fd, &st) == 0;
  if (!stated || !S_ISREG(st.st_mode)) {
    const int code = stated ? EINVAL : errno;
    ::close(fd);
    Remember(code);
    return InvalidFileHandle;
  }
  // Reads of a regular file never wait anyway; the flag only mattered for the open.
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

FileHandle FileCreateUnique(const std::string& folder, const std::string& prefix,
                            std::string& path) {
  std::string dir = folder.empty() ? std::string("./") : folder;
  if (dir.back() != '/') dir += '/';
  std::string tmpl = dir + prefix + "XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  int fd = ::mkostemp(buf.data(), O_CLOEXEC);
  if (fd < 0) {
    Remember();
    return InvalidFileHandle;
  }
  path = buf.data();
  return fd;
}

int64_t FileRead(FileHandle h, void* buffer, size_t count) {
  for (;;) {
    ssize_t n = ::read(static_cast<int>(h), buffer, count);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    Remember();
    return -1;
  }
}

bool FileWrite(FileHandle h, const void* buffer, size_t count) {
  const char* p = static_cast<const char*>(buffer);
  while (count > 0) {
    ssize_t n = ::write(static_cast<int>(h), p, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      Remember();
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      Remember();
      return false;
    }
    p += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

int64_t FileSeek(FileHandle h, int64_t offset, TFileSeekOrigin origin) {
  int whence = origin == fsoBeginning ? SEEK_SET : origin == fsoCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(static_cast<int>(h), static_cast<off_t>(offset), whence);
  if (r < 0) Remember();
  return r;
}

bool FileTruncate(FileHandle h, int64_t size) {
  if (::ftruncate(static_cast<int>(h), static_cast<off_t>(size)) != 0) {
    Remember();
    return false;
  }
  return true;
}

bool FileClose(FileHandle h) {
  if (::close(static_cast<int>(h)) != 0 && errno != EINTR) {
    Remember();
    return false;
  }
  return true;
}

bool DiskSpace(const std::string& path, uint64_t& total, uint64_t& available) {
  struct statvfs st;
  if (::statvfs(path.c_str(), &st) != 0) {
    Remember();
    return false;
  }
  total = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
  available = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
  return true;
}

} // namespace platform
