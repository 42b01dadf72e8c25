// The test helpers on Windows. The program keeps its files next to its executable, so every
// test process runs from a private folder: the first call of PrivateRoot starts the test
// program again from a hard link in a fresh folder, waits for it and ends with its exit code.
#include "support/TestProcesses.h"
#include "support/TestSupport.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
// winsock2.h before windows.h, which would bring the old winsock.h otherwise.
#include <winsock2.h>
// After winsock2.h:
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace {

const char* const RootVariable = "ORLENWAY_TEST_ROOT";

std::string Env(const char* name) {
  char buf[32768];
  DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

std::string ModulePath() {
  char buf[32768];
  DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
  return std::string(buf, n);
}

std::mt19937& Rng() {
  static std::mt19937 rng(std::random_device{}() ^ ::GetCurrentProcessId());
  return rng;
}

// The command line without its first word, the program.
std::string Arguments() {
  const char* p = ::GetCommandLineA();
  if (*p == '"') {
    ++p;
    while (*p && *p != '"')
      ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t')
      ++p;
  }
  return p;
}

void Inheritable(HANDLE h) {
  if (h && h != INVALID_HANDLE_VALUE) ::SetHandleInformation(h, HANDLE_FLAG_INHERIT, 1);
}

std::string MakeRoot() {
  std::string base = Env("ORLENWAY_TEST_TMP");
  if (base.empty()) {
    char buf[MAX_PATH + 1];
    DWORD n = ::GetTempPathA(sizeof buf, buf);
    base = std::string(buf, n);
  }
  if (!base.empty() && base.back() == '\\') base.pop_back();
  std::string root;
  for (;;) {
    root = base + "\\orlenway-test-" + std::to_string(Rng()() % 100000000);
    if (::CreateDirectoryA(root.c_str(), nullptr)) break;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create " + root);
  }
  for (const char* sub : {"home", "config", "runtime", "data", "tmp", "bin"})
    ::CreateDirectoryA((root + "\\" + sub).c_str(), nullptr);
  return root;
}

// The private environment, as on POSIX; TMP and TEMP are what GetTempPath reads.
void EnterRoot(const std::string& root) {
  ::SetEnvironmentVariableA("HOME", (root + "\\home").c_str());
  ::SetEnvironmentVariableA("USERPROFILE", (root + "\\home").c_str());
  ::SetEnvironmentVariableA("XDG_CONFIG_HOME", (root + "\\config").c_str());
  ::SetEnvironmentVariableA("XDG_RUNTIME_DIR", (root + "\\runtime").c_str());
  ::SetEnvironmentVariableA("TMPDIR", (root + "\\tmp").c_str());
  ::SetEnvironmentVariableA("TMP", (root + "\\tmp").c_str());
  ::SetEnvironmentVariableA("TEMP", (root + "\\tmp").c_str());
}

// Puts this process, and so everything it starts from now on, into a job that ends them all
// when the last handle to it closes: when this process ends, however it ends.
void JoinKillOnCloseJob() {
  HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
  if (!job) return;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
  info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info) ||
      !::AssignProcessToJobObject(job, ::GetCurrentProcess()))
    ::CloseHandle(job);
}

// Runs this test program again from a hard link (else a copy) in root\bin and ends with
// its exit code.
[[noreturn]] void Relaunch(const std::string& root) {
  JoinKillOnCloseJob();
  std::string self = ModulePath();
  std::string name = self.substr(self.find_last_of("\\/") + 1);
  std::string copy = root + "\\bin\\" + name;
  if (!::CreateHardLinkA(copy.c_str(), self.c_str(), nullptr) &&
      !::CopyFileA(self.c_str(), copy.c_str(), TRUE)) {
    std::fprintf(stderr, "cannot place the test program in %s\n", copy.c_str());
    ::ExitProcess(2);
  }
  ::SetEnvironmentVariableA(RootVariable, root.c_str());
  std::string line = "\"" + copy + "\"" + Arguments();
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  Inheritable(si.hStdInput);
  Inheritable(si.hStdOutput);
  Inheritable(si.hStdError);
  std::fflush(stdout);
  std::fflush(stderr);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessA(nullptr, buf.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi)) {
    std::fprintf(stderr, "cannot start %s (%lu)\n", copy.c_str(), ::GetLastError());
    ::ExitProcess(2);
  }
  ::WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 2;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  if (Env("ORLENWAY_KEEP_TEST_TMP").empty()) RemoveTree(root);
  ::ExitProcess(code);
}

