// The backup in front of a real server: the svnserve that the main window's action started on a
// loopback port of the test's own. These tests count the svnserve processes they started; a
// server of anyone else on the machine is neither touched nor counted. The last test restores an
// archive and serves it again.
#include "BackupTestKit.h"

#include "ArchiveTestKit.h"
#include "RealReaders.h"
#include "ZipReader.h"
#include "projects/UfnBackup.h"
#include "server/UclsSVN.h"
#include "support/ServerProcesses.h"
#include "support/SvnServe.h"

#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <unistd.h>

using namespace backup_kit;

namespace {

// The backup tests' svn client speaks as alice.
RunResult AliceSvn(const std::string& args) {
  return Svn(args, "alice", "wonder1");
}

const char* const kNoBackupFolder = "백업 폴더가 존재하지 않습니다.";
const char* const kQuestion =
    "백업을 진행하는 도중은 서버가 잠시 중지됩니다.\r\n\r\n백업을 진행하시겠습니까?";

std::string Url(int port, const std::string& project) {
  return "svn://127.0.0.1:" + std::to_string(port) + "/" + project;
}

class BackupServer : public BackupDialog {
protected:
  void SetUp() override {
    Settings.SVNPath = "/usr";
    Port = FreeLoopbackPort();
    Settings.SetPort(Port);
    Globals.MakeServerController();
    Main = new TfrmMain;
    Main->show(); // the first show takes the stopped state
    QCoreApplication::processEvents();
  }
  void TearDown() override {
    delete Main;
    Main = nullptr;
  }

  void Start() {
    Main->acStartServer->trigger();
    ASSERT_TRUE(Running());
    ASSERT_TRUE(PortAccepts(Port));
  }
  // The window's belief, as its actions show it.
  bool Running() const {
    EXPECT_NE(Main->acStartServer->isEnabled(), Main->acStopServer->isEnabled());
    EXPECT_EQ(Main->acStartServer->isEnabled(), Main->acBasicSetting->isEnabled());
    return Main->acStopServer->isEnabled();
  }
  static bool BackupDialogExists() {
    for (QWidget* w : QApplication::allWidgets())
      if (qobject_cast<TfrmProjectMgr_Backup*>(w)) return true;
    return false;
  }

  int Port = 0;
};

} // namespace

TEST_F(BackupServer, TheServerIsLeftAloneUnlessTheAdministratorAgrees) {
  Create("alpha");
  Start();
  const std::vector<pid_t> pids = ServerPids();
  ASSERT_EQ(pids.size(), 1u);
  Settings.BackupPath = Backups / "missing";
  Backup("alpha");
  Settings.BackupPath = Backups.Path();
  Script.Answer(mbNo);
  Backup("alpha");

  EXPECT_EQ(Texts(), (Lines{kNoBackupFolder, kQuestion}));
  const TPromptCall question = Script.Messages()[1];
  EXPECT_EQ(question.Caption, "Warning");
  EXPECT_EQ(question.Icon, TMsgIcon::Warning);
  EXPECT_EQ(question.Buttons, static_cast<TMsgButtons>(mbYes | mbNo));
  EXPECT_EQ(Shown.Count, 0);
  EXPECT_TRUE(FolderNames(Backups.Path()).empty());
  EXPECT_EQ(ServerPids(), pids);
  EXPECT_TRUE(PortAccepts(Port));
  EXPECT_TRUE(Running());
}

