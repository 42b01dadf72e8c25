#include "platform/UfnChildProcess.h"

#include "platform/UfnEnvironment.h"
#include "platform/UfnProcesses.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

TProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  TProgramResult result;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    result.StartError = errno;
    return result;
  }
  // Else a failed run would read as a success: with SIGCHLD ignored the exit status is lost.
  KeepChildStatuses();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : arguments)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  pid_t pid = 0;
  std::vector<std::string> env = ChildEnvironment();
  std::vector<char*> envp;
  for (std::string& e : env)
    envp.push_back(e.data());
  envp.push_back(nullptr);
  const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (rc != 0) {
    ::close(pipeFds[0]);
    result.StartError = rc;
    return result;
  }
  result.Started = true;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n > 0) {
      result.Output.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(pipeFds[0]);
  int status = 0;
  pid_t waited;
  while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  // A program that cannot be executed ends with 127 before it ran; a status that could not
  // be had stays -1.
  if (waited == pid && WIFEXITED(status)) result.ExitCode = WEXITSTATUS(status);
  return result;
}

TProgramResult RunShellProgram(const std::string& commandLine) {
  return RunProgram("/bin/sh", {"-c", commandLine});
}

bool StdoutIsTerminal() {
  return ::isatty(1) == 1;
}

int TerminalColumns() {
  struct winsize w {};
  if (::ioctl(1, TIOCGWINSZ, &w) == 0 && w.ws_col > 0) return w.ws_col;
  return 80;
}

void UseUtf8Console() {}

void WriteLimitFailsWrites() {
  ::signal(SIGXFSZ, SIG_IGN);
}

} // namespace platform
