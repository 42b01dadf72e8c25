// The access rules of the projects under the repository root: each path's rules, the groups
// they name, and what every user may do at each project's root. Changes go through the access
// jobs, which refuse what svnserve would not do as asked; slow reads run on workers.
#pragma once

#include "app/UfrmDialogKit.h"
#include "projects/UfnAccessJobs.h"

#include <QList>
#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;
class QThread;
class QTreeWidget;
class QTreeWidgetItem;

class TfrmAccessMgr : public TFixedDialog {
  Q_OBJECT
public:
  explicit TfrmAccessMgr(QWidget* parent = nullptr, const std::string& project = "");
  ~TfrmAccessMgr() override;

  QComboBox* cbProject;
  QTabWidget* pcAccess;
  // Rules of a path.
  QComboBox* cbPath;
  QLabel* lblFolders;
  QTreeWidget* lvRule;
  QComboBox* cbWho;
  QRadioButton* rbRead;
  QRadioButton* rbWrite;
  QRadioButton* rbNone;
  QPushButton* btnSetRule;
  QPushButton* btnUnsetRule;
  QLabel* lblInvalid;
  QPushButton* btnRestore;
  // Groups.
  QTreeWidget* lvGroup;
  QLineEdit* edtGroup;
  QLineEdit* edtMembers;
  QPushButton* btnAddMembers;
  QPushButton* btnRemoveMembers;
  QPushButton* btnDeleteGroup;
  // Users x projects.
  QTableWidget* tblGrid;
  QLabel* lblGrid;
  QPushButton* btnGridRefresh;
  QLabel* lblStatus;
  QPushButton* btnClose;

  std::string SelectedProject() const;
  // The rule path as typed or chosen, as a section takes it.
  std::string SelectedPath() const;
  // A worker is still reading folders or computing the grid.
  bool Busy() const { return !FWorkers.isEmpty(); }

  void FormShow() override;
  void LoadProject();
  void LoadRules();
  void RefreshGroups();
  void RefreshGrid();

  void cbProjectChange();
  void cbPathChange();
  void lvRuleSelect();
  void lvGroupSelect();
  void btnSetRuleClick();
  void btnUnsetRuleClick();
  void btnRestoreClick();
  void btnAddMembersClick();
  void btnRemoveMembersClick();
  void btnDeleteGroupClick();

private:
  // Runs `work` on a worker and `done` on this window's thread when it ends, unless this
  // window is gone by then.
  void InBackground(std::function<void()> work, std::function<void()> done);
  // After a change: the rules, the groups and the grid read anew.
  void Changed();
  void SetEditable(bool editable);

  TProjectRules FRules;
  std::string FProject;
  QList<QThread*> FWorkers;
  int FFolderRun = 0, FGridRun = 0;
};

// Opens the access dialog modally on `project` (the first project when empty) and frees it
// when it closes.
void ShowAccessMgr(const std::string& project = "");
