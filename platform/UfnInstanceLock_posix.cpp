// POSIX (Linux) single-instance lock: an exclusive flock on a file of the user's own.
#include "platform/UfnInstanceLock.h"

#include "platform/UfnEnvironment.h"
#include "platform/UfnFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

class FlockInstanceLock : public InstanceLock {
public:
  explicit FlockInstanceLock(int fd) : fd_(fd) {}
  ~FlockInstanceLock() override { ::close(fd_); }

private:
  int fd_;
};

// The user's private folder for the lock and the channel, with a trailing "/"; "" when none
// can be made.
std::string PrivateRuntimeFolder() {
  std::string dir = GetEnv("XDG_RUNTIME_DIR");
  // One the user may not write (another account's, left in the environment by su) would
  // hold no lock, and every start would end silently as if another instance ran.
  if (dir.empty() || !DirectoryExists(dir) || ::access(dir.c_str(), W_OK | X_OK) != 0) {
    dir = "/tmp/orlenway-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return "";
    // Anyone may create that name in /tmp first: use it only when it is our own private
    // folder, else keep the lock in the state folder, so another user cannot hold it for us.
    struct stat st;
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 077) != 0) {
      dir = StateFolder();
      if (!ForceDirectories(dir)) return "";
    }
  }
  if (dir.back() != '/') dir += '/';
  return dir;
}

} // namespace

std::string InstanceChannel(const std::string& name) {
  const std::string dir = PrivateRuntimeFolder();
  return dir.empty() ? "" : dir + name;
}

std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name) {
  const std::string dir = PrivateRuntimeFolder();
  if (dir.empty()) return nullptr;
  const std::string path = dir + name;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  // Another account's lock file in the user's own folder (left by a run as root with the
  // user's environment) names no instance of this user, and could never be opened: it goes.
  struct stat st;
  if (fd < 0 && errno == EACCES && ::lstat(path.c_str(), &st) == 0 && st.st_uid != ::getuid() &&
      ::unlink(path.c_str()) == 0)
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<FlockInstanceLock>(fd);
}

} // namespace platform
