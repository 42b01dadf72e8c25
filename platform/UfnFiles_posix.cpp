// POSIX (Linux) paths, files and folders.
#include "platform/UfnFiles.h"

#include "base/UfnText.h"
#include "platform/UfnEnvironment.h"
#include "platform/UfnSystemErrors.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

namespace platform {

using detail::Remember;

namespace {

std::string ParentOf(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/')
    p.pop_back();
  auto pos = p.rfind('/');
  if (pos == std::string::npos) return ".";
  if (pos == 0) return "/";
  return p.substr(0, pos);
}

bool FillEntry(const std::string& path, const std::string& name, DirEntry& e, bool follow = true) {
  struct stat st;
  if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) {
    Remember();
    return false;
  }
  e.name = name;
  e.link = false;
  e.special = false;
  if (S_ISLNK(st.st_mode)) {
    // Where it points is neither looked at nor entered.
    e.link = true;
    e.attributes = FILE_ATTR_REPARSE_POINT;
    e.size = 0;
    e.mtime = st.st_mtime;
    if (!name.empty() && name[0] == '.' && name != "." && name != "..")
      e.attributes |= FILE_ATTR_HIDDEN;
    return true;
  }
  e.mtime = st.st_mtime;
  if (S_ISDIR(st.st_mode)) {
    e.attributes = FILE_ATTR_DIRECTORY;
    e.size = 0;
  } else if (S_ISREG(st.st_mode)) {
    e.attributes = FILE_ATTR_ARCHIVE;
    e.size = static_cast<uint64_t>(st.st_size);
  } else if (!follow) {
    // Listed as what it is, for a walk that must say what it left out.
    e.special = true;
    e.attributes = 0;
    e.size = 0;
    return true;
  } else {
    errno = EINVAL;
    Remember();
    return false;
  }
  if ((st.st_mode & S_IWUSR) == 0) e.attributes |= FILE_ATTR_READONLY;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..")
    e.attributes |= FILE_ATTR_HIDDEN;
  return true;
}

} // namespace

char PathDelimiter() {
  return '/';
}

std::string ExecutablePath() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "orlenway";
  return std::string(buf, static_cast<size_t>(n));
}

std::string StateFolder() {
  std::string base = GetEnv("XDG_CONFIG_HOME");
  if (base.empty() || base[0] != '/') {
    std::string home = GetEnv("HOME");
    if (home.empty()) home = "/tmp";
    if (home.back() != '/') home += '/';
    base = home + ".config";
  }
  if (base.back() != '/') base += '/';
  return base + "orlenway/";
}

std::string ProgramPath() {
  std::string exe = ExecutablePath();
  auto pos = exe.rfind('/');
  return StateFolder() + (pos == std::string::npos ? exe : exe.substr(pos + 1));
}

std::string ProgramFilesFolder() {
  return "/usr";
}

bool IsAbsolutePath(const std::string& path) {
  return !path.empty() && path[0] == '/';
}

std::string ResolvedPath(const std::string& path) {
  const std::string full = IsAbsolutePath(path) ? path : GetCurrentDir() + "/" + path;
  // Names still to walk, the next one last. What is walked holds no link, so ".." takes
  // its last name away; a name that does not exist is taken as written.
  std::vector<std::string> names;
  auto push = [&names](const std::string& p) {
    size_t end = p.size();
    while (end > 0) {
      const size_t slash = p.rfind('/', end - 1);
      const size_t start = slash == std::string::npos ? 0 : slash + 1;
      names.push_back(p.substr(start, end - start));
      if (slash == std::string::npos) break;
      end = slash;
    }
  };
  push(full);
  std::string resolved = "/";
  int links = 0;
  while (!names.empty()) {
    const std::string name = names.back();
    names.pop_back();
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      resolved = ParentOf(resolved);
      continue;
    }
    const std::string next = resolved == "/" ? "/" + name : resolved + "/" + name;
    struct stat st;
    // A cycle of links stops being followed where the system would give up.
    if (links < 40 && ::lstat(next.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      std::string target(4096, '\0');
      const ssize_t n = ::readlink(next.c_str(), target.data(), target.size());
      if (n > 0 && static_cast<size_t>(n) < target.size()) {
        target.resize(static_cast<size_t>(n));
        ++links;
        if (target[0] == '/') resolved = "/";
        push(target);
        continue;
      }
    }
    resolved = next;
  }
  return resolved;
}

std::string LexicalPath(const std::string& path) {
  const std::string full = IsAbsolutePath(path) ? path : GetCurrentDir() + "/" + path;
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= full.size()) {
    size_t slash = full.find('/', start);
    if (slash == std::string::npos) slash = full.size();
    const std::string name = full.substr(start, slash - start);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    start = slash + 1;
  }
  std::string out;
  for (const std::string& n : names)
    out += "/" + n;
  return out.empty() ? "/" : out;
}

