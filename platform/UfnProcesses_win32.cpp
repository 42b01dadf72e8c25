// Windows processes and environment: cmd.exe, the ToolHelp snapshot and Winsock.
#include "platform/UfnProcesses.h"

#include "base/UfnText.h"
#include "platform/UfnFiles.h"
#include "platform/UfnSystemErrors.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
// winsock2.h before windows.h, which would bring the old winsock.h otherwise.
#include <winsock2.h>
// After winsock2.h:
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>

#include <cstring>
#include <vector>

namespace platform {

using detail::Remember;

// ---- processes and environment -----------------------------------------------------------

std::string GetEnv(const std::string& name) {
  DWORD n = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (n == 0) return "";
  std::string buf(n, '\0');
  n = ::GetEnvironmentVariableA(name.c_str(), buf.data(), n);
  buf.resize(n < buf.size() ? n : 0);
  return buf;
}

bool SetEnv(const std::string& name, const std::string& value) {
  return ::SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
}

bool HasEnv(const std::string& name) {
  // An empty variable also gives 0: only the error code tells it from a missing one.
  ::SetLastError(ERROR_SUCCESS);
  if (::GetEnvironmentVariableA(name.c_str(), nullptr, 0) != 0) return true;
  return ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

bool UnsetEnv(const std::string& name) {
  return ::SetEnvironmentVariableA(name.c_str(), nullptr) != 0;
}

char SearchPathSeparator() {
  return ';';
}

void SleepMs(unsigned ms) {
  ::Sleep(ms);
}

void KeepChildStatuses() {}

std::vector<std::string> ChildEnvironment() {
  return {};
}

bool RunShellCommand(const std::string& commandLine, bool wait) {
  std::string full = "cmd.exe /c " + commandLine;
  std::vector<char> line(full.begin(), full.end());
  line.push_back('\0');
  std::string cwd = GetCurrentDir();

  // A hidden window and no standard handles at all.
  STARTUPINFOA si;
  std::memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi;
  std::memset(&pi, 0, sizeof pi);
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        cwd.empty() ? nullptr : cwd.c_str(), &si, &pi)) {
    Remember();
    return false;
  }
  bool ok = true;
  if (wait) {
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    ok = ::GetExitCodeProcess(pi.hProcess, &code) && code != STILL_ACTIVE;
    if (!ok) Remember();
  }
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return ok;
}

bool KillProcessesByName(const std::string& imageName) {
  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) {
    Remember();
    return false;
  }
  PROCESSENTRY32 pe;
  std::memset(&pe, 0, sizeof pe);
  pe.dwSize = sizeof pe;
  bool found = false;
  for (BOOL more = ::Process32First(snap, &pe); more; more = ::Process32Next(snap, &pe)) {
    std::string name(pe.szExeFile, strnlen(pe.szExeFile, sizeof pe.szExeFile));
    if (!text::SameAsciiIgnoreCase(name, imageName)) continue;
    found = true;
    // Whoever cannot be opened with every right may still let itself be terminated.
    HANDLE p = ::OpenProcess(0x1F0FFF, FALSE, pe.th32ProcessID);
    if (!p) p = ::OpenProcess(PROCESS_TERMINATE, FALSE, pe.th32ProcessID);
    if (p) {
      ::TerminateProcess(p, 0);
      ::CloseHandle(p);
    }
  }
  ::CloseHandle(snap);
  return found;
}

namespace {

// Identity read through an open handle, so that it belongs to the process the handle holds.
bool HandleIdentity(HANDLE p, std::string& imageName, unsigned long long& startMark) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(p, &code) || code != STILL_ACTIVE) return false;
  char buf[MAX_PATH * 4];
  DWORD n = sizeof buf;
  if (!::QueryFullProcessImageNameA(p, 0, buf, &n)) return false;
  std::string path(buf, n);
  imageName = path.substr(path.find_last_of("\\/") + 1);
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(p, &created, &exited, &kernel, &user)) return false;
  startMark =
      (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  return true;
}

} // namespace

bool ProcessIdentity(long pid, std::string& imageName, unsigned long long& startMark) {
  if (pid <= 0) return false;
  HANDLE p = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!p) return false;
  bool ok = HandleIdentity(p, imageName, startMark);
  ::CloseHandle(p);
  return ok;
}

bool TerminateProcessIf(long pid, const std::string& imageName, unsigned long long startMark) {
  if (pid <= 0) return false;
  // The handle keeps the process object, so its pid cannot go to another meanwhile.
  HANDLE p = ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                           static_cast<DWORD>(pid));
  if (!p) return false;
  std::string name;
  unsigned long long mark = 0;
  bool ok = HandleIdentity(p, name, mark) && text::SameAsciiIgnoreCase(name, imageName) &&
            (startMark == 0 || mark == startMark) && ::TerminateProcess(p, 0);
  if (!ok) Remember();
  ::CloseHandle(p);
  return ok;
}

// svnserve.exe serves its connections in threads of the one process: nothing outlives it.
std::vector<long> SessionMembers(long, const std::string&) {
  return {};
}

int TerminateSessionMembers(long, const std::string&) {
  return 0;
}

// ---- server control: interpreter quoting and the loopback probe --------------------------

std::string InterpreterQuote(const std::string& text) {
  // cmd.exe takes the quotes as they are; the program it starts splits its arguments by the
  // C run-time's rules, where backslashes right before the closing quote would escape it.
  size_t trailing = 0;
  while (trailing < text.size() && text[text.size() - 1 - trailing] == '\\')
    ++trailing;
  return "\"" + text + std::string(trailing, '\\') + "\"";
}

bool LoopbackPortAccepts(int port, unsigned timeoutMs) {
  if (port <= 0 || port > 65535) return false;
  static const bool started = [] {
    WSADATA d;
    return ::WSAStartup(MAKEWORD(2, 2), &d) == 0;
  }();
  if (!started) return false;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    Remember(::WSAGetLastError());
    return false;
  }
  u_long nonBlocking = 1;
  ::ioctlsocket(s, static_cast<long>(FIONBIO), &nonBlocking);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (!ok && ::WSAGetLastError() == WSAEWOULDBLOCK) {
    fd_set w, e;
    FD_ZERO(&w);
    FD_ZERO(&e);
    FD_SET(s, &w);
    FD_SET(s, &e);
    timeval tv{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
    int r = ::select(0, nullptr, &w, &e, &tv);
    int soErr = 0;
    int len = sizeof soErr;
    ok = r > 0 && FD_ISSET(s, &w) &&
         ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soErr), &len) == 0 &&
         soErr == 0;
  }
  ::closesocket(s);
  return ok;
}

} // namespace platform
