// Windows processes: cmd.exe and the ToolHelp snapshot.
#include "platform/UfnProcesses.h"

#include "base/UfnText.h"
#include "platform/UfnFiles.h"
#include "platform/UfnSystemErrors.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>

#include <cstring>
#include <vector>

namespace platform {

using detail::Remember;

void SleepMs(unsigned ms) {
  ::Sleep(ms);
}

void KeepChildStatuses() {}

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

std::vector<RunningProcess> RunningProcessesNamed(const std::string& imageName) {
  std::vector<RunningProcess> found;
  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) {
    Remember();
    return found;
  }
  PROCESSENTRY32 pe;
  std::memset(&pe, 0, sizeof pe);
  pe.dwSize = sizeof pe;
  for (BOOL more = ::Process32First(snap, &pe); more; more = ::Process32Next(snap, &pe)) {
    std::string name(pe.szExeFile, strnlen(pe.szExeFile, sizeof pe.szExeFile));
    if (!text::SameAsciiIgnoreCase(name, imageName)) continue;
    RunningProcess p;
    p.pid = static_cast<long>(pe.th32ProcessID);
    found.push_back(std::move(p));
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

// The user of a process's token, as a copy of its SID.
bool TokenUserSid(HANDLE p, std::vector<unsigned char>& sid) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(p, TOKEN_QUERY, &token)) return false;
  DWORD n = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &n);
  std::vector<unsigned char> buf(n);
  bool ok = n > 0 && ::GetTokenInformation(token, TokenUser, buf.data(), n, &n);
  ::CloseHandle(token);
  if (!ok) return false;
  PSID user = reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid;
  if (!::IsValidSid(user)) return false;
  auto bytes = static_cast<const unsigned char*>(user);
  sid.assign(bytes, bytes + ::GetLengthSid(user));
  return true;
}

// Whether the process the handle holds runs as the same user as this program.
bool SameAccount(HANDLE p) {
  std::vector<unsigned char> own, theirs;
  return TokenUserSid(::GetCurrentProcess(), own) && TokenUserSid(p, theirs) && own == theirs;
}

} // namespace

bool ProcessOfThisAccount(long pid) {
  if (pid <= 0) return false;
  HANDLE p = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!p) return false;
  bool ok = SameAccount(p);
  ::CloseHandle(p);
  return ok;
}

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
            (startMark == 0 || mark == startMark) && SameAccount(p) && ::TerminateProcess(p, 0);
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

std::string InterpreterQuote(const std::string& text) {
  // cmd.exe takes the quotes as they are; the program it starts splits its arguments by the
  // C run-time's rules, where backslashes right before the closing quote would escape it.
  size_t trailing = 0;
  while (trailing < text.size() && text[text.size() - 1 - trailing] == '\\')
    ++trailing;
  return "\"" + text + std::string(trailing, '\\') + "\"";
}

} // namespace platform
