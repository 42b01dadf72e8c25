#include "projects/UfrmProjectMgr.h"

#include "app/UfrmMain.h"
#include "base/UfnDesktop.h"
#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnAccessJobs.h"
#include "projects/UfnBackup.h"
#include "projects/UfnBackupJob.h"
#include "projects/UfnMirrorJob.h"
#include "projects/UfnProjectJobs.h"
#include "projects/UfnProjectUsers.h"
#include "projects/UfrmAccessMgr.h"
#include "projects/UfrmProjectMgr_Backup.h"
#ifdef ORLENWAY_RESTORE
#include "projects/UfrmRestore.h"
#endif
#include "server/UfnAPI.h"
#include "server/UfnShell.h"
#include "settings/UclsBasicSetting.h"
#include "users/UclsUserMgr.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>
#include <ctime>
#include <exception>
#include <thread>
#include <vector>

namespace {

const char* const kCreateCaption = "프로젝트 생성";
const char* const kCreatePrompt = "생성할 프로젝트 이름을 입력하세요";
const char* const kNoRepoPath = "저장소 경로 설정 해주세요";
const char* const kNoBackupProject = "백업할 프로젝트를 선택하세요.";
const char* const kUnappliedAccess =
    "권한 설정이 적용되지 않았습니다.\r\n\r\n다른 프로젝트로 넘어가기 전에 적용하시겠습니까?";

// The server control's box for the same missing setting.
void NoRepoPath() {
  Prompt().MessageBox("에라~", kNoRepoPath, TMsgIcon::Warning, mbOK);
}

// The jobs' notices and questions, in the window's message boxes: a plain notice for kind
// None, else the box whose caption names the kind.
class TPromptObserver : public TJobObserver {
public:
  void Notify(TMsgIcon kind, const std::string& text) override {
    if (kind == TMsgIcon::None)
      Prompt().ShowMessage(text);
    else
      Prompt().MessageDlg(text, kind, mbOK);
  }
  TMsgButton Ask(const std::string& text, TMsgIcon kind, TMsgButtons buttons) override {
    return Prompt().MessageDlg(text, kind, buttons);
  }
};

// The window's svnadmin: the command interpreter, in the repository root, finds it on the
// search path.
TProgramRun SvnadminThroughInterpreter(const std::string& root, const std::string& name) {
  TProgramRun run;
  const std::string saved = platform::GetCurrentDir();
  if (!platform::SetCurrentDir(root)) {
    run.Output = platform::LastErrorMessage();
    return run;
  }
  run.ExitCode = RunCommandOutput("svnadmin create " + QuotedPath(name), run.Output);
  platform::SetCurrentDir(saved);
  return run;
}

std::vector<std::string> SelectedCaptions(const QTreeWidget* lv) {
  std::vector<std::string> ids;
  for (int i = 0; i < lv->topLevelItemCount(); ++i)
    if (lv->topLevelItem(i)->isSelected())
      ids.push_back(lv->topLevelItem(i)->text(0).toStdString());
  return ids;
}

// Handlers end at the first error; it is shown in the application's error report.
template <class F> void Reported(F&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    ShowErrorReport(e.what());
  }
}

QTreeWidget* MakeList(QWidget* parent, const char* name, const char* column, int width, QRect r,
                      QAbstractItemView::SelectionMode mode) {
  auto* lv = new QTreeWidget(parent);
  lv->setObjectName(name);
  lv->setGeometry(r);
  lv->setColumnCount(1);
  lv->setHeaderLabels({Q(column)});
  // The header spans the list; the column is never narrower than it was laid out.
  lv->header()->setStretchLastSection(true);
  lv->header()->setMinimumSectionSize(width);
  lv->setColumnWidth(0, width);
  lv->setRootIsDecorated(false);
  lv->setSelectionMode(mode);
  lv->setSelectionBehavior(QAbstractItemView::SelectRows);
  lv->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lv->setAccessibleName(Q(column));
  return lv;
}