// The server is down while the tree is packed only: by the time the completion message
// shows (checked before it is answered), it serves again and the dialog is still open.
TEST_F(BackupServer, YesStopsTheServerForTheRunAndStartsItBeforeTheOutcomeIsShown) {
  Create("alpha");
  Start();
  const std::vector<pid_t> before = ServerPids();
  struct {
    bool Seen = false, ServerGone = false, WindowStopped = false;
  } run;
  Script.OnProcessMessages = [&] {
    if (run.Seen || !Dialog()) return;
    run = {true, ServerPids().empty() && !PortAccepts(Port),
           !Main->acStopServer->isEnabled() && Main->acStartServer->isEnabled()};
  };
  struct {
    bool Seen = false, Serving = false, WindowRunning = false, DialogOpen = false;
    int ClientExit = -1;
  } atMessage;
  Script.OnMessage = [&](const TPromptCall& m) {
    if (m.Caption != ApplicationTitle()) return;
    atMessage.Seen = true;
    atMessage.Serving = ServerPids().size() == 1 && PortAccepts(Port);
    atMessage.WindowRunning = Main->acStopServer->isEnabled();
    atMessage.DialogOpen = Dialog() != nullptr;
    atMessage.ClientExit = AliceSvn("info " + Url(Port, "alpha")).ExitCode;
  };
  int starts = 0;
  bool dialogAtStart = false;
  QObject::connect(Main->acStartServer, &QAction::triggered, [&] {
    ++starts;
    dialogAtStart = BackupDialogExists();
  });
  Script.Answer(mbYes);
  Backup("alpha");

  ASSERT_EQ(FolderNames(Backups.Path()).size(), 1u);
  const std::string name = FolderNames(Backups.Path())[0];
  ASSERT_EQ(Texts().size(), 2u);
  EXPECT_EQ(Texts()[0], kQuestion);
  EXPECT_EQ(Texts()[1],
            Completed(static_cast<int>(ziptest::ReadArchive(Backups / name).Entries.size()), name));
  EXPECT_TRUE(run.Seen);
  EXPECT_TRUE(run.ServerGone) << "the server still ran while the archive was written";
  EXPECT_TRUE(run.WindowStopped);
  ASSERT_TRUE(atMessage.Seen);
  EXPECT_TRUE(atMessage.Serving) << "no server while the completion message stood";
  EXPECT_TRUE(atMessage.WindowRunning);
  EXPECT_TRUE(atMessage.DialogOpen);
  EXPECT_EQ(atMessage.ClientExit, 0);
  EXPECT_EQ(starts, 1);
  EXPECT_TRUE(dialogAtStart) << "the server was started only after the dialog had gone";
  EXPECT_TRUE(Running());
  EXPECT_TRUE(PortAccepts(Port));
  ASSERT_EQ(ServerPids().size(), 1u);
  EXPECT_NE(ServerPids(), before);
}

TEST_F(BackupServer, AServerOfAnotherKeepsRunningThroughTheBackup) {
  TempDir otherRoot{"other"};
  TSvnServe other(otherRoot.Path());
  ASSERT_GT(other.Pid, 0);
  Create("alpha");
  Start();
  bool seen = false, otherDuring = false, ownGone = false;
  Script.OnProcessMessages = [&] {
    if (seen || !Dialog()) return;
    seen = true;
    otherDuring = PortAccepts(other.Port);
    ownGone = !PortAccepts(Port);
  };
  Script.Answer(mbYes);
  Backup("alpha");
  EXPECT_EQ(FolderNames(Backups.Path()).size(), 1u);
  EXPECT_TRUE(seen);
  EXPECT_TRUE(otherDuring);
  EXPECT_TRUE(ownGone);
  EXPECT_TRUE(Running());
  EXPECT_TRUE(PortAccepts(Port));
  EXPECT_TRUE(PortAccepts(other.Port));
  const std::vector<pid_t> pids = ServerPids();
  EXPECT_EQ(pids.size(), 2u);
  EXPECT_NE(std::find(pids.begin(), pids.end(), other.Pid), pids.end());
}

