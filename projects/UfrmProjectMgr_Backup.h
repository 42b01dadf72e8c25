// The backup dialog: the window over the backup job (projects/UfnBackupJob) that packs one
// project folder into a new ZIP archive in the backup folder. It shows the entry being packed
// and two progress bars, and tells the job's outcome when it is done. The run starts once,
// from a short timer after the dialog is shown, and the builder pumps the window messages
// itself, so the dialog stays alive while it works.
#pragma once

#include "app/UfrmDialogKit.h"
#include "archive/UZip.h"
#include "projects/UfnBackupJob.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TfrmProjectMgr_Backup : public TFixedDialog {
  Q_OBJECT
public:
  explicit TfrmProjectMgr_Backup(QWidget* parent = nullptr);

  // Set by the caller before the dialog is shown.
  std::string SourceFolder; // the project folder, ending with the path delimiter
  std::string ZipFileName;  // the full archive path
  // Called as soon as the builder has returned (done, failed or nothing packed), before the
  // outcome is told.
  std::function<void()> OnBuilt;

  QWidget* pnlBackground;
  QLabel* TeLabel1;
  QLabel* TeLabel2;
  QLabel* lblCurrentFile;
  QLabel* lblZipFile;
  QProgressBar* pbCurrent;
  QProgressBar* pbTotal;
  QPushButton* btnCancel;
  QTimer* tmrExecute;
  TZip Zip;

  void FormShow() override;
  void tmrExecuteTimer();
  void ZipBegin(TZip& Sender, const std::string& FileName, int Count, bool& Extract);
  void ZipProgress(TZip& Sender, uint8_t ByFile, uint8_t ByArchive);

  // A close request while the run works cancels it; the dialog goes once the run has stopped.
  void done(int result) override;

protected:
  void closeEvent(QCloseEvent* e) override;

private:
  class TObserver;
  // The texts the run ends with.
  static std::string CompletionText(int count, const std::string& fileName);
  static std::string FailureText(const std::string& reason);
  std::string Below(const std::string& path) const;
  // The files that could not be read and the links left out, each as a counted list.
  std::string UnreadableText(const TBackupResult& r) const;
  std::string NamedList(const char* label, size_t n, const std::vector<std::string>& names) const;
  void ShowOutcome(const TBackupResult& r, const std::string& fileName);

  bool FStarted = false;
  bool FRunning = false;
  bool FCancelled = false;
};
