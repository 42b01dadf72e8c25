#include "support/TestSupport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

namespace testing_support {

namespace {

std::string MakeRoot() {
  const char* base = std::getenv("ORLENWAY_TEST_TMP");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/orlenway-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  std::string root = buf.data();
  for (const char* sub : {"home", "config", "runtime", "data", "tmp"})
    ::mkdir((root + "/" + sub).c_str(), 0700);
  ::setenv("HOME", (root + "/home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  ::setenv("TMPDIR", (root + "/tmp").c_str(), 1);
  // Subversion's client keeps its own config and auth cache under HOME; keep it quiet.
  ::setenv("LC_ALL", "C.UTF-8", 1);
  return root;
}

struct RootHolder {
  std::string path = MakeRoot();
  ~RootHolder() {
    if (!std::getenv("ORLENWAY_KEEP_TEST_TMP")) RemoveTree(path);
  }
};

} // namespace

const std::string& PrivateRoot() {
  static RootHolder holder;
  return holder.path;
}

TempDir::TempDir(const std::string& prefix) {
  static std::mt19937 rng(std::random_device{}());
  for (;;) {
    path_ = PrivateRoot() + "/tmp/" + prefix + "-" + std::to_string(rng() % 100000000);
    if (::mkdir(path_.c_str(), 0700) == 0) break;
    if (errno != EEXIST) throw std::runtime_error("cannot create " + path_);
  }
}

TempDir::~TempDir() {
  RemoveTree(path_);
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

void MakeDirs(const std::string& path) {
  if (Shell("mkdir -p " + Quote(path)).ExitCode != 0)
    throw std::runtime_error("cannot create " + path);
}

void RemoveTree(const std::string& path) {
  if (path.empty() || path == "/") return;
  Shell("chmod -R u+rwx " + Quote(path) + " 2>/dev/null; rm -rf " + Quote(path));
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> out;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* de = ::readdir(d)) {
      std::string n = de->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    ::closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void SetLocalFileTime(const std::string& path, int year, int month, int day, int hour, int minute,
                      int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  const std::time_t when = std::mktime(&t);
  const utimbuf u{when, when};
  if (::utime(path.c_str(), &u) != 0) throw std::runtime_error("cannot set the time of " + path);
}

int FileMode(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

TFileSizeLimit::TFileSizeLimit(unsigned long long bytes) {
  rlimit l{};
  if (::getrlimit(RLIMIT_FSIZE, &l) != 0) throw std::runtime_error("getrlimit failed");
  FOldLimit = l.rlim_cur;
  // Without this the write beyond the limit would end the process with SIGXFSZ.
  FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
  l.rlim_cur = static_cast<rlim_t>(bytes);
  if (::setrlimit(RLIMIT_FSIZE, &l) != 0) {
    std::signal(SIGXFSZ, FOldHandler);
    throw std::runtime_error("setrlimit failed");
  }
}

TFileSizeLimit::~TFileSizeLimit() {
  rlimit l{};
  ::getrlimit(RLIMIT_FSIZE, &l);
  l.rlim_cur = static_cast<rlim_t>(FOldLimit);
  ::setrlimit(RLIMIT_FSIZE, &l);
  std::signal(SIGXFSZ, FOldHandler);
}

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

RunResult Shell(const std::string& command) {
  RunResult r;
  std::string full = "( " + command + " ) 2>&1";
  FILE* p = ::popen(full.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
    r.Output.append(buf, n);
  int status = ::pclose(p);
  r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

namespace {

// A socket on 127.0.0.1:port, connected or bound by `how`; -1 when that fails.
int LoopbackSocket(int port, int (*how)(int, const sockaddr*, socklen_t)) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (how(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
  ::close(fd);
  return -1;
}

} // namespace

int ConnectLoopback(int port) {
  return LoopbackSocket(port, ::connect);
}

int ListenOnLoopback(int port) {
  int fd = LoopbackSocket(port, ::bind);
  if (fd >= 0 && ::listen(fd, 8) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool PortAccepts(int port) {
  int fd = ConnectLoopback(port);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

int FreeLoopbackPort() {
  static std::mt19937 rng(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
  for (int tries = 0; tries < 1000; ++tries) {
    int port = 20000 + static_cast<int>(rng() % 30000);
    if (port == 3690) continue;
    int fd = LoopbackSocket(port, ::bind);
    if (fd < 0) continue;
    ::close(fd);
    if (!PortAccepts(port)) return port;
  }
  throw std::runtime_error("no free loopback port");
}

int OpenDescriptorCount() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (struct dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') ++n;
    ::closedir(d);
  }
  return n - 1; // the listing's own descriptor
}

int ZombieChildCount() {
  int n = 0;
  std::string self = std::to_string(::getpid());
  if (DIR* d = ::opendir("/proc")) {
    while (struct dirent* e = ::readdir(d)) {
      if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
      std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
      std::string line;
      std::getline(in, line);
      auto close = line.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(line.substr(close + 2));
      std::string state, ppid;
      rest >> state >> ppid;
      if (state == "Z" && ppid == self) ++n;
    }
    ::closedir(d);
  }
  return n;
}

char ProcessState(int pid) {
  std::string stat;
  std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat);
  auto close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
}

std::vector<int> ProcessesNamed(const std::string& name) {
  std::vector<int> pids;
  if (DIR* d = ::opendir("/proc")) {
    while (struct dirent* e = ::readdir(d)) {
      if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
      std::string dir = std::string("/proc/") + e->d_name;
      // An ended process lingers until it is reaped, which can take a while here: it runs no
      // more, so it does not count.
      const char state = ProcessState(std::atoi(e->d_name));
      if (state == 'Z' || state == '?') continue;
      char buf[4096];
      ssize_t n = ::readlink((dir + "/exe").c_str(), buf, sizeof buf - 1);
      std::string image;
      if (n > 0) {
        image.assign(buf, static_cast<size_t>(n));
        if (image.size() > 10 && image.compare(image.size() - 10, 10, " (deleted)") == 0)
          image.resize(image.size() - 10);
        image = image.substr(image.rfind('/') + 1);
      } else {
        std::ifstream comm(dir + "/comm");
        std::getline(comm, image);
      }
      if (image == name) pids.push_back(std::atoi(e->d_name));
    }
    ::closedir(d);
  }
  return pids;
}

} // namespace testing_support
