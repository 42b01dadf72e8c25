// The backup offscreen, with no server running: the three checks, the dialog and its labels
// and bars, the archive it leaves, the same second twice, files that cannot be read, and a
// run that fails. The archives are read back with the strict reader of the archive tests.
#include "BackupTestKit.h"

#include "ArchiveTestKit.h"
#include "ZipReader.h"
#include "projects/UfnBackup.h"

#include <QCursor>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace backup_kit;

namespace {

const char* const kSelect = "백업할 프로젝트를 선택하세요.";
const char* const kNoProjectFolder = "백업할 프로젝트 폴더가 존재하지 않습니다.";
const char* const kNoBackupFolder = "백업 폴더가 존재하지 않습니다.";

// A project folder shaped like a repository: files at several depths and an empty folder.
// Returns the names the archive must hold.
std::set<std::string> MakeProject(const std::string& folder) {
  const std::map<std::string, std::string> files = {
      {"format", "5\n"},
      {"README.txt", "This is a Subversion repository.\n"},
      {"conf/passwd", "[users]\nalice = a1\n"},
      {"db/current", "2\n"},
      {"db/revs/0/1", RandomBytes(300000, 1)},
      {"db/revs/0/2", std::string(200000, 'r')}};
  std::set<std::string> names;
  for (const auto& [name, data] : files) {
    MakeDirs(folder + "/" + name.substr(0, name.rfind('/') + 1));
    WriteFile(folder + "/" + name, data);
    names.insert(name);
  }
  MakeDirs(folder + "/db/transactions");
  names.insert("db/transactions/");
  return names;
}

std::set<std::string> EntryNames(const std::string& archive) {
  std::set<std::string> names;
  for (const ziptest::TEntryView& e : ziptest::ReadArchive(archive).Entries)
    names.insert(e.Name);
  return names;
}

// Swaps a folder for a file of the same name and back.
struct TFolderInTheWay {
  std::string Folder;
  bool Swapped = false;
  void Swap() {
    if (Swapped) return;
    Swapped = std::rename(Folder.c_str(), (Folder + ".away").c_str()) == 0;
    if (Swapped) WriteFile(Folder, "in the way");
  }
  void Restore() {
    if (!Swapped) return;
    std::remove(Folder.c_str());
    std::rename((Folder + ".away").c_str(), Folder.c_str());
    Swapped = false;
  }
  ~TFolderInTheWay() { Restore(); }
};

} // namespace

TEST_F(BackupDialog, EachCheckTellsWhatIsMissingAndNothingStarts) {
  MakeStoppedMain();
  MakeProject(Root / "alpha");
  Backup("");
  // The folder goes behind the program's back, after the list was made.
  Show([&](TfrmProjectMgr& f) {
    Click(f.lvProject, "alpha");
    RemoveTree(Root / "alpha");
    f.btnBackup->click();
  });
  MakeProject(Root / "alpha");
  Settings.BackupPath = "";
  Backup("alpha");
  Settings.BackupPath = Backups / "missing";
  Backup("alpha");
  WriteFile(Backups / "a-file", "x");
  Settings.BackupPath = Backups / "a-file";
  Backup("alpha");

  EXPECT_EQ(Texts(),
            (Lines{kSelect, kNoProjectFolder, kNoBackupFolder, kNoBackupFolder, kNoBackupFolder}));
  for (const TPromptCall& m : Script.Messages()) {
    EXPECT_EQ(m.Caption, ApplicationTitle());
    EXPECT_EQ(m.Icon, TMsgIcon::None);
    EXPECT_EQ(m.Buttons, static_cast<TMsgButtons>(mbOK));
  }
  EXPECT_EQ(Shown.Count, 0);
  EXPECT_EQ(Script.Pumps, 0);
  EXPECT_EQ(FolderNames(Backups.Path()), (Lines{"a-file"}));
  EXPECT_TRUE(Main->acStartServer->isEnabled());
  EXPECT_FALSE(Main->acStopServer->isEnabled());
}