QGroupBox* MakeRadioGroup(QWidget* parent, const char* name, const char* caption, QRect r) {
  auto* g = new QGroupBox(Q(caption), parent);
  g->setObjectName(name);
  g->setGeometry(r);
  auto* buttons = new QButtonGroup(g);
  // The style says where the frame's title ends: the row goes below it, inside the frame.
  auto* row = new QHBoxLayout(g);
  row->setContentsMargins(8, 0, 4, 1);
  row->setSpacing(4);
  const char* items[] = {"None", "Read", "Write"};
  for (int i = 0; i < 3; ++i) {
    auto* rb = new QRadioButton(Q(items[i]), g);
    row->addWidget(rb);
    buttons->addButton(rb, i);
  }
  return g;
}

} // namespace

// No button is the dialog's default or cancel button: only the close box closes it.
TfrmProjectMgr::TfrmProjectMgr(QWidget* parent)
    : TFixedDialog(parent, "frmProjectMgr", "프로젝트 관리", {630, 301}, TKeys::NoDefaultOrCancel) {
  pnlLeft = new QWidget(this);
  pnlLeft->setGeometry(0, 0, 263, 301);
  lvProject = MakeList(pnlLeft, "lvProject", "Project List", 230, {4, 4, 253, 253},
                       QAbstractItemView::SingleSelection);
  btnAdd = MakeBoldButton(pnlLeft, "추가", {12, 264, 75, 25}, "btnAdd");
  btnBackup = MakeBoldButton(pnlLeft, "백업", {92, 264, 75, 25}, "btnBackup");
  btnDelete = MakeBoldButton(pnlLeft, "삭제", {172, 264, 75, 25}, "btnDelete");

  pnlClient = new QWidget(this);
  pnlClient->setGeometry(263, 0, 630 - 263, 301);
  pnlClient_Top = new QWidget(pnlClient);
  pnlClient_Top->setGeometry(0, 0, pnlClient->width(), 77);
  rgAnonAccess =
      MakeRadioGroup(pnlClient_Top, "rgAnonAccess", "Anonymous 사용자 권한", {4, 4, 205, 33});
  rgAuthAccess =
      MakeRadioGroup(pnlClient_Top, "rgAuthAccess", "인증 사용자 권한", {4, 40, 205, 33});
  btnApplyAuth = MakeBoldButton(pnlClient_Top, "권한 설정 적용", {240, 12, 93, 57}, "btnApplyAuth");
  // The rules' mark fits in the gap between the levels and the apply button.
  lblRules = new QLabel(pnlClient_Top);
  lblRules->setObjectName("lblRules");
  lblRules->setGeometry(211, 12, 27, 57);
  lblRules->setAlignment(Qt::AlignCenter);

  pnlClient_Client = new QWidget(pnlClient);
  pnlClient_Client->setGeometry(0, 77, pnlClient->width(), 301 - 77);
  lvRegUser = MakeList(pnlClient_Client, "lvRegUser", "등록된 사용자", 130, {8, 8, 149, 197},
                       QAbstractItemView::ExtendedSelection);
  sbtnReg = MakeSpeedButton(pnlClient_Client, "sbtnReg", "<", {164, 64, 29, 29});
  sbtnUnreg = MakeSpeedButton(pnlClient_Client, "sbtnUnreg", ">", {164, 120, 29, 29});
  // Under the "<" and ">" that grant the login, in the gap between the two lists.
  btnAccess = new QPushButton(Q("접근\n권한"), pnlClient_Client);
  btnAccess->setObjectName("btnAccess");
  btnAccess->setGeometry(164, 156, 29, 49);
  btnAccess->setAutoDefault(false);
  btnAccess->setToolTip(Q("접근 권한"));
  btnAccess->setAccessibleName(Q("접근 권한"));
  lvUnregUser = MakeList(pnlClient_Client, "lvUnregUser", "미등록 사용자", 130, {200, 8, 149, 197},
                         QAbstractItemView::ExtendedSelection);
  // Names the project the right half belongs to.
  lblProject = new QLabel(pnlClient_Client);
  lblProject->setObjectName("lblProject");
  lblProject->setGeometry(8, 207, 341, 16);
  lblProject->setTextFormat(Qt::PlainText);
  ClearProjectSide();

  connect(lvProject, &QTreeWidget::itemSelectionChanged, this, &TfrmProjectMgr::SelectionChanged);
  connect(btnAdd, &QPushButton::clicked, this, &TfrmProjectMgr::btnAddClick);
  connect(btnBackup, &QPushButton::clicked, this, &TfrmProjectMgr::btnBackupClick);
  connect(btnDelete, &QPushButton::clicked, this, &TfrmProjectMgr::btnDeleteClick);
  // In the free corner right of "권한 설정 적용", on the dialog itself: it works with no
  // project selected, when the right half is disabled.
#ifdef ORLENWAY_RESTORE
  btnRestore = MakeBoldButton(this, "복\n원", {600, 12, 26, 57}, "btnRestore");
  btnRestore->setAccessibleName(Q("복원"));
  btnRestore->setToolTip(Q("백업 압축 파일에서 새 프로젝트로 복원"));
  btnRestore->raise();
  connect(btnRestore, &QPushButton::clicked, this, &TfrmProjectMgr::btnRestoreClick);
#else
  btnRestore = nullptr;
#endif
  connect(btnApplyAuth, &QPushButton::clicked, this, &TfrmProjectMgr::btnApplyAuthClick);
  connect(btnAccess, &QPushButton::clicked, this, &TfrmProjectMgr::btnAccessClick);
  connect(sbtnReg, &QToolButton::clicked, this, &TfrmProjectMgr::sbtnRegClick);
  connect(sbtnUnreg, &QToolButton::clicked, this, &TfrmProjectMgr::sbtnUnregClick);
}

