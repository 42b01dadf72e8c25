#include "projects/UfrmAccessMgr.h"

#include "base/UfnDesktop.h"
#include "base/UfnJob.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnAccessGroups.h"
#include "server/UfnShell.h"
#include "server/UfnSubversion.h"
#include "settings/UclsBasicSetting.h"
#include "users/UclsUserMgr.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QTreeWidget>
#include <algorithm>
#include <memory>

namespace {

const char* const kRestoreQuestion =
    "\r\n\r\n프로그램이 마지막으로 저장한 파일로 되돌리시겠습니까?";

// Refusals and failures in a message box; what was done in the status line.
class TAccessObserver : public TJobObserver {
public:
  explicit TAccessObserver(QLabel* status) : FStatus(status) {}
  void Notify(TMsgIcon kind, const std::string& text) override {
    if (kind == TMsgIcon::Error || kind == TMsgIcon::Warning)
      Prompt().MessageDlg(text, kind, mbOK);
    else
      FStatus->setText(Q(text));
  }
  TMsgButton Ask(const std::string& text, TMsgIcon kind, TMsgButtons buttons) override {
    return Prompt().MessageDlg(text, kind, buttons);
  }

private:
  QLabel* FStatus;
};

QString RightsCaption(const std::string& value) {
  if (value == "rw") return Q("쓰기");
  if (value == "r") return Q("읽기");
  if (value.empty()) return Q("없음");
  return Q(value);
}

QTreeWidget* MakeList(QWidget* parent, const char* name, QStringList columns, QRect r) {
  auto* lv = new QTreeWidget(parent);
  lv->setObjectName(name);
  lv->setGeometry(r);
  lv->setHeaderLabels(columns);
  lv->setRootIsDecorated(false);
  lv->setSelectionMode(QAbstractItemView::SingleSelection);
  lv->setColumnWidth(0, 160);
  lv->setAccessibleName(columns.first());
  return lv;
}

QPushButton* MakeButton(QWidget* parent, const char* caption, QRect r, const char* name) {
  return MakeBoldButton(parent, caption, r, name);
}

std::vector<std::string> Words(const QString& text) {
  std::vector<std::string> words;
  for (const QString& w : text.split(QRegularExpression("[\\s,]+"), Qt::SkipEmptyParts))
    words.push_back(w.toStdString());
  return words;
}

std::vector<std::string> RegistryUsers() {
  std::vector<std::string> ids;
  for (int32_t i = 0; i < UserMgr->Count(); ++i) {
    std::string id, password;
    UserMgr->GetUser(i, id, password);
    if (!id.empty()) ids.push_back(id);
  }
  return ids;
}

} // namespace