TEST_F(BackupDialog, TheDialogAsItOpensAndTheLabelOfEachEntry) {
  TfrmProjectMgr_Backup d;
  EXPECT_EQ(d.windowTitle(), QString::fromUtf8("저장소 폴더 백업"));
  EXPECT_EQ(d.size(), QSize(365, 152));
  EXPECT_EQ(d.btnCancel->text(), QString::fromUtf8("취소"));
  EXPECT_EQ(d.minimumSize(), d.maximumSize());
  // Only a close box: no window manager may add minimise or maximise buttons.
  EXPECT_TRUE(d.windowFlags().testFlag(Qt::CustomizeWindowHint));
  EXPECT_FALSE(d.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(d.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(d.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(d.TeLabel1->text(), QString::fromUtf8("현재 진행율"));
  EXPECT_EQ(d.TeLabel2->text(), QString::fromUtf8("전체 진행율"));
  EXPECT_EQ(d.lblCurrentFile->text(), QString::fromUtf8("현재 진행율"));
  EXPECT_EQ(d.lblZipFile->text(), QString::fromUtf8("전체 진행율"));
  // Korean captions and paths land on a font that has Hangul.
  EXPECT_TRUE(QFontMetrics(d.TeLabel1->font()).inFontUcs4(U'진'));
  EXPECT_TRUE(QFontMetrics(d.lblCurrentFile->font()).inFontUcs4(U'진'));
  EXPECT_FALSE(d.tmrExecute->isActive()); // until the dialog is shown

  // The label shows the path from the project folder's trailing delimiter on.
  d.SourceFolder = "/srv/repos/alpha/";
  bool extract = true;
  d.ZipBegin(d.Zip, "/srv/repos/alpha/db/current", 1, extract);
  EXPECT_EQ(d.lblCurrentFile->text(), "/db/current");
  d.ZipBegin(d.Zip, "/srv/repos/alpha/db/transactions/", 2, extract);
  EXPECT_EQ(d.lblCurrentFile->text(), "/db/transactions/");
  EXPECT_TRUE(extract);
}

TEST_F(BackupDialog, ABackupFolderEndingInTheDelimiterGetsNoSecondOne) {
  MakeStoppedMain();
  MakeProject(Root / "alpha");
  Settings.BackupPath = Backups.Path() + "/";
  std::string zipFileName;
  Script.OnProcessMessages = [&] {
    if (TfrmProjectMgr_Backup* d = Dialog()) zipFileName = d->ZipFileName;
  };
  Backup("alpha");
  ASSERT_EQ(FolderNames(Backups.Path()).size(), 1u);
  EXPECT_EQ(zipFileName, Backups / FolderNames(Backups.Path())[0]);
}

TEST_F(BackupDialog, WithTheServerStoppedTheRunAsksNothingAndShowsEachFile) {
  MakeStoppedMain();
  const std::set<std::string> entries = MakeProject(Root / "alpha");
  std::set<QString> zipLabels, fileLabels;
  int furthest = 0;
  bool waitCursor = false;
  Script.OnProcessMessages = [&] {
    if (TfrmProjectMgr_Backup* d = Dialog()) {
      zipLabels.insert(d->lblZipFile->text());
      fileLabels.insert(d->lblCurrentFile->text());
      furthest = std::max(furthest, d->pbTotal->value());
      waitCursor = waitCursor || d->cursor().shape() == Qt::WaitCursor;
    }
  };
  struct {
    bool Open = false;
    int Current = -1, Total = -1;
    Qt::CursorShape Cursor = Qt::BlankCursor;
  } atMessage;
  Script.OnMessage = [&](const TPromptCall&) {
    if (TfrmProjectMgr_Backup* d = Dialog()) {
      atMessage = {d->isVisible(), d->pbCurrent->value(), d->pbTotal->value(), d->cursor().shape()};
    }
  };
  const std::time_t before = std::time(nullptr);
  Backup("alpha");
  const std::time_t after = std::time(nullptr);

  ASSERT_EQ(FolderNames(Backups.Path()).size(), 1u);
  const std::string name = FolderNames(Backups.Path())[0];
  bool stamped = false;
  for (std::time_t t = before; t <= after; ++t)
    stamped = stamped || BackupArchiveName("alpha", t) == name;
  EXPECT_TRUE(stamped) << name;
  // One message, the completion, counting the empty folder's entry as well.
  EXPECT_EQ(Texts(), (Lines{Completed(static_cast<int>(entries.size()), name)}));
  EXPECT_EQ(Script.Messages()[0].Caption, ApplicationTitle());
  EXPECT_EQ(EntryNames(Backups / name), entries);
  EXPECT_EQ(Shown.Count, 1);

  EXPECT_EQ(zipLabels, (std::set<QString>{QString::fromStdString(name)}));
  std::set<QString> wanted = {QString::fromUtf8("현재 진행율")}; // while the folder is scanned
  for (const std::string& e : entries)
    if (e.back() != '/') wanted.insert(QString::fromStdString("/" + e));
  EXPECT_EQ(fileLabels, wanted);
  EXPECT_GT(furthest, 0);
  EXPECT_TRUE(waitCursor);
  // The message comes while the dialog still stands, its bars back at 0.
  EXPECT_TRUE(atMessage.Open);
  EXPECT_EQ(atMessage.Current, 0);
  EXPECT_EQ(atMessage.Total, 0);
  EXPECT_EQ(atMessage.Cursor, Qt::ArrowCursor);
  EXPECT_TRUE(Main->acStartServer->isEnabled());
  EXPECT_FALSE(Main->acStopServer->isEnabled());
  EXPECT_TRUE(ziptest::TempLeftovers().empty());
}

TEST_F(BackupDialog, AnEmptyProjectFolderIsCompletedWithNoEntriesAndNoArchive) {
  MakeStoppedMain();
  MakeDirs(Root / "empty");
  Backup("empty");
  ASSERT_EQ(Texts().size(), 1u);
  const std::string text = Texts()[0];
  const std::string head = Completed(0, "empty_");
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.substr(text.size() - 4), ".zip");
  EXPECT_TRUE(FolderNames(Backups.Path()).empty());
  EXPECT_TRUE(ziptest::TempLeftovers().empty());
}

TEST_F(BackupDialog, WithinOneSecondTheSecondReplacesTheFirstAndAFailedThirdKeepsIt) {
  MakeStoppedMain();
  const int entries = static_cast<int>(MakeProject(Root / "alpha").size());
  TFolderInTheWay inTheWay{Backups.Path()};
  std::string name, second;
  bool sameSecond = false;
  for (int attempt = 0; attempt < 5 && !sameSecond; ++attempt) {
    for (const std::string& n : FolderNames(Backups.Path()))
      std::remove((Backups / n).c_str());
    std::remove((Root / "alpha/added").c_str());
    Script.Calls.clear();
    Script.OnProcessMessages = nullptr;

    AtTheStartOfASecond();
    Backup("alpha");
    WriteFile(Root / "alpha/added", "committed later");
    Backup("alpha");
    const std::vector<std::string> archives = FolderNames(Backups.Path());
    if (archives.size() != 1) continue; // the second came in the next second
    name = archives[0];
    second = ReadFile(Backups / name);
    // The third run loses its backup folder once the checks are behind it.
    Script.OnProcessMessages = [&] { inTheWay.Swap(); };
    Backup("alpha");
    inTheWay.Restore();
    ASSERT_EQ(Texts().size(), 3u);
    sameSecond = Texts()[2].find(Backups / name) != std::string::npos;
  }
  ASSERT_TRUE(sameSecond) << "no three backups within one second in five attempts";
  EXPECT_EQ(Texts()[0], Completed(entries, name));
  EXPECT_EQ(Texts()[1], Completed(entries + 1, name));
  // The failure says so, with the builder's reason, and the older archive stays as it was.
  EXPECT_EQ(Texts()[2].rfind(std::string(kFailedHead) + "Error writing to file: ", 0), 0u)
      << Texts()[2];
  EXPECT_EQ(Script.Messages()[2].Caption, "Error");
  EXPECT_EQ(Script.Messages()[2].Icon, TMsgIcon::Error);
  EXPECT_EQ(FolderNames(Backups.Path()), (Lines{name}));
  EXPECT_EQ(ReadFile(Backups / name), second);
  EXPECT_EQ(EntryNames(Backups / name).count("added"), 1u);
  EXPECT_TRUE(ziptest::TempLeftovers().empty());
}

TEST_F(BackupDialog, FilesThatCannotBeReadAreCountedAndNamedAndTheRestIsKept) {
  MakeStoppedMain();
  const std::string data = Root / "alpha/data";
  MakeDirs(data);
  for (char c = 'a'; c <= 'j'; ++c)
    WriteFile(data + "/" + c, std::string(1000, c));
  // Once the folder is listed, seven of its files turn into folders: they cannot be read.
  bool turned = false;
  Script.OnProcessMessages = [&] {
    if (turned) return;
    turned = true;
    for (char c : std::string("bcdefgh")) {
      std::remove((data + "/" + c).c_str());
      MakeDirs(data + "/" + c);
    }
  };
  Backup("alpha");
  ASSERT_EQ(FolderNames(Backups.Path()).size(), 1u);
  const std::string name = FolderNames(Backups.Path())[0];
  EXPECT_EQ(Texts(), (Lines{Completed(3, name) +
                            "\r\n\r\n읽을 수 없어 빠진 파일 : 7개\r\n/data/b\r\n/data/c\r\n/data/"
                            "d\r\n/data/e\r\n/data/f\r\n외 2개"}));
  EXPECT_EQ(EntryNames(Backups / name), (std::set<std::string>{"data/a", "data/i", "data/j"}));
}

// A project holding links out of itself and back into itself, a dangling one and a FIFO: the
// run ends, the archive holds the project's own files only, and the message names the links
// and the FIFO.
TEST_F(BackupDialog, LinksAreLeftOutAndNamedAndTheRunEnds) {
  MakeStoppedMain();
  TempDir outside;
  WriteFile(outside / "secret.txt", "the secret");
  MakeDirs(outside / "etc");
  WriteFile(outside / "etc/ssh_config", "Host *");
  const std::string alpha = Root / "alpha";
  MakeDirs(alpha + "/db");
  WriteFile(alpha + "/format", "5\n");
  WriteFile(alpha + "/db/current", "2\n");
  for (const auto& [target, at] :
       std::vector<std::pair<std::string, std::string>>{{".", "/a"},
                                                        {".", "/b"},
                                                        {outside / "etc", "/etclink"},
                                                        {outside / "secret.txt", "/secretlink"},
                                                        {alpha + "/missing", "/db/dangling"}})
    ASSERT_EQ(::symlink(target.c_str(), (alpha + at).c_str()), 0) << at;
  ASSERT_EQ(::mkfifo((alpha + "/pipe").c_str(), 0600), 0);
  Backup("alpha");
  ASSERT_EQ(FolderNames(Backups.Path()).size(), 1u);
  const std::string name = FolderNames(Backups.Path())[0];
  // The FIFO is no file: named with the files that could not be read.
  EXPECT_EQ(Texts(), (Lines{Completed(2, name) +
                            "\r\n\r\n읽을 수 없어 빠진 파일 : 1개\r\n/pipe"
                            "\r\n\r\n링크여서 빠진 항목 : 5개\r\n/a\r\n/b\r\n/db/dangling\r\n/"
                            "etclink\r\n/secretlink"}));
  EXPECT_EQ(EntryNames(Backups / name), (std::set<std::string>{"db/current", "format"}));
  EXPECT_EQ(ReadFile(Backups / name).find("the secret"), std::string::npos);
  EXPECT_TRUE(ziptest::TempLeftovers().empty());
}

// A file that turns into a FIFO after the listing would block a plain open for ever; it is
// counted as unreadable and the run goes on.
TEST_F(BackupDialog, AFileSwappedForAFifoIsUnreadableAndNothingWaits) {
  MakeStoppedMain();
  const std::string data = Root / "alpha/data";
  MakeDirs(data);
  for (const char* n : {"/a", "/b", "/c"})
    WriteFile(data + n, std::string(100, n[1]));
  bool swapped = false;
  Script.OnProcessMessages = [&] {
    if (swapped) return;
    swapped = true;
    std::remove((data + "/b").c_str());
    ASSERT_EQ(::mkfifo((data + "/b").c_str(), 0600), 0);
  };
  // Should the open wait after all, a writer comes after a while, so the test fails, not hangs.
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 200 && !done; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int fd = -1;
    while (!done && (fd = ::open((data + "/b").c_str(), O_WRONLY | O_NONBLOCK)) < 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (fd >= 0) ::close(fd);
  });
  Backup("alpha");
  done = true;
  writer.join();
  ASSERT_TRUE(swapped);
  ASSERT_EQ(FolderNames(Backups.Path()).size(), 1u);
  const std::string name = FolderNames(Backups.Path())[0];
  EXPECT_EQ(Texts(),
            (Lines{Completed(2, name) + "\r\n\r\n읽을 수 없어 빠진 파일 : 1개\r\n/data/b"}));
  EXPECT_EQ(EntryNames(Backups / name), (std::set<std::string>{"data/a", "data/c"}));
}

TEST_F(BackupDialog, EscapeTheCloseBoxAndTheCancelButtonEachCancelTheRun) {
  MakeStoppedMain();
  MakeDirs(Root / "alpha");
  WriteFile(Root / "alpha/big", RandomBytes(4 * 1024 * 1024, 5));
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    Script.Calls.clear();
    bool cancelled = false;
    Script.OnProcessMessages = [&] {
      TfrmProjectMgr_Backup* d = Dialog();
      if (cancelled || !d || d->pbCurrent->value() < 1) return;
      cancelled = true;
      if (way == 0) d->btnCancel->click();
      if (way == 1) QTest::keyClick(d, Qt::Key_Escape);
      if (way == 2) d->close();
    };
    Backup("alpha");
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(Texts(), (Lines{"프로젝트 폴더 백업을 취소하였습니다."}));
    ASSERT_EQ(Script.Messages().size(), 1u);
    EXPECT_EQ(Script.Messages()[0].Caption, "Information");
    EXPECT_TRUE(FolderNames(Backups.Path()).empty());
    EXPECT_TRUE(ziptest::TempLeftovers().empty());
    EXPECT_EQ(Dialog(), nullptr);
  }
}

