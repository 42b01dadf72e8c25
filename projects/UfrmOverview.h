// "저장소 현황": the projects of the repository root at a glance (newest revision, size,
// rules, mirror lag, newest backup), the selected project's recent commits, and the server's
// recent events with filters. Every reading runs on a worker; the lists fill as it reports.
#pragma once

#include "app/UfrmDialogKit.h"
#include "projects/UfnOverview.h"
#include "projects/UfnRecentCommits.h"
#include "server/UfnServerLog.h"

#include <QFutureWatcher>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// What the overview's worker reports: the listing first, then each project with its details.
struct TOverviewReport {
  bool Listing = false;
  std::vector<TProjectOverview> Projects;
};

class TfrmOverview : public TFixedDialog {
  Q_OBJECT
public:
  explicit TfrmOverview(QWidget* parent = nullptr);
  ~TfrmOverview() override;

  QTreeWidget* lvProjects;
  QTreeWidget* lvCommits;
  QTreeWidget* lvEvents;
  QComboBox* cbProject;
  QLineEdit* edtUser;
  QComboBox* cbKind; // 전체 / 커밋 / 거부 / 오류
  QLabel* lblState;
  QPushButton* btnRefresh;
  QPushButton* btnClose;

  // The newest commits shown for the selected project.
  static constexpr int CommitCount = 50;
  // The newest events shown that pass the filters.
  static constexpr int EventCount = 1000;

  void FormShow() override;
  // Reads everything anew in the background.
  void btnRefreshClick();
  // True while a worker of this window is still reading.
  bool Busy() const;
  std::string SelectedProject() const;

private:
  void StartOverview();
  void StartEvents();
  void StartCommits();
  void OverviewReady(int index);
  void CommitsReady();
  void EventsReady();
  void ShowProject(QTreeWidgetItem* row, const TProjectOverview& p);
  void FillProjectFilter();
  void ApplyEventFilter();
  void UpdateState();

  QFutureWatcher<TOverviewReport>* FOverviewWatch = nullptr;
  QFutureWatcher<TRecentCommits>* FCommitsWatch = nullptr;
  QFutureWatcher<std::vector<TServerEvent>>* FEventsWatch = nullptr;
  std::string FCommitsOf; // the project whose commits are read or shown
  std::vector<TServerEvent> FEvents;
};

// Opens the overview modally and frees it when it closes.
void ShowOverview();
