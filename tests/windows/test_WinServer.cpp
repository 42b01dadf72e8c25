// Commands through cmd.exe, processes ended by name or by a checked pid, the recycle bin and
// the server controller on Windows, with the helper program standing in for the programs they
// start.
#include "WinTestKit.h"
#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "server/UclsSVN.h"
#include "server/UfnAPI.h"
#include "server/UfnShell.h"
#include "settings/UclsBasicSetting.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"

#include "WinApi.h"

#include <gtest/gtest.h>

using namespace testing_support;
using namespace wintest;

namespace {

// cmd.exe /c drops the first and the last quote of a line that begins with one: "call" first.
std::string Helper() {
  return "call \"" + HelperPath() + "\"";
}

} // namespace

// ---- RunCommand ---------------------------------------------------------------------------

TEST(WinRunCommand, WaitingThroughCmdIsTrueWhateverTheExitCode) {
  TempDir t;
  EXPECT_TRUE(RunCommand("echo ran>" + QuotedPath(t / "out") + "& exit 1", true));
  EXPECT_EQ(ReadFile(t / "out"), "ran\r\n") << "it had ended before the return";
  EXPECT_TRUE(RunCommand(Helper() + " sleep 10", true));
  EXPECT_TRUE(RunCommand("exit 0", true));
  // A program that is not there: cmd.exe itself ran and ended.
  EXPECT_TRUE(RunCommand("no-such-program-anywhere", true));
}

TEST(WinRunCommand, TheChildRunsInTheCurrentFolderWithTheProgramsEnvironment) {
  TempDir t;
  std::string before = platform::GetCurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(t.Path()));
  platform::SetEnv("ORLENWAY_PROBE", "value with blanks");
  bool ok = RunCommand("cd> here & echo %ORLENWAY_PROBE%> env", true);
  platform::SetCurrentDir(before);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ReadFile(t / "here"), t.Path() + "\r\n");
  EXPECT_EQ(ReadFile(t / "env"), "value with blanks\r\n");
}

// What svnadmin says when it fails reaches the program: both outputs, in the current folder.
TEST(WinRunCommand, TheCapturedRunGivesTheOutputAndTheExitCode) {
  TempDir t;
  const std::string before = platform::GetCurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(t.Path()));
  std::string output;
  const int code = RunCommandOutput("cd& echo to the error 1>&2& exit 3", output);
  platform::SetCurrentDir(before);
  EXPECT_EQ(code, 3);
  EXPECT_NE(output.find(t.Path() + "\r\n"), std::string::npos) << output;
  EXPECT_NE(output.find("to the error"), std::string::npos) << output;
  EXPECT_EQ(RunCommandOutput("exit 0", output), 0);
  EXPECT_EQ(output, "");
  EXPECT_NE(RunCommandOutput("no-such-program-anywhere", output), 0);
  EXPECT_FALSE(output.empty()) << "cmd.exe says why";
}

TEST(WinRunCommand, NotWaitingReturnsAtOnceAndLeavesNoHandleOpen) {
  TempDir t;
  // The first run opens what the process keeps for every later one: not a leak.
  ASSERT_TRUE(RunCommand("exit 0", true));
  int handles = OpenDescriptorCount();
  EXPECT_TRUE(RunCommand("C:\\nonexistent\\program-of-nobody.exe --flag", false));
  // The command goes on until the test opens its gate: a run that waited for it would see
  // "late" written (after the helper gives up) before it returns.
  EXPECT_TRUE(RunCommand(Helper() + " wait " + QuotedPath(t / "gate") + " & echo late> " +
                             QuotedPath(t / "late"),
                         false));
  EXPECT_FALSE(Exists(t / "late"));
  for (int i = 0; i < 10; ++i)
    ASSERT_TRUE(RunCommand("exit 3", i % 2 == 0))
        << "run " << i << ": " << platform::LastErrorCode() << " " << platform::LastErrorMessage();
  EXPECT_EQ(OpenDescriptorCount(), handles) << "process or thread handles left open";
  WriteFile(t / "gate", "");
  EXPECT_TRUE(WaitForFile(t / "late"));
}

TEST(WinQuotedPath, BlanksStayInOneArgumentAndATrailingBackslashDoesNotEatTheQuote) {
  TempDir t;
  std::string out = t / "args";
  std::string root = "C:\\My Repos\\";
  EXPECT_EQ(QuotedPath("C:\\My Repos"), "\"C:\\My Repos\"");
  ASSERT_TRUE(RunCommand(Helper() + " argv " + QuotedPath(out) + " -r " + QuotedPath(root) +
                             " -d " + QuotedPath("D:\\plain"),
                         true));
  EXPECT_EQ(ReadFile(out), "-r\n" + root + "\n-d\nD:\\plain\n");
}

// ---- KillProcessByName --------------------------------------------------------------------

