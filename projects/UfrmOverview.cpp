#include "projects/UfrmOverview.h"

#include "base/UfnJob.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnAlerts.h"
#include "server/UfnShell.h"
#include "settings/UclsBasicSetting.h"

#include <QComboBox>
#include <QFuture>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPromise>
#include <QPushButton>
#include <QThreadPool>
#include <QTreeWidget>
#include <algorithm>
#include <memory>
#include <set>

namespace {

// Runs `work` on the shared pool; what it adds to the promise reaches the window's thread
// through a watcher. The work holds only values, so a window closed meanwhile loses nothing.
template <typename T, typename F> QFuture<T> RunInBackground(F work) {
  auto promise = std::make_shared<QPromise<T>>();
  QFuture<T> future = promise->future();
  promise->start();
  QThreadPool::globalInstance()->start([promise, work]() mutable {
    work(*promise);
    promise->finish();
  });
  return future;
}

// A worker's cancel, as a job asks for it.
template <typename T> class TPromiseObserver : public TJobObserver {
public:
  explicit TPromiseObserver(QPromise<T>& promise) : FPromise(promise) {}
  bool Cancelled() override { return FPromise.isCanceled(); }

private:
  QPromise<T>& FPromise;
};

// Rows sort by the number a cell keeps under Qt::UserRole where it has one, else by text.
class TSortedRow : public QTreeWidgetItem {
public:
  using QTreeWidgetItem::QTreeWidgetItem;
  bool operator<(const QTreeWidgetItem& other) const override {
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    const QVariant a = data(column, Qt::UserRole), b = other.data(column, Qt::UserRole);
    if (a.isValid() && b.isValid()) return a.toLongLong() < b.toLongLong();
    return text(column).localeAwareCompare(other.text(column)) < 0;
  }
};

enum TProjectColumn {
  pcName,
  pcYoungest,
  pcAuthor,
  pcDate,
  pcMessage,
  pcSize,
  pcRules,
  pcMirror,
  pcBackup,
  pcBackupAge,
  pcUrl
};

void SetNumber(QTreeWidgetItem* row, int column, const QString& text, long long key) {
  row->setText(column, text);
  row->setData(column, Qt::UserRole, key);
}

QString SizeText(uint64_t bytes) {
  return Q(text::SizeText(bytes));
}

QString AgeShown(long long seconds) {
  return seconds < 0 ? QString() : Q(AgeText(seconds));
}

// "2026-12-10T16:44:11.661205Z" as "2026-12-10 16:44:11".
QString DateText(const std::string& iso) {
  if (iso.size() < 19) return Q(iso);
  return Q(iso.substr(0, 10) + " " + iso.substr(11, 8));
}

QString MirrorText(const TMirrorStatus& m) {
  if (m.Source.empty()) return QString();
  QString text = Q(m.Source) + "  r" + (m.LastMerged < 0 ? "?" : QString::number(m.LastMerged));
  if (m.SourceYoungest >= 0) {
    text += " / r" + QString::number(m.SourceYoungest);
    if (m.LastMerged >= 0 && m.SourceYoungest > m.LastMerged)
      text += Q(" (" + std::to_string(m.SourceYoungest - m.LastMerged) + " 뒤처짐)");
  }
  return text;
}

QTreeWidget* MakeList(QWidget* parent, const char* name, QRect r, const QStringList& columns) {
  auto* lv = new QTreeWidget(parent);
  lv->setObjectName(name);
  lv->setGeometry(r);
  lv->setRootIsDecorated(false);
  lv->setAllColumnsShowFocus(true);
  lv->setHeaderLabels(columns);
  return lv;
}

const char* const kKinds[] = {"전체", "커밋", "거부", "오류"};

} // namespace

