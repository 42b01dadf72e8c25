#include "projects/UfrmProjectMgr.h"

#include "app/UfrmMain.h"
#include "base/UfnDesktop.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnBackup.h"
#include "projects/UfnProfileFile.h"
#include "projects/UfrmProjectMgr_Backup.h"
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
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>
#include <ctime>
#include <exception>
#include <vector>

namespace {

const char* const kCreateCaption = "프로젝트 생성";
const char* const kCreatePrompt = "생성할 프로젝트 이름을 입력하세요";
const char* const kBadName = "프로젝트 이름이 올바르지 않습니다.";
const char* const kNoRepoPath = "저장소 경로 설정 해주세요";
const char* const kProjectExists = "같은 이름의 프로젝트나 파일이 이미 있습니다.";
const char* const kNoBackupProject = "백업할 프로젝트를 선택하세요.";
const char* const kNoProjectFolder = "백업할 프로젝트 폴더가 존재하지 않습니다.";
const char* const kNoBackupFolder = "백업 폴더가 존재하지 않습니다.";
const char* const kStopForBackup =
    "백업을 진행하는 도중은 서버가 잠시 중지됩니다.\r\n\r\n백업을 진행하시겠습니까?";
const char* const kDeleteQuestion = "저장소 폴더를 휴지통으로 보냅니다.\r\n\r\n삭제하시겠습니까?";
const char* const kUnappliedAccess =
    "권한 설정이 적용되지 않았습니다.\r\n\r\n다른 프로젝트로 넘어가기 전에 적용하시겠습니까?";
const char* const kGeneral = "general";
const char* const kAnonAccess = "anon-access";
const char* const kAuthAccess = "auth-access";
const char* const kLevels[] = {"none", "read", "write"};

// The server control's box for the same missing setting.
void NoRepoPath() {
  Prompt().MessageBox("에라~", kNoRepoPath, TMsgIcon::Warning, mbOK);
}

std::string IdOf(const std::string& line) {
  return line.substr(0, line.find('='));
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

  pnlClient_Client = new QWidget(pnlClient);
  pnlClient_Client->setGeometry(0, 77, pnlClient->width(), 301 - 77);
  lvRegUser = MakeList(pnlClient_Client, "lvRegUser", "등록된 사용자", 130, {8, 8, 149, 197},
                       QAbstractItemView::ExtendedSelection);
  sbtnReg = MakeSpeedButton(pnlClient_Client, "sbtnReg", "<", {164, 64, 29, 29});
  sbtnUnreg = MakeSpeedButton(pnlClient_Client, "sbtnUnreg", ">", {164, 120, 29, 29});
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
  connect(btnApplyAuth, &QPushButton::clicked, this, &TfrmProjectMgr::btnApplyAuthClick);
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
    // Without the root, svnadmin would make the repository wherever the current folder is.
    const std::string root = BasicSetting->RepoPath;
    if (root.empty() || !platform::DirectoryExists(root)) {
      NoRepoPath();
      return;
    }
    std::string name;
    if (!Prompt().InputQuery(kCreateCaption, kCreatePrompt, name, 255)) return;
    name = text::Trim(name);
    switch (CheckNewProjectName(root, name)) {
    case TProjectNameCheck::Ok:
      break;
    case TProjectNameCheck::Empty:
      return;
    case TProjectNameCheck::NotPlain:
      Prompt().ShowMessage(kBadName);
      return;
    case TProjectNameCheck::Taken:
      Prompt().ShowMessage(kProjectExists);
      return;
    }
    const std::string saved = platform::GetCurrentDir();
    if (!platform::SetCurrentDir(root)) {
      NoRepoPath();
      return;
    }
    std::string output;
    const int code = RunCommandOutput("svnadmin create " + QuotedPath(name), output);
    platform::SetCurrentDir(saved);
    if (code != 0) {
      // svnadmin's own words say why; there is no repository to configure or list.
      output = text::Trim(output);
      if (output.empty()) output = "svnadmin 종료 코드 " + std::to_string(code);
      Prompt().MessageDlg("프로젝트를 만들지 못했습니다.\r\n\r\n" + AddPathDelimiter(root) + name +
                              "\r\n" + output,
                          TMsgIcon::Error, mbOK);
      return;
    }
    RefreshProjectList();
    ProfileFile(TclsProjectMgr::ConfigFile(name)).WriteValue(kGeneral, "password-db", "passwd");
  });
}

