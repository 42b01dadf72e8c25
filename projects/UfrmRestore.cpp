#include "projects/UfrmRestore.h"

#include "base/UfnDesktop.h"
#include "base/UfnJob.h"
#include "base/UfnPaths.h"
#include "base/UfnText.h"
#include "projects/UfnBackupFolder.h"
#include "projects/UfnRestoreJob.h"
#include "server/UfnShell.h"
#include "settings/UclsBasicSetting.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

namespace {

const char* const kNoArchive = "복원할 압축 파일을 선택하세요.";
const char* const kNoBackupFolder = "백업 폴더에 압축 파일이 없습니다.";

QString SizeText(std::uint64_t bytes) {
  return Q(text::SizeText(bytes));
}

} // namespace

// Runs on the worker: progress goes to the window's thread as an event; the cancel flag is
// shared, so that it outlives a dialog that went away.
class TfrmRestore::TObserver : public TJobObserver {
public:
  TObserver(TfrmRestore* form, std::shared_ptr<std::atomic<bool>> cancel)
      : FForm(form), FCancel(std::move(cancel)) {}
  void Progress(const std::string&, int, int totalPercent) override {
    // Posted to the form: a form that went meanwhile drops it.
    TfrmRestore* form = FForm;
    QMetaObject::invokeMethod(
        form, [form, totalPercent] { form->pbRestore->setValue(totalPercent); },
        Qt::QueuedConnection);
  }
  void Notify(TMsgIcon, const std::string& text) override { Told += text + "\n"; }
  bool Cancelled() override { return FCancel->load(); }
  std::string Told;

private:
  TfrmRestore* FForm;
  std::shared_ptr<std::atomic<bool>> FCancel;
};

TfrmRestore::TfrmRestore(QWidget* parent)
    : TFixedDialog(parent, "frmRestore", "복원", {480, 300}, TKeys::Standard) {
  lvArchive = new QTreeWidget(this);
  lvArchive->setObjectName("lvArchive");
  lvArchive->setGeometry(8, 8, 464, 178);
  lvArchive->setRootIsDecorated(false);
  lvArchive->setColumnCount(3);
  lvArchive->setHeaderLabels({Q("프로젝트"), Q("시간"), Q("크기")});
  lvArchive->setColumnWidth(0, 170);
  lvArchive->setColumnWidth(1, 160);
  lvArchive->setSelectionMode(QAbstractItemView::SingleSelection);
  lvArchive->setAccessibleName(Q("압축 파일"));
  edtName = new QLineEdit(this);
  edtName->setObjectName("edtName");
  edtName->setGeometry(130, 194, 342, 21);
  edtName->setMaxLength(255);
  lblName = MakeLabel(this, "새 프로젝트 이름(&N):", {8, 196, 118, 17}, edtName);
  pbRestore = MakeBar(this, "pbRestore", "복원 진행", {8, 223, 464, 17});
  lblStatus = new QLabel(this);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setGeometry(8, 244, 464, 17);
  lblStatus->setTextFormat(Qt::PlainText);
  btnRestore = MakeBoldButton(this, "복원", {316, 268, 75, 25}, "btnRestore");
  btnCancel = MakeBoldButton(this, "닫기", {397, 268, 75, 25}, "btnCancel");
  connect(btnRestore, &QPushButton::clicked, this, &TfrmRestore::btnRestoreClick);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmRestore::btnCancelClick);
}

TfrmRestore::~TfrmRestore() {
  if (FCancel) FCancel->store(true);
  if (FWorker.joinable()) FWorker.join();
}

void TfrmRestore::FormShow() {
  RefreshArchiveList();
  edtName->setFocus();
}

void TfrmRestore::RefreshArchiveList() {
  lvArchive->clear();
  for (const TBackupArchive& a : ListBackupArchives(BasicSetting->BackupPath)) {
    auto* row = new QTreeWidgetItem(lvArchive, {Q(a.Project), Q(a.Time), SizeText(a.Size)});
    row->setData(0, Qt::UserRole, Q(a.FileName));
    row->setToolTip(0, Q(a.FileName));
  }
  if (lvArchive->topLevelItemCount() > 0)
    lvArchive->setCurrentItem(lvArchive->topLevelItem(0));
  else
    lblStatus->setText(Q(kNoBackupFolder));
}

std::string TfrmRestore::SelectedArchive() const {
  const auto rows = lvArchive->selectedItems();
  return rows.isEmpty() ? std::string()
                        : rows.first()->data(0, Qt::UserRole).toString().toStdString();
}

void TfrmRestore::SetRunning(bool running) {
  lvArchive->setEnabled(!running);
  edtName->setEnabled(!running);
  btnRestore->setEnabled(!running);
  btnCancel->setText(Q(running ? "취소" : "닫기"));
}

void TfrmRestore::btnRestoreClick() {
  if (Running()) return;
  const std::string archive = SelectedArchive();
  if (archive.empty()) {
    Prompt().ShowMessage(kNoArchive);
    return;
  }
  const std::string name = text::Trim(edtName->text().toStdString());
  const TRestoreRequest request{BasicSetting->RepoPath, BasicSetting->SVNPath,
                                AddPathDelimiter(BasicSetting->BackupPath) + archive, name};
  pbRestore->setValue(0);
  lblStatus->setText(Q(name + ": 복원 중..."));
  SetRunning(true);
  FCancel = std::make_shared<std::atomic<bool>>(false);
  auto observer = std::make_shared<TObserver>(this, FCancel);
  FWorker = std::thread([this, request, observer, name] {
    const TRestoreResult r = RestoreProject(request, *observer);
    QMetaObject::invokeMethod(
        this, [this, r, name] { Finished(r, name); }, Qt::QueuedConnection);
  });
}

void TfrmRestore::Finished(const TRestoreResult& r, const std::string& name) {
  if (FWorker.joinable()) FWorker.join();
  SetRunning(false);
  if (FCloseWhenDone) {
    FCloseWhenDone = false;
    TFixedDialog::done(QDialog::Rejected);
    if (r.Outcome == TRestoreOutcome::Done && OnRestored) OnRestored(name);
    return;
  }
  if (r.Outcome == TRestoreOutcome::Done) {
    pbRestore->setValue(100);
    const std::string text = name +
                             ": 복원을 완료하였습니다. 총 파일 갯수 : " + std::to_string(r.Files) +
                             ", 검사를 통과하였습니다.";
    lblStatus->setText(Q(text));
    if (OnRestored) OnRestored(name);
    Prompt().ShowMessage(text);
    return;
  }
  pbRestore->setValue(0);
  const std::string text = r.Cancelled ? r.Reason : name + ": 복원에 실패하였습니다. " + r.Reason;
  lblStatus->setText(Q(text));
  if (!r.Cancelled)
    Prompt().MessageDlg(
        text, r.Outcome == TRestoreOutcome::Refused ? TMsgIcon::Warning : TMsgIcon::Error, mbOK);
}

void TfrmRestore::btnCancelClick() {
  if (Running()) {
    FCancel->store(true);
    lblStatus->setText(Q("취소하는 중..."));
    return;
  }
  reject();
}

void TfrmRestore::done(int result) {
  if (Running()) {
    FCancel->store(true);
    FCloseWhenDone = true;
    return;
  }
  TFixedDialog::done(result);
}

void ShowRestore(const std::function<void(const std::string&)>& onRestored) {
  TfrmRestore form(QApplication::activeWindow());
  form.OnRestored = onRestored;
  form.exec();
}
