// The user manager: lists, adds, changes and deletes the accounts of the user registry.
// It never touches a project's passwd; that is the project manager's work.
#pragma once

#include "app/UfrmDialogKit.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TfrmUserMgr : public TFixedDialog {
  Q_OBJECT
public:
  explicit TfrmUserMgr(QWidget* parent = nullptr);

  QWidget* pnlBackground;
  QTreeWidget* lvUser;
  QLabel* lblUserID;
  QLineEdit* edtUserID;
  QLabel* lblPassword;
  QLineEdit* edtPassword;
  QPushButton* btnAdd;
  QPushButton* btnDelete;

  // Empties the list and rebuilds it from the registry: row i is registry line i.
  void RefreshUserList();

  void FormShow() override;
  void btnAddClick();
  void btnDeleteClick();
  // A row whose selection changed, in either direction, fills both edits.
  void lvUserSelectItem(QTreeWidgetItem* item, bool selected);

private:
  void SelectionChanged();
  QTreeWidgetItem* FSelected = nullptr;
};

// Opens the user manager modally and frees it when it closes.
void ShowUserMgr();