TEST_F(BackupServer, AFailedBackupSaysSoLeavesNoArchiveAndRestartsTheServerFirst) {
  Create("alpha");
  Start();
  // Once the checks are behind it, the backup folder gives way to a file of the same name.
  bool swapped = false;
  Script.OnProcessMessages = [&] {
    if (swapped || !Dialog()) return;
    swapped = std::rename(Backups.Path().c_str(), (Backups / "../away").c_str()) == 0;
    if (swapped) WriteFile(Backups.Path(), "in the way");
  };
  bool servingAtFailure = false;
  Script.OnMessage = [&](const TPromptCall& m) {
    if (m.Icon == TMsgIcon::Error)
      servingAtFailure = ServerPids().size() == 1 && PortAccepts(Port) && Dialog();
  };
  int starts = 0;
  QObject::connect(Main->acStartServer, &QAction::triggered, [&] { ++starts; });
  Script.Answer(mbYes);
  Backup("alpha");
  ASSERT_TRUE(swapped);
  std::remove(Backups.Path().c_str());
  std::rename((Backups / "../away").c_str(), Backups.Path().c_str());

  ASSERT_EQ(Texts().size(), 2u);
  EXPECT_EQ(Texts()[1].rfind(kFailedHead, 0), 0u) << Texts()[1];
  EXPECT_EQ(Script.Messages()[1].Caption, "Error");
  EXPECT_TRUE(servingAtFailure) << "no server while the failure message stood";
  EXPECT_EQ(starts, 1);
  EXPECT_TRUE(FolderNames(Backups.Path()).empty());
  EXPECT_TRUE(Running());
  EXPECT_TRUE(PortAccepts(Port));
}

TEST_F(BackupServer, ACancelMidwayThroughALargeFileLeavesNothingAndRestartsTheServer) {
  Create("alpha");
  WriteFile(Root / "alpha/big", RandomBytes(12 * 1024 * 1024, 3));
  Start();
  // Earlier archives under every name the run could take keep their bytes.
  const std::time_t now = std::time(nullptr);
  std::vector<std::string> earlier;
  for (std::time_t t = now; t < now + 10; ++t) {
    earlier.push_back(BackupArchiveName("alpha", t));
    WriteFile(Backups / earlier.back(), "earlier " + earlier.back());
  }
  using Clock = std::chrono::steady_clock;
  Clock::time_point clicked, told;
  bool cancelled = false;
  Script.OnProcessMessages = [&] {
    TfrmProjectMgr_Backup* d = Dialog();
    if (cancelled || !d || d->lblCurrentFile->text() != "/big" || d->pbCurrent->value() < 5) return;
    cancelled = true;
    clicked = Clock::now();
    d->btnCancel->click();
  };
  bool servingAtMessage = false;
  Script.OnMessage = [&](const TPromptCall& m) {
    if (m.Caption != "Information") return;
    told = Clock::now();
    servingAtMessage = ServerPids().size() == 1 && PortAccepts(Port);
  };
  Script.Answer(mbYes);
  Backup("alpha");

  ASSERT_TRUE(cancelled);
  ASSERT_EQ(Texts(), (Lines{kQuestion, "프로젝트 폴더 백업을 취소하였습니다."}));
  EXPECT_EQ(Script.Messages()[1].Icon, TMsgIcon::Information);
  EXPECT_LT(std::chrono::duration<double>(told - clicked).count(), 0.5);
  EXPECT_TRUE(servingAtMessage);
  std::vector<std::string> names = FolderNames(Backups.Path());
  std::sort(earlier.begin(), earlier.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, earlier); // nothing new, nothing gone
  for (const std::string& n : earlier)
    EXPECT_EQ(ReadFile(Backups / n), "earlier " + n);
  EXPECT_TRUE(ziptest::TempLeftovers().empty());
  EXPECT_TRUE(Running());
  EXPECT_TRUE(PortAccepts(Port));
}

