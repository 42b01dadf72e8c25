// The restore dialog: lists the backup archives in the backup folder and restores the chosen
// one as a new project through the restore job (projects/UfnRestoreJob), on a worker thread
// so that the window stays alive; the job's progress drives the bar and "취소" stops it.
#pragma once

#include "app/UfrmDialogKit.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
struct TRestoreResult;

class TfrmRestore : public TFixedDialog {
  Q_OBJECT
public:
  explicit TfrmRestore(QWidget* parent = nullptr);
  ~TfrmRestore() override;

  // Called on the window's thread with the new project's name once a restore succeeded.
  std::function<void(const std::string&)> OnRestored;

  QTreeWidget* lvArchive;
  QLabel* lblName;
  QLineEdit* edtName;
  QProgressBar* pbRestore;
  QLabel* lblStatus;
  QPushButton* btnRestore;
  QPushButton* btnCancel;

  void FormShow() override;
  void RefreshArchiveList();
  // The file name of the chosen archive; "" when none is chosen.
  std::string SelectedArchive() const;
  void btnRestoreClick();
  // Stops a running restore; with none running, closes the dialog.
  void btnCancelClick();
  bool Running() const { return FWorker.joinable(); }

  // A close request while a restore runs stops it; the dialog goes once it has stopped.
  void done(int result) override;

private:
  class TObserver;
  void Finished(const TRestoreResult& r, const std::string& name);
  void SetRunning(bool running);

  std::thread FWorker;
  std::shared_ptr<std::atomic<bool>> FCancel;
  bool FCloseWhenDone = false;
};

// Opens the restore dialog modally; `onRestored` hears the new project's name.
void ShowRestore(const std::function<void(const std::string&)>& onRestored = {});
