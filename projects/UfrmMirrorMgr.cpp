#include "projects/UfrmMirrorMgr.h"

#include "base/UfnDesktop.h"
#include "base/UfnJob.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnMirrorJob.h"
#include "settings/UclsBasicSetting.h"

#include <QApplication>
#include <QCursor>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

namespace {

const char* const kPromoteQuestion =
    "미러를 승격하면 더 이상 원본을 따르지 않고 커밋을 받습니다.\r\n"
    "원본을 잃었을 때만 승격하십시오. 승격하시겠습니까?";

class TMirrorObserver : public TJobObserver {
public:
  void Notify(TMsgIcon kind, const std::string& text) override {
    if (kind == TMsgIcon::Error) Prompt().MessageDlg(text, kind, mbOK);
  }
};

QString RevisionText(long r) {
  return r < 0 ? Q("?") : QString::number(r);
}

} // namespace

TfrmMirrorMgr::TfrmMirrorMgr(QWidget* parent)
    : TFixedDialog(parent, "frmMirrorMgr", "미러 관리", QSize(630, 301), TKeys::Standard) {
  lvMirror = new QTreeWidget(this);
  lvMirror->setObjectName("lvMirror");
  lvMirror->setGeometry(8, 8, 614, 248);
  lvMirror->setRootIsDecorated(false);
  lvMirror->setHeaderLabels(
      {Q("미러"), Q("원본"), Q("동기화한 리비전"), Q("원본의 최신 리비전"), Q("마지막 동기화")});
  lvMirror->setColumnWidth(0, 100);
  lvMirror->setColumnWidth(1, 200);
  btnSync = MakeBoldButton(this, "동기화", {8, 264, 75, 25}, "btnSync");
  btnPromote = MakeBoldButton(this, "승격", {88, 264, 75, 25}, "btnPromote");
  connect(btnSync, &QPushButton::clicked, this, &TfrmMirrorMgr::btnSyncClick);
  connect(btnPromote, &QPushButton::clicked, this, &TfrmMirrorMgr::btnPromoteClick);
}

std::string TfrmMirrorMgr::SelectedMirror() const {
  const QList<QTreeWidgetItem*> rows = lvMirror->selectedItems();
  return rows.isEmpty() ? "" : rows.first()->text(0).toStdString();
}

void TfrmMirrorMgr::FormShow() {
  RefreshMirrorList();
}

void TfrmMirrorMgr::RefreshMirrorList() {
  const std::string selected = SelectedMirror();
  lvMirror->clear();
  ProjectMgr->Refresh();
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  for (const std::string& name :
       ListMirrors(BasicSetting->SVNPath, BasicSetting->RepoPath, ProjectMgr->Projects)) {
    TMirrorStatus s;
    if (!ReadMirrorStatus(BasicSetting->SVNPath, BasicSetting->RepoPath, name, true, s)) continue;
    auto* row = new QTreeWidgetItem(lvMirror);
    row->setText(0, Q(s.Name));
    row->setText(1, Q(s.Source));
    row->setText(2, RevisionText(s.LastMerged));
    row->setText(3, RevisionText(s.SourceYoungest));
    row->setText(4, s.LastSyncTime.empty() ? Q("-") : Q(s.LastSyncTime));
    if (!s.SourceError.empty()) row->setToolTip(3, Q(s.SourceError));
    if (s.Name == selected) row->setSelected(true);
  }
  QApplication::restoreOverrideCursor();
}

void TfrmMirrorMgr::btnSyncClick() {
  const std::string name = SelectedMirror();
  if (name.empty()) return;
  TMirrorObserver observer;
  SyncMirror(BasicSetting->SVNPath, BasicSetting->RepoPath, name, observer);
  RefreshMirrorList();
}

void TfrmMirrorMgr::btnPromoteClick() {
  const std::string name = SelectedMirror();
  if (name.empty()) return;
  if (Prompt().MessageDlg(kPromoteQuestion, TMsgIcon::Warning, mbYes | mbNo) != mbYes) return;
  TMirrorObserver observer;
  if (StopMirror(BasicSetting->SVNPath, BasicSetting->RepoPath, name, true, observer).Ok())
    Prompt().ShowMessage(name + ": 미러를 승격하였습니다.");
  RefreshMirrorList();
}

void ShowMirrorMgr() {
  TfrmMirrorMgr form;
  form.exec();
}
