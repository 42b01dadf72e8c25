#include "projects/UfrmMirrorMgr.h"

#include "base/UfnDesktop.h"
#include "base/UfnJob.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnMirrorJob.h"
#include "settings/UclsBasicSetting.h"

#include <QApplication>
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

// A sync's errors, kept on the worker and told by the window when it is done.
class TKeptErrors : public TJobObserver {
public:
  std::vector<std::string> Errors;
  void Notify(TMsgIcon kind, const std::string& text) override {
    if (kind == TMsgIcon::Error) Errors.push_back(text);
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
  FState = std::make_unique<TScheduleStateReader>(
      TScheduleKind::Mirror, [this](const TScheduleState& st) { ShowTimerState(st); });
}

TfrmMirrorMgr::~TfrmMirrorMgr() {
  // A read or a sync ends on its own: waited for, not killed, so that no svnsync is left
  // holding the mirror's lock.
  if (FWorker) {
    FWorker->disconnect(this);
    FWorker->wait();
    delete FWorker;
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
  if (!FState->Reading()) lblTimer->setText(Q("자동 동기화 예약을 확인하는 중입니다..."));
  FState->Refresh();
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
  ApplyScheduleAsked(s, AdminPath);
  RefreshTimerState();
}

void TfrmMirrorMgr::btnTimerOffClick() {
  RemoveScheduleTold(TScheduleKind::Mirror);
  RefreshTimerState();
}

// The source's newest revision is a network call per mirror: read in the background, and the
// list filled when every mirror is read.
void TfrmMirrorMgr::RefreshMirrorList() {
  if (FWorker) {
    FListStale = true;
    return;
  }
  ProjectMgr->Refresh();
  auto mirrors = std::make_shared<std::vector<TMirrorStatus>>();
  RunWorker(
      [mirrors, svnPath = BasicSetting->SVNPath, root = BasicSetting->RepoPath,
       projects = ProjectMgr->Projects] {
        for (const std::string& name : ListMirrors(svnPath, root, projects)) {
          TMirrorStatus s;
          if (ReadMirrorStatus(svnPath, root, name, true, s)) mirrors->push_back(s);
        }
      },
      [this, mirrors] { ShowMirrors(*mirrors); });
}

void TfrmMirrorMgr::ShowMirrors(const std::vector<TMirrorStatus>& mirrors) {
  const std::string selected = SelectedMirror();
  lvMirror->clear();
  for (const TMirrorStatus& s : mirrors) {
    auto* row = new QTreeWidgetItem(lvMirror);
    row->setText(0, Q(s.Name));
    row->setText(1, Q(s.Source));
    row->setText(2, RevisionText(s.LastMerged));
    row->setText(3, RevisionText(s.SourceYoungest));
    row->setText(4, s.LastSyncTime.empty() ? Q("-") : Q(s.LastSyncTime));
    if (!s.SourceError.empty()) row->setToolTip(3, Q(s.SourceError));
    if (s.Name == selected) row->setSelected(true);
  }
}

// Runs `work` on a thread of its own, with the mirror buttons off meanwhile, then `done` here.
void TfrmMirrorMgr::RunWorker(std::function<void()> work, std::function<void()> done) {
  btnSync->setEnabled(false);
  btnPromote->setEnabled(false);
  FWorker = QThread::create(std::move(work));
  connect(FWorker, &QThread::finished, this, [this, done = std::move(done)] {
    FWorker->deleteLater();
    FWorker = nullptr;
    btnSync->setEnabled(true);
    btnPromote->setEnabled(true);
    done();
    if (FListStale) {
      FListStale = false;
      RefreshMirrorList();
    }
  });
  FWorker->start();
}

void TfrmMirrorMgr::btnSyncClick() {
  const std::string name = SelectedMirror();
  if (name.empty() || FWorker) return;
  auto observer = std::make_shared<TKeptErrors>();
  RunWorker([observer, name, svnPath = BasicSetting->SVNPath,
             root = BasicSetting->RepoPath] { SyncMirror(svnPath, root, name, *observer); },
            [this, observer] {
              for (const std::string& e : observer->Errors)
                Prompt().MessageDlg(e, TMsgIcon::Error, mbOK);
              FListStale = true;
            });
}

void TfrmMirrorMgr::btnPromoteClick() {
  const std::string name = SelectedMirror();
  if (name.empty() || FWorker) return;
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
