// Helpers for the tests: temporary folders, files, child processes and loopback ports.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under the test process's private temporary folder, removed at the end.
class TempDir {
public:
  explicit TempDir(const std::string& prefix = "t");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; } // no trailing delimiter
#ifdef _WIN32
  std::string operator/(const std::string& name) const {
    return path_ + "\\" + name;
  }
#else
  std::string operator/(const std::string& name) const {
    return path_ + "/" + name;
  }
#endif

private:
  std::string path_;
};

// The process's private root (HOME etc. live below it); set up by the test main.
const std::string& PrivateRoot();

std::string ReadFile(const std::string& path); // throws when it cannot be read
void WriteFile(const std::string& path, const std::string& data);
// Bytes that do not compress, the same for the same seed.
std::string RandomBytes(size_t n, unsigned seed);
bool Exists(const std::string& path);
void MakeDirs(const std::string& path);
void RemoveTree(const std::string& path);
// The names in a folder without "." and "..", in byte order; empty when it cannot be read.
std::vector<std::string> FolderNames(const std::string& folder);
// POSIX: sets a file's last write (and access) time to a local date and time; throws on
// failure.
void SetLocalFileTime(const std::string& path, int year, int month, int day, int hour, int minute,
                      int second);
// Waits up to about 5 s for something to appear at `path`.
bool WaitForFile(const std::string& path);
// The names with `separator` between them: "a,b,c".
std::string Joined(const std::vector<std::string>& names, const std::string& separator = ",");
// `base` and a random number, so that names of a run do not meet those of an earlier one.
std::string UniqueName(const std::string& base);

#ifndef _WIN32
// The permission bits of a file (st_mode & 07777), -1 when there is nothing to stat.
int FileMode(const std::string& path);

// While it lives, writes of regular files beyond `bytes` fail with EFBIG, as on a full disk;
// the limit binds root too. Throws when the limit cannot be set.
class TFileSizeLimit {
public:
  explicit TFileSizeLimit(unsigned long long bytes);
  ~TFileSizeLimit();
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
  unsigned long long FOldLimit = 0;
  void (*FOldHandler)(int) = nullptr;
};
#endif

struct RunResult {
  int ExitCode = -1;  // -1 when killed by a signal
  std::string Output; // stdout and stderr together
};
// Runs a command through /bin/sh -c and waits for it.
RunResult Shell(const std::string& command);
// A single-quoted shell word.
std::string Quote(const std::string& s);

// A TCP port on 127.0.0.1 that nothing listens on right now (never 3690).
int FreeLoopbackPort();
// True when something accepts connections on 127.0.0.1:port.
bool PortAccepts(int port);
#ifndef _WIN32
// A socket connected to 127.0.0.1:port, -1 when nothing accepts; close-on-exec.
int ConnectLoopback(int port);
// A socket listening on 127.0.0.1:port, -1 when the port is taken; close-on-exec.
int ListenOnLoopback(int port);
#endif

// The number of open file descriptors of this process, and its zombie children.
int OpenDescriptorCount();
int ZombieChildCount();

// Linux: the state letter of a process from /proc ('R', 'S', 'Z' ...), '?' when it is gone.
char ProcessState(int pid);
// The running processes on this machine whose executable's file name is `name`.
std::vector<int> ProcessesNamed(const std::string& name);
#ifdef _WIN32
// The running processes whose program lies in `folder` (a test's own installation): another's
// program of the same name elsewhere is not counted.
std::vector<int> ProcessesUnder(const std::string& folder);
#endif

} // namespace testing_support
