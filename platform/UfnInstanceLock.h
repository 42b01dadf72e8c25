// The lock that keeps the program to a single instance.
#pragma once

#include <memory>
#include <string>

namespace platform {

// Holds the named single-instance lock for as long as the object lives.
class InstanceLock {
public:
  virtual ~InstanceLock() = default;
};
// Takes the lock of that name; nullptr when another process holds it or it cannot be made.
// POSIX: an exclusive flock on the file `name` in $XDG_RUNTIME_DIR where the user may write
// (else /tmp/orlenway-<uid>/),
// released when the process ends and never inherited by child processes.
std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name);
// Where the running instance listens for later launches: a socket path `name` in the lock's
// private folder (POSIX), a pipe name (Windows); "" when there is no such folder.
std::string InstanceChannel(const std::string& name);

} // namespace platform
