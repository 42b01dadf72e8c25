// The server controller against the real svnserve, svnadmin and svn on loopback ports. The
// tests count the svnserve processes they started; another's server on the machine is left
// alone by the program and unseen by the tests.
#include "server/UclsSVN.h"

#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "settings/UclsBasicSetting.h"
#include "support/ServerProcesses.h"
#include "support/SvnServe.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing_support;

namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A Subversion installation of the test's own: bin/svnadmin and bin/svnserve as given.
std::string FakeInstallation(const TempDir& t, const std::string& name,
                             const std::string& svnserveScript = "") {
  std::string bin = t / name + "/bin";
  MakeDirs(bin);
  EXPECT_EQ(Shell("ln -s /usr/bin/svnadmin " + Quote(bin + "/svnadmin")).ExitCode, 0);
  if (svnserveScript.empty()) {
    EXPECT_EQ(Shell("ln -s /usr/bin/svnserve " + Quote(bin + "/svnserve")).ExitCode, 0);
  } else {
    WriteFile(bin + "/svnserve", "#!/bin/sh\n" + svnserveScript + "\n");
    EXPECT_EQ(Shell("chmod +x " + Quote(bin + "/svnserve")).ExitCode, 0);
  }
  return t / name;
}

// A child of the test that is no svnserve: `sleep 30`.
class TSleeper {
public:
  TSleeper() {
    Pid = ::fork();
    if (Pid == 0) {
      ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~TSleeper() {
    if (Running()) ::kill(Pid, SIGKILL);
    ::waitpid(Pid, nullptr, 0);
  }
  bool Running() { return Pid > 0 && ::waitpid(Pid, nullptr, WNOHANG) == 0; }
  pid_t Pid;
};

// A stand-in svnserve (a copy of sleep by that name) that runs as another account, nobody.
class TForeignServer {
public:
  explicit TForeignServer(const std::string& folder) {
    std::string image = folder + "/svnserve";
    EXPECT_EQ(Shell("cp /bin/sleep " + Quote(image) + " && chmod 755 " + Quote(image)).ExitCode, 0);
    // Opened before the change of account: nobody may not reach the test's folder.
    int fd = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
    Pid = ::fork();
    if (Pid == 0) {
      char name[] = "svnserve", arg[] = "30";
      char* argv[] = {name, arg, nullptr};
      if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0)
        ::fexecve(fd, argv, environ);
      _exit(127);
    }
    if (fd >= 0) ::close(fd);
  }
  ~TForeignServer() {
    if (Pid > 0) ::kill(Pid, SIGKILL);
    ::waitpid(Pid, nullptr, 0);
  }
  bool Running() { return Pid > 0 && ::waitpid(Pid, nullptr, WNOHANG) == 0; }
  pid_t Pid;
};

std::string Record() {
  return Exists(ServerRecordPath()) ? ReadFile(ServerRecordPath()) : "<none>";
}

class ServerControl : public ::testing::Test {
protected:
  void SetUp() override {
    BasicSetting->SVNPath = "/usr";
    Port = FreeLoopbackPort();
    BasicSetting->SetPort(Port);
    ASSERT_EQ(Shell("svnadmin create " + Quote(Root / "proj")).ExitCode, 0);
    Globals.MakeServerController();
  }
  void TearDown() override { platform::SetEnv("PATH", SavedPath); }

  // `svn info` of a project over the running server; its exit code.
  int SvnInfo(const std::string& project) {
    return Shell("svn info --non-interactive svn://127.0.0.1:" + std::to_string(Port) + "/" +
                 project)
        .ExitCode;
  }

  std::vector<std::string> MessageTexts() {
    std::vector<std::string> texts;
    for (const auto& m : Prompt.Messages()) {
      EXPECT_EQ(m.Caption, "에라~");
      EXPECT_EQ(m.Icon, TMsgIcon::Warning);
      EXPECT_EQ(m.Buttons, static_cast<TMsgButtons>(mbOK));
      texts.push_back(m.Text);
    }
    return texts;
  }