TEST(WinKillProcessByName, EndsEveryMatchIgnoringCaseAndOnlyWholeNames) {
  TempDir t;
  const std::string name = UniqueName("OrlSleeper");
  std::string upper = name + ".EXE";
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string sleeper = HelperCopy(t.Path(), name + ".exe");
  std::string longer = HelperCopy(t.Path(), name + "x.exe");
  TProcess a("\"" + sleeper + "\" sleep 30000");
  TProcess b("\"" + sleeper + "\" sleep 30000");
  TProcess c("\"" + longer + "\" sleep 30000");
  ASSERT_TRUE(a.Started() && b.Started() && c.Started());
  ASSERT_EQ(ProcessesNamed(name + ".exe").size(), 2u);

  EXPECT_TRUE(KillProcessByName(upper));
  EXPECT_EQ(a.WaitForExit(5000), 0) << "terminated with exit code 0";
  EXPECT_EQ(b.WaitForExit(5000), 0);
  EXPECT_EQ(c.WaitForExit(200), -1) << "another name lives on";

  EXPECT_FALSE(KillProcessByName(name + ".exe")) << "an ended process is not found again";
  EXPECT_FALSE(KillProcessByName(UniqueName("NobodyIsCalled") + ".exe"));
  EXPECT_EQ(c.WaitForExit(0), -1);
  EXPECT_TRUE(KillProcessByName(name + "X.exe"));
  EXPECT_EQ(c.WaitForExit(5000), 0);
}

// ---- DeleteToRecycleBin -------------------------------------------------------------------

namespace {

// Under Wine the recycle bin is the Trash below the host's XDG_DATA_HOME (scripts/wine-run.sh
// gives it one of its own); "" on Windows itself.
std::string WineTrash() {
  std::string data = platform::GetEnv("XDG_DATA_HOME");
  if (data.empty() || data[0] != '/') return "";
  for (char& c : data)
    if (c == '/') c = '\\';
  return "Z:" + data + "\\Trash\\files\\";
}

} // namespace

TEST(WinRecycleBin, FilesAndFoldersGoWithTheirContents) {
  TempDir t;
  const std::string file = UniqueName("single") + ".txt", folder = UniqueName("project");
  WriteFile(t / file, "one");
  MakeDirs(t / folder + "\\db\\revs");
  WriteFile(t / folder + "\\db\\revs\\0", "rev zero");
  EXPECT_TRUE(DeleteToRecycleBin(t / file));
  EXPECT_FALSE(Exists(t / file));
  // A trailing delimiter names the folder itself.
  EXPECT_TRUE(DeleteToRecycleBin(t / folder + "\\"));
  EXPECT_FALSE(Exists(t / folder));
  EXPECT_TRUE(platform::DirectoryExists(t.Path()));
  if (!WineTrash().empty()) {
    // In the bin, not gone: it can be put back.
    EXPECT_EQ(ReadFile(WineTrash() + file), "one");
    EXPECT_EQ(ReadFile(WineTrash() + folder + "\\db\\revs\\0"), "rev zero");
  }

  // A relative path goes to the bin as well, not away for good.
  const std::string relative = UniqueName("relative") + ".txt";
  WriteFile(t / relative, "rel");
  std::string before = platform::GetCurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(t.Path()));
  EXPECT_TRUE(DeleteToRecycleBin(relative));
  platform::SetCurrentDir(before);
  EXPECT_FALSE(Exists(t / relative));
  if (!WineTrash().empty()) {
    EXPECT_EQ(ReadFile(WineTrash() + relative), "rel");
  }

  EXPECT_FALSE(DeleteToRecycleBin(t / "missing"));
  EXPECT_FALSE(DeleteToRecycleBin(""));
  EXPECT_FALSE(DeleteToRecycleBin("\\"));
  EXPECT_TRUE(platform::DirectoryExists(t.Path()));
}

TEST(WinRecycleBin, APathBeyondTheOldBufferIsDeletedWholeNotCut) {
  TempDir t;
  // The full path of the file runs past 256 bytes; cut to 254, it would name `cut`.
  std::string dir = t / std::string(100, 'd');
  MakeDirs(dir);
  std::string longPath = dir + "\\" + std::string(250 - dir.size(), 'f') + std::string(8, 'g');
  ASSERT_GT(longPath.size(), 254u);
  ASSERT_LT(longPath.size(), 260u) << "the A calls stop at MAX_PATH";
  std::string cut = longPath.substr(0, 254);
  WriteFile(longPath, "long");
  WriteFile(cut, "keep");
  EXPECT_TRUE(DeleteToRecycleBin(longPath));
  EXPECT_FALSE(Exists(longPath));
  EXPECT_EQ(ReadFile(cut), "keep");
}

// ---- the server controller ----------------------------------------------------------------