TEST_F(BackupDialog, NothingThatCouldBeReadIsAFailedBackup) {
  MakeStoppedMain();
  const std::string data = Root / "alpha/data";
  MakeDirs(data);
  WriteFile(data + "/a", "a");
  WriteFile(data + "/b", "b");
  bool turned = false;
  Script.OnProcessMessages = [&] {
    if (turned) return;
    turned = true;
    for (const char* n : {"/a", "/b"}) {
      std::remove((data + n).c_str());
      MakeDirs(data + n);
    }
  };
  Backup("alpha");
  EXPECT_EQ(Texts(), (Lines{std::string(kFailedHead) +
                            "읽을 수 있는 파일이 없어 압축 파일을 만들지 못했습니다.\r\n\r\n"
                            "읽을 수 없어 빠진 파일 : 2개\r\n/data/a\r\n/data/b"}));
  EXPECT_EQ(Script.Messages()[0].Icon, TMsgIcon::Error);
  EXPECT_TRUE(FolderNames(Backups.Path()).empty());
}

TEST_F(BackupDialog, TheDialogRepaintsWhileItWorksAndClosesOnlyAfterTheRun) {
  MakeStoppedMain();
  MakeDirs(Root / "alpha");
  WriteFile(Root / "alpha/one", RandomBytes(1500000, 7));
  WriteFile(Root / "alpha/two", RandomBytes(1500000, 8));
  // A paint filter on the overall bar notes the value each repaint shows.
  struct TPaints : QObject {
    std::set<int> Values;
    bool eventFilter(QObject* o, QEvent* e) override {
      if (e->type() == QEvent::Paint) Values.insert(static_cast<QProgressBar*>(o)->value());
      return false;
    }
  } paints;
  bool asked = false, closedEarly = false;
  Script.OnProcessMessages = [&] {
    TfrmProjectMgr_Backup* d = Dialog();
    if (!d) return;
    if (!asked) {
      asked = true;
      d->pbTotal->installEventFilter(&paints);
      // (The close box and Escape mid-run cancel it: see the cancel test.)
    }
    QCoreApplication::processEvents();
    closedEarly = closedEarly || !d->isVisible();
  };
  bool openAtMessage = false;
  Script.OnMessage = [&](const TPromptCall&) { openAtMessage = Dialog() && Dialog()->isVisible(); };
  Backup("alpha");
  EXPECT_TRUE(asked);
  EXPECT_FALSE(closedEarly);
  EXPECT_TRUE(openAtMessage);
  EXPECT_GE(paints.Values.size(), 3u) << "the bar was not repainted as it moved";
  ASSERT_EQ(FolderNames(Backups.Path()).size(), 1u);
  EXPECT_EQ(Texts(), (Lines{Completed(2, FolderNames(Backups.Path())[0])}));
  EXPECT_EQ(EntryNames(Backups / FolderNames(Backups.Path())[0]),
            (std::set<std::string>{"one", "two"}));
}