  TempDir Root{"repos"};
  TempDir Work{"work"};
  TScriptedPrompt Prompt;
  int Port = 0;
  std::string SavedPath = platform::GetEnv("PATH");
  TGlobals Globals{Root.Path()};
};

} // namespace

TEST_F(ServerControl, StartServesTheRootAndStopEndsIt) {
  ASSERT_TRUE(SVN->StartServer());
  EXPECT_TRUE(Prompt.Messages().empty());
  EXPECT_TRUE(PortAccepts(Port));
  EXPECT_EQ(SvnInfo("proj"), 0);
  EXPECT_EQ(ServerPids().size(), 1u);
  EXPECT_EQ(platform::GetEnv("PATH"), SavedPath);
  EXPECT_FALSE(Exists(platform::StateFolder() + "tmp.dat"));

  EXPECT_TRUE(SVN->StopServer());
  EXPECT_TRUE(WaitPortClosed(Port));
  EXPECT_TRUE(ServerPids().empty());
  EXPECT_NE(SvnInfo("proj"), 0);
  // Nothing left to stop: false, after the pause all the same.
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(SVN->StopServer());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST_F(ServerControl, ARootWithBlanksAndShellCharactersIsServed) {
  std::string root = Root / "my $HOME repos `x`";
  MakeDirs(root);
  ASSERT_EQ(Shell("svnadmin create " + Quote(root + "/p r")).ExitCode, 0);
  BasicSetting->RepoPath = root + "/"; // as stored, trailing delimiter and all
  ASSERT_TRUE(SVN->StartServer());
  EXPECT_EQ(SvnInfo("p%20r"), 0);
}

TEST_F(ServerControl, ThePortPartOfTheCommandLine) {
  BasicSetting->RepoPath = "/srv/svn root";
  BasicSetting->SetPort(3690);
  EXPECT_EQ(SVN->ServerCommandLine(), "svnserve -d  -r \"/srv/svn root\"");
  BasicSetting->SetPort(0); // stored 0 reads as the default port
  EXPECT_EQ(SVN->ServerCommandLine(), "svnserve -d  -r \"/srv/svn root\"");
  BasicSetting->SetPort(4000);
  EXPECT_EQ(SVN->ServerCommandLine(), "svnserve -d --listen-port=4000 -r \"/srv/svn root\"");
  BasicSetting->RepoPath = "/srv/a$b/";
  EXPECT_EQ(SVN->ServerCommandLine(), "svnserve -d --listen-port=4000 -r \"/srv/a\\$b/\"");
}

TEST_F(ServerControl, APortAlreadyInUseIsRefusedAndNothingStarts) {
  int fd = ListenOnLoopback(Port);
  ASSERT_GE(fd, 0);

  EXPECT_FALSE(SVN->StartServer());
  ::close(fd);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"SVN 포트 " + std::to_string(Port) +
                                                     " 이(가) 이미 사용 중입니다"});
  EXPECT_TRUE(ServerPids().empty());
}

TEST_F(ServerControl, APortOutsideTheRangeIsRefusedWithItsMessageAndNothingStarts) {
  for (int32_t port : {70000, -1}) {
    BasicSetting->SetPort(port);
    EXPECT_FALSE(SVN->StartServer());
    EXPECT_EQ(BasicSetting->GetPort(), port);
  }
  const std::string tail =
      " 은(는) 사용할 수 없습니다. 기본 설정에서 1부터 65535 사이의 포트를 설정해주세요";
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{"SVN 포트 70000" + tail, "SVN 포트 -1" + tail}));
  EXPECT_TRUE(ServerPids().empty());
  EXPECT_EQ(Record(), "<none>");
}