TEST_F(BackupServer, ARestoredBackupServesEveryRevisionAndTakesTheNextCommit) {
  // The project made, its access set and a user registered, all through the dialog.
  Users.Users = {"alice=wonder1"};
  Show([&](TfrmProjectMgr& f) { AddPrivateProject(f, Script, "alpha", "alice"); });
  ASSERT_TRUE(Exists(Root / "alpha/format"));
  Start();
  const std::string url = Url(Port, "alpha");

  // Four revisions through the server: files, a binary, an empty folder, an edit, a deletion
  // and a property.
  TempDir work{"work"};
  const std::string wc = work / "wc";
  ASSERT_EQ(AliceSvn("checkout -q " + Quote(url) + " " + Quote(wc)).ExitCode, 0);
  std::mt19937 rng(42);
  std::string binary(150000, '\0');
  for (char& c : binary)
    c = static_cast<char>(rng());
  MakeDirs(wc + "/trunk/empty");
  WriteFile(wc + "/trunk/hello.txt", "hello\n");
  WriteFile(wc + "/trunk/data.bin", binary);
  WriteFile(wc + "/trunk/gone.txt", "short-lived\n");
  const std::string inWc = "cd " + Quote(wc) + " && ";
  auto commit = [&](const std::string& message) {
    RunResult r = AliceSvn("commit -q -m " + Quote(message) + " " + Quote(wc));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
  };
  ASSERT_EQ(Shell(inWc + "svn add -q trunk").ExitCode, 0);
  commit("first");
  WriteFile(wc + "/trunk/hello.txt", "hello\nworld\n");
  commit("second");
  ASSERT_EQ(Shell(inWc + "svn rm -q trunk/gone.txt").ExitCode, 0);
  commit("third");
  ASSERT_EQ(Shell(inWc + "svn propset -q note kept trunk/hello.txt").ExitCode, 0);
  commit("fourth");
  const RunResult log = AliceSvn("log -v " + Quote(url));
  ASSERT_EQ(log.ExitCode, 0) << log.Output;

  Show([&](TfrmProjectMgr& f) {
    Click(f.lvProject, "alpha");
    Script.Answer(mbYes);
    f.btnBackup->click();
  });
  ASSERT_EQ(FolderNames(Backups.Path()).size(), 1u);
  const std::string archive = Backups / FolderNames(Backups.Path())[0];
  EXPECT_TRUE(Running());

  // The four readers accept the archive and each extracts exactly the project folder.
  TempDir readers{"readers"};
  EXPECT_EQ(
      ziptest::CheckWithReaders(archive, ziptest::ExpectedTree(Root / "alpha"), readers.Path()),
      "");

  TempDir fresh{"restored"};
  RunResult r = Shell("unzip -qq " + Quote(archive) + " -d " + Quote(fresh / "alpha"));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  r = Shell("svnadmin verify -q " + Quote(fresh / "alpha") + " 2>&1");
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_TRUE(platform::DirectoryExists(fresh / "alpha/db/transactions"));
  EXPECT_TRUE(platform::DirectoryExists(fresh / "alpha/db/txn-protorevs"));

  TSvnServe restored(fresh.Path());
  ASSERT_GT(restored.Pid, 0) << "the restored repository's server did not start";
  const std::string restoredUrl = Url(restored.Port, "alpha");
  const RunResult restoredLog = AliceSvn("log -v " + Quote(restoredUrl));
  ASSERT_EQ(restoredLog.ExitCode, 0) << restoredLog.Output;
  EXPECT_EQ(restoredLog.Output, log.Output);
  EXPECT_NE(log.Output.find("r4 | alice"), std::string::npos) << log.Output;

  const std::string wc2 = work / "wc2";
  r = AliceSvn("checkout -q " + Quote(restoredUrl) + " " + Quote(wc2));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  const ziptest::TTree committed = ziptest::ExpectedTree(wc);
  EXPECT_EQ(committed.Files.size(), 2u);
  EXPECT_EQ(committed.Files.at("trunk/data.bin"), binary);
  EXPECT_EQ(ziptest::TreeDiff(committed, ziptest::ExpectedTree(wc2)), "");
  EXPECT_TRUE(platform::DirectoryExists(wc2 + "/trunk/empty"));
  EXPECT_EQ(AliceSvn("propget note " + Quote(restoredUrl + "/trunk/hello.txt")).Output, "kept\n");

  // The restored repository takes the next commit.
  WriteFile(wc2 + "/trunk/hello.txt", "hello\nagain\n");
  r = AliceSvn("commit -q -m fifth " + Quote(wc2));
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_EQ(Shell("svnlook youngest " + Quote(fresh / "alpha")).Output, "5\n");
  EXPECT_EQ(Shell("svnlook cat " + Quote(fresh / "alpha") + " trunk/hello.txt").Output,
            "hello\nagain\n");
}