int TfrmProjectMgr::ItemIndex(const QGroupBox* group) {
  return group->findChild<QButtonGroup*>()->checkedId();
}

void TfrmProjectMgr::SetItemIndex(QGroupBox* group, int index) {
  auto* buttons = group->findChild<QButtonGroup*>();
  if (QAbstractButton* b = buttons->button(index)) {
    b->setChecked(true);
  } else if (QAbstractButton* checked = buttons->checkedButton()) {
    // An exclusive group never lets its checked button go.
    buttons->setExclusive(false);
    checked->setChecked(false);
    buttons->setExclusive(true);
  }
}

std::string TfrmProjectMgr::SelectedProject() const {
  const auto rows = lvProject->selectedItems();
  return rows.isEmpty() ? std::string() : rows.first()->text(0).toStdString();
}

std::string TfrmProjectMgr::RowPassword(const QTreeWidgetItem* row) {
  return row->data(0, Qt::UserRole).toString().toStdString();
}

void TfrmProjectMgr::FormShow() {
  RefreshProjectList();
}

void TfrmProjectMgr::RefreshProjectList() {
  {
    // Emptying the list takes the selection away without a selection event.
    QSignalBlocker block(lvProject);
    lvProject->clear();
    FSelected = nullptr;
  }
  ClearProjectSide();
  ProjectMgr->Refresh();
  for (int32_t i = 0; i < ProjectMgr->Count(); ++i)
    new QTreeWidgetItem(lvProject, {QString::fromStdString(ProjectMgr->GetProject(i))});
}

void TfrmProjectMgr::btnAddClick() {
  Reported([this] {
    const std::string root = BasicSetting->RepoPath;
    if (!RepositoryRootExists(root)) {
      NoRepoPath();
      return;
    }
    std::string name;
    if (!Prompt().InputQuery(kCreateCaption, kCreatePrompt, name, 255)) return;
    TPromptObserver observer;
    TCreateProject created;
    try {
      created = CreateProject(root, name, SvnadminThroughInterpreter, observer);
    } catch (...) {
      // The repository may be there, only its svnserve.conf not written: list it.
      RefreshProjectList();
      throw;
    }
    if (created == TCreateProject::NoRoot) NoRepoPath();
    if (created == TCreateProject::Created) RefreshProjectList();
  });
}