TfrmOverview::TfrmOverview(QWidget* parent)
    : TFixedDialog(parent, "frmOverview", "저장소 현황", QSize(760, 566), TKeys::Standard) {
  lvProjects = MakeList(this, "lvProjects", {8, 24, 744, 170},
                        {Q("프로젝트"), Q("리비전"), Q("작성자"), Q("날짜"), Q("메시지"), Q("크기"),
                         Q("규칙"), Q("미러 / 지연"), Q("최근 백업"), Q("백업 경과"), Q("주소")});
  lvProjects->setSortingEnabled(true);
  lvProjects->sortByColumn(pcName, Qt::AscendingOrder);
  for (int c : {pcYoungest, pcSize, pcRules})
    lvProjects->setColumnWidth(c, 60);
  lvProjects->setColumnWidth(pcDate, 135);
  MakeLabel(this, "프로젝트(&P):", QRect(8, 6, 200, 16), lvProjects);

  lvCommits = MakeList(this, "lvCommits", {8, 218, 744, 130},
                       {Q("리비전"), Q("작성자"), Q("날짜"), Q("메시지"), Q("바뀐 경로")});
  lvCommits->setColumnWidth(0, 60);
  lvCommits->setColumnWidth(2, 170);
  lvCommits->setColumnWidth(3, 300);
  MakeLabel(this, "최근 커밋(&C):", QRect(8, 200, 200, 16), lvCommits);

  cbProject = new QComboBox(this);
  cbProject->setObjectName("cbProject");
  cbProject->setGeometry(230, 354, 130, 20);
  MakeLabelLeftOf(cbProject, "프로젝트(&J)");
  edtUser = new QLineEdit(this);
  edtUser->setObjectName("edtUser");
  edtUser->setGeometry(440, 354, 110, 20);
  MakeLabelLeftOf(edtUser, "사용자(&U)");
  cbKind = new QComboBox(this);
  cbKind->setObjectName("cbKind");
  cbKind->setGeometry(622, 354, 130, 20);
  for (const char* kind : kKinds)
    cbKind->addItem(Q(kind));
  MakeLabelLeftOf(cbKind, "종류(&K)");
  lvEvents = MakeList(this, "lvEvents", {8, 378, 744, 150},
                      {Q("시각"), Q("주소"), Q("사용자"), Q("프로젝트"), Q("동작"), Q("내용")});
  lvEvents->setColumnWidth(0, 140);
  MakeLabel(this, "서버 사건(&E):", QRect(8, 356, 150, 16), lvEvents);

  lblState = new QLabel(this);
  lblState->setObjectName("lblState");
  lblState->setGeometry(8, 538, 500, 16);
  btnRefresh = MakeBoldButton(this, "새로 고침(&R)", {596, 534, 75, 25}, "btnRefresh");
  btnClose = MakeBoldButton(this, "닫기", {677, 534, 75, 25}, "btnClose");

  connect(btnRefresh, &QPushButton::clicked, this, &TfrmOverview::btnRefreshClick);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
  connect(lvProjects, &QTreeWidget::currentItemChanged, this, [this] { StartCommits(); });
  connect(cbProject, &QComboBox::currentIndexChanged, this, [this] { ApplyEventFilter(); });
  connect(cbKind, &QComboBox::currentIndexChanged, this, [this] { ApplyEventFilter(); });
  connect(edtUser, &QLineEdit::textChanged, this, [this] { ApplyEventFilter(); });
}

TfrmOverview::~TfrmOverview() {
  // The workers hold only values: asked to stop, they end on their own.
  if (FOverviewWatch) FOverviewWatch->future().cancel();
  if (FCommitsWatch) FCommitsWatch->future().cancel();
  if (FEventsWatch) FEventsWatch->future().cancel();
}

void TfrmOverview::FormShow() {
  btnRefreshClick();
}

void TfrmOverview::btnRefreshClick() {
  StartOverview();
  StartEvents();
}

bool TfrmOverview::Busy() const {
  for (const QFutureWatcherBase* w : {static_cast<const QFutureWatcherBase*>(FOverviewWatch),
                                      static_cast<const QFutureWatcherBase*>(FCommitsWatch),
                                      static_cast<const QFutureWatcherBase*>(FEventsWatch)})
    if (w && !w->isFinished()) return true;
  return false;
}

std::string TfrmOverview::SelectedProject() const {
  const QTreeWidgetItem* row = lvProjects->currentItem();
  return row ? row->text(pcName).toStdString() : "";
}

void TfrmOverview::UpdateState() {
  lblState->setText(Busy() ? Q("읽는 중...") : QString());
}

