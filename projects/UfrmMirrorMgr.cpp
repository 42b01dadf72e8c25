#include "projects/UfrmMirrorMgr.h"

#include "base/UfnDesktop.h"
#include "base/UfnJob.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnMirrorJob.h"
#include "settings/UclsBasicSetting.h"

#include <QApplication>
#include <QCursor>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QTreeWidget>

#include <memory>

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
    : TFixedDialog(parent, "frmMirrorMgr", "미러 관리", QSize(630, 325), TKeys::Standard),
      AdminPath(InstalledAdminProgram()) {
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

  edtPeriod = new QSpinBox(this);
  edtPeriod->setObjectName("edtPeriod");
  edtPeriod->setRange(1, 1439);
  edtPeriod->setValue(1);
  edtPeriod->setGeometry(386, 265, 60, 23);
  MakeLabelLeftOf(edtPeriod, "자동 동기화 주기(분)(&M):");
  btnTimerOn = MakeBoldButton(this, "예약", {452, 264, 75, 25}, "btnTimerOn");
  btnTimerOff = MakeBoldButton(this, "예약 끄기", {532, 264, 90, 25}, "btnTimerOff");
  lblTimer = new QLabel(this);
  lblTimer->setObjectName("lblTimer");
  lblTimer->setGeometry(8, 298, 614, 20);
  lblTimer->setTextInteractionFlags(Qt::TextSelectableByMouse);
  connect(btnTimerOn, &QPushButton::clicked, this, &TfrmMirrorMgr::btnTimerOnClick);
  connect(btnTimerOff, &QPushButton::clicked, this, &TfrmMirrorMgr::btnTimerOffClick);
}

TfrmMirrorMgr::~TfrmMirrorMgr() {
  // The read runs a scheduler's program or two; it ends on its own.
  if (FReader) {
    FReader->disconnect(this);
    FReader->wait();
    delete FReader;
  }
}

std::string TfrmMirrorMgr::SelectedMirror() const {
  const QList<QTreeWidgetItem*> rows = lvMirror->selectedItems();
  return rows.isEmpty() ? "" : rows.first()->text(0).toStdString();
}

void TfrmMirrorMgr::FormShow() {
  RefreshMirrorList();
  RefreshTimerState();
}

// Read in the background: a busy user manager must not hold the window.
void TfrmMirrorMgr::RefreshTimerState() {
  if (FReader) {
    FStale = true;
    return;
  }
  lblTimer->setText(Q("자동 동기화 예약을 확인하는 중입니다..."));
  auto state = std::make_shared<TScheduleState>();
  FReader = QThread::create([state] { *state = ReadScheduleState(TScheduleKind::Mirror); });
  connect(FReader, &QThread::finished, this, [this, state] {
    FReader->deleteLater();
    FReader = nullptr;
    ShowTimerState(*state);
    if (FStale) {
      FStale = false;
      RefreshTimerState();
    }
  });
  FReader->start();
}

void TfrmMirrorMgr::ShowTimerState(const TScheduleState& st) {
  btnTimerOff->setEnabled(st.On);
  if (!st.On) {
    lblTimer->setText(Q("자동 동기화: 꺼짐"));
    return;
  }
  std::string text =
      "자동 동기화: 켜짐 (" + st.Where + (st.Detail.empty() ? "" : ", " + st.Detail) + ")";
  if (!st.NextRun.empty()) text += ", 다음 실행: " + st.NextRun;
  lblTimer->setText(Q(text));
}

void TfrmMirrorMgr::btnTimerOnClick() {
  TSchedule s;
  s.Kind = TScheduleKind::Mirror;
  s.EveryMinutes = edtPeriod->value();
  TScheduleResult r = ApplySchedule(s, AdminPath, false, SilentObserver());
  if (r.Outcome == TScheduleOutcome::NeedsCrontab) {
    if (Prompt().MessageDlg(r.Message + "\r\n\r\n같은 일을 하는 crontab 줄:\r\n" + r.CrontabLine +
                                "\r\n\r\n이 줄을 crontab에 쓰시겠습니까?",
                            TMsgIcon::Question, mbYes | mbNo) != mbYes)
      return;
    r = ApplySchedule(s, AdminPath, true, SilentObserver());
  }
  if (!r.Ok()) Prompt().MessageDlg(r.Message, TMsgIcon::Error, mbOK);
  RefreshTimerState();
}

void TfrmMirrorMgr::btnTimerOffClick() {
  const TScheduleResult r = RemoveSchedule(TScheduleKind::Mirror, SilentObserver());
  if (!r.Ok()) Prompt().MessageDlg(r.Message, TMsgIcon::Error, mbOK);
  RefreshTimerState();
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