namespace {

// An installation with bin\svnadmin.exe (any file) and bin\svnserve.exe (the stand-in).
std::string FakeInstallation(const TempDir& t, const std::string& name) {
  std::string bin = t / name + "\\bin";
  MakeDirs(bin);
  WriteFile(bin + "\\svnadmin.exe", "");
  HelperCopy(bin, "svnserve.exe");
  return t / name;
}

class WinServerControl : public ::testing::Test {
protected:
  void SetUp() override {
    Port = FreeLoopbackPort();
    BasicSetting->SetPort(Port);
    Globals.MakeServerController();
  }
  void TearDown() override { platform::SetEnv("PATH", SavedPath); }
  std::vector<std::string> Messages() {
    std::vector<std::string> texts;
    for (const auto& m : Prompt.Messages())
      texts.push_back(m.Caption + ": " + m.Text);
    return texts;
  }

  TempDir Root{"repos"};
  TScriptedPrompt Prompt;
  int Port = 0;
  std::string SavedPath = platform::GetEnv("PATH");
  TGlobals Globals{Root.Path()};
};

} // namespace

TEST_F(WinServerControl, TheCommandLineWithItsTwoBlanksAndTheExeNames) {
  BasicSetting->RepoPath = "C:\\svn root";
  BasicSetting->SetPort(3690);
  EXPECT_EQ(SVN->ServerCommandLine(), "svnserve.exe -d  -r \"C:\\svn root\"");
  BasicSetting->SetPort(4000);
  EXPECT_EQ(SVN->ServerCommandLine(), "svnserve.exe -d --listen-port=4000 -r \"C:\\svn root\"");
  BasicSetting->RepoPath = "C:\\Repos\\";
  EXPECT_EQ(SVN->ServerCommandLine(), "svnserve.exe -d --listen-port=4000 -r \"C:\\Repos\\\\\"");

  TempDir t;
  BasicSetting->RepoPath = Root.Path();
  BasicSetting->SVNPath = t / "only-admin";
  MakeDirs(BasicSetting->SVNPath + "\\bin");
  WriteFile(BasicSetting->SVNPath + "\\bin\\svnadmin.exe", "");
  // Without the .exe the programs are not the ones Windows runs.
  WriteFile(BasicSetting->SVNPath + "\\bin\\svnserve", "");
  EXPECT_FALSE(SVN->CheckEnvironment());
  BasicSetting->SVNPath = FakeInstallation(t, "svn");
  BasicSetting->RepoPath = t / "missing";
  EXPECT_FALSE(SVN->CheckEnvironment());
  BasicSetting->RepoPath = Root.Path();
  EXPECT_TRUE(SVN->CheckEnvironment());
  EXPECT_EQ(Messages(), (std::vector<std::string>{"에라~: SubVersion을 설치해주세요",
                                                  "에라~: 저장소 경로 설정 해주세요"}));
}

TEST_F(WinServerControl, TheProbeIsCmdsPathCommandNextToTheProgram) {
  const std::string probe = platform::StateFolder() + "tmp.dat";
  EXPECT_EQ(ReadShellPath(), "PATH=" + platform::GetEnv("PATH") + "\r\n");
  EXPECT_FALSE(Exists(probe));
  WriteFile(probe, "PATH=C:\\left\\over\r\nsecond\n");
  EXPECT_EQ(ReadShellPath(),
            "PATH=C:\\left\\over\r\nsecond\r\nPATH=" + platform::GetEnv("PATH") + "\r\n");
  EXPECT_FALSE(Exists(probe));
}

TEST_F(WinServerControl, StartFindsTheServerThroughTheAddedBinFolderAndStopEndsIt) {
  TempDir t;
  BasicSetting->SVNPath = FakeInstallation(t, "Sub Version");
  // Nowhere else could cmd.exe find svnserve.exe.
  const std::string path = "C:\\windows\\system32;C:\\windows";
  platform::SetEnv("PATH", path);
  bool started = SVN->StartServer();
  EXPECT_EQ(platform::GetEnv("PATH"), path) << "the program's PATH is put back";
  platform::SetEnv("PATH", SavedPath);
  ASSERT_TRUE(started) << ::testing::PrintToString(Messages());
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(PortAccepts(Port));
  EXPECT_EQ(ProcessesUnder(t.Path()).size(), 1u);

  EXPECT_TRUE(SVN->StopServer());
  for (int i = 0; i < 100 && !ProcessesUnder(t.Path()).empty(); ++i)
    ::Sleep(20);
  EXPECT_TRUE(ProcessesUnder(t.Path()).empty());
  EXPECT_FALSE(PortAccepts(Port));
  EXPECT_FALSE(SVN->StopServer()) << "nothing left to stop";
}