bool PathWithin(const std::string& folder, const std::string& path, bool followLinks) {
  std::string f = followLinks ? ResolvedPath(folder) : LexicalPath(folder);
  const std::string p = followLinks ? ResolvedPath(path) : LexicalPath(path);
  if (f.back() != '/') f += '/';
  return p.size() > f.size() && p.compare(0, f.size(), f) == 0;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  std::string parent = ParentOf(path);
  if (parent != path && !DirectoryExists(parent) && !ForceDirectories(parent)) return false;
  if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
    Remember();
    return false;
  }
  return DirectoryExists(path);
}

bool ForcePrivateDirectory(const std::string& path) {
  if (!ForceDirectories(path)) return false;
  if (::chmod(path.c_str(), 0700) != 0) {
    Remember();
    return false;
  }
  return true;
}

bool DeleteFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) {
    Remember();
    return false;
  }
  return true;
}

bool RemoveDirectory(const std::string& path) {
  if (::rmdir(path.c_str()) != 0) {
    Remember();
    return false;
  }
  return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    Remember();
    return false;
  }
  return true;
}

bool GetEntry(const std::string& path, DirEntry& entry) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/')
    p.pop_back();
  auto pos = p.rfind('/');
  return FillEntry(p, pos == std::string::npos ? p : p.substr(pos + 1), entry);
}

namespace {

bool List(const std::string& path, std::vector<DirEntry>& entries, bool includeDots, bool follow) {
  entries.clear();
  DIR* d = ::opendir(path.c_str());
  if (!d) {
    Remember();
    return false;
  }
  std::string folder = path;
  if (folder.empty() || folder.back() != '/') folder += '/';
  std::vector<DirEntry> found;
  while (struct dirent* de = ::readdir(d)) {
    std::string name = de->d_name;
    if (name == "." || name == "..") continue;
    DirEntry e;
    if (FillEntry(folder + name, name, e, follow)) found.push_back(std::move(e));
  }
  ::closedir(d);
  std::sort(found.begin(), found.end(), [](const DirEntry& a, const DirEntry& b) {
    int c = text::CompareAsciiIgnoreCase(a.name, b.name);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  if (includeDots) {
    DirEntry self, parent;
    if (FillEntry(folder + ".", ".", self)) entries.push_back(self);
    if (FillEntry(folder + "..", "..", parent)) entries.push_back(parent);
  }
  entries.insert(entries.end(), std::make_move_iterator(found.begin()),
                 std::make_move_iterator(found.end()));
  return true;
}

} // namespace

bool ListDirectory(const std::string& path, std::vector<DirEntry>& entries, bool includeDots) {
  return List(path, entries, includeDots, true);
}

bool ListDirectoryNoFollow(const std::string& path, std::vector<DirEntry>& entries,
                           bool includeDots) {
  return List(path, entries, includeDots, false);
}

uint32_t ToDosDateTime(std::time_t t) {
  struct tm lt;
  if (!::localtime_r(&t, &lt) || lt.tm_year < 80) return (1u << 5 | 1u) << 16;
  if (lt.tm_year > 207) lt.tm_year = 207;
  uint32_t date =
      static_cast<uint32_t>(((lt.tm_year - 80) << 9) | ((lt.tm_mon + 1) << 5) | lt.tm_mday);
  uint32_t time =
      static_cast<uint32_t>((lt.tm_hour << 11) | (lt.tm_min << 5) | (std::min(lt.tm_sec, 59) / 2));
  return date << 16 | time;
}

std::string GetCurrentDir() {
  char buf[4096];
  if (!::getcwd(buf, sizeof buf)) {
    Remember();
    return "";
  }
  return buf;
}

bool SetCurrentDir(const std::string& path) {
  if (::chdir(path.c_str()) != 0) {
    Remember();
    return false;
  }
  return true;
}

std::string TempFolder() {
  std::string t = GetEnv("TMPDIR");
  if (t.empty() || !DirectoryExists(t)) t = "/tmp";
  if (t.back() != '/') t += '/';
  return t;
}

bool ReadWholeFile(const std::string& path, std::string& data) {
  data.clear();
  // A FIFO in place of a file would hold the program at its open or first read for ever.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    Remember();
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    Remember(e);
    return false;
  }
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISBLK(st.st_mode)) {
    ::close(fd);
    Remember(EINVAL);
    return false;
  }
  if (S_ISREG(st.st_mode)) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      Remember();
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

namespace {

// The file a write to `path` lands on: a symbolic link is followed to its target (relative
// targets against the link's folder), so that files shared through a link stay shared.
std::string WriteTarget(const std::string& path) {
  std::string p = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
    ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size() - 1);
    if (n < 0) return p;
    std::string target(buf.data(), static_cast<size_t>(n));
    if (target.empty()) return p;
    if (target[0] != '/') {
      auto slash = p.rfind('/');
      target = (slash == std::string::npos ? std::string() : p.substr(0, slash + 1)) + target;
    }
    p = target;
  }
  return p;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Rewrites an existing file in place: its owner, group and mode stay as they are. Used only
// where a replacement could not be given them back.
bool RewriteInPlace(const std::string& path, const std::string& data) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    Remember();
    return false;
  }
  bool ok = WriteAll(fd, data) && ::ftruncate(fd, static_cast<off_t>(data.size())) == 0 &&
            ::fsync(fd) == 0;
  int e = errno;
  if (::close(fd) != 0 && ok) {
    e = errno;
    ok = false;
  }
  errno = e;
  if (!ok) Remember();
  return ok;
}

