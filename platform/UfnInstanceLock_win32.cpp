// Windows single-instance lock: a named mutex.
#include "platform/UfnInstanceLock.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace platform {

namespace {

class MutexInstanceLock : public InstanceLock {
public:
  explicit MutexInstanceLock(HANDLE h) : FHandle(h) {}
  ~MutexInstanceLock() override {
    ::ReleaseMutex(FHandle);
    ::CloseHandle(FHandle);
  }

private:
  HANDLE FHandle;
};

} // namespace

std::string InstanceChannel(const std::string& name) {
  // A named pipe of the logon session; the GUI's local server limits it to the user.
  return name;
}

std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name) {
  // No security attributes (not inherited by the commands the program runs), owned by the
  // creating thread; the name carries no namespace, so it holds within the logon session.
  ::SetLastError(0);
  HANDLE h = ::CreateMutexA(nullptr, TRUE, name.c_str());
  DWORD error = ::GetLastError();
  if (!h) return nullptr;
  if (error != 0) {
    ::CloseHandle(h);
    return nullptr;
  }
  return std::make_unique<MutexInstanceLock>(h);
}

} // namespace platform
