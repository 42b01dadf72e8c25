// Draws each window of the program into a PNG file, as the README shows them: offscreen, on
// sample projects and accounts in the folders it is given. Run by scripts/screenshots.sh,
// which makes those folders; it starts, stops and writes nothing else.
#include "app/UfrmAbout.h"
#include "app/UfrmApplication.h"
#include "app/UfrmMain.h"
#include "base/UfnDesktop.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfrmProjectMgr.h"
#include "projects/UfrmProjectMgr_Backup.h"
#include "settings/UclsBasicSetting.h"
#include "settings/UfrmBasicSetting.h"
#include "users/UclsUserMgr.h"
#include "users/UfrmUserMgr.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QTreeWidget>
#include <cstdio>
#include <string>

namespace {

std::string Output;

void Settle() {
  for (int i = 0; i < 5; ++i)
    QCoreApplication::processEvents();
}

// A dialog is shown (offscreen) so that its show handler fills it, then drawn.
bool Save(QWidget& w, const char* name, bool show = true) {
  if (show) w.show();
  Settle();
  const std::string path = Output + "/" + name + ".png";
  const bool ok = w.grab().save(QString::fromStdString(path), "PNG");
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
  if (show) w.hide();
  return ok;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: orlenway-screenshots OUTPUT_FOLDER REPOSITORY_ROOT BACKUP_FOLDER\n");
    return 2;
  }
  Output = argv[1];
  TApplication app(argc, argv);
  SetApplicationTitle("Orlenway");

  BasicSetting = new TclsBasicSetting();
  BasicSetting->SVNPath = "/usr";
  BasicSetting->RepoPath = argv[2];
  BasicSetting->BackupPath = argv[3];
  BasicSetting->SetPort(3690);
  UserMgr = new TclsUserMgr();
  UserMgr->Users = {"alice=alice-pw", "bob=bob-pw", "carol=carol-pw"};
  InitProjectMgr();

  bool ok = true;
  {
    // Drawn without being shown: its first show would stop the server.
    const std::string root = BasicSetting->RepoPath;
    BasicSetting->RepoPath = "/srv/svn";
    TfrmMain main;
    ok &= Save(main, "main", false);
    BasicSetting->RepoPath = root;
  }
  {
    // The sample root lives in a temporary folder: the picture shows a root as it would be.
    const std::string root = BasicSetting->RepoPath;
    BasicSetting->RepoPath = "/srv/svn";
    TfrmBasicSetting settings;
    ok &= Save(settings, "settings");
    BasicSetting->RepoPath = root;
  }
  {
    TfrmUserMgr users;
    ok &= Save(users, "users");
  }
  {
    TfrmProjectMgr projects;
    projects.show();
    Settle();
    const auto rows = projects.lvProject->findItems("trunk-app", Qt::MatchExactly);
    if (!rows.isEmpty()) rows.first()->setSelected(true);
    ok &= Save(projects, "projects");
  }
  {
    TfrmProjectMgr_Backup backup;
    backup.lblCurrentFile->setText("/db/revs/0/12");
    backup.lblZipFile->setText(QString::fromStdString(BasicSetting->BackupPath) +
                               "/trunk-app_20261210T010203Z.zip");
    backup.pbCurrent->setValue(64);
    backup.pbTotal->setValue(37);
    // Its show handler would start a run: drawn as a run shows it.
    ok &= Save(backup, "backup", false);
  }
  {
    TfrmAbout about;
    ok &= Save(about, "about");
  }
  DoneProjectMgr();
  delete UserMgr;
  UserMgr = nullptr;
  delete BasicSetting;
  BasicSetting = nullptr;
  return ok ? 0 : 1;
}