void TfrmOverview::StartOverview() {
  TOverviewOptions o;
  o.RepoPath = BasicSetting->RepoPath;
  o.BackupPath = BasicSetting->BackupPath;
  o.SvnPath = BasicSetting->SVNPath;
  o.Host = platform::HostName();
  o.Port = BasicSetting->GetPort();
  if (FOverviewWatch) {
    FOverviewWatch->future().cancel();
    FOverviewWatch->deleteLater();
  }
  FOverviewWatch = new QFutureWatcher<TOverviewReport>(this);
  QFutureWatcher<TOverviewReport>* watch = FOverviewWatch;
  connect(watch, &QFutureWatcherBase::resultReadyAt, this, [this, watch](int index) {
    if (watch == FOverviewWatch) OverviewReady(index);
  });
  connect(watch, &QFutureWatcherBase::finished, this, [this] { UpdateState(); });
  watch->setFuture(RunInBackground<TOverviewReport>([o](QPromise<TOverviewReport>& promise) {
    TOverviewReport listing;
    listing.Listing = true;
    listing.Projects = ReadOverview(o);
    promise.addResult(listing);
    for (TProjectOverview& p : listing.Projects) {
      if (promise.isCanceled()) return;
      ReadOverviewDetails(o, p);
      promise.addResult(TOverviewReport{false, {p}});
    }
  }));
  UpdateState();
}

void TfrmOverview::OverviewReady(int index) {
  const TOverviewReport report = FOverviewWatch->resultAt(index);
  lvProjects->setSortingEnabled(false);
  if (report.Listing) {
    const std::string selected = SelectedProject();
    lvProjects->clear();
    for (const TProjectOverview& p : report.Projects) {
      auto* row = new TSortedRow(lvProjects);
      ShowProject(row, p);
      if (p.Name == selected) lvProjects->setCurrentItem(row);
    }
    FillProjectFilter();
  } else {
    for (const TProjectOverview& p : report.Projects)
      for (int i = 0; i < lvProjects->topLevelItemCount(); ++i)
        if (lvProjects->topLevelItem(i)->text(pcName) == Q(p.Name))
          ShowProject(lvProjects->topLevelItem(i), p);
  }
  lvProjects->setSortingEnabled(true);
  UpdateState();
}

void TfrmOverview::ShowProject(QTreeWidgetItem* row, const TProjectOverview& p) {
  row->setText(pcName, Q(p.Name));
  SetNumber(row, pcYoungest, p.Youngest < 0 ? Q("?") : QString::number(p.Youngest), p.Youngest);
  row->setText(pcRules, p.Rules ? Q("있음") : QString());
  SetNumber(row, pcMirror, MirrorText(p.Mirror),
            p.Mirror.Source.empty() ? -1
            : p.Mirror.SourceYoungest < 0 || p.Mirror.LastMerged < 0
                ? 0
                : p.Mirror.SourceYoungest - p.Mirror.LastMerged);
  if (!p.Mirror.SourceError.empty()) row->setToolTip(pcMirror, Q(p.Mirror.SourceError));
  row->setText(pcBackup, Q(p.LastBackup));
  SetNumber(row, pcBackupAge, AgeShown(p.LastBackupAgeS), p.LastBackupAgeS);
  row->setText(pcUrl, Q(p.Url));
  if (!p.Detailed) return;
  row->setText(pcAuthor, Q(p.Author));
  row->setText(pcDate, DateText(p.Date));
  row->setText(pcMessage, Q(p.Message));
  SetNumber(row, pcSize, SizeText(p.SizeBytes), static_cast<long long>(p.SizeBytes));
  if (!p.Error.empty()) row->setToolTip(pcName, Q(p.Error));
}

void TfrmOverview::StartCommits() {
  const std::string project = SelectedProject();
  if (project == FCommitsOf) return;
  FCommitsOf = project;
  lvCommits->clear();
  if (FCommitsWatch) {
    FCommitsWatch->future().cancel();
    FCommitsWatch->deleteLater();
    FCommitsWatch = nullptr;
  }
  if (project.empty()) return;
  const std::string svnPath = BasicSetting->SVNPath;
  const std::string repository = AddPathDelimiter(BasicSetting->RepoPath) + project;
  FCommitsWatch = new QFutureWatcher<TRecentCommits>(this);
  QFutureWatcher<TRecentCommits>* watch = FCommitsWatch;
  connect(watch, &QFutureWatcherBase::finished, this, [this, watch] {
    if (watch == FCommitsWatch) CommitsReady();
    UpdateState();
  });
  watch->setFuture(
      RunInBackground<TRecentCommits>([svnPath, repository](QPromise<TRecentCommits>& promise) {
        TPromiseObserver<TRecentCommits> observer(promise);
        promise.addResult(ReadRecentCommits(svnPath, repository, CommitCount, observer));
      }));
  UpdateState();
}

