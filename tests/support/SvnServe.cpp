#include "support/SvnServe.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

TSvnServe::TSvnServe(const std::string& root, const std::string& runAs) : FPidFile(root + ".pid") {
  for (int attempt = 0; attempt < 5 && Pid <= 0; ++attempt)
    if (!Start(root, runAs)) Pid = 0;
}

// svnserve writes its pid file after it listens, so the server is ready once the file names
// it: no probe connection, whose connection process would linger a moment after it.
bool TSvnServe::Start(const std::string& root, const std::string& runAs) {
  Port = FreeLoopbackPort();
  ::unlink(FPidFile.c_str());
  const std::string command = "exec " + runAs +
                              "svnserve -d --foreground --listen-host 127.0.0.1 --listen-port " +
                              std::to_string(Port) + " -r " + Quote(root) + " --pid-file " +
                              Quote(FPidFile) + " </dev/null >/dev/null 2>&1";
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::setsid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) _exit(127);
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  Pid = pid;
  FReaped = false;
  for (int i = 0; i < 400; ++i) {
    if (!Running()) return false; // the port was taken meanwhile
    if (Exists(FPidFile) && std::atoi(ReadFile(FPidFile).c_str()) == pid) return true;
    ::usleep(25000);
  }
  ::kill(-pid, SIGKILL);
  if (!FReaped) ::waitpid(pid, nullptr, 0);
  return false;
}

bool TSvnServe::Running() {
  if (Pid <= 0 || FReaped) return false;
  int status = 0;
  pid_t r;
  do
    r = ::waitpid(Pid, &status, WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r == 0) return true;
  FReaped = FReaped || r == Pid; // the pid may be reused from now on
  return false;
}

TSvnServe::~TSvnServe() {
  if (Pid <= 0) return;
  // The server and its connections: the group it leads, which holds nothing else.
  ::kill(-Pid, SIGTERM);
  for (int i = 0; i < 200 && Running(); ++i)
    ::usleep(25000);
  ::kill(-Pid, SIGKILL);
  if (!FReaped) ::waitpid(Pid, nullptr, 0);
  ::unlink(FPidFile.c_str());
}

std::string TSvnServe::Url(const std::string& project) const {
  return "svn://127.0.0.1:" + std::to_string(Port) + "/" + project;
}

RunResult Svn(const std::string& args, const std::string& user, const std::string& password) {
  std::string cmd = "timeout -k 5 60 svn --non-interactive --no-auth-cache";
  if (!user.empty()) cmd += " --username " + Quote(user) + " --password " + Quote(password);
  return Shell(cmd + " " + args);
}

} // namespace testing_support
