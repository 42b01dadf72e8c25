#include "support/SvnServe.h"

#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace testing_support {

TSvnServe::TSvnServe(const std::string& root, const std::string& runAs, const std::string& logFile)
    : FPidFile(root + ".pid") {
  for (int attempt = 0; attempt < 5 && Pid <= 0; ++attempt) {
    Port = FreeLoopbackPort();
    RunResult r = Shell(runAs + "svnserve -d --listen-host 127.0.0.1 --listen-port " +
                        std::to_string(Port) + " -r " + Quote(root) + " --pid-file " +
                        Quote(FPidFile) + (logFile.empty() ? "" : " --log-file " + Quote(logFile)));
    if (r.ExitCode != 0) continue; // the port was taken meanwhile
    for (int i = 0; i < 200 && Pid <= 0; ++i) {
      if (Exists(FPidFile)) Pid = std::atoi(ReadFile(FPidFile).c_str());
      if (Pid <= 0) ::usleep(25000);
    }
  }
  for (int i = 0; i < 200 && Pid > 0 && !PortAccepts(Port); ++i)
    ::usleep(25000);
}

TSvnServe::~TSvnServe() {
  if (Pid <= 0) return;
  ::kill(Pid, SIGTERM);
  for (int i = 0; i < 200 && ::kill(Pid, 0) == 0; ++i)
    ::usleep(25000);
  if (::kill(Pid, 0) == 0) ::kill(Pid, SIGKILL);
}

std::string TSvnServe::Url(const std::string& project) const {
  return "svn://127.0.0.1:" + std::to_string(Port) + "/" + project;
}

RunResult Svn(const std::string& args, const std::string& user, const std::string& password) {
  std::string cmd = "svn --non-interactive --no-auth-cache";
  if (!user.empty()) cmd += " --username " + Quote(user) + " --password " + Quote(password);
  return Shell(cmd + " " + args);
}

} // namespace testing_support
