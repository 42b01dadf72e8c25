#include "server/UclsSVN.h"

#include "base/UfnDesktop.h"
#include "base/UfnErrors.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "server/UfnAPI.h"
#include "server/UfnServerLog.h"
#include "server/UfnShell.h"
#include "server/UfnSubversion.h"
#include "settings/UclsBasicSetting.h"

#include <chrono>

TclsSVN* SVN = nullptr;

namespace {

#ifdef _WIN32
const char* const ServerImage = "svnserve.exe";
// cmd.exe's own command: one line "PATH=..." and a line break.
const char* const PathProbe = "path >> ";
#else
const char* const ServerImage = "svnserve";
const char* const PathProbe = "echo \"PATH=$PATH\" >> ";
#endif
const int DefaultPort = 3690;

void Complain(const std::string& text) {
  Desktop().MessageBox("에라~", text, TMsgIcon::Warning, mbOK);
}

// Puts the program's PATH back however the start ends; a PATH that was unset stays unset, as
// an empty one would hide every program from later command lines.
class TPathRestorer {
public:
  TPathRestorer() : FWasSet(platform::HasEnv("PATH")), FSaved(platform::GetEnv("PATH")) {}
  ~TPathRestorer() {
    if (FWasSet)
      platform::SetEnv("PATH", FSaved);
    else
      platform::UnsetEnv("PATH");
  }

private:
  bool FWasSet;
  std::string FSaved;
};

struct TServerRecord {
  long Pid = 0;
  unsigned long long Mark = 0; // 0: only the pid svnserve wrote
};

// "<pid>" as svnserve writes it, or "<pid> <start mark>" once the start has added the mark.
bool ReadServerRecord(TServerRecord& rec) {
  std::string data;
  if (!platform::ReadWholeFile(ServerRecordPath(), data)) return false;
  std::string fields[2];
  int count = 0;
  size_t at = 0;
  while (at < data.size()) {
    size_t start = data.find_first_not_of(" \t\r\n", at);
    if (start == std::string::npos) break;
    size_t end = data.find_first_of(" \t\r\n", start);
    if (end == std::string::npos) end = data.size();
    if (count == 2) return false;
    fields[count++] = data.substr(start, end - start);
    at = end;
  }
  if (count == 0) return false;
  for (int i = 0; i < count; ++i)
    if (fields[i].size() > 19 || fields[i].find_first_not_of("0123456789") != std::string::npos)
      return false;
  unsigned long long pid = std::stoull(fields[0]);
  if (pid == 0 || pid > 0x7fffffffULL) return false;
  rec.Pid = static_cast<long>(pid);
  rec.Mark = count == 2 ? std::stoull(fields[1]) : 0;
  return true;
}

// The recorded process, when it still runs as svnserve of this account with the recorded start
// mark.
bool RecordedServerRuns(const TServerRecord& rec) {
  std::string name;
  unsigned long long mark = 0;
  return platform::ProcessIdentity(rec.Pid, name, mark) &&
         text::SameAsciiIgnoreCase(name, ServerImage) && (rec.Mark == 0 || rec.Mark == mark) &&
         platform::ProcessOfThisAccount(rec.Pid);
}

// Waits for svnserve's pid file and adds the start mark of the process it names; false when
// no svnserve of that pid shows up before the deadline.
bool CompleteServerRecord(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    TServerRecord rec;
    std::string name;
    unsigned long long mark = 0;
    if (ReadServerRecord(rec) && platform::ProcessIdentity(rec.Pid, name, mark) &&
        text::SameAsciiIgnoreCase(name, ServerImage))
      return platform::WriteFileAtomic(ServerRecordPath(),
                                       std::to_string(rec.Pid) + " " + std::to_string(mark) + "\n");
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Desktop().ProcessMessages();
    platform::SleepMs(20);
  }
}

} // namespace

std::string ServerAddress(const std::string& host, int port) {
  return "svn://" + host + (port == DefaultPort ? "" : ":" + std::to_string(port)) + "/";
}

std::string ServerProgramPath() {
  return TSubversion(BasicSetting->SVNPath).Program("svnserve");
}

std::string ServerRecordPath() {
  return platform::StateFolder() + "svnserve.pid";
}

TclsSVN::~TclsSVN() {
  StopServer();
}

bool TclsSVN::CheckEnvironment() {
  if (!platform::DirectoryExists(BasicSetting->SVNPath)) {
    Complain("SVN 경로 설정 해주세요");
    return false;
  }
  if (!platform::DirectoryExists(BasicSetting->RepoPath)) {
    Complain("저장소 경로 설정 해주세요");
    return false;
  }
  const TSubversion svn(BasicSetting->SVNPath);
  if (!platform::FileExists(svn.Program("svnadmin")) ||
      !platform::FileExists(svn.Program("svnserve"))) {
    Complain("SubVersion을 설치해주세요");
    return false;
  }
  return true;
}

