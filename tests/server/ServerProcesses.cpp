#include "ServerProcesses.h"

#include "platform/UfnPlatform.h"
#include "support/TestSupport.h"

#include <chrono>
#include <dirent.h>
#include <thread>
#include <unistd.h>

namespace testing_support {

std::vector<pid_t> ServerPids() {
  struct Found {
    pid_t pid, parent;
  };
  std::vector<Found> found;
  DIR* d = ::opendir("/proc");
  if (!d) return {};
  while (struct dirent* e = ::readdir(d)) {
    std::string pid = e->d_name;
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string stat;
    if (!platform::ReadWholeFile("/proc/" + pid + "/stat", stat)) continue;
    auto close = stat.rfind(')');
    if (close == std::string::npos || stat[close + 2] == 'Z') continue;
    char buf[4096];
    ssize_t n = ::readlink(("/proc/" + pid + "/exe").c_str(), buf, sizeof buf - 1);
    if (n <= 0) continue;
    std::string exe(buf, static_cast<size_t>(n));
    if (exe.substr(exe.rfind('/') + 1).rfind("svnserve", 0) == 0)
      found.push_back({static_cast<pid_t>(std::stol(pid)),
                       static_cast<pid_t>(std::stol(stat.substr(close + 4)))});
  }
  ::closedir(d);
  // A server forks one process per connection; those are not servers of their own.
  std::vector<pid_t> pids;
  for (const auto& f : found) {
    bool child = false;
    for (const auto& g : found)
      child = child || g.pid == f.parent;
    if (!child) pids.push_back(f.pid);
  }
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

} // namespace testing_support
