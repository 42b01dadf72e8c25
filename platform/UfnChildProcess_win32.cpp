#include "platform/UfnChildProcess.h"

#include "base/UfnText.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace platform {

namespace {

// Starts `application` (nullptr: the first word of the command line, found as the system
// finds it) with its output on a pipe, and collects the output until it ends.
TProgramResult Run(const char* application, std::string commandLine) {
  TProgramResult result;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    result.StartError = static_cast<int>(::GetLastError());
    return result;
  }
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nul;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  PROCESS_INFORMATION pi{};
  const BOOL started = ::CreateProcessA(application, commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
  const DWORD startError = ::GetLastError();
  ::CloseHandle(writeEnd);
  if (nul != INVALID_HANDLE_VALUE) ::CloseHandle(nul);
  if (!started) {
    ::CloseHandle(readEnd);
    result.StartError = static_cast<int>(startError);
    return result;
  }
  result.Started = true;
  char buffer[4096];
  DWORD n = 0;
  while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0)
    result.Output.append(buffer, n);
  ::CloseHandle(readEnd);
  ::WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  if (::GetExitCodeProcess(pi.hProcess, &code)) result.ExitCode = static_cast<int>(code);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return result;
}

} // namespace

TProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  std::string commandLine = text::WindowsArgument(program);
  for (const std::string& a : arguments)
    commandLine += " " + text::WindowsArgument(a);
  return Run(program.c_str(), commandLine);
}

TProgramResult RunShellProgram(const std::string& commandLine) {
  return Run(nullptr, "cmd.exe /c " + commandLine);
}

bool StdoutIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info))
    return info.srWindow.Right - info.srWindow.Left + 1;
  return 80;
}

void UseUtf8Console() {
  ::SetConsoleOutputCP(CP_UTF8);
}

void WriteLimitFailsWrites() {}

} // namespace platform
