#include "users/UfrmUserMgr.h"

#include "base/UfnDesktop.h"
#include "app/UfrmDialogKit.h"
#include "users/UclsUserMgr.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <exception>

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

const char* const kEmpty = "UserID와 Password를 입력해주세요.";
const char* const kBadID = "UserID 형식이 잘못되었습니다.\r\n다시 입력해주세요.";
const char* const kBadPassword = "Password 형식이 잘못되었습니다.\r\n다시 입력해주세요";

// Removes every character up to and including the blank from both ends.
std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// svnserve reads each ID as a key of passwd: it splits at "=" and ":", and takes a line
// that begins with "#", ";" or "[" for a comment or a section, so such IDs are refused.
bool BadID(const std::string& id) {
  return id.find_first_of("= :") != std::string::npos || id[0] == '#' || id[0] == ';' ||
         id[0] == '[';
}

bool BadPassword(const std::string& pw) { return pw.find_first_of("= ") != std::string::npos; }

QLineEdit* MakeEdit(QWidget* parent, QLabel*& label, const char* caption, QRect r) {
  auto* e = new QLineEdit(parent);
  e->setGeometry(r);
  label = new QLabel(Q(caption), parent);
  label->adjustSize();
  label->move(r.left() - 3 - label->width(), r.top() + (r.height() - label->height()) / 2);
  label->setBuddy(e);
  return e;
}

}  // namespace

TfrmUserMgr::TfrmUserMgr(QWidget* parent) : QDialog(parent) {
  SetUpFixedDialog(*this, "frmUserMgr", "사용자 관리", 260, 295);

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

  edtUserID = MakeEdit(pnlBackground, lblUserID, "UserID", {88, 184, 149, 21});
  edtUserID->setObjectName("edtUserID");
  edtPassword = MakeEdit(pnlBackground, lblPassword, "Password", {88, 216, 149, 21});
  edtPassword->setObjectName("edtPassword");

  btnAdd = MakeBoldButton(pnlBackground, "저장", {44, 252, 75, 25});
  btnDelete = MakeBoldButton(pnlBackground, "삭제", {140, 252, 75, 25});
  connect(btnAdd, &QPushButton::clicked, this, &TfrmUserMgr::btnAddClick);
  connect(btnDelete, &QPushButton::clicked, this, &TfrmUserMgr::btnDeleteClick);
}

void TfrmUserMgr::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  FormShow();
}

void TfrmUserMgr::keyPressEvent(QKeyEvent* e) {
  // No button is the dialog's default or cancel button.
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

void TfrmUserMgr::FormShow() { RefreshUserList(); }

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
  const std::string id = TrimBlanks(edtUserID->text().toStdString());
  const std::string password = TrimBlanks(edtPassword->text().toStdString());
  if (id.empty() || password.empty()) {
    Prompt().ShowMessage(kEmpty);
    return;
  }
  if (BadID(id)) {
    Prompt().ShowMessage(kBadID);
    edtUserID->clear();
    return;
  }
  if (BadPassword(password)) {
    Prompt().ShowMessage(kBadPassword);
    edtPassword->clear();
    return;
  }
  try {
    UserMgr->SetUser(id, password);
    UserMgr->Save();
  } catch (const std::exception& e) {
    // The account stays in memory; the list is not rebuilt.
    ShowErrorReport(e.what());
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
