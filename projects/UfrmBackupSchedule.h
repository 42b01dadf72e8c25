// "백업 예약": the unattended backup's projects, day and time, and how many archives to keep;
// whether the schedule is on and when it runs next; and each project's last result from the
// run record.
#pragma once

#include "app/UfrmDialogKit.h"
#include "projects/UfnSchedule.h"
#include "projects/UfrmScheduleKit.h"

#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QThread;
class QTimeEdit;
class QTreeWidget;

class TfrmBackupSchedule : public TFixedDialog {
  Q_OBJECT
public:
  explicit TfrmBackupSchedule(QWidget* parent = nullptr);
  ~TfrmBackupSchedule() override;

  QRadioButton* rbAll;
  QRadioButton* rbChosen;
  QListWidget* lstProjects;
  QRadioButton* rbDaily;
  QRadioButton* rbWeekly;
  QComboBox* cbDay;
  QTimeEdit* edtTime;
  QSpinBox* edtKeep;
  QSpinBox* edtMaxAge;
  QLabel* lblState;
  QTreeWidget* lvResult;
  QPushButton* btnApply;
  QPushButton* btnOff;

  // The orlenway-admin the schedule runs.
  std::string AdminPath;
  // Whether the schedule's state is being read in the background.
  bool Reading() const { return FState->Reading(); }

  // The schedule the controls describe.
  TSchedule ChosenSchedule() const;
  void FormShow() override;
  void RefreshState();
  void RefreshResults();
  void btnApplyClick();
  void btnOffClick();

private:
  void ShowState(const TScheduleState& st);
  void UpdateControls();
  // Last, so that it ends, waiting for its read, before the controls it shows on.
  std::unique_ptr<TScheduleStateReader> FState;
};

// Opens the dialog modally and frees it when it closes.
void ShowBackupSchedule();
