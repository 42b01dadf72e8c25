#include "support/ServerProcesses.h"

#include "platform/UfnPlatform.h"
#include "support/TestProcesses.h"
#include "support/TestSupport.h"

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <thread>
#include <unistd.h>

namespace testing_support {

namespace {

struct TFound {
  pid_t Pid, Parent, Session;
};

std::vector<TFound> FindServers() {
  std::vector<TFound> found;
  DIR* d = ::opendir("/proc");
  if (!d) return {};
  while (struct dirent* e = ::readdir(d)) {
    std::string pid = e->d_name;
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string stat;
    if (!platform::ReadWholeFile("/proc/" + pid + "/stat", stat)) continue;
    auto close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z') continue;
    char buf[4096];
    ssize_t n = ::readlink(("/proc/" + pid + "/exe").c_str(), buf, sizeof buf - 1);
    if (n <= 0) continue;
    std::string exe(buf, static_cast<size_t>(n));
    if (exe.substr(exe.rfind('/') + 1).rfind("svnserve", 0) != 0) continue;
    // After the state: parent, process group, session.
    long parent = 0, group = 0, session = 0;
    if (std::sscanf(stat.c_str() + close + 3, "%ld %ld %ld", &parent, &group, &session) != 3)
      continue;
    // Another's server on this machine (a developer's, another test's) is none of ours.
    if (!StartedByThisTest(static_cast<pid_t>(std::stol(pid)))) continue;
    found.push_back({static_cast<pid_t>(std::stol(pid)), static_cast<pid_t>(parent),
                     static_cast<pid_t>(session)});
  }
  ::closedir(d);
  return found;
}

bool IsLeader(const TFound& f) {
  return f.Session == f.Pid;
}

// "svnserve -d" binds its port, then forks the daemon, which makes a session of its own, and
// the first process ends. Until then both are there; a daemon's connection children are not
// servers of their own either.
bool Settled(const std::vector<TFound>& found) {
  for (const TFound& f : found) {
    if (IsLeader(f)) continue;
    bool connection = false;
    for (const TFound& g : found)
      connection = connection || (g.Pid == f.Parent && IsLeader(g));
    if (!connection) return false;
  }
  return true;
}

} // namespace

std::vector<pid_t> ServerPids() {
  std::vector<TFound> found = FindServers();
  // A server started some other way (in the foreground, say) never settles: it is counted
  // as it is after the wait.
  for (int i = 0; i < 100 && !Settled(found); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    found = FindServers();
  }
  std::vector<pid_t> pids;
  for (const TFound& f : found) {
    bool child = false;
    for (const TFound& g : found)
      child = child || g.Pid == f.Parent;
    if (!child) pids.push_back(f.Pid);
  }
  return pids;
}

std::vector<pid_t> ConnectionPids(pid_t server) {
  std::vector<pid_t> pids;
  for (const TFound& f : FindServers())
    if (f.Session == server && f.Pid != server) pids.push_back(f.Pid);
  return pids;
}

std::string ProcessEnv(pid_t pid, const std::string& name) {
  std::string env;
  if (!platform::ReadWholeFile("/proc/" + std::to_string(pid) + "/environ", env)) return "";
  size_t start = 0;
  while (start < env.size()) {
    size_t end = env.find('\0', start);
    if (end == std::string::npos) end = env.size();
    std::string entry = env.substr(start, end - start);
    if (entry.rfind(name + "=", 0) == 0) return entry.substr(name.size() + 1);
    start = end + 1;
  }
  return "";
}

bool WaitPortClosed(int port) {
  for (int i = 0; i < 250; ++i) {
    if (!PortAccepts(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

bool WaitNoServerRuns() {
  for (int i = 0; i < 250; ++i) {
    if (FindServers().empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

} // namespace testing_support