TEST_F(ServerControl, EachUnusableSettingGivesItsOneMessage) {
  TempDir t;
  WriteFile(t / "plain-file", "");
  std::string adminOnly = t / "adminonly", serveOnly = t / "serveonly";
  MakeDirs(adminOnly + "/bin");
  WriteFile(adminOnly + "/bin/svnadmin", "");
  MakeDirs(serveOnly + "/bin/svnadmin"); // a folder where the program should be
  WriteFile(serveOnly + "/bin/svnserve", "");
  struct Case {
    std::string svn, repo, message;
  } cases[] = {
      {t / "missing", t / "missing-too", "SVN 경로 설정 해주세요"}, // only the first
      {t / "plain-file", Root.Path(), "SVN 경로 설정 해주세요"},
      {"", Root.Path(), "SVN 경로 설정 해주세요"},
      {"/usr", t / "missing", "저장소 경로 설정 해주세요"},
      {"/usr", t / "plain-file", "저장소 경로 설정 해주세요"},
      {adminOnly, Root.Path(), "SubVersion을 설치해주세요"},
      {serveOnly, Root.Path(), "SubVersion을 설치해주세요"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.svn + " | " + c.repo);
    BasicSetting->SVNPath = c.svn;
    BasicSetting->RepoPath = c.repo;
    Prompt.Calls.clear();
    EXPECT_FALSE(SVN->CheckEnvironment());
    EXPECT_FALSE(SVN->StartServer());
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{c.message, c.message}));
    EXPECT_TRUE(ServerPids().empty());
  }
  BasicSetting->SVNPath = "/usr/";
  BasicSetting->RepoPath = Root.Path();
  Prompt.Calls.clear();
  EXPECT_TRUE(SVN->CheckEnvironment());
  EXPECT_TRUE(Prompt.Calls.empty());
}

TEST_F(ServerControl, AMissingBinFolderIsAddedToTheSearchPathOfTheServerOnly) {
  TempDir t;
  BasicSetting->SVNPath = FakeInstallation(t, "svn");
  std::string bin = BasicSetting->SVNPath + "/bin";
  // Nowhere else could the interpreter find svnserve.
  platform::SetEnv("PATH", "/nonexistent-orlenway");
  bool started = SVN->StartServer();
  EXPECT_EQ(platform::GetEnv("PATH"), "/nonexistent-orlenway");
  platform::SetEnv("PATH", SavedPath);
  ASSERT_TRUE(started);
  auto pids = ServerPids();
  ASSERT_EQ(pids.size(), 1u);
  EXPECT_EQ(ProcessEnv(pids[0], "PATH"), "/nonexistent-orlenway:" + bin);
  EXPECT_EQ(SvnInfo("proj"), 0);
}

TEST_F(ServerControl, AnUnsetPathComesBackUnset) {
  // Set to "" instead, every later command line would find nothing.
  ASSERT_TRUE(platform::UnsetEnv("PATH"));
  bool started = SVN->StartServer();
  bool stillUnset = !platform::HasEnv("PATH");
  platform::SetEnv("PATH", SavedPath);
  EXPECT_TRUE(started);
  EXPECT_TRUE(stillUnset);
  EXPECT_EQ(SvnInfo("proj"), 0);
  // Empty is not unset: an empty PATH is put back as it was.
  ASSERT_TRUE(SVN->StopServer());
  ASSERT_TRUE(WaitPortClosed(Port));
  platform::SetEnv("PATH", "");
  started = SVN->StartServer();
  bool empty = platform::HasEnv("PATH") && platform::GetEnv("PATH").empty();
  platform::SetEnv("PATH", SavedPath);
  EXPECT_TRUE(started);
  EXPECT_TRUE(empty);
}

TEST_F(ServerControl, ABinFolderAlreadyOnThePathInAnotherCaseIsLeftAlone) {
  TempDir t;
  BasicSetting->SVNPath = FakeInstallation(t, "svn");
  std::string path = "/usr/bin:/bin:" + Upper(BasicSetting->SVNPath + "/bin");
  platform::SetEnv("PATH", path);
  ASSERT_TRUE(SVN->StartServer());
  EXPECT_EQ(platform::GetEnv("PATH"), path);
  auto pids = ServerPids();
  ASSERT_EQ(pids.size(), 1u);
  EXPECT_EQ(ProcessEnv(pids[0], "PATH"), path);
}