void TfrmProjectMgr::btnBackupClick() {
  const std::string project = SelectedProject();
  if (project.empty()) {
    Prompt().ShowMessage(kNoBackupProject);
    return;
  }
  // The backup job's own checks; the run itself is the dialog's, over the same job.
  const std::string check = CheckBackup(BasicSetting->RepoPath, project, BasicSetting->BackupPath);
  if (!check.empty()) {
    Prompt().ShowMessage(check);
    return;
  }
  const std::string folder = BackupProjectFolder(BasicSetting->RepoPath, project);
  // The server must not write into the repository while it is packed.
  const bool running = frmMain && frmMain->acStopServer->isEnabled();
  if (running) {
    if (Prompt().MessageDlg(kBackupStopServer, TMsgIcon::Warning, mbYes | mbNo) != mbYes) return;
    frmMain->acStopServer->trigger();
  }
  // Whatever the backup ends with, a server that ran is started again: as soon as the builder
  // is done, and at the latest once the dialog is gone.
  bool restarted = false;
  auto restart = [running, &restarted] {
    if (restarted) return;
    restarted = true;
    if (running && frmMain) frmMain->acStartServer->trigger();
  };
  try {
    TfrmProjectMgr_Backup dlg(this);
    dlg.OnBuilt = restart;
    dlg.SourceFolder = folder;
    dlg.ZipFileName =
        AddPathDelimiter(BasicSetting->BackupPath) + BackupArchiveName(project, std::time(nullptr));
    dlg.exec();
  } catch (...) {
    restart();
    throw;
  }
  restart();
}

void TfrmProjectMgr::btnDeleteClick() {
  const std::string project = SelectedProject();
  if (project.empty()) return;
  TPromptObserver observer;
  // A failure leaves the project in the rebuilt list; the job has said why.
  if (DeleteProject(BasicSetting->RepoPath, project, observer) == TDeleteProject::Declined) return;
  Reported([this] { RefreshProjectList(); });
}

void TfrmProjectMgr::btnRestoreClick() {
#ifdef ORLENWAY_RESTORE
  TfrmRestore dlg(this);
  dlg.OnRestored = [this](const std::string& name) {
    Reported([this, &name] {
      RefreshProjectList();
      const auto rows = lvProject->findItems(Q(name), Qt::MatchExactly);
      if (!rows.isEmpty()) lvProject->setCurrentItem(rows.first());
    });
  };
  dlg.exec();
#endif
}

void TfrmProjectMgr::SelectionChanged() {
  const auto rows = lvProject->selectedItems();
  QTreeWidgetItem* now = rows.isEmpty() ? nullptr : rows.first();
  QTreeWidgetItem* before = FSelected;
  FSelected = now;
  if (before && before != now && AccessChanged() &&
      Prompt().MessageDlg(kUnappliedAccess, TMsgIcon::Warning, mbYes | mbNo) == mbYes)
    Reported([this] { ApplyAccess(FShownProject); });
  if (now)
    lvProjectSelectItem(now, true);
  else {
    if (before) lvProjectSelectItem(before, false);
    ClearProjectSide();
  }
}

bool TfrmProjectMgr::AccessChanged() const {
  return !FShownProject.empty() &&
         (ItemIndex(rgAnonAccess) != FShownAnon || ItemIndex(rgAuthAccess) != FShownAuth);
}

void TfrmProjectMgr::ClearProjectSide() {
  FShownProject.clear();
  FShownAnon = FShownAuth = -1;
  SetItemIndex(rgAnonAccess, -1);
  SetItemIndex(rgAuthAccess, -1);
  lvRegUser->clear();
  lvUnregUser->clear();
  lblProject->clear();
  lblRules->clear();
  lblRules->setToolTip(QString());
  pnlClient->setEnabled(false);
}