std::string SetUpRoot() {
  std::string root = Env(RootVariable);
  if (root.empty()) Relaunch(MakeRoot());
  EnterRoot(root);
  return root;
}

bool StartSockets() {
  static const bool started = [] {
    WSADATA d;
    return ::WSAStartup(MAKEWORD(2, 2), &d) == 0;
  }();
  return started;
}

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

} // namespace

const std::string& PrivateRoot() {
  static const std::string root = SetUpRoot();
  return root;
}

TempDir::TempDir(const std::string& prefix) {
  for (;;) {
    path_ = PrivateRoot() + "\\tmp\\" + prefix + "-" + std::to_string(Rng()() % 100000000);
    if (::CreateDirectoryA(path_.c_str(), nullptr)) break;
    if (::GetLastError() != ERROR_ALREADY_EXISTS)
      throw std::runtime_error("cannot create " + path_);
  }
}

TempDir::~TempDir() {
  RemoveTree(path_);
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeDirs(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '/') c = '\\';
  for (size_t i = p.find('\\', 3);; i = p.find('\\', i + 1)) {
    std::string part = i == std::string::npos ? p : p.substr(0, i);
    if (!part.empty() && part.back() != ':') ::CreateDirectoryA(part.c_str(), nullptr);
    if (i == std::string::npos) break;
  }
  DWORD a = ::GetFileAttributesA(p.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY))
    throw std::runtime_error("cannot create " + path);
}

void RemoveTree(const std::string& path) {
  if (path.size() < 4) return; // never a drive's root
  DWORD a = ::GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return;
  ::SetFileAttributesA(path.c_str(), a & ~DWORD{FILE_ATTRIBUTE_READONLY});
  if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
    ::DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((path + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name != "." && name != "..") RemoveTree(path + "\\" + name);
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
  }
  ::RemoveDirectoryA(path.c_str());
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> out;
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name != "." && name != "..") out.push_back(name);
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string Quote(const std::string& s) {
  return "\"" + s + "\"";
}

RunResult Shell(const std::string& command) {
  RunResult r;
  std::string full = "( " + command + " ) 2>&1";
  FILE* p = ::_popen(full.c_str(), "rb");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
    r.Output.append(buf, n);
  r.ExitCode = ::_pclose(p);
  return r;
}

bool PortAccepts(int port) {
  if (!StartSockets()) return false;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  sockaddr_in a = Loopback(port);
  bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::closesocket(s);
  return ok;
}

int FreeLoopbackPort() {
  if (!StartSockets()) throw std::runtime_error("no sockets");
  for (int tries = 0; tries < 1000; ++tries) {
    int port = 20000 + static_cast<int>(Rng()() % 30000);
    if (port == 3690) continue;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) continue;
    BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<char*>(&exclusive),
                 sizeof exclusive);
    sockaddr_in a = Loopback(port);
    bool free = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::closesocket(s);
    if (free && !PortAccepts(port)) return port;
  }
  throw std::runtime_error("no free loopback port");
}

// Windows: the handles the process holds.
int OpenDescriptorCount() {
  DWORD n = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &n);
  return static_cast<int>(n);
}

// Windows leaves no zombies: an ended process is gone once its handles are closed.
int ZombieChildCount() {
  return 0;
}

std::vector<int> ProcessesNamed(const std::string& name) {
  std::vector<int> pids;
  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return pids;
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  for (BOOL more = ::Process32First(snap, &pe); more; more = ::Process32Next(snap, &pe))
    if (::lstrcmpiA(pe.szExeFile, name.c_str()) == 0)
      pids.push_back(static_cast<int>(pe.th32ProcessID));
  ::CloseHandle(snap);
  return pids;
}

void GuardTestProcesses() {
  // The job was made before the test program was started again (see Relaunch).
}

std::vector<int> ProcessesUnder(const std::string& folder) {
  std::vector<int> pids;
  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return pids;
  const std::string prefix = folder + "\\";
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  for (BOOL more = ::Process32First(snap, &pe); more; more = ::Process32Next(snap, &pe)) {
    HANDLE p = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pe.th32ProcessID);
    if (!p) continue;
    char image[MAX_PATH * 2];
    DWORD size = sizeof image;
    if (::QueryFullProcessImageNameA(p, 0, image, &size) && size > prefix.size() &&
        ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, image, static_cast<int>(prefix.size()),
                         prefix.c_str(), static_cast<int>(prefix.size())) == CSTR_EQUAL)
      pids.push_back(static_cast<int>(pe.th32ProcessID));
    ::CloseHandle(p);
  }
  ::CloseHandle(snap);
  return pids;
}

} // namespace testing_support