TEST_F(ServerControl, AServerThatNeverAnswersIsAFailure) {
  TempDir t;
  BasicSetting->SVNPath = FakeInstallation(t, "broken", "exit 1");
  platform::SetEnv("PATH", "/nonexistent-orlenway");
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(SVN->StartServer());
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(ServerStartTimeoutMs));
  EXPECT_LT(took, std::chrono::milliseconds(ServerStartTimeoutMs + 2000));
  EXPECT_GT(Prompt.Pumps, 10);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"SVN 서버를 시작하지 못했습니다 (포트 " +
                                                     std::to_string(Port) + ")"});
}

TEST_F(ServerControl, DoneStopsTheServer) {
  ASSERT_TRUE(SVN->StartServer());
  DoneSVN();
  EXPECT_EQ(SVN, nullptr);
  EXPECT_TRUE(WaitPortClosed(Port));
  EXPECT_TRUE(ServerPids().empty());
}

TEST_F(ServerControl, AnUnreadableProbeStopsTheStartWithAnError) {
  // The state folder is a file, so the probe cannot be written or read.
  std::string folder = platform::StateFolder();
  folder.pop_back();
  RemoveTree(folder);
  WriteFile(folder, "in the way");
  try {
    SVN->StartServer();
    ADD_FAILURE() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find("Cannot open file \"" + folder + "/tmp.dat\""), std::string::npos)
        << e.Message();
  }
  EXPECT_EQ(platform::GetEnv("PATH"), SavedPath);
  EXPECT_TRUE(ServerPids().empty());
  EXPECT_EQ(ReadFile(folder), "in the way");
  platform::DeleteFile(folder);
}

TEST_F(ServerControl, TheRecordNamesTheOwnServerAndItsStartMark) {
  ASSERT_TRUE(SVN->StartServer());
  auto pids = ServerPids();
  ASSERT_EQ(pids.size(), 1u);
  std::string name;
  unsigned long long mark = 0;
  ASSERT_TRUE(platform::ProcessIdentity(pids[0], name, mark));
  EXPECT_EQ(name, "svnserve");
  EXPECT_EQ(Record(), std::to_string(pids[0]) + " " + std::to_string(mark) + "\n");
  EXPECT_TRUE(SVN->ServerRunning());
  EXPECT_TRUE(SVN->StopServer());
  // The stop waits for the server to be gone.
  EXPECT_FALSE(SVN->ServerRunning());
  // Gone or at most a zombie that nobody has reaped yet.
  EXPECT_FALSE(platform::ProcessIdentity(pids[0], name, mark));
  EXPECT_EQ(Record(), "<none>");
  EXPECT_FALSE(SVN->StopServer());
}

TEST_F(ServerControl, AServerOfAnotherSurvivesStartStopAndTheEnd) {
  TempDir otherRoot{"other"};
  TSvnServe other(otherRoot.Path());
  ASSERT_GT(other.Pid, 0);
  ASSERT_TRUE(SVN->StartServer());
  EXPECT_EQ(ServerPids().size(), 2u);
  EXPECT_TRUE(SVN->StopServer());
  EXPECT_TRUE(WaitPortClosed(Port));
  EXPECT_TRUE(PortAccepts(other.Port));
  // With no server of its own left, a stop touches nothing at all.
  EXPECT_FALSE(SVN->StopServer());
  ASSERT_TRUE(SVN->StartServer());
  DoneSVN();
  EXPECT_TRUE(WaitPortClosed(Port));
  EXPECT_EQ(ServerPids(), std::vector<pid_t>{other.Pid});
  EXPECT_TRUE(PortAccepts(other.Port));
}

