// The backup under test: the project manager of the project tests with a backup folder of the
// test's own and a main window whose server actions the backup reads and executes; a
// scripted prompt that answers its questions and lets a test look at the backup dialog each
// time the run pumps the window messages.
#pragma once

#include "app/UfrmMain.h"
#include "projects/ProjectMgrTestKit.h"
#include "projects/UfrmProjectMgr_Backup.h"
#include "support/UfnScriptedPrompt.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <thread>

namespace backup_kit {

using namespace projmgr_kit;

// Counts the backup dialogs that were shown.
class TShownCounter : public QObject {
public:
  int Count = 0;

protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Show && qobject_cast<TfrmProjectMgr_Backup*>(o)) ++Count;
    return false;
  }
};

class BackupDialog : public ProjectMgrDialog {
protected:
  BackupDialog() {
    Settings.BackupPath = Backups.Path();
    qApp->installEventFilter(&Shown);
  }
  ~BackupDialog() override {
    qApp->removeEventFilter(&Shown);
    delete Main;
  }

  // A main window that is never shown, so that nothing stops the servers on the machine; it
  // starts in the stopped state.
  void MakeStoppedMain() {
    Main = new TfrmMain;
    Main->SetServerStopped(true);
  }

  // Opens the project manager, selects `project` (none when empty) and presses "백업".
  void Backup(const std::string& project) {
    Show([&](TfrmProjectMgr& f) {
      if (!project.empty()) Click(f.lvProject, project);
      f.btnBackup->click();
    });
  }

  // The backup dialog while it is shown, else nullptr.
  static TfrmProjectMgr_Backup* Dialog() {
    return qobject_cast<TfrmProjectMgr_Backup*>(QApplication::activeModalWidget());
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const TPromptCall& m : Script.Messages())
      texts.push_back(m.Text);
    return texts;
  }

  // Waits for the start of the next second, so that what follows runs within one second.
  static void AtTheStartOfASecond() {
    using namespace std::chrono;
    auto now = system_clock::now();
    auto next = ceil<seconds>(now);
    std::this_thread::sleep_until(next + milliseconds(5));
  }

  TempDir Backups{"backups"};
  TScriptedPrompt Script;
  TShownCounter Shown;
  TfrmMain* Main = nullptr;
};

// The completion message as the administrator reads it.
inline std::string Completed(int count, const std::string& fileName) {
  return "프로젝트 폴더 압축을 완료하였습니다.\r\n\r\n총 파일 갯수 : " + std::to_string(count) +
         "\r\n\r\n파일명 : " + fileName;
}

inline const char* const kFailedHead = "프로젝트 폴더 백업에 실패하였습니다.\r\n\r\n";

} // namespace backup_kit