void TfrmProjectMgr::btnBackupClick() {
  const std::string project = SelectedProject();
  if (project.empty()) {
    Prompt().ShowMessage(kNoBackupProject);
    return;
  }
  const std::string folder = AddPathDelimiter(AddPathDelimiter(BasicSetting->RepoPath) + project);
  if (!platform::DirectoryExists(folder)) {
    Prompt().ShowMessage(kNoProjectFolder);
    return;
  }
  if (!platform::DirectoryExists(BasicSetting->BackupPath)) {
    Prompt().ShowMessage(kNoBackupFolder);
    return;
  }
  // The server must not write into the repository while it is packed.
  const bool running = frmMain && frmMain->acStopServer->isEnabled();
  if (running) {
    if (Prompt().MessageDlg(kStopForBackup, TMsgIcon::Warning, mbYes | mbNo) != mbYes) return;
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
  if (Prompt().MessageDlg(kDeleteQuestion, TMsgIcon::Information, mbYes | mbNo) != mbYes) return;
  // A failure leaves the project in the rebuilt list, and says so.
  const std::string folder = AddPathDelimiter(BasicSetting->RepoPath) + project;
  if (!DeleteToRecycleBin(folder))
    Prompt().MessageDlg("프로젝트 폴더를 휴지통으로 보내지 못했습니다.\r\n\r\n" + folder + "\r\n" +
                            platform::LastErrorMessage(),
                        TMsgIcon::Error, mbOK);
  Reported([this] { RefreshProjectList(); });
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
  pnlClient->setEnabled(false);
}

void TfrmProjectMgr::lvProjectSelectItem(QTreeWidgetItem*, bool selected) {
  if (!selected) return;
  const std::string project = SelectedProject();
  FShownProject = project;
  lblProject->setText(Q("프로젝트: ") + QString::fromStdString(project));
  pnlClient->setEnabled(true);
  Reported([this] {
    LoadAccess();
    try {
      RefreshRegUsers();
    } catch (const EPasswordDbOutside& e) {
      UnmanagedUsers(e);
      return;
    }
    // The registry learns every user of the project that it lacks, but for one that User.Dat
    // cannot hold (a lone CR in passwd is part of the line for svnserve).
    for (int i = 0; i < lvRegUser->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* row = lvRegUser->topLevelItem(i);
      const std::string id = row->text(0).toStdString(), password = RowPassword(row);
      if ((id + password).find_first_of("\r\n") != std::string::npos) continue;
      if (!UserMgr->Exists(id)) UserMgr->SetUser(id, password);
    }
    RefreshUnregUsers();
  });
}

void TfrmProjectMgr::LoadAccess() {
  const std::string project = SelectedProject();
  if (project.empty()) return;
  // An absent key means svnserve's own default: anonymous users read, authenticated write.
  ProfileFile conf(TclsProjectMgr::ConfigFile(project));
  const std::pair<QGroupBox*, std::string> values[] = {
      {rgAnonAccess, conf.ReadValue(kGeneral, kAnonAccess, "read")},
      {rgAuthAccess, conf.ReadValue(kGeneral, kAuthAccess, "write")}};
  // Any other value (svnserve lets nobody in with it) shows no choice: the last project's,
  // left standing, would be written into this one by the next apply.
  for (const auto& [group, value] : values) {
    int index = -1;
    for (int i = 0; i < 3; ++i)
      if (value == kLevels[i]) index = i;
    SetItemIndex(group, index);
  }
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
  const std::string file = TclsProjectMgr::ConfigFile(project);
  if (!platform::FileExists(file)) return;
  const std::pair<QGroupBox*, const char*> keys[] = {{rgAnonAccess, kAnonAccess},
                                                     {rgAuthAccess, kAuthAccess}};
  for (const auto& [group, key] : keys) {
    const int index = ItemIndex(group);
    if (index >= 0) ProfileFile(file).WriteValue(kGeneral, key, kLevels[index]);
  }
  if (project == FShownProject) {
    FShownAnon = ItemIndex(rgAnonAccess);
    FShownAuth = ItemIndex(rgAuthAccess);
  }
}

void TfrmProjectMgr::RefreshRegUsers() {
  const std::string project = SelectedProject();
  if (project.empty()) return;
  std::vector<std::string> lines;
  lvRegUser->clear();
  ProjectMgr->ReadUsers(project, lines);
  for (const std::string& line : lines) {
    const std::string id = IdOf(line);
    std::string password;
    for (const std::string& other : lines) {
      if (platform::SameTextIgnoreCase(IdOf(other), id)) {
        password = other.substr(other.find('=') + 1);
        break;
      }
    }
    auto* row = new QTreeWidgetItem(lvRegUser, {QString::fromStdString(id)});
    row->setData(0, Qt::UserRole, QString::fromStdString(password));
  }
}

void TfrmProjectMgr::UnmanagedUsers(const EPasswordDbOutside& e) {
  // Neither list: the project's users are not this program's to show or to change.
  lvRegUser->clear();
  lvUnregUser->clear();
  Prompt().MessageDlg(e.what(), TMsgIcon::Warning, mbOK);
}

void TfrmProjectMgr::RefreshUnregUsers() {
  lvUnregUser->clear();
  for (int32_t i = 0; i < UserMgr->Count(); ++i) {
    std::string id, password;
    UserMgr->GetUser(i, id, password);
    // A registry line without an ID is no account a project could be given.
    if (id.empty()) continue;
    bool registered = false;
    for (int r = 0; r < lvRegUser->topLevelItemCount() && !registered; ++r)
      registered = lvRegUser->topLevelItem(r)->text(0).toStdString() == id;
    if (!registered) new QTreeWidgetItem(lvUnregUser, {QString::fromStdString(id)});
  }
}

void TfrmProjectMgr::sbtnRegClick() {
  Reported([this] {
    const std::string project = SelectedProject();
    if (project.empty()) return;
    try {
      for (int i = 0; i < lvUnregUser->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = lvUnregUser->topLevelItem(i);
        if (!row->isSelected()) continue;
        const std::string id = row->text(0).toStdString();
        ProjectMgr->WriteUser(project, id, UserMgr->GetPassword(id));
      }
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
    std::string kept;
    try {
      for (int i = 0; i < lvRegUser->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = lvRegUser->topLevelItem(i);
        if (!row->isSelected()) continue;
        const std::string id = row->text(0).toStdString();
        ProjectMgr->DeleteUser(project, id);
        // The file may refuse the change (read-only): the user still gets in, so say so.
        if (ProjectMgr->HasUser(project, id)) kept += (kept.empty() ? "" : ", ") + id;
      }
    } catch (const EPasswordDbOutside& e) {
      UnmanagedUsers(e);
      return;
    }
    RefreshRegUsers();
    RefreshUnregUsers();
    if (!kept.empty())
      Prompt().MessageDlg("다음 사용자의 권한을 회수하지 못했습니다: " + kept + "\r\n\r\n" +
                              TclsProjectMgr::PasswordDbFile(project) +
                              "\r\n파일을 고칠 수 없습니다 (읽기 전용이거나 쓰기 권한이 "
                              "없습니다).",
                          TMsgIcon::Error, mbOK);
  });
}

void ShowProjectMgr() {
  TfrmProjectMgr dlg(QApplication::activeWindow());
  dlg.exec();
}
