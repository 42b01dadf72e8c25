#include "projects/UfrmBackupSchedule.h"

#include "base/UfnDesktop.h"
#include "base/UfnJob.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnBackupRecord.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTreeWidget>

#include <algorithm>
#include <memory>

namespace {

const char* const kDays[] = {"월요일", "화요일", "수요일", "목요일", "금요일", "토요일", "일요일"};

QString ResultText(const std::string& result) {
  if (result == "done") return Q("완료");
  if (result == "skipped") return Q("바뀐 것 없음");
  if (result == "failed") return Q("실패");
  return Q(result);
}

} // namespace

TfrmBackupSchedule::TfrmBackupSchedule(QWidget* parent)
    : TFixedDialog(parent, "frmBackupSchedule", "백업 예약", QSize(520, 430), TKeys::Standard),
      AdminPath(InstalledAdminProgram()) {
  rbAll = new QRadioButton(Q("모든 프로젝트(&A)"), this);
  rbAll->setObjectName("rbAll");
  rbAll->setGeometry(8, 8, 160, 20);
  rbAll->setChecked(true);
  rbChosen = new QRadioButton(Q("선택한 프로젝트(&P)"), this);
  rbChosen->setObjectName("rbChosen");
  rbChosen->setGeometry(8, 30, 160, 20);
  lstProjects = new QListWidget(this);
  lstProjects->setObjectName("lstProjects");
  lstProjects->setGeometry(8, 54, 190, 150);
  lstProjects->setAccessibleName(Q("백업할 프로젝트"));

  // Which projects and how often are two choices, not one.
  auto* projects = new QButtonGroup(this);
  projects->addButton(rbAll);
  projects->addButton(rbChosen);
  rbDaily = new QRadioButton(Q("매일(&D)"), this);
  rbDaily->setObjectName("rbDaily");
  rbDaily->setGeometry(216, 8, 90, 20);
  rbDaily->setChecked(true);
  rbWeekly = new QRadioButton(Q("매주(&W)"), this);
  rbWeekly->setObjectName("rbWeekly");
  rbWeekly->setGeometry(216, 32, 70, 20);
  auto* period = new QButtonGroup(this);
  period->addButton(rbDaily);
  period->addButton(rbWeekly);
  cbDay = new QComboBox(this);
  cbDay->setObjectName("cbDay");
  cbDay->setGeometry(290, 30, 90, 22);
  for (const char* day : kDays)
    cbDay->addItem(Q(day));
  cbDay->setAccessibleName(Q("요일"));
  edtTime = new QTimeEdit(QTime(2, 30), this);
  edtTime->setObjectName("edtTime");
  edtTime->setDisplayFormat("HH:mm");
  edtTime->setGeometry(330, 60, 70, 22);
  MakeLabelLeftOf(edtTime, "시각(&T):");
  edtKeep = new QSpinBox(this);
  edtKeep->setObjectName("edtKeep");
  edtKeep->setRange(0, 9999);
  edtKeep->setSpecialValueText(Q("모두"));
  edtKeep->setGeometry(330, 90, 70, 22);
  MakeLabelLeftOf(edtKeep, "남길 백업 수(&K):");
  edtMaxAge = new QSpinBox(this);
  edtMaxAge->setObjectName("edtMaxAge");
  edtMaxAge->setRange(0, 36500);
  edtMaxAge->setSpecialValueText(Q("제한 없음"));
  edtMaxAge->setGeometry(330, 120, 70, 22);
  MakeLabelLeftOf(edtMaxAge, "보관 일수(&G):");

  btnApply = MakeBoldButton(this, "적용", {216, 179, 75, 25}, "btnApply");
  btnOff = MakeBoldButton(this, "끄기", {296, 179, 75, 25}, "btnOff");

  lblState = new QLabel(this);
  lblState->setObjectName("lblState");
  lblState->setGeometry(8, 212, 504, 36);
  lblState->setWordWrap(true);
  lblState->setTextInteractionFlags(Qt::TextSelectableByMouse);

  lvResult = new QTreeWidget(this);
  lvResult->setObjectName("lvResult");
  lvResult->setGeometry(8, 252, 504, 170);
  lvResult->setRootIsDecorated(false);
  lvResult->setHeaderLabels({Q("프로젝트"), Q("마지막 실행"), Q("결과"), Q("압축 파일 / 이유")});
  lvResult->setColumnWidth(0, 100);
  lvResult->setColumnWidth(1, 110);
  lvResult->setColumnWidth(2, 80);
  lvResult->setAccessibleName(Q("프로젝트마다 마지막 백업 결과"));

  connect(rbAll, &QRadioButton::toggled, this, [this] { UpdateControls(); });
  connect(rbWeekly, &QRadioButton::toggled, this, [this] { UpdateControls(); });
  connect(btnApply, &QPushButton::clicked, this, &TfrmBackupSchedule::btnApplyClick);
  connect(btnOff, &QPushButton::clicked, this, &TfrmBackupSchedule::btnOffClick);
  FState = std::make_unique<TScheduleStateReader>(
      TScheduleKind::Backup, [this](const TScheduleState& st) { ShowState(st); });
  UpdateControls();
}