// A link to a character device (/dev/null, most often) says where its owner wants the writes
// to go: they go there. The device is never replaced, and a device that cannot take the
// text at once fails the save rather than hold the program.
bool WriteToDevice(const std::string& path, const std::string& data) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    Remember();
    return false;
  }
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0;
  if (ok && !S_ISCHR(st.st_mode)) {
    // Swapped for something else since it was looked at.
    errno = EINVAL;
    ok = false;
  }
  ok = ok && WriteAll(fd, data);
  int e = errno;
  if (::close(fd) != 0 && ok) {
    e = errno;
    ok = false;
  }
  if (!ok) Remember(e);
  return ok;
}

// A save killed between making its temporary file and renaming it leaves ".<name>.XXXXXX"
// behind. Such a file is taken for a leftover only when it is this account's, a plain file,
// and untouched for a while: a save of these small files takes milliseconds, so another
// process's save in progress is never that old.
constexpr time_t StaleTemporarySeconds = 60;

bool IsTemporaryOf(const std::string& entry, const std::string& name) {
  if (entry.size() != name.size() + 8 || entry[0] != '.' ||
      entry.compare(1, name.size(), name) != 0 || entry[name.size() + 1] != '.')
    return false;
  for (size_t i = name.size() + 2; i < entry.size(); ++i) {
    const char c = entry[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

void RemoveStaleTemporaries(const std::string& folder, const std::string& name) {
  DIR* d = ::opendir(folder.c_str());
  if (!d) return;
  const int dfd = ::dirfd(d);
  const time_t now = ::time(nullptr);
  while (struct dirent* de = ::readdir(d)) {
    if (!IsTemporaryOf(de->d_name, name)) continue;
    struct stat st;
    if (::fstatat(dfd, de->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) continue;
    if (st.st_mtime > now || now - st.st_mtime < StaleTemporarySeconds) continue;
    ::unlinkat(dfd, de->d_name, 0);
  }
  ::closedir(d);
}

} // namespace

namespace {
bool WriteAtomic(const std::string& pathGiven, const std::string& data, int mode, bool privateFile);
}

bool WriteFileAtomic(const std::string& path, const std::string& data, int mode) {
  return WriteAtomic(path, data, mode, false);
}

bool WritePrivateFileAtomic(const std::string& path, const std::string& data, int mode) {
  return WriteAtomic(path, data, mode, true);
}

namespace {
bool WriteAtomic(const std::string& pathGiven, const std::string& data, int mode,
                 bool privateFile) {
  const std::string path = WriteTarget(pathGiven);
  struct stat old;
  bool exists = false;
  if (::stat(path.c_str(), &old) == 0) {
    // Only a regular file is replaced; a rename over a device node, a FIFO or a socket would
    // take it away from every other program that uses it.
    if (S_ISCHR(old.st_mode)) return WriteToDevice(path, data);
    if (!S_ISREG(old.st_mode)) {
      Remember(S_ISDIR(old.st_mode) ? EISDIR : EINVAL);
      return false;
    }
    exists = true;
  }
  std::string folder = ParentOf(path);
  std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  RemoveStaleTemporaries(folder, name);
  std::string tmpl = folder + "/." + name + ".XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  int fd = ::mkostemp(buf.data(), O_CLOEXEC);
  if (fd < 0) {
    Remember();
    return false;
  }
  std::string tmp = buf.data();
  auto fail = [&]() {
    int e = errno;
    ::close(fd);
    ::unlink(tmp.c_str());
    errno = e;
    Remember();
    return false;
  };
  // An existing file keeps its mode, owner and group; `mode` is for a new file.
  mode_t bits = exists ? (old.st_mode & 07777) : (mode >= 0 ? static_cast<mode_t>(mode) : 0644);
  if (privateFile) bits &= static_cast<mode_t>(~07);
  if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      // The replacement would change whose the file is: rewrite the file itself where the
      // program may write it, else refuse and change nothing.
      int e = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      if (::access(path.c_str(), W_OK) == 0) return RewriteInPlace(path, data);
      errno = e;
      Remember();
      return false;
    }
  }
  if (::fchmod(fd, bits) != 0) return fail();
  if (!WriteAll(fd, data)) return fail();
  if (::fsync(fd) != 0) return fail();
  if (::close(fd) != 0) {
    int e = errno;
    ::unlink(tmp.c_str());
    errno = e;
    Remember();
    return false;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(tmp.c_str());
    errno = e;
    Remember();
    return false;
  }
  return true;
}
} // namespace

} // namespace platform