TEST_F(WinServerControl, AnUnsetPathComesBackUnsetAndAnEmptyOneEmpty) {
  TempDir t;
  BasicSetting->SVNPath = FakeInstallation(t, "svn");
  ASSERT_TRUE(platform::UnsetEnv("PATH"));
  EXPECT_FALSE(platform::HasEnv("PATH"));
  bool started = SVN->StartServer();
  bool unset = !platform::HasEnv("PATH");
  ASSERT_TRUE(SVN->StopServer() || !started);
  platform::SetEnv("PATH", "");
  bool emptyBefore = platform::HasEnv("PATH");
  bool again = SVN->StartServer();
  bool empty = platform::HasEnv("PATH") && platform::GetEnv("PATH").empty();
  platform::SetEnv("PATH", SavedPath);
  EXPECT_TRUE(started) << ::testing::PrintToString(Messages());
  EXPECT_TRUE(unset);
  EXPECT_TRUE(emptyBefore);
  EXPECT_TRUE(again);
  EXPECT_TRUE(empty);
}

TEST_F(WinServerControl, APortThatIsTakenIsRefusedBeforeAnythingStarts) {
  TempDir t;
  BasicSetting->SVNPath = FakeInstallation(t, "svn");
  TProcess holder("\"" + (t / "svn\\bin\\svnserve.exe") +
                  "\" --listen-port=" + std::to_string(Port));
  for (int i = 0; i < 200 && !PortAccepts(Port); ++i)
    ::Sleep(10);
  ASSERT_TRUE(PortAccepts(Port));
  EXPECT_FALSE(SVN->StartServer());
  EXPECT_EQ(Messages(), std::vector<std::string>{"에라~: SVN 포트 " + std::to_string(Port) +
                                                 " 이(가) 이미 사용 중입니다"});
  EXPECT_EQ(ProcessesUnder(t.Path()).size(), 1u) << "only the holder";
  DoneSVN(); // the holder is no server of the program's: it keeps running
  EXPECT_EQ(holder.WaitForExit(300), -1);
  EXPECT_TRUE(PortAccepts(Port));
}

TEST_F(WinServerControl, OnlyTheRecordedServerIsEndedAndABadRecordEndsNothing) {
  TempDir t;
  BasicSetting->SVNPath = FakeInstallation(t, "svn");
  platform::SetEnv("PATH", "C:\\windows\\system32;C:\\windows");
  // Another svnserve.exe of the same user, on a port of its own.
  const int otherPort = FreeLoopbackPort();
  TProcess other("\"" + (t / "svn\\bin\\svnserve.exe") +
                 "\" --listen-port=" + std::to_string(otherPort));
  for (int i = 0; i < 200 && !PortAccepts(otherPort); ++i)
    ::Sleep(10);
  ASSERT_TRUE(PortAccepts(otherPort));

  ASSERT_TRUE(SVN->StartServer()) << ::testing::PrintToString(Messages());
  platform::SetEnv("PATH", SavedPath);
  // The record: the pid the server wrote and its creation time.
  const std::string record = ReadFile(ServerRecordPath());
  const long pid = std::atol(record.c_str());
  std::string name;
  unsigned long long mark = 0;
  ASSERT_TRUE(platform::ProcessIdentity(pid, name, mark));
  EXPECT_EQ(name, "svnserve.exe");
  EXPECT_NE(static_cast<unsigned long>(pid), other.Id());
  EXPECT_EQ(record, std::to_string(pid) + " " + std::to_string(mark) + "\n");
  EXPECT_TRUE(SVN->ServerRunning());

  EXPECT_TRUE(SVN->StopServer());
  EXPECT_FALSE(PortAccepts(Port));
  EXPECT_FALSE(Exists(ServerRecordPath()));
  EXPECT_EQ(other.WaitForExit(0), -1);
  EXPECT_TRUE(PortAccepts(otherPort));

  // Records that name no server of the program's: nothing is ended, the record goes.
  TProcess sleeper("\"" + HelperPath() + "\" sleep 30000");
  ASSERT_TRUE(sleeper.Started());
  unsigned long long otherMark = 0;
  ASSERT_TRUE(platform::ProcessIdentity(static_cast<long>(other.Id()), name, otherMark));
  for (const std::string& bad :
       {std::string("garbage"), std::string(""), std::to_string(sleeper.Id()),
        std::to_string(other.Id()) + " " + std::to_string(otherMark + 1)}) {
    WriteFile(ServerRecordPath(), bad);
    EXPECT_FALSE(SVN->ServerRunning()) << bad;
    EXPECT_FALSE(SVN->StopServer()) << bad;
    EXPECT_FALSE(Exists(ServerRecordPath())) << bad;
  }
  EXPECT_EQ(sleeper.WaitForExit(0), -1);
  EXPECT_EQ(other.WaitForExit(0), -1);
  EXPECT_TRUE(Messages().empty());
}
