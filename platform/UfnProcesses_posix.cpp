// POSIX (Linux) processes: /bin/sh, /proc and SIGTERM.
#include "platform/UfnProcesses.h"

#include "base/UfnText.h"
#include "platform/UfnEnvironment.h"
#include "platform/UfnFiles.h"
#include "platform/UfnSystemErrors.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace platform {

using detail::Remember;

namespace {

// Runs in the forked child, so only async-signal-safe calls: standard handles on /dev/null,
// nothing else of ours inherited, default signal handling, then the interpreter. When the
// interpreter cannot be started, errno goes back through errFd.
[[noreturn]] void ExecInterpreter(char* const argv[], char* const envp[], int errFd, bool detach,
                                  int maxFd) {
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
    for (int fd = 3; fd < maxFd; ++fd)
      ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  ::execve("/bin/sh", argv, envp);
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
  while (!name.empty() && name.back() == '\n')
    name.pop_back();
  return true;
}

// Field 22 of /proc/<pid>/stat: the start time in clock ticks since boot.
bool ProcessStartMark(const std::string& pid, unsigned long long& mark) {
  std::string stat;
  if (!ReadWholeFile("/proc/" + pid + "/stat", stat)) return false;
  auto close = stat.rfind(')');
  if (close == std::string::npos) return false;
  // Fields from the state (field 3) on are separated by single blanks.
  size_t at = close + 2;
  for (int field = 3; field < 22; ++field) {
    at = stat.find(' ', at);
    if (at == std::string::npos) return false;
    ++at;
  }
  size_t end = stat.find(' ', at);
  std::string digits = stat.substr(at, end == std::string::npos ? std::string::npos : end - at);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  mark = std::stoull(digits);
  return true;
}

// Field 6 of /proc/<pid>/stat: the session id.
bool ProcessSession(const std::string& pid, long& session) {
  std::string stat;
  if (!ReadWholeFile("/proc/" + pid + "/stat", stat)) return false;
  auto close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return false;
  long parent = 0, group = 0;
  return std::sscanf(stat.c_str() + close + 2, "%*c %ld %ld %ld", &parent, &group, &session) == 3;
}

// Whether the process runs under this program's account: its real and its effective user are
// ours. A run as root must not end another user's server that took a recorded pid.
bool OfThisAccount(const std::string& pid) {
  std::string status;
  if (!ReadWholeFile("/proc/" + pid + "/status", status)) return false;
  auto at = status.find("\nUid:");
  if (at == std::string::npos) return false;
  unsigned long real = 0, effective = 0;
  return std::sscanf(status.c_str() + at + 5, "%lu %lu", &real, &effective) == 2 &&
         real == ::getuid() && effective == ::geteuid();
}

bool InSession(const std::string& pid, long sessionId, const std::string& imageName) {
  std::string name;
  long session = 0;
  return ProcessImageName(pid, name) && text::SameAsciiIgnoreCase(name, imageName) &&
         ProcessSession(pid, session) && session == sessionId && OfThisAccount(pid);
}

bool Matches(const std::string& pid, const std::string& imageName, unsigned long long startMark) {
  std::string name;
  unsigned long long mark = 0;
  return ProcessImageName(pid, name) && text::SameAsciiIgnoreCase(name, imageName) &&
         ProcessStartMark(pid, mark) && (startMark == 0 || mark == startMark) && OfThisAccount(pid);
}

} // namespace

void SleepMs(unsigned ms) {
  struct timespec ts {
    static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L
  };
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void KeepChildStatuses() {
  struct sigaction chld {};
  if (::sigaction(SIGCHLD, nullptr, &chld) != 0 ||
      (chld.sa_handler != SIG_IGN && (chld.sa_flags & SA_NOCLDWAIT) == 0))
    return;
  chld = {};
  chld.sa_handler = SIG_DFL;
  sigemptyset(&chld.sa_mask);
  ::sigaction(SIGCHLD, &chld, nullptr);
}

bool RunShellCommand(const std::string& commandLine, bool wait) {
  // Else the interpreter's end could not be waited for, and a start would count as failed.
  KeepChildStatuses();
  // Everything the child needs is made before the fork: it may not allocate.
  std::string sh = "/bin/sh", dashC = "-c", cmd = commandLine;
  char* argv[] = {sh.data(), dashC.data(), cmd.data(), nullptr};
  std::vector<std::string> env = ChildEnvironment();
  std::vector<char*> envp;
  for (std::string& e : env)
    envp.push_back(e.data());
  envp.push_back(nullptr);
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
    if (wait) ExecInterpreter(argv, envp.data(), err[1], false, maxFd);
    // Not waiting: a second fork hands the interpreter to the system, so no zombie is left
    // behind here whenever it ends.
    pid_t grandchild = ::fork();
    if (grandchild < 0) {
      int e = errno;
      (void)!::write(err[1], &e, sizeof e);
      _exit(127);
    }
    if (grandchild > 0) _exit(0);
    ExecInterpreter(argv, envp.data(), err[1], true, maxFd);
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
    if (!ProcessImageName(pid, name) || !text::SameAsciiIgnoreCase(name, imageName)) continue;
    // A process that cannot be signalled (another user's) still counts as found.
    ::kill(static_cast<pid_t>(std::stol(pid)), SIGTERM);
    found = true;
  }
  ::closedir(d);
  return found;
}