void TfrmProjectMgr::lvProjectSelectItem(QTreeWidgetItem*, bool selected) {
  if (!selected) return;
  const std::string project = SelectedProject();
  FShownProject = project;
  // A mirror serves reads only; its users and levels work as on any project.
  TMirrorStatus mirror;
  const bool isMirror =
      ReadMirrorStatus(BasicSetting->SVNPath, BasicSetting->RepoPath, project, false, mirror);
  lblProject->setText(Q("프로젝트: ") + QString::fromStdString(project) +
                      (isMirror ? Q(" (읽기 전용 미러)") : QString()));
  lblProject->setToolTip(isMirror ? Q("원본: " + mirror.Source) : QString());
  if (isMirror) ShowMirrorLag(project);
  pnlClient->setEnabled(true);
  ShowRulesMark();
  Reported([this] {
    LoadAccess();
    try {
      RefreshRegUsers();
    } catch (const EPasswordDbOutside& e) {
      UnmanagedUsers(e);
      return;
    }
    ImportProjectUsers(*UserMgr, RegUsers());
    RefreshUnregUsers();
  });
}

void TfrmProjectMgr::ShowRulesMark() {
  const std::string project = SelectedProject();
  const TProjectRules rules = ReadProjectRules(BasicSetting->RepoPath, project);
  std::vector<std::string> paths;
  if (rules.Enabled && rules.Rules.Valid()) paths = RulePaths(rules.Rules, project);
  if (rules.Enabled && !rules.Rules.Valid()) {
    lblRules->setText(Q("규칙\n오류"));
    lblRules->setToolTip(Q(InvalidRulesText(rules)));
  } else if (!paths.empty()) {
    QStringList where;
    for (const std::string& p : paths)
      where << Q(p);
    lblRules->setText(Q("규칙\n있음"));
    lblRules->setToolTip(Q("접근 권한 규칙이 있는 경로: ") + where.join(", "));
  } else {
    lblRules->clear();
    lblRules->setToolTip(QString());
  }
}

void TfrmProjectMgr::btnAccessClick() {
  const std::string project = SelectedProject();
  if (project.empty()) return;
  ShowAccessMgr(project);
  ShowRulesMark();
}

void TfrmProjectMgr::ShowMirrorLag(const std::string& project) {
  // The source's newest revision is a network call: asked on a worker, shown when it comes,
  // if the project is still the one shown. The window may be gone by then.
  QPointer<TfrmProjectMgr> form(this);
  auto show = [form, project](const TMirrorStatus& s) {
    if (!form || form->FShownProject != project) return;
    form->ShowMirrorStatus(s);
  };
  std::thread([svnPath = BasicSetting->SVNPath, root = BasicSetting->RepoPath, project, show] {
    TMirrorStatus s;
    if (!ReadMirrorStatus(svnPath, root, project, true, s)) return;
    QMetaObject::invokeMethod(
        qApp, [show, s] { show(s); }, Qt::QueuedConnection);
  }).detach();
}

void TfrmProjectMgr::ShowMirrorStatus(const TMirrorStatus& s) {
  auto revision = [](long r) { return r < 0 ? std::string("?") : std::to_string(r); };
  // "2026-12-10T18:00:00Z" shows as "12-10 18:00".
  std::string when = "-";
  if (s.LastSyncTime.size() >= 16) {
    when = s.LastSyncTime.substr(5, 11);
    when[5] = ' ';
  }
  const QString text = Q("프로젝트: " + s.Name + " (읽기 전용 미러) 리비전 " +
                         revision(s.LastMerged) + "/" + revision(s.SourceYoungest) + " · " + when);
  lblProject->setText(
      lblProject->fontMetrics().elidedText(text, Qt::ElideMiddle, lblProject->width()));
  std::string tip = "원본: " + s.Source + "\n동기화한 리비전: " + revision(s.LastMerged) +
                    "\n원본의 최신 리비전: " + revision(s.SourceYoungest) +
                    (s.SourceError.empty() ? "" : " (" + s.SourceError + ")") +
                    "\n마지막 동기화: " + (s.LastSyncTime.empty() ? "-" : s.LastSyncTime);
  lblProject->setToolTip(Q(tip));
}