TEST_F(ServerControl, ABadRecordSignalsNothingAndIsRemoved) {
  TSleeper sleeper;
  ASSERT_GT(sleeper.Pid, 0);
  TempDir otherRoot{"other"};
  TSvnServe other(otherRoot.Path());
  ASSERT_GT(other.Pid, 0);
  std::string name;
  unsigned long long sleeperMark = 0, otherMark = 0;
  ASSERT_TRUE(platform::ProcessIdentity(sleeper.Pid, name, sleeperMark));
  ASSERT_TRUE(platform::ProcessIdentity(other.Pid, name, otherMark));
  pid_t gone = ::fork();
  if (gone == 0) _exit(0);
  ::waitpid(gone, nullptr, 0);

  const std::string sleeperPid = std::to_string(sleeper.Pid);
  const std::vector<std::string> records = {
      "",                                                    // empty
      "garbage\n",                                           // no pid
      "-" + sleeperPid,                                      // a sign is no digit
      "0",                                                   // no process at all
      "99999999999999999999",                                // beyond any pid
      sleeperPid + " 1 2",                                   // too many fields
      std::to_string(gone) + "\n",                           // ended since
      sleeperPid + "\n",                                     // a stale pid, now a sleep
      sleeperPid + " " + std::to_string(sleeperMark) + "\n", // even with its own start mark
      // An svnserve, but not the one recorded: the pid was reused by another server.
      std::to_string(other.Pid) + " " + std::to_string(otherMark + 1) + "\n",
  };
  for (const std::string& record : records) {
    platform::ForceDirectories(platform::StateFolder());
    WriteFile(ServerRecordPath(), record);
    EXPECT_FALSE(SVN->ServerRunning()) << record;
    EXPECT_FALSE(SVN->StopServer()) << record;
    EXPECT_EQ(Record(), "<none>") << record;
    EXPECT_TRUE(sleeper.Running()) << record;
    EXPECT_TRUE(other.Running()) << record;
  }
  EXPECT_TRUE(PortAccepts(other.Port));
  EXPECT_TRUE(Prompt.Calls.empty());
}

TEST_F(ServerControl, ARecordOfAnotherAccountsServerSignalsNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "starting a process of another account needs root";
  TempDir folder{"foreign"};
  TForeignServer foreign(folder.Path());
  ASSERT_GT(foreign.Pid, 0);
  // Until the exec has made it an svnserve, it would not match in any case.
  std::string name;
  unsigned long long mark = 0;
  for (int i = 0; i < 200 && !(platform::ProcessIdentity(foreign.Pid, name, mark) &&
                               name == "svnserve" && ProcessState(foreign.Pid) == 'S');
       ++i)
    platform::SleepMs(10);
  ASSERT_EQ(name, "svnserve");
  // A pid-only record, as svnserve writes it, and one with the right start mark.
  for (const std::string& record :
       {std::to_string(foreign.Pid) + "\n",
        std::to_string(foreign.Pid) + " " + std::to_string(mark) + "\n"}) {
    platform::ForceDirectories(platform::StateFolder());
    WriteFile(ServerRecordPath(), record);
    EXPECT_FALSE(SVN->ServerRunning()) << record;
    EXPECT_FALSE(SVN->StopServer()) << record;
    EXPECT_FALSE(platform::TerminateProcessIf(foreign.Pid, "svnserve", 0)) << record;
    platform::SleepMs(100);
    EXPECT_TRUE(foreign.Running()) << record;
  }
  EXPECT_TRUE(Prompt.Calls.empty());
}

TEST(ReadShellPath, ReadsLeftoversWithTheNewLineAndDeletesTheProbe) {
  std::string folder = platform::StateFolder();
  RemoveTree(folder); // the first run has no state folder yet
  std::string first = ReadShellPath();
  EXPECT_EQ(first, "PATH=" + platform::GetEnv("PATH") + "\r\n");
  EXPECT_FALSE(Exists(folder + "tmp.dat"));

  WriteFile(folder + "tmp.dat", "PATH=/left/over\r\nsecond line\nthird\rfourth\n");
  EXPECT_EQ(ReadShellPath(), "PATH=/left/over\r\nsecond line\r\nthird\r\nfourth\r\nPATH=" +
                                 platform::GetEnv("PATH") + "\r\n");
  EXPECT_FALSE(Exists(folder + "tmp.dat"));
}

