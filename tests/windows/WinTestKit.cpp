#include "WinTestKit.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

namespace wintest {

std::string HelperPath() {
  return ORLENWAY_TEST_HELPER;
}

TProcess::TProcess(const std::string& commandLine) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
    return;
  ::CloseHandle(pi.hThread);
  FHandle = pi.hProcess;
  FId = pi.dwProcessId;
}

TProcess::~TProcess() {
  if (!FHandle) return;
  if (WaitForExit(0) < 0) ::TerminateProcess(FHandle, 1);
  ::CloseHandle(FHandle);
}

long TProcess::WaitForExit(unsigned ms) {
  if (!FHandle || ::WaitForSingleObject(FHandle, ms) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  ::GetExitCodeProcess(FHandle, &code);
  return static_cast<long>(code);
}

std::string HelperCopy(const std::string& folder, const std::string& fileName) {
  std::string path = folder + "\\" + fileName;
  if (!::CopyFileA(HelperPath().c_str(), path.c_str(), FALSE))
    throw std::runtime_error("cannot copy the helper to " + path);
  return path;
}

} // namespace wintest