std::string TclsSVN::ServerCommandLine() const {
  int port = BasicSetting->GetPort();
  std::string portPart = port == DefaultPort ? "" : "--listen-port=" + std::to_string(port);
  return std::string(ServerImage) + " -d " + portPart + " " + "-r " +
         QuotedPath(BasicSetting->RepoPath);
}

bool TclsSVN::StartServer() {
  if (!CheckEnvironment()) return false;
  // The settings file keeps a hand-edited port as it is; no server can listen on it.
  int port = BasicSetting->GetPort();
  if (port < 1 || port > 65535) {
    Complain(Format("SVN 포트 %d 은(는) 사용할 수 없습니다. 기본 설정에서 1부터 65535 사이의 "
                    "포트를 설정해주세요",
                    port));
    return false;
  }
  // A port that something else already answers on would make the new server fail at once.
  if (platform::LoopbackPortAccepts(port)) {
    Complain(Format("SVN 포트 %d 이(가) 이미 사용 중입니다", port));
    return false;
  }

  std::string bin = TSubversion(BasicSetting->SVNPath).BinFolder();
  bool found = text::UpperAscii(ReadShellPath()).find(text::UpperAscii(bin)) != std::string::npos;
  // A record left behind names no server of ours any more: the stop at the first show has
  // dealt with it, and the new server writes its own.
  platform::DeleteFile(ServerRecordPath());
  // No server writes the log now: the only moment it can be rotated without losing a line.
  RotateServerLog(ServerLogPath());
  std::string commandLine = ServerCommandLine() + " --pid-file " + QuotedPath(ServerRecordPath()) +
                            " --log-file " + QuotedPath(ServerLogPath());
  bool started;
  {
    // Only the server's interpreter sees the extended search path.
    std::string path = platform::GetEnv("PATH");
    TPathRestorer restore;
    if (!found)
      platform::SetEnv("PATH", path.empty() ? bin : path + platform::SearchPathSeparator() + bin);
    started = RunCommand(commandLine, false);
  }

  // The interpreter returns before the server has bound its port, and a server that fails
  // (port taken meanwhile, program not found) fails silently; only an answering port counts.
  if (started) {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(ServerStartTimeoutMs);
    for (;;) {
      if (platform::LoopbackPortAccepts(port, 100)) {
        // svnserve writes its pid once it has become a daemon, a moment after the bind.
        CompleteServerRecord(deadline + std::chrono::milliseconds(1000));
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) break;
      Desktop().ProcessMessages();
      platform::SleepMs(20);
    }
  }
  Complain(Format("SVN 서버를 시작하지 못했습니다 (포트 %d)", port));
  return false;
}

bool TclsSVN::StopServer() {
  TServerRecord rec;
  bool found = false;
  if (ReadServerRecord(rec) && platform::TerminateProcessIf(rec.Pid, ServerImage, rec.Mark)) {
    found = true;
    // The next start checks the port: give the server time to let go of it.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
    while (RecordedServerRuns(rec) && std::chrono::steady_clock::now() < deadline)
      platform::SleepMs(20);
    // Each connection has a process of its own in the server's session, which outlives the
    // server and would go on serving, and committing (into a backup being packed, say).
    // Looked for once the server is gone, so that none it forked at the last moment is missed.
    if (platform::TerminateSessionMembers(rec.Pid, ServerImage) > 0)
      while (!platform::SessionMembers(rec.Pid, ServerImage).empty() &&
             std::chrono::steady_clock::now() < deadline)
        platform::SleepMs(20);
  }
  platform::DeleteFile(ServerRecordPath());
  platform::SleepMs(50);
  return found;
}

bool TclsSVN::ServerRunning() const {
  TServerRecord rec;
  return ReadServerRecord(rec) && RecordedServerRuns(rec);
}

std::string ReadShellPath() {
  // The state folder does not exist before the program's first shutdown.
  std::string folder = platform::StateFolder();
  platform::ForceDirectories(folder);
  std::string probe = folder + "tmp.dat";
  RunCommand(PathProbe + QuotedPath(probe), true);

  std::string data;
  if (!platform::ReadWholeFile(probe, data))
    throw EFOpenError(
        Format("Cannot open file \"%s\". %s", probe.c_str(), platform::LastErrorMessage().c_str()));
  std::string text;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find_first_of("\r\n", start);
    if (end == std::string::npos) end = data.size();
    text += data.substr(start, end - start) + "\r\n";
    if (end + 1 < data.size() && data[end] == '\r' && data[end + 1] == '\n') ++end;
    start = end + 1;
  }
  platform::DeleteFile(probe);
  return text;
}

void InitSVN() {
  if (!SVN) SVN = new TclsSVN;
}

void DoneSVN() {
  TclsSVN* svn = SVN;
  SVN = nullptr;
  delete svn;
}