void TfrmProjectMgr::LoadAccess() {
  const std::string project = SelectedProject();
  if (project.empty()) return;
  // A level the job does not know shows no choice: the last project's, left standing, would
  // be written into this one by the next apply.
  const TProjectAccess access = ReadProjectAccess(BasicSetting->RepoPath, project);
  SetItemIndex(rgAnonAccess, static_cast<int>(access.Anon));
  SetItemIndex(rgAuthAccess, static_cast<int>(access.Auth));
  FShownAnon = ItemIndex(rgAnonAccess);
  FShownAuth = ItemIndex(rgAuthAccess);
}

void TfrmProjectMgr::btnApplyAuthClick() {
  Reported([this] { ApplyAccess(); });
}

void TfrmProjectMgr::ApplyAccess() {
  ApplyAccess(SelectedProject());
}

void TfrmProjectMgr::ApplyAccess(const std::string& project) {
  if (project.empty()) return;
  const TProjectAccess access{static_cast<TAccessLevel>(ItemIndex(rgAnonAccess)),
                              static_cast<TAccessLevel>(ItemIndex(rgAuthAccess))};
  if (!SetProjectAccess(BasicSetting->RepoPath, project, access)) return;
  if (project == FShownProject) {
    FShownAnon = ItemIndex(rgAnonAccess);
    FShownAuth = ItemIndex(rgAuthAccess);
  }
}

void TfrmProjectMgr::RefreshRegUsers() {
  const std::string project = SelectedProject();
  if (project.empty()) return;
  lvRegUser->clear();
  for (const TProjectUser& user : ListProjectUsers(BasicSetting->RepoPath, project)) {
    auto* row = new QTreeWidgetItem(lvRegUser, {QString::fromStdString(user.Id)});
    row->setData(0, Qt::UserRole, QString::fromStdString(user.Password));
  }
}

std::vector<TProjectUser> TfrmProjectMgr::RegUsers() const {
  std::vector<TProjectUser> users;
  for (int i = 0; i < lvRegUser->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = lvRegUser->topLevelItem(i);
    users.push_back({row->text(0).toStdString(), RowPassword(row)});
  }
  return users;
}

void TfrmProjectMgr::UnmanagedUsers(const EPasswordDbOutside& e) {
  // Neither list: the project's users are not this program's to show or to change.
  lvRegUser->clear();
  lvUnregUser->clear();
  Prompt().MessageDlg(e.what(), TMsgIcon::Warning, mbOK);
}

void TfrmProjectMgr::RefreshUnregUsers() {
  lvUnregUser->clear();
  for (const std::string& id : UnregisteredUsers(*UserMgr, RegUsers()))
    new QTreeWidgetItem(lvUnregUser, {QString::fromStdString(id)});
}

void TfrmProjectMgr::sbtnRegClick() {
  Reported([this] {
    const std::string project = SelectedProject();
    if (project.empty()) return;
    try {
      GrantProjectUsers(BasicSetting->RepoPath, project, *UserMgr, SelectedCaptions(lvUnregUser));
    } catch (const EPasswordDbOutside& e) {
      UnmanagedUsers(e);
      return;
    }
    RefreshRegUsers();
    RefreshUnregUsers();
  });
}

void TfrmProjectMgr::sbtnUnregClick() {
  Reported([this] {
    const std::string project = SelectedProject();
    if (project.empty()) return;
    TPromptObserver observer;
    try {
      WithdrawProjectUsers(BasicSetting->RepoPath, project, SelectedCaptions(lvRegUser), observer);
    } catch (const EPasswordDbOutside& e) {
      UnmanagedUsers(e);
      return;
    }
    RefreshRegUsers();
    RefreshUnregUsers();
  });
}

void ShowProjectMgr() {
  TfrmProjectMgr dlg(QApplication::activeWindow());
  dlg.exec();
}
