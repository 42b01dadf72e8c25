// The restore dialog offscreen over an archive that the real backup job made: opened from the
// project manager, it lists the archive, restores it under a new name that the manager then
// lists, refuses a name that is taken and leaves nothing behind when cancelled.
#include "projects/ProjectMgrTestKit.h"
#include "projects/UfnBackupJob.h"
#include "projects/UfrmRestore.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <chrono>
#include <thread>

using namespace projmgr_kit;

namespace {

class RestoreDialog : public ProjectMgrDialog {
protected:
  RestoreDialog() {
    Settings.SVNPath = "/usr";
    Settings.BackupPath = Backups.Path();
  }

  // "alpha" with three revisions, packed into the backup folder by the backup job.
  void MakeArchive() {
    Create("alpha");
    for (const char* dir : {"trunk", "branches", "tags"})
      ASSERT_EQ(Shell("svn mkdir -q -m x " + Quote("file://" + Root / "alpha/" + dir)).ExitCode, 0);
    TBackupRequest request;
    request.RepoPath = Root.Path();
    request.Project = "alpha";
    request.BackupFolder = Backups.Path();
    ASSERT_TRUE(BackupProject(request, SilentObserver()).Written());
    ASSERT_EQ(FolderNames(Backups.Path()).size(), 1u);
  }

  // Runs `act` on the restore dialog once it is shown, then closes it.
  static void OnRestoreDialog(const std::function<void(TfrmRestore&)>& act, bool& ran) {
    QTimer::singleShot(0, [act, &ran] {
      auto* f = qobject_cast<TfrmRestore*>(QApplication::activeModalWidget());
      if (!f) return;
      act(*f);
      ran = true;
      f->close();
    });
  }

  static void Restore(TfrmRestore& f, const std::string& name) {
    f.edtName->setText(QString::fromStdString(name));
    f.btnRestore->click();
  }
  static void WaitWhileRunning(TfrmRestore& f) {
    for (int i = 0; i < 3000 && f.Running(); ++i) {
      QApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    QApplication::processEvents();
  }

  std::string Listing(const std::string& folder) {
    return Shell("cd " + Quote(folder) + " && find . -printf '%p %s %m\\n' | sort").Output;
  }

  TempDir Backups{"backups"};
};

} // namespace

TEST_F(RestoreDialog, RestoresAnArchiveUnderANewNameThatTheProjectManagerLists) {
  MakeArchive();
  const std::string archive = FolderNames(Backups.Path()).front();
  TScriptedPrompt prompt;
  bool ran = false;
  Show([&](TfrmProjectMgr& f) {
    OnRestoreDialog(
        [&](TfrmRestore& r) {
          EXPECT_EQ(r.windowTitle(), QString::fromUtf8("복원"));
          ASSERT_EQ(r.lvArchive->topLevelItemCount(), 1);
          const QTreeWidgetItem* row = r.lvArchive->topLevelItem(0);
          EXPECT_EQ(row->text(0), "alpha");
          EXPECT_EQ(row->text(1).size(), 19) << row->text(1).toStdString();
          EXPECT_EQ(r.SelectedArchive(), archive);
          EXPECT_EQ(r.lblName->buddy(), r.edtName);
          Restore(r, "beta");
          WaitWhileRunning(r);
          EXPECT_FALSE(r.Running());
          EXPECT_EQ(r.pbRestore->value(), 100);
          EXPECT_NE(r.lblStatus->text().toStdString().find("beta"), std::string::npos);
        },
        ran);
    f.btnRestore->click();
    EXPECT_TRUE(ran) << "the restore dialog was not shown";
    EXPECT_EQ(Rows(f.lvProject), (Lines{"alpha", "beta"}));
    EXPECT_EQ(f.SelectedProject(), "beta");
  });
  ASSERT_EQ(prompt.Messages().size(), 1u);
  EXPECT_NE(prompt.Messages()[0].Text.find("beta"), std::string::npos);
  EXPECT_EQ(Shell("svnadmin verify -q " + Quote(Root / "beta")).ExitCode, 0);
  EXPECT_EQ(Shell("svnlook youngest " + Quote(Root / "beta")).Output, "3\n");
}

TEST_F(RestoreDialog, ATakenNameIsRefusedAndACancelLeavesNothing) {
  MakeArchive();
  const std::string before = Listing(Root.Path());
  TScriptedPrompt prompt;
  bool ran = false;
  std::string told;
  OnRestoreDialog(
      [&](TfrmRestore& r) {
        Restore(r, "alpha");
        WaitWhileRunning(r);
        ASSERT_EQ(prompt.Messages().size(), 1u);
        told = prompt.Messages()[0].Text;
        EXPECT_EQ(Listing(Root.Path()), before);

        Restore(r, "gamma");
        r.btnCancel->click();
        EXPECT_EQ(r.btnCancel->text(), QString::fromUtf8("취소"));
        WaitWhileRunning(r);
        EXPECT_EQ(r.btnCancel->text(), QString::fromUtf8("닫기"));
        EXPECT_EQ(prompt.Messages().size(), 1u) << "a cancel is no failure to report";
        EXPECT_EQ(r.pbRestore->value(), 0);
      },
      ran);
  ShowRestore();
  EXPECT_TRUE(ran);
  EXPECT_NE(told.find("alpha"), std::string::npos) << told;
  EXPECT_EQ(Listing(Root.Path()), before);
  EXPECT_FALSE(Exists(Root / "gamma"));
}