TEST_F(ServerControl, AStopEndsTheConnectionsSoNoCommitLandsAfterIt) {
  WriteFile(Root / "proj/conf/svnserve.conf", "[general]\nanon-access = write\n");
  // Another's server, with a connection of its own that the stop leaves alone.
  TempDir otherRoot{"other"};
  TSvnServe other(otherRoot.Path());
  ASSERT_GT(other.Pid, 0);
  int held = ConnectLoopback(other.Port);
  ASSERT_GE(held, 0);
  char greeting[64];
  ASSERT_GT(::read(held, greeting, sizeof greeting), 0);
  // An earlier connection (a client's that has closed) may take a moment to end.
  for (int i = 0; i < 250 && ConnectionPids(other.Pid).size() != 1; ++i)
    platform::SleepMs(20);
  ASSERT_EQ(ConnectionPids(other.Pid).size(), 1u);

  ASSERT_TRUE(SVN->StartServer());
  std::vector<pid_t> pids;
  for (pid_t p : ServerPids())
    if (p != other.Pid) pids.push_back(p);
  ASSERT_EQ(pids.size(), 1u);
  // A client that has connected and is still sending its file: its commit would land after
  // the stop, into a backup being packed.
  const std::string fifo = Work / "content";
  ASSERT_EQ(Shell("mkfifo " + Quote(fifo)).ExitCode, 0);
  const std::string url = "svn://127.0.0.1:" + std::to_string(Port) + "/proj/late.txt";
  const std::string client = "svnmucc --non-interactive --no-auth-cache -m late put " +
                             Quote(fifo) + " " + Quote(url) + "; echo $? > " + Quote(Work / "rc");
  ASSERT_EQ(Shell("(" + client + ") > " + Quote(Work / "out") + " 2>&1 </dev/null &").ExitCode, 0);
  auto start = std::chrono::steady_clock::now();
  while (ConnectionPids(pids[0]).empty() &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
    platform::SleepMs(20);
  ASSERT_FALSE(ConnectionPids(pids[0]).empty());

  EXPECT_TRUE(SVN->StopServer());
  EXPECT_TRUE(ConnectionPids(pids[0]).empty());
  // The client sends its file now, if it still can.
  int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd >= 0) {
    // The client may close its end between the open and the write: that is no failure here.
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &old);
    (void)!::write(fd, "late\n", 5);
    ::sigaction(SIGPIPE, &old, nullptr);
    ::close(fd);
  }
  start = std::chrono::steady_clock::now();
  while (!Exists(Work / "rc") &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
    platform::SleepMs(20);
  ASSERT_TRUE(Exists(Work / "rc"));
  EXPECT_NE(ReadFile(Work / "rc"), "0\n") << ReadFile(Work / "out");
  EXPECT_EQ(Shell("svnlook youngest " + Quote(Root / "proj")).Output, "0\n");
  EXPECT_EQ(ConnectionPids(other.Pid).size(), 1u);
  ::close(held);
}

TEST_F(ServerControl, AStartWorksAlsoWhenTheProgramWasStartedWithSigchldIgnored) {
  // Some launchers leave SIGCHLD ignored, and their children inherit that.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGCHLD, &ignore, &old);
  const bool started = SVN->StartServer();
  ::sigaction(SIGCHLD, &old, nullptr);
  EXPECT_TRUE(started);
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_TRUE(PortAccepts(Port));
  EXPECT_TRUE(SVN->ServerRunning());
  EXPECT_TRUE(SVN->StopServer());
  EXPECT_TRUE(WaitPortClosed(Port));
}

TEST_F(ServerControl, ARootBeyondAsciiIsServedAlsoWhenTheProgramRunsInTheCLocale) {
  // A desktop without a locale, a container: svnserve there refuses a Korean root unless it
  // is given a UTF-8 character type.
  const std::string root = Root / "저장소";
  MakeDirs(root);
  ASSERT_EQ(Shell("svnadmin create " + Quote(root + "/프로젝트")).ExitCode, 0);
  BasicSetting->RepoPath = root;
  const char* old = std::getenv("LC_ALL");
  const std::string saved = old ? old : "";
  ::setenv("LC_ALL", "C", 1);
  const bool started = SVN->StartServer();
  ::setenv("LC_ALL", saved.c_str(), 1);
  if (!old) ::unsetenv("LC_ALL");
  ASSERT_TRUE(started) << (MessageTexts().empty() ? "" : MessageTexts()[0]);
  EXPECT_EQ(SvnInfo("프로젝트"), 0);
  EXPECT_TRUE(SVN->StopServer());
}
