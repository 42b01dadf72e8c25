// The project manager: creates and deletes the repositories under the repository root, sets
// each one's access levels in its svnserve.conf, and grants or withdraws the registry's users
// in its passwd. Selecting a project also brings the users of its passwd into the registry.
#pragma once

#include "app/UfrmDialogKit.h"

#include "projects/UfnProjectUsers.h"

#include <string>
#include <vector>

class EPasswordDbOutside;
struct TMirrorStatus;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

class TfrmProjectMgr : public TFixedDialog {
  Q_OBJECT
public:
  explicit TfrmProjectMgr(QWidget* parent = nullptr);

  QWidget* pnlLeft;
  QTreeWidget* lvProject;
  QPushButton* btnAdd;
  QPushButton* btnBackup;
  QPushButton* btnDelete;
  QPushButton* btnRestore;
  QWidget* pnlClient;
  QWidget* pnlClient_Top;
  QGroupBox* rgAnonAccess;
  QGroupBox* rgAuthAccess;
  QPushButton* btnApplyAuth;
  // Opens the access rules on the selected project; the mark says whether it has rules.
  QPushButton* btnAccess;
  QLabel* lblRules;
  QWidget* pnlClient_Client;
  QTreeWidget* lvRegUser;
  QToolButton* sbtnReg;
  QToolButton* sbtnUnreg;
  QTreeWidget* lvUnregUser;
  QLabel* lblProject;

  // The chosen item of a radio group: 0 "None", 1 "Read", 2 "Write", -1 none chosen.
  static int ItemIndex(const QGroupBox* group);
  static void SetItemIndex(QGroupBox* group, int index);

  // The caption of the selected row of lvProject; "" when no row is selected.
  std::string SelectedProject() const;
  // The password a row of lvRegUser carries (no column shows it).
  static std::string RowPassword(const QTreeWidgetItem* row);

  void RefreshProjectList();
  void LoadAccess();
  void ApplyAccess();
  void ApplyAccess(const std::string& project);
  // The right half empty and disabled, as when no project is selected.
  void ClearProjectSide();
  // The access levels differ from what was loaded or last applied for the shown project.
  bool AccessChanged() const;
  void RefreshRegUsers();
  // The users lvRegUser shows, with the passwords its rows carry.
  std::vector<TProjectUser> RegUsers() const;
  void RefreshUnregUsers();
  // Empties both user lists and says why: the project's password file is not managed here.
  void UnmanagedUsers(const EPasswordDbOutside& e);

  void FormShow() override;
  void btnAddClick();
  void btnBackupClick();
  void btnDeleteClick();
  // Opens the restore dialog; a project it restores is listed and selected.
  void btnRestoreClick();
  // A row whose selection changed, in either direction; the handler looks only at the
  // selection as it is now.
  void lvProjectSelectItem(QTreeWidgetItem* item, bool selected);
  void btnApplyAuthClick();
  void btnAccessClick();
  // The mark of the selected project's rules.
  void ShowRulesMark();
  void sbtnRegClick();
  void sbtnUnregClick();

  // A mirror's lag after the source's newest revision, read in the background, on lblProject
  // (in short) and its tool tip (in full).
  void ShowMirrorLag(const std::string& project);
  void ShowMirrorStatus(const TMirrorStatus& status);

private:
  void SelectionChanged();
  QTreeWidgetItem* FSelected = nullptr;
  std::string FShownProject;
  int FShownAnon = -1, FShownAuth = -1;
};

// Opens the project manager modally and frees it when it closes.
void ShowProjectMgr();