TfrmAccessMgr::TfrmAccessMgr(QWidget* parent, const std::string& project)
    : TFixedDialog(parent, "frmAccessMgr", "접근 권한", QSize(630, 400), TKeys::Standard),
      FProject(project) {
  cbProject = new QComboBox(this);
  cbProject->setObjectName("cbProject");
  cbProject->setGeometry(72, 8, 200, 21);
  MakeLabelLeftOf(cbProject, "프로젝트");
  lblStatus = new QLabel(this);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setGeometry(8, 366, 530, 25);
  lblStatus->setTextFormat(Qt::PlainText);
  btnClose = MakeBoldButton(this, "닫기", {547, 366, 75, 25}, "btnClose");
  connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

  pcAccess = new QTabWidget(this);
  pcAccess->setObjectName("pcAccess");
  pcAccess->setGeometry(8, 36, 614, 322);

  // The rules of one path.
  auto* tsRules = new QWidget;
  pcAccess->addTab(tsRules, Q("규칙"));
  cbPath = new QComboBox(tsRules);
  cbPath->setObjectName("cbPath");
  cbPath->setEditable(true);
  cbPath->setInsertPolicy(QComboBox::NoInsert);
  cbPath->setGeometry(48, 8, 340, 21);
  MakeLabelLeftOf(cbPath, "경로");
  lblFolders = new QLabel(tsRules);
  lblFolders->setObjectName("lblFolders");
  lblFolders->setGeometry(396, 8, 200, 21);
  lvRule = MakeList(tsRules, "lvRule", {Q("대상"), Q("권한")}, {8, 36, 380, 196});
  cbWho = new QComboBox(tsRules);
  cbWho->setObjectName("cbWho");
  cbWho->setEditable(true);
  cbWho->setInsertPolicy(QComboBox::NoInsert);
  cbWho->setGeometry(436, 36, 160, 21);
  MakeLabelLeftOf(cbWho, "대상");
  auto* gbRights = new QGroupBox(Q("권한"), tsRules);
  gbRights->setObjectName("gbRights");
  gbRights->setGeometry(396, 64, 200, 44);
  auto* row = new QHBoxLayout(gbRights);
  row->setContentsMargins(8, 0, 4, 1);
  rbRead = new QRadioButton(Q("읽기"), gbRights);
  rbWrite = new QRadioButton(Q("쓰기"), gbRights);
  rbNone = new QRadioButton(Q("없음"), gbRights);
  rbRead->setObjectName("rbRead");
  rbWrite->setObjectName("rbWrite");
  rbNone->setObjectName("rbNone");
  row->addWidget(rbRead);
  row->addWidget(rbWrite);
  row->addWidget(rbNone);
  rbRead->setChecked(true);
  btnSetRule = MakeButton(tsRules, "추가", {396, 116, 75, 25}, "btnSetRule");
  btnSetRule->setToolTip(Q("대상의 항목이 이미 있으면 바꿉니다"));
  btnUnsetRule = MakeButton(tsRules, "삭제", {476, 116, 75, 25}, "btnUnsetRule");
  lblInvalid = new QLabel(tsRules);
  lblInvalid->setObjectName("lblInvalid");
  lblInvalid->setGeometry(8, 238, 500, 52);
  lblInvalid->setWordWrap(true);
  lblInvalid->setTextFormat(Qt::PlainText);
  lblInvalid->setStyleSheet("color: #b00000");
  btnRestore = MakeButton(tsRules, "되돌리기", {516, 238, 80, 25}, "btnRestore");

  // Groups of the whole root.
  auto* tsGroups = new QWidget;
  pcAccess->addTab(tsGroups, Q("그룹"));
  lvGroup = MakeList(tsGroups, "lvGroup", {Q("그룹"), Q("구성원")}, {8, 8, 380, 282});
  edtGroup = new QLineEdit(tsGroups);
  edtGroup->setObjectName("edtGroup");
  edtGroup->setGeometry(448, 8, 148, 21);
  MakeLabelLeftOf(edtGroup, "그룹");
  edtMembers = new QLineEdit(tsGroups);
  edtMembers->setObjectName("edtMembers");
  edtMembers->setGeometry(448, 36, 148, 21);
  edtMembers->setToolTip(Q("사용자 ID를 쉼표나 빈칸으로 나눕니다"));
  MakeLabelLeftOf(edtMembers, "구성원");
  btnAddMembers = MakeButton(tsGroups, "추가", {396, 64, 98, 25}, "btnAddMembers");
  btnRemoveMembers = MakeButton(tsGroups, "구성원 빼기", {498, 64, 98, 25}, "btnRemoveMembers");
  btnDeleteGroup = MakeButton(tsGroups, "그룹 삭제", {396, 96, 98, 25}, "btnDeleteGroup");

  // Each user's right at each project's root.
  auto* tsGrid = new QWidget;
  pcAccess->addTab(tsGrid, Q("사용자별 권한"));
  tblGrid = new QTableWidget(tsGrid);
  tblGrid->setObjectName("tblGrid");
  tblGrid->setGeometry(8, 8, 592, 250);
  tblGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblGrid->setAccessibleName(Q("사용자별 권한"));
  lblGrid = new QLabel(tsGrid);
  lblGrid->setObjectName("lblGrid");
  lblGrid->setGeometry(8, 264, 420, 25);
  btnGridRefresh = MakeButton(tsGrid, "새로 고침", {520, 264, 80, 25}, "btnGridRefresh");

  connect(cbProject, &QComboBox::currentIndexChanged, this, &TfrmAccessMgr::cbProjectChange);
  connect(cbPath, &QComboBox::currentTextChanged, this, &TfrmAccessMgr::cbPathChange);
  connect(lvRule, &QTreeWidget::itemSelectionChanged, this, &TfrmAccessMgr::lvRuleSelect);
  connect(lvGroup, &QTreeWidget::itemSelectionChanged, this, &TfrmAccessMgr::lvGroupSelect);
  connect(btnSetRule, &QPushButton::clicked, this, &TfrmAccessMgr::btnSetRuleClick);
  connect(btnUnsetRule, &QPushButton::clicked, this, &TfrmAccessMgr::btnUnsetRuleClick);
  connect(btnRestore, &QPushButton::clicked, this, &TfrmAccessMgr::btnRestoreClick);
  connect(btnAddMembers, &QPushButton::clicked, this, &TfrmAccessMgr::btnAddMembersClick);
  connect(btnRemoveMembers, &QPushButton::clicked, this, &TfrmAccessMgr::btnRemoveMembersClick);
  connect(btnDeleteGroup, &QPushButton::clicked, this, &TfrmAccessMgr::btnDeleteGroupClick);
  connect(btnGridRefresh, &QPushButton::clicked, this, &TfrmAccessMgr::RefreshGrid);
}