std::vector<RunningProcess> RunningProcessesNamed(const std::string& imageName) {
  std::vector<RunningProcess> found;
  DIR* d = ::opendir("/proc");
  if (!d) {
    Remember();
    return found;
  }
  while (struct dirent* de = ::readdir(d)) {
    std::string pid = de->d_name;
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string name, cmdline;
    if (!ProcessImageName(pid, name) || !text::SameAsciiIgnoreCase(name, imageName)) continue;
    RunningProcess p;
    p.pid = std::stol(pid);
    // NUL-separated arguments; a process that ended meanwhile has none and is still listed.
    if (ReadWholeFile("/proc/" + pid + "/cmdline", cmdline)) {
      size_t start = 0;
      while (start < cmdline.size()) {
        size_t end = cmdline.find('\0', start);
        if (end == std::string::npos) end = cmdline.size();
        p.args.push_back(cmdline.substr(start, end - start));
        start = end + 1;
      }
    }
    found.push_back(std::move(p));
  }
  ::closedir(d);
  return found;
}

bool ProcessIdentity(long pid, std::string& imageName, unsigned long long& startMark) {
  if (pid <= 0) return false;
  std::string id = std::to_string(pid);
  return ProcessImageName(id, imageName) && ProcessStartMark(id, startMark);
}

bool ProcessOfThisAccount(long pid) {
  return pid > 0 && pid <= INT32_MAX && OfThisAccount(std::to_string(pid));
}

bool TerminateProcessIf(long pid, const std::string& imageName, unsigned long long startMark) {
  if (pid <= 0 || pid > INT32_MAX) return false;
  std::string id = std::to_string(pid);
#ifdef SYS_pidfd_open
  // Held open, the pidfd names this very process: a pid reused after the check is not hit.
  long fd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0);
  if (fd >= 0) {
    bool ok = Matches(id, imageName, startMark) &&
              ::syscall(SYS_pidfd_send_signal, static_cast<int>(fd), SIGTERM, nullptr, 0) == 0;
    if (!ok) Remember();
    ::close(static_cast<int>(fd));
    return ok;
  }
  if (errno == ESRCH) return false;
#endif
  // Kernels without pidfds: the start mark keeps the window for a reused pid tiny.
  if (!Matches(id, imageName, startMark)) return false;
  if (::kill(static_cast<pid_t>(pid), SIGTERM) == 0) return true;
  Remember();
  return false;
}

std::vector<long> SessionMembers(long sessionId, const std::string& imageName) {
  std::vector<long> members;
  if (sessionId <= 0 || sessionId > INT32_MAX) return members;
  DIR* d = ::opendir("/proc");
  if (!d) {
    Remember();
    return members;
  }
  while (struct dirent* de = ::readdir(d)) {
    std::string pid = de->d_name;
    if (pid.empty() || pid.size() > 10 || pid.find_first_not_of("0123456789") != std::string::npos)
      continue;
    long id = std::stol(pid);
    if (id != sessionId && InSession(pid, sessionId, imageName)) members.push_back(id);
  }
  ::closedir(d);
  return members;
}

int TerminateSessionMembers(long sessionId, const std::string& imageName) {
  int told = 0;
  for (long pid : SessionMembers(sessionId, imageName)) {
    std::string id = std::to_string(pid);
#ifdef SYS_pidfd_open
    // As in TerminateProcessIf: the check and the signal go to the same process.
    long fd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0);
    if (fd >= 0) {
      if (InSession(id, sessionId, imageName) &&
          ::syscall(SYS_pidfd_send_signal, static_cast<int>(fd), SIGTERM, nullptr, 0) == 0)
        ++told;
      ::close(static_cast<int>(fd));
      continue;
    }
    if (errno == ESRCH) continue;
#endif
    // A session id stays taken while any process is in it, so a member found a moment ago is
    // one of that session still, or gone.
    if (InSession(id, sessionId, imageName) && ::kill(static_cast<pid_t>(pid), SIGTERM) == 0)
      ++told;
  }
  return told;
}

std::string InterpreterQuote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"' || c == '$' || c == '`') out += '\\';
    out += c;
  }
  return out + "\"";
}

} // namespace platform