void TfrmOverview::CommitsReady() {
  if (FCommitsWatch->future().resultCount() == 0) return;
  const TRecentCommits r = FCommitsWatch->result();
  lvCommits->clear();
  for (const TCommitInfo& c : r.Commits) {
    auto* row = new QTreeWidgetItem(lvCommits);
    row->setText(0, QString::number(c.Revision));
    row->setText(1, Q(c.Author));
    // "2026-12-10 16:44:11 +0000", without the weekday svnlook adds.
    row->setText(2, Q(c.Date.substr(0, c.Date.find(" ("))));
    const QString message = Q(c.Message);
    row->setText(3, message.section('\n', 0, 0));
    row->setToolTip(3, message);
    QStringList paths;
    for (const std::string& change : c.Changes)
      paths << Q(change);
    row->setText(4, paths.join(", "));
    row->setToolTip(4, paths.join("\n"));
  }
  if (!r.Error.empty()) {
    auto* row = new QTreeWidgetItem(lvCommits);
    row->setText(3, Q(r.Error));
  }
}

void TfrmOverview::StartEvents() {
  const std::string path = ServerLogPath();
  if (FEventsWatch) {
    FEventsWatch->future().cancel();
    FEventsWatch->deleteLater();
  }
  FEventsWatch = new QFutureWatcher<std::vector<TServerEvent>>(this);
  QFutureWatcher<std::vector<TServerEvent>>* watch = FEventsWatch;
  connect(watch, &QFutureWatcherBase::finished, this, [this, watch] {
    if (watch == FEventsWatch) EventsReady();
    UpdateState();
  });
  watch->setFuture(RunInBackground<std::vector<TServerEvent>>(
      [path](QPromise<std::vector<TServerEvent>>& promise) {
        promise.addResult(ReadServerLog(path));
      }));
  UpdateState();
}

void TfrmOverview::EventsReady() {
  if (FEventsWatch->future().resultCount() == 0) return;
  FEvents = FEventsWatch->result();
  FillProjectFilter();
  ApplyEventFilter();
}

void TfrmOverview::FillProjectFilter() {
  std::set<std::string> names;
  for (int i = 0; i < lvProjects->topLevelItemCount(); ++i)
    names.insert(lvProjects->topLevelItem(i)->text(pcName).toStdString());
  for (const TServerEvent& e : FEvents)
    if (!e.Project.empty()) names.insert(e.Project);
  const QString current = cbProject->currentIndex() > 0 ? cbProject->currentText() : QString();
  const QSignalBlocker quiet(cbProject);
  cbProject->clear();
  cbProject->addItem(Q(kKinds[0]));
  for (const std::string& n : names)
    cbProject->addItem(Q(n));
  const int at = current.isEmpty() ? 0 : cbProject->findText(current);
  cbProject->setCurrentIndex(at < 0 ? 0 : at);
}

void TfrmOverview::ApplyEventFilter() {
  TServerLogFilter filter;
  if (cbProject->currentIndex() > 0) filter.Project = cbProject->currentText().toStdString();
  filter.User = edtUser->text().trimmed().toStdString();
  const int kind = cbKind->currentIndex();
  const TServerEventKind kinds[] = {TServerEventKind::Request, TServerEventKind::Commit,
                                    TServerEventKind::Refusal, TServerEventKind::Error};
  lvEvents->clear();
  int shown = 0;
  // Newest first.
  for (auto e = FEvents.rbegin(); e != FEvents.rend() && shown < EventCount; ++e) {
    if (!Matches(filter, *e) || (kind > 0 && e->Kind != kinds[kind])) continue;
    auto* row = new QTreeWidgetItem(lvEvents);
    row->setText(0, DateText(e->Time));
    row->setText(1, Q(e->Ip));
    row->setText(2, e->User.empty() ? Q("(익명)") : Q(e->User));
    row->setText(3, Q(e->Project));
    row->setText(4, Q(e->Action));
    row->setText(5, Q(e->Error.empty() ? e->Detail : e->Error));
    ++shown;
  }
}

void ShowOverview() {
  TfrmOverview form;
  form.exec();
}