TfrmAccessMgr::~TfrmAccessMgr() {
  // A worker touches no widget, but its result is delivered here: wait for it before going.
  for (QThread* t : FWorkers) {
    t->wait();
    delete t;
  }
}

void TfrmAccessMgr::InBackground(std::function<void()> work, std::function<void()> done) {
  QThread* t = QThread::create(std::move(work));
  FWorkers.append(t);
  connect(t, &QThread::finished, this, [this, t, done] {
    FWorkers.removeOne(t);
    t->deleteLater();
    done();
  });
  t->start();
}

std::string TfrmAccessMgr::SelectedProject() const {
  return cbProject->currentText().toStdString();
}

std::string TfrmAccessMgr::SelectedPath() const {
  return CanonicalRulePath(cbPath->currentText().trimmed().toStdString());
}

void TfrmAccessMgr::FormShow() {
  ProjectMgr->Refresh();
  std::vector<std::string> projects = ProjectMgr->Projects;
  std::sort(projects.begin(), projects.end());
  {
    const QSignalBlocker quiet(cbProject);
    cbProject->clear();
    for (const std::string& p : projects)
      cbProject->addItem(Q(p));
    int at = cbProject->findText(Q(FProject));
    cbProject->setCurrentIndex(at >= 0 ? at : 0);
  }
  RefreshGroups();
  LoadProject();
  RefreshGrid();
}

void TfrmAccessMgr::cbProjectChange() {
  LoadProject();
}

void TfrmAccessMgr::LoadProject() {
  FProject = SelectedProject();
  {
    const QSignalBlocker quiet(cbPath);
    cbPath->clear();
  }
  lblFolders->clear();
  LoadRules();
  if (FProject.empty()) return;
  // A hand edit broke the file: offer the last one the program wrote.
  if (!FRules.Rules.Valid() && !FRules.LastGood.empty()) btnRestoreClick();
  // The repository's folders come from svnlook, which may take a while on a large one.
  auto folders = std::make_shared<std::vector<std::string>>();
  auto error = std::make_shared<std::string>();
  auto ok = std::make_shared<bool>(false);
  const std::string repository = AddPathDelimiter(BasicSetting->RepoPath) + FProject;
  const std::string svnPath = BasicSetting->SVNPath;
  const int run = ++FFolderRun;
  lblFolders->setText(Q("폴더를 읽는 중..."));
  InBackground([=] { *ok = RepositoryFolders(TSubversion(svnPath), repository, *folders, *error); },
               [=, this] {
                 if (run != FFolderRun) return;
                 lblFolders->setText(*ok ? QString() : Q("폴더를 읽지 못했습니다: " + *error));
                 lblFolders->setToolTip(*ok ? QString() : Q(*error));
                 const QSignalBlocker quiet(cbPath);
                 for (const std::string& f : *folders)
                   if (cbPath->findText(Q(f)) < 0) cbPath->addItem(Q(f));
               });
}

void TfrmAccessMgr::LoadRules() {
  lvRule->clear();
  lblInvalid->clear();
  btnRestore->setVisible(false);
  if (FProject.empty()) {
    SetEditable(false);
    return;
  }
  FRules = ReadProjectRules(BasicSetting->RepoPath, FProject);
  const std::string path = cbPath->currentText().isEmpty() ? "/" : SelectedPath();
  {
    const QSignalBlocker quiet(cbPath);
    for (const std::string& p : RulePaths(FRules.Rules, FProject))
      if (cbPath->findText(Q(p)) < 0) cbPath->addItem(Q(p));
    if (cbPath->findText(Q("/")) < 0) cbPath->insertItem(0, Q("/"));
    cbPath->setCurrentText(Q(path));
  }
  {
    const QSignalBlocker quiet(cbWho);
    const QString who = cbWho->currentText();
    cbWho->clear();
    for (const char* w : {"*", "$authenticated", "$anonymous"})
      cbWho->addItem(Q(w));
    for (const auto& group : LoadGroups(GroupsFile()))
      cbWho->addItem(Q("@" + group.first));
    for (const std::string& id : RegistryUsers())
      cbWho->addItem(Q(id));
    cbWho->setCurrentText(who);
  }
  if (!FRules.Rules.Valid()) {
    // svnserve refuses every connection meanwhile: nothing is edited until the file is good.
    SetEditable(false);
    lblInvalid->setText(Q(InvalidRulesText(FRules)));
    btnRestore->setVisible(!FRules.LastGood.empty());
    return;
  }
  SetEditable(true);
  cbPathChange();
}

