#include "support/TestProcesses.h"

#include "support/TestSupport.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

const char* const OwnerVariable = "ORLENWAY_TEST_OWNER";

namespace {

std::string ProcFile(pid_t pid, const char* name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Carries(pid_t pid, const std::string& entry) {
  const std::string env = ProcFile(pid, "environ");
  size_t start = 0;
  while (start < env.size()) {
    size_t end = env.find('\0', start);
    if (end == std::string::npos) end = env.size();
    if (env.compare(start, end - start, entry) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string CommandLine(pid_t pid) {
  std::string line = ProcFile(pid, "cmdline");
  while (!line.empty() && line.back() == '\0')
    line.pop_back();
  for (char& c : line)
    if (c == '\0') c = ' ';
  return line;
}

void Pause(long ms) {
  timespec t{ms / 1000, (ms % 1000) * 1000000};
  while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

// Runs in the watchdog once the test process has ended. A connection that sees its client gone
// ends by itself in a moment; what is still there after that was left behind.
void Sweep(const std::string& owner, const std::string& test, const std::string& log) {
  std::vector<pid_t> left;
  for (int i = 0; i < 30; ++i) {
    left = MarkedProcesses(owner);
    if (left.empty()) return;
    Pause(100);
  }
  std::string report;
  for (int round = 0; round < 20 && !left.empty(); ++round) {
    for (pid_t pid : left) {
      if (round == 0)
        report += test + ": left " + std::to_string(pid) + " " + CommandLine(pid) + "\n";
      ::kill(pid, SIGKILL);
    }
    Pause(50);
    left = MarkedProcesses(owner);
  }
  if (log.empty()) return;
  int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  (void)!::write(fd, report.data(), report.size());
  ::close(fd);
}

} // namespace

bool StartedByThisTest(pid_t pid) {
  return Carries(pid, std::string(OwnerVariable) + "=" + PrivateRoot());
}

std::vector<pid_t> MarkedProcesses(const std::string& owner) {
  const std::string entry = std::string(OwnerVariable) + "=" + owner;
  std::vector<pid_t> pids;
  DIR* d = ::opendir("/proc");
  if (!d) return pids;
  while (struct dirent* e = ::readdir(d)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    const pid_t pid = static_cast<pid_t>(std::atol(e->d_name));
    if (pid == ::getpid()) continue;
    const char state = ProcessState(pid);
    if (state == 'Z' || state == 'X' || state == '?') continue;
    if (Carries(pid, entry)) pids.push_back(pid);
  }
  ::closedir(d);
  return pids;
}

void GuardTestProcesses() {
  const std::string owner = PrivateRoot();
  ::setenv(OwnerVariable, owner.c_str(), 1);
  // Only the running process itself (the variable was set after its start) and forks that
  // have not run a program lack the mark; the watchdog is one of them.
  const char* log = std::getenv("ORLENWAY_TEST_LEFTOVERS");
  const std::string logPath = log ? log : "";
  const std::string test = CommandLine(::getpid());
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  const pid_t first = ::fork();
  if (first == 0) {
    // Forked again and in a session of its own, the watchdog is neither a child of the test
    // nor in its process group: a kill of the test's tree does not reach it.
    if (::fork() != 0) _exit(0);
    ::setsid();
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    for (int fd = 3; fd < 1024; ++fd)
      if (fd != fds[0]) ::close(fd);
    char c;
    while (::read(fds[0], &c, 1) < 0 && errno == EINTR) {
    }
    Sweep(owner, test, logPath);
    _exit(0);
  }
  ::close(fds[0]);
  if (first > 0) ::waitpid(first, nullptr, 0);
  // The write end stays open for the life of the test process; it closes when the process
  // ends, however it ends, and wakes the watchdog. Programs the test runs do not inherit it.
}

} // namespace testing_support
