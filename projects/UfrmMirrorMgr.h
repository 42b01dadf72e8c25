// The mirrors of the repository root: how far each one is behind its source, a sync on
// demand, and the promotion of a mirror whose source is lost.
#pragma once

#include "app/UfrmDialogKit.h"
#include "projects/UfnMirrorJob.h"
#include "projects/UfnSchedule.h"
#include "projects/UfrmScheduleKit.h"

#include <functional>
#include <memory>
#include <vector>

#include <string>
class QLabel;
class QPushButton;
class QSpinBox;
class QThread;
class QTreeWidget;

class TfrmMirrorMgr : public TFixedDialog {
  Q_OBJECT
public:
  explicit TfrmMirrorMgr(QWidget* parent = nullptr);
  ~TfrmMirrorMgr() override;

  QTreeWidget* lvMirror;
  QPushButton* btnSync;
  QPushButton* btnPromote;
  // The timer that syncs every mirror: its period in minutes, on and off, and its state.
  QSpinBox* edtPeriod;
  QPushButton* btnTimerOn;
  QPushButton* btnTimerOff;
  QLabel* lblTimer;

  // The orlenway-admin the timer runs.
  std::string AdminPath;
  // Whether the timer's state, the mirrors' lag or a sync is being worked on in the background.
  bool Reading() const { return FState->Reading() || FWorker != nullptr; }

  // The name in the selected row; "" when none is selected.
  std::string SelectedMirror() const;
  void RefreshMirrorList();

  void FormShow() override;
  void btnSyncClick();
  void btnPromoteClick();
  void btnTimerOnClick();
  void btnTimerOffClick();
  void RefreshTimerState();

private:
  // The list's read or a sync: one at a time; the buttons wait for it.
  QThread* FWorker = nullptr;
  bool FListStale = false;
  void ShowTimerState(const TScheduleState& st);
  void ShowMirrors(const std::vector<TMirrorStatus>& mirrors);
  void RunWorker(std::function<void()> work, std::function<void()> done);
  // Last, so that it ends, waiting for its read, before the controls it shows on.
  std::unique_ptr<TScheduleStateReader> FState;
};

// Opens the mirrors' dialog modally and frees it when it closes.
void ShowMirrorMgr();