// The job's Warning for a repository whose revisions are a link: the dialog shows it as a
// Warning, not as a completed backup.
TEST_F(BackupDialog, ALinkedRevisionsFolderIsAWarningNotACompletion) {
  MakeStoppedMain();
  TempDir otherDisk;
  const std::string alpha = Root / "alpha";
  MakeDirs(alpha + "/db");
  WriteFile(alpha + "/format", "5\n");
  WriteFile(alpha + "/db/current", "2\n");
  MakeDirs(otherDisk / "revs/0");
  WriteFile(otherDisk / "revs/0/1", "revision");
  ASSERT_EQ(::symlink((otherDisk / "revs").c_str(), (alpha + "/db/revs").c_str()), 0);
  Backup("alpha");
  ASSERT_EQ(Script.Messages().size(), 1u);
  const TPromptCall m = Script.Messages()[0];
  EXPECT_EQ(m.Icon, TMsgIcon::Warning);
  EXPECT_NE(m.Text.find("(db/revs)"), std::string::npos) << m.Text;
  EXPECT_NE(m.Text.find("orlenway-admin backup"), std::string::npos) << m.Text;
  EXPECT_EQ(m.Text.find("완료"), std::string::npos) << m.Text;
  EXPECT_EQ(FolderNames(Backups.Path()).size(), 1u) << "the archive stays for what it holds";
}
