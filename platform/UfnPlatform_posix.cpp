// POSIX (Linux) implementation of the OS layer.
#include "platform/UfnPlatform.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

namespace platform {

namespace {

thread_local int g_lastError = 0;

void Remember() { g_lastError = errno; }

// Code points of UTF-8 text. A byte that starts no valid sequence stands for itself above
// the Unicode range, so that two different malformed texts never compare equal.
std::u32string CodePoints(const std::string& s) {
  std::u32string out;
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t n = s.size(), i = 0;
  while (i < n) {
    unsigned char c = p[i];
    size_t len = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                            : (c >= 0xF0 && c <= 0xF4)   ? 4
                                                         : 0;
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    bool ok = len > 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80)
        ok = false;
      else
        cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (ok && ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
               (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
      ok = false;
    if (!ok) {
      out.push_back(0x110000 + c);
      ++i;
    } else {
      out.push_back(cp);
      i += len;
    }
  }
  return out;
}


std::string ParentOf(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  auto pos = p.rfind('/');
  if (pos == std::string::npos) return ".";
  if (pos == 0) return "/";
  return p.substr(0, pos);
}

bool FillEntry(const std::string& path, const std::string& name, DirEntry& e) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    Remember();
    return false;
  }
  e.name = name;
  e.mtime = st.st_mtime;
  if (S_ISDIR(st.st_mode)) {
    e.attributes = FILE_ATTR_DIRECTORY;
    e.size = 0;
  } else if (S_ISREG(st.st_mode)) {
    e.attributes = FILE_ATTR_ARCHIVE;
    e.size = static_cast<uint64_t>(st.st_size);
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

int CompareNoCase(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return 0;
}

class FlockInstanceLock : public InstanceLock {
public:
  explicit FlockInstanceLock(int fd) : fd_(fd) {}
  ~FlockInstanceLock() override { ::close(fd_); }

private:
  int fd_;
};

}  // namespace

char PathDelimiter() { return '/'; }

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

std::string ProgramFilesFolder() { return "/usr"; }

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

int LastErrorCode() { return g_lastError; }
std::string ErrorMessage(int code) { return std::strerror(code); }
std::string LastErrorMessage() { return ErrorMessage(g_lastError); }

bool GetEntry(const std::string& path, DirEntry& entry) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  auto pos = p.rfind('/');
  return FillEntry(p, pos == std::string::npos ? p : p.substr(pos + 1), entry);
}

bool ListDirectory(const std::string& path, std::vector<DirEntry>& entries, bool includeDots) {
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
    if (FillEntry(folder + name, name, e)) found.push_back(std::move(e));
  }
  ::closedir(d);
  std::sort(found.begin(), found.end(), [](const DirEntry& a, const DirEntry& b) {
    int c = CompareNoCase(a.name, b.name);
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

uint32_t ToDosDateTime(std::time_t t) {
  struct tm lt;
  if (!::localtime_r(&t, &lt) || lt.tm_year < 80) return (1u << 5 | 1u) << 16;
  if (lt.tm_year > 207) lt.tm_year = 207;
  uint32_t date = static_cast<uint32_t>(((lt.tm_year - 80) << 9) | ((lt.tm_mon + 1) << 5) |
                                        lt.tm_mday);
  uint32_t time = static_cast<uint32_t>((lt.tm_hour << 11) | (lt.tm_min << 5) |
                                        (std::min(lt.tm_sec, 59) / 2));
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
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    Remember();
    return false;
  }
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

bool WriteFileAtomic(const std::string& path, const std::string& data, int mode) {
  std::string folder = ParentOf(path);
  std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
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
  mode_t bits = 0644;
  struct stat st;
  if (mode >= 0)
    bits = static_cast<mode_t>(mode);
  else if (::stat(path.c_str(), &st) == 0)
    bits = st.st_mode & 07777;
  if (::fchmod(fd, bits) != 0) return fail();
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail();
    }
    done += static_cast<size_t>(n);
  }
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

std::string GetEnv(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  return v ? v : "";
}

bool SetEnv(const std::string& name, const std::string& value) {
  return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

char SearchPathSeparator() { return ':'; }

void SleepMs(unsigned ms) {
  struct timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name) {
  std::string dir = GetEnv("XDG_RUNTIME_DIR");
  if (dir.empty() || !DirectoryExists(dir)) {
    dir = "/tmp/orlenway-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return nullptr;
    // Anyone may create that name in /tmp first: use it only when it is our own private
    // folder, else keep the lock in the state folder, so another user cannot hold it for us.
    struct stat st;
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 077) != 0) {
      dir = StateFolder();
      if (!ForceDirectories(dir)) return nullptr;
    }
  }
  if (dir.back() != '/') dir += '/';
  int fd = ::open((dir + name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<FlockInstanceLock>(fd);
}

std::u16string AnsiToWide(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  for (char32_t cp : CodePoints(s)) {
    if (cp > 0x10FFFF) {
      out.push_back(u'\uFFFD');
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string WideToAnsi(const std::u16string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      out.push_back('?');
      continue;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

// ---- processes (server control) ----------------------------------------------------------

}  // namespace platform

#include <arpa/inet.h>
#include <csignal>
#include <gio/gio.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>

extern char** environ;

namespace platform {

namespace {

// Runs in the forked child, so only async-signal-safe calls: standard handles on /dev/null,
// nothing else of ours inherited, default signal handling, then the interpreter. When the
// interpreter cannot be started, errno goes back through errFd.
[[noreturn]] void ExecInterpreter(char* const argv[], int errFd, bool detach, int maxFd) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl;
  std::memset(&dfl, 0, sizeof dfl);
  dfl.sa_handler = SIG_DFL;
  for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGQUIT, SIGTERM, SIGHUP})
    sigaction(sig, &dfl, nullptr);
  // A command that goes on by itself must not die with the program's terminal.
  if (detach) setsid();
  int null = ::open("/dev/null", O_RDWR);
  if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0) {
    int e = errno;
    (void)!::write(errFd, &e, sizeof e);
    _exit(127);
  }
  if (null > 2) ::close(null);
  // The server must not hold the program's windows, sockets or files; errFd is close-on-exec
  // already and so stays usable until the exec.
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
    for (int fd = 3; fd < maxFd; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  ::execve("/bin/sh", argv, environ);
  int e = errno;
  (void)!::write(errFd, &e, sizeof e);
  _exit(127);
}

bool WaitForChild(pid_t pid, int& status) {
  for (;;) {
    if (::waitpid(pid, &status, 0) == pid) return true;
    if (errno != EINTR) {
      Remember();
      return false;
    }
  }
}

// True when the child reported no failure to start the interpreter (EOF on the pipe).
bool InterpreterStarted(int readFd) {
  int e = 0;
  ssize_t n;
  do {
    n = ::read(readFd, &e, sizeof e);
  } while (n < 0 && errno == EINTR);
  ::close(readFd);
  if (n == static_cast<ssize_t>(sizeof e)) {
    errno = e;
    Remember();
    return false;
  }
  return true;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

// The image name of a process: the file name of its executable, else its command name.
// Processes that have already ended (zombies) give false: there is nothing left to stop.
bool ProcessImageName(const std::string& pid, std::string& name) {
  std::string dir = "/proc/" + pid + "/";
  std::string stat;
  if (!ReadWholeFile(dir + "stat", stat)) return false;
  auto close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return false;
  char state = stat[close + 2];
  if (state == 'Z' || state == 'X' || state == 'x') return false;
  char buf[4096];
  ssize_t n = ::readlink((dir + "exe").c_str(), buf, sizeof buf - 1);
  if (n > 0) {
    std::string exe(buf, static_cast<size_t>(n));
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() &&
        exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
      exe.resize(exe.size() - deleted.size());
    name = exe.substr(exe.rfind('/') + 1);
    return true;
  }
  if (!ReadWholeFile(dir + "comm", name)) return false;
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return true;
}

}  // namespace

bool RunShellCommand(const std::string& commandLine, bool wait) {
  // Everything the child needs is made before the fork: it may not allocate.
  std::string sh = "/bin/sh", dashC = "-c", cmd = commandLine;
  char* argv[] = {sh.data(), dashC.data(), cmd.data(), nullptr};
  long openMax = ::sysconf(_SC_OPEN_MAX);
  int maxFd = openMax > 0 && openMax < 65536 ? static_cast<int>(openMax) : 65536;
  int err[2];
  if (::pipe2(err, O_CLOEXEC) != 0) {
    Remember();
    return false;
  }
  pid_t pid = ::fork();
  if (pid < 0) {
    Remember();
    ::close(err[0]);
    ::close(err[1]);
    return false;
  }
  if (pid == 0) {
    ::close(err[0]);
    if (wait) ExecInterpreter(argv, err[1], false, maxFd);
    // Not waiting: a second fork hands the interpreter to the system, so no zombie is left
    // behind here whenever it ends.
    pid_t grandchild = ::fork();
    if (grandchild < 0) {
      int e = errno;
      (void)!::write(err[1], &e, sizeof e);
      _exit(127);
    }
    if (grandchild > 0) _exit(0);
    ExecInterpreter(argv, err[1], true, maxFd);
  }
  ::close(err[1]);
  bool started = InterpreterStarted(err[0]);
  int status = 0;
  bool reaped = WaitForChild(pid, status);
  if (!started || !reaped) return false;
  if (!wait) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  // A command ended by a signal did not end in an orderly way.
  return WIFEXITED(status);
}

bool KillProcessesByName(const std::string& imageName) {
  DIR* d = ::opendir("/proc");
  if (!d) {
    Remember();
    return false;
  }
  bool found = false;
  while (struct dirent* de = ::readdir(d)) {
    std::string pid = de->d_name;
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string name;
    if (!ProcessImageName(pid, name) || !EqualsNoCase(name, imageName)) continue;
    // A process that cannot be signalled (another user's) still counts as found.
    ::kill(static_cast<pid_t>(std::stol(pid)), SIGTERM);
    found = true;
  }
  ::closedir(d);
  return found;
}

bool MoveToTrash(const std::string& path) {
  if (path.empty()) return false;
  GFile* file = g_file_new_for_path(path.c_str());
  GError* error = nullptr;
  gboolean ok = g_file_trash(file, nullptr, &error);
  if (error) g_error_free(error);
  g_object_unref(file);
  return ok != FALSE;
}

// ---- server control: interpreter quoting and the loopback probe --------------------------

std::string InterpreterQuote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"' || c == '$' || c == '`') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool LoopbackPortAccepts(int port, unsigned timeoutMs) {
  if (port <= 0 || port > 65535) return false;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    Remember();
    return false;
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (!ok && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    int r;
    do {
      r = ::poll(&p, 1, static_cast<int>(timeoutMs));
    } while (r < 0 && errno == EINTR);
    int soErr = 0;
    socklen_t len = sizeof soErr;
    ok = r == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len) == 0 && soErr == 0;
  }
  ::close(fd);
  return ok;
}

// ---- file handles for streamed reading and writing (archive writer) -----------------------

FileHandle FileOpenRead(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Remember();
  return fd < 0 ? InvalidFileHandle : fd;
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

bool IsDiskFullError(int code) { return code == ENOSPC || code == EDQUOT || code == EFBIG; }
bool IsWriteProtectedError(int code) { return code == EROFS; }

}  // namespace platform

// ---- text comparison (user registry) -----------------------------------------------------

#include <locale.h>
#include <wctype.h>

namespace platform {

namespace {

locale_t CaseLocale() {
  static locale_t loc = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return loc;
}

// Through the upper case and back, so that forms such as final sigma meet.
char32_t Fold(char32_t c) {
  if (c > 0x10FFFF) return c;
  locale_t loc = CaseLocale();
  if (!loc) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  return static_cast<char32_t>(::towlower_l(::towupper_l(static_cast<wint_t>(c), loc), loc));
}

}  // namespace

bool SameTextIgnoreCase(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::u32string x = CodePoints(a), y = CodePoints(b);
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); ++i)
    if (x[i] != y[i] && Fold(x[i]) != Fold(y[i])) return false;
  return true;
}

}  // namespace platform

// ---- archive entry names (archive writer) --------------------------------------------------

namespace platform {

std::string ToOemCodePage(const std::string& s) { return s; }

bool CodePageIsUtf8(bool) { return true; }

}  // namespace platform
