// What the Windows tests share: the helper program and processes started from it.
#pragma once

#include <string>

namespace wintest {

// The full path of the helper program (tests/windows/helper.cpp).
std::string HelperPath();

// A process started with CreateProcessA; the handle is closed with the object.
class TProcess {
public:
  // Runs `commandLine` (the program and its arguments, quoted as needed).
  explicit TProcess(const std::string& commandLine);
  ~TProcess();
  TProcess(const TProcess&) = delete;
  TProcess& operator=(const TProcess&) = delete;
  bool Started() const { return FHandle != nullptr; }
  unsigned long Id() const { return FId; }
  // The exit code once the process has ended within `ms`; -1 while it still runs.
  long WaitForExit(unsigned ms);

private:
  void* FHandle = nullptr;
  unsigned long FId = 0;
};

// A copy of the helper program under another file name in `folder`; its full path.
std::string HelperCopy(const std::string& folder, const std::string& fileName);

} // namespace wintest
