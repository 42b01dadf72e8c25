#include "users/UfrmUserMgr.h"

#include "base/UfnDesktop.h"
#include "users/UclsUserMgr.h"
#include "users/UfnUserJobs.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <exception>

namespace {

const char* const kEmpty = "UserID와 Password를 입력해주세요.";
const char* const kBadID = "UserID 형식이 잘못되었습니다.\r\n다시 입력해주세요.";
const char* const kBadPassword = "Password 형식이 잘못되었습니다.\r\n다시 입력해주세요";

} // namespace

// No button is the dialog's default or cancel button.
TfrmUserMgr::TfrmUserMgr(QWidget* parent)
    : TFixedDialog(parent, "frmUserMgr", "사용자 관리", {260, 295}, TKeys::NoDefaultOrCancel) {
  pnlBackground = new QWidget(this);
  pnlBackground->setGeometry(0, 0, 260, 295);

  lvUser = new QTreeWidget(pnlBackground);
  lvUser->setObjectName("lvUser");
  lvUser->setGeometry(4, 4, 250, 169);
  lvUser->setColumnCount(2);
  lvUser->setHeaderLabels({"UserID", "Password"});
  lvUser->setColumnWidth(0, 120);
  lvUser->setColumnWidth(1, 100);
  lvUser->setRootIsDecorated(false);
  lvUser->setSelectionMode(QAbstractItemView::SingleSelection);
  lvUser->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvUser->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvUser->setStyleSheet("QTreeWidget { color: black; background: white; }");
  connect(lvUser, &QTreeWidget::itemSelectionChanged, this, &TfrmUserMgr::SelectionChanged);

  edtUserID = new QLineEdit(pnlBackground);
  edtUserID->setObjectName("edtUserID");
  edtUserID->setGeometry(88, 184, 149, 21);
  lblUserID = MakeLabelLeftOf(edtUserID, "UserID");
  edtPassword = new QLineEdit(pnlBackground);
  edtPassword->setObjectName("edtPassword");
  edtPassword->setGeometry(88, 216, 149, 21);
  lblPassword = MakeLabelLeftOf(edtPassword, "Password");

  btnAdd = MakeBoldButton(pnlBackground, "저장", {44, 252, 75, 25});
  btnDelete = MakeBoldButton(pnlBackground, "삭제", {140, 252, 75, 25});
  connect(btnAdd, &QPushButton::clicked, this, &TfrmUserMgr::btnAddClick);
  connect(btnDelete, &QPushButton::clicked, this, &TfrmUserMgr::btnDeleteClick);
}

void TfrmUserMgr::FormShow() {
  RefreshUserList();
}

void TfrmUserMgr::RefreshUserList() {
  QSignalBlocker block(lvUser);
  lvUser->clear();
  FSelected = nullptr;
  for (int32_t i = 0; i < UserMgr->Count(); ++i) {
    std::string id, password;
    UserMgr->GetUser(i, id, password);
    auto* row = new QTreeWidgetItem(lvUser);
    row->setText(0, QString::fromStdString(id));
    row->setText(1, QString::fromStdString(password));
  }
}

void TfrmUserMgr::SelectionChanged() {
  // The row that lost the selection is reported first, the newly selected one last.
  QTreeWidgetItem* now = nullptr;
  const auto selected = lvUser->selectedItems();
  if (!selected.isEmpty()) now = selected.first();
  if (FSelected && FSelected != now) lvUserSelectItem(FSelected, false);
  if (now && now != FSelected) lvUserSelectItem(now, true);
  FSelected = now;
}

void TfrmUserMgr::lvUserSelectItem(QTreeWidgetItem* item, bool) {
  edtUserID->setText(item->text(0));
  edtPassword->setText(item->text(1));
}

void TfrmUserMgr::btnAddClick() {
  TUserCheck check;
  try {
    check = SaveRegistryUser(*UserMgr, edtUserID->text().toStdString(),
                             edtPassword->text().toStdString());
  } catch (const std::exception& e) {
    // The account stays in memory; the list is not rebuilt.
    ShowErrorReport(e.what());
    return;
  }
  switch (check) {
  case TUserCheck::Ok:
    break;
  case TUserCheck::Empty:
    Prompt().ShowMessage(kEmpty);
    return;
  case TUserCheck::BadID:
    Prompt().ShowMessage(kBadID);
    edtUserID->clear();
    return;
  case TUserCheck::BadPassword:
    Prompt().ShowMessage(kBadPassword);
    edtPassword->clear();
    return;
  }
  RefreshUserList();
}

void TfrmUserMgr::btnDeleteClick() {
  const auto selected = lvUser->selectedItems();
  if (selected.isEmpty()) return;
  UserMgr->Delete(lvUser->indexOfTopLevelItem(selected.first()));
  RefreshUserList();
}

void ShowUserMgr() {
  TfrmUserMgr dlg(QApplication::activeWindow());
  dlg.exec();
}