void TfrmAccessMgr::SetEditable(bool editable) {
  for (QWidget* w : std::initializer_list<QWidget*>{cbPath, lvRule, cbWho, rbRead, rbWrite, rbNone,
                                                    btnSetRule, btnUnsetRule})
    w->setEnabled(editable);
}

void TfrmAccessMgr::cbPathChange() {
  lvRule->clear();
  if (FProject.empty() || !FRules.Rules.Valid()) return;
  if (!FRules.Enabled) {
    lvRule->setToolTip(Q(kAccessNoRules));
    return;
  }
  lvRule->setToolTip(QString());
  const TAuthzSection* s = FRules.Rules.Find(RuleSection(FRules.Rules, FProject, SelectedPath()));
  if (!s) return;
  for (const TAuthzEntry& e : s->Entries) {
    auto* item = new QTreeWidgetItem(lvRule);
    item->setText(0, Q(e.Who));
    item->setText(1, RightsCaption(e.Value));
    item->setData(1, Qt::UserRole, Q(e.Value));
  }
}

void TfrmAccessMgr::lvRuleSelect() {
  const auto rows = lvRule->selectedItems();
  if (rows.isEmpty()) return;
  cbWho->setCurrentText(rows.first()->text(0));
  const std::string value = rows.first()->data(1, Qt::UserRole).toString().toStdString();
  (value == "rw" ? rbWrite : value == "r" ? rbRead : rbNone)->setChecked(true);
}

void TfrmAccessMgr::btnSetRuleClick() {
  const std::string who = cbWho->currentText().trimmed().toStdString();
  if (FProject.empty() || who.empty()) return;
  if (!ValidRuleWho(who)) {
    Prompt().MessageDlg("대상은 사용자 ID, @그룹, *, $authenticated, $anonymous 중 하나입니다 : " +
                            who,
                        TMsgIcon::Warning, mbOK);
    return;
  }
  const TRights rights = rbWrite->isChecked()  ? TRights::ReadWrite
                         : rbRead->isChecked() ? TRights::Read
                                               : TRights::None;
  TAccessObserver observer(lblStatus);
  TRuleChange change =
      SetAccessRule(TSubversion(BasicSetting->SVNPath), BasicSetting->RepoPath, FProject,
                    SelectedPath(), who, rights, observer, LoadGroups(GroupsFile()));
  if (change.Done) {
    lblStatus->setText(Q(change.Message));
    Changed();
  }
}

void TfrmAccessMgr::btnUnsetRuleClick() {
  const auto rows = lvRule->selectedItems();
  const std::string who = rows.isEmpty() ? cbWho->currentText().trimmed().toStdString()
                                         : rows.first()->text(0).toStdString();
  if (FProject.empty() || who.empty()) return;
  TAccessObserver observer(lblStatus);
  TRuleChange change = UnsetAccessRule(TSubversion(BasicSetting->SVNPath), BasicSetting->RepoPath,
                                       FProject, SelectedPath(), who, observer);
  if (change.Done) {
    lblStatus->setText(Q(change.Message));
    Changed();
  }
}

void TfrmAccessMgr::btnRestoreClick() {
  if (FProject.empty()) return;
  FRules = ReadProjectRules(BasicSetting->RepoPath, FProject);
  if (FRules.Rules.Valid() || FRules.LastGood.empty()) {
    LoadRules();
    return;
  }
  if (Prompt().MessageDlg(InvalidRulesText(FRules) + kRestoreQuestion, TMsgIcon::Warning,
                          mbYes | mbNo) != mbYes)
    return;
  TAccessObserver observer(lblStatus);
  TRuleChange change = RestoreLastGoodRules(BasicSetting->RepoPath, FProject, observer);
  if (change.Done) {
    lblStatus->setText(Q(change.Message));
    Changed();
  }
}

void TfrmAccessMgr::Changed() {
  LoadRules();
  RefreshGroups();
  RefreshGrid();
}

void TfrmAccessMgr::RefreshGroups() {
  lvGroup->clear();
  for (const auto& [name, members] : LoadGroups(GroupsFile())) {
    auto* item = new QTreeWidgetItem(lvGroup);
    item->setText(0, Q(name));
    item->setText(1, Q(GroupValue(members)));
  }
}