TfrmBackupSchedule::~TfrmBackupSchedule() = default;

void TfrmBackupSchedule::UpdateControls() {
  lstProjects->setEnabled(rbChosen->isChecked());
  cbDay->setEnabled(rbWeekly->isChecked());
}

void TfrmBackupSchedule::FormShow() {
  lstProjects->clear();
  ProjectMgr->Refresh();
  for (const std::string& name : ProjectMgr->Projects) {
    auto* item = new QListWidgetItem(Q(name), lstProjects);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
  RefreshResults();
  RefreshState();
}

TSchedule TfrmBackupSchedule::ChosenSchedule() const {
  TSchedule s;
  s.AllProjects = rbAll->isChecked();
  for (int i = 0; i < lstProjects->count(); ++i)
    if (lstProjects->item(i)->checkState() == Qt::Checked)
      s.Projects.push_back(lstProjects->item(i)->text().toStdString());
  if (s.AllProjects) s.Projects.clear();
  s.Weekly = rbWeekly->isChecked();
  s.Day = cbDay->currentIndex() + 1;
  s.Hour = edtTime->time().hour();
  s.Minute = edtTime->time().minute();
  s.Keep = static_cast<std::size_t>(edtKeep->value());
  s.MaxAge = edtMaxAge->value();
  return s;
}

void TfrmBackupSchedule::RefreshResults() {
  lvResult->clear();
  std::vector<TBackupRecordEntry> entries;
  std::string error;
  if (!ReadBackupRecord(BackupRecordFile(), entries, error)) {
    auto* row = new QTreeWidgetItem(lvResult);
    row->setText(3, Q(error));
    return;
  }
  for (const TBackupRecordEntry& e : entries) {
    auto* row = new QTreeWidgetItem(lvResult);
    row->setText(0, Q(e.Name));
    row->setText(1, Q(BackupRecordLocalTime(e.End ? e.End : e.Start)));
    row->setText(2, ResultText(e.Result));
    row->setText(3, Q(e.Result == "failed" ? e.Error : e.Archive));
    row->setToolTip(3, row->text(3));
  }
}

// The scheduler's programs may take a moment (a busy user manager): read in the background
// and show the state when it is known.
void TfrmBackupSchedule::RefreshState() {
  if (!FState->Reading()) lblState->setText(Q("예약 상태를 확인하는 중입니다..."));
  FState->Refresh();
}

void TfrmBackupSchedule::ShowState(const TScheduleState& st) {
  if (!st.On) {
    lblState->setText(Q("예약: 꺼짐"));
    btnOff->setEnabled(false);
    return;
  }
  std::string text = "예약: 켜짐 (" + st.Where + (st.Detail.empty() ? "" : ", " + st.Detail) + ")";
  if (!st.NextRun.empty()) text += "\n다음 실행: " + st.NextRun;
  lblState->setText(Q(text));
  btnOff->setEnabled(true);
}

void TfrmBackupSchedule::btnApplyClick() {
  ApplyScheduleAsked(ChosenSchedule(), AdminPath);
  RefreshState();
}

void TfrmBackupSchedule::btnOffClick() {
  RemoveScheduleTold(TScheduleKind::Backup);
  RefreshState();
}

void ShowBackupSchedule() {
  TfrmBackupSchedule form;
  form.exec();
}