void TfrmAccessMgr::lvGroupSelect() {
  const auto rows = lvGroup->selectedItems();
  if (!rows.isEmpty()) edtGroup->setText(rows.first()->text(0));
}

void TfrmAccessMgr::btnAddMembersClick() {
  std::string group = edtGroup->text().trimmed().toStdString();
  if (!group.empty() && group[0] == '@') group.erase(0, 1);
  const std::vector<std::string> users = Words(edtMembers->text());
  if (!ValidGroupName(group)) {
    Prompt().MessageDlg("올바르지 않은 그룹 이름입니다 : " + group, TMsgIcon::Warning, mbOK);
    return;
  }
  if (users.empty()) return;
  TAccessObserver observer(lblStatus);
  TGroupChange change = AddGroupMembers(TSubversion(BasicSetting->SVNPath), BasicSetting->RepoPath,
                                        GroupsFile(), group, users, observer);
  if (change.Done) {
    lblStatus->setText(Q(change.Message));
    edtMembers->clear();
    Changed();
  }
}

void TfrmAccessMgr::btnRemoveMembersClick() {
  std::string group = edtGroup->text().trimmed().toStdString();
  if (!group.empty() && group[0] == '@') group.erase(0, 1);
  const std::vector<std::string> users = Words(edtMembers->text());
  // No members named: nothing to take out (deleting the group is its own button).
  if (group.empty() || users.empty()) return;
  TAccessObserver observer(lblStatus);
  TGroupChange change =
      RemoveGroupMembers(TSubversion(BasicSetting->SVNPath), BasicSetting->RepoPath, GroupsFile(),
                         group, users, observer);
  if (change.Done) {
    lblStatus->setText(Q(change.Message));
    edtMembers->clear();
    Changed();
  }
}

void TfrmAccessMgr::btnDeleteGroupClick() {
  std::string group = edtGroup->text().trimmed().toStdString();
  if (!group.empty() && group[0] == '@') group.erase(0, 1);
  if (group.empty()) return;
  if (Prompt().MessageDlg("@" + group + " 그룹을 삭제하시겠습니까?", TMsgIcon::Question,
                          mbYes | mbNo) != mbYes)
    return;
  TAccessObserver observer(lblStatus);
  TGroupChange change =
      RemoveGroupMembers(TSubversion(BasicSetting->SVNPath), BasicSetting->RepoPath, GroupsFile(),
                         group, {}, observer);
  if (change.Done) {
    lblStatus->setText(Q(change.Message));
    edtGroup->clear();
    Changed();
  }
}

void TfrmAccessMgr::RefreshGrid() {
  std::vector<std::string> users = RegistryUsers();
  users.push_back("$anonymous");
  std::vector<std::string> projects;
  for (int i = 0; i < cbProject->count(); ++i)
    projects.push_back(cbProject->itemText(i).toStdString());
  tblGrid->clear();
  tblGrid->setRowCount(static_cast<int>(users.size()));
  tblGrid->setColumnCount(static_cast<int>(projects.size()));
  QStringList rows, columns;
  for (const std::string& u : users)
    rows << (u == "$anonymous" ? Q(kAccessAnonymous) : Q(u));
  for (const std::string& p : projects)
    columns << Q(p);
  tblGrid->setVerticalHeaderLabels(rows);
  tblGrid->setHorizontalHeaderLabels(columns);
  lblGrid->setText(Q("계산 중..."));
  // Every cell reads the project's files: done on a worker, shown when all are done.
  auto cells = std::make_shared<std::vector<TAccessExplained>>();
  const std::string root = BasicSetting->RepoPath;
  const int run = ++FGridRun;
  InBackground(
      [=] {
        for (const std::string& u : users)
          for (const std::string& p : projects)
            cells->push_back(ExplainAccess(root, p, "/", u));
      },
      [=, this] {
        if (run != FGridRun) return;
        size_t at = 0;
        for (int r = 0; r < static_cast<int>(users.size()); ++r)
          for (int c = 0; c < static_cast<int>(projects.size()); ++c, ++at) {
            const TAccessExplained& e = (*cells)[at];
            auto* cell = new QTableWidgetItem(Q(RightsName(e.Rights)));
            QStringList why;
            for (const std::string& line : e.Why)
              why << Q(line);
            cell->setToolTip(why.join('\n'));
            tblGrid->setItem(r, c, cell);
          }
        lblGrid->setText(Q("프로젝트의 최상위 경로(/)에서의 권한입니다. 셀에 마우스를 올리면 "
                           "까닭이 보입니다."));
      });
}

void ShowAccessMgr(const std::string& project) {
  TfrmAccessMgr form(nullptr, project);
  form.exec();
}
