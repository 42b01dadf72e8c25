#include "projects/UfrmProjectMgr_Backup.h"

#include "app/UfrmMain.h"
#include "base/UfnDesktop.h"
#include "base/UfnPaths.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

const char* const kCaption = "저장소 폴더 백업";
const char* const kCurrentProgress = "현재 진행율";
const char* const kTotalProgress = "전체 진행율";
const char* const kCompleted = "프로젝트 폴더 압축을 완료하였습니다.\r\n\r\n총 파일 갯수 : ";
const char* const kFileNameLine = "파일명 : ";
const char* const kUnreadable = "읽을 수 없어 빠진 파일 : ";
const char* const kLinks = "링크여서 빠진 항목 : ";
const char* const kCancel = "취소";
const char* const kCancelled = "프로젝트 폴더 백업을 취소하였습니다.";
const char* const kCountLine = "총 파일 갯수 : ";

// How many of the files that could not be read (and of the links left out) the message names.
constexpr size_t ShownUnreadable = 5;

// The paths and captions land on a font with Hangul where the Windows font is missing.
QFont SansSerif11() {
  QFont f = WindowsFont("MS Sans Serif");
  f.setPixelSize(11);
  return f;
}

} // namespace

// The job's side of the dialog: each entry on the label, the progress on the bars, and a
// close request as the cancel the job asks about.
class TfrmProjectMgr_Backup::TObserver : public TJobObserver {
public:
  explicit TObserver(TfrmProjectMgr_Backup& form) : F(form) {}
  void Progress(const std::string& item, int itemPercent, int totalPercent) override {
    if (item != FItem) {
      FItem = item;
      bool extract = true;
      F.ZipBegin(F.Zip, item, 0, extract);
    }
    F.ZipProgress(F.Zip, static_cast<uint8_t>(itemPercent), static_cast<uint8_t>(totalPercent));
  }
  bool Cancelled() override { return F.FCancelled; }

private:
  TfrmProjectMgr_Backup& F;
  std::string FItem;
};

// Escape, the close box and the cancel button all do one thing: while the run works they
// cancel it (see done), otherwise they close the dialog.
TfrmProjectMgr_Backup::TfrmProjectMgr_Backup(QWidget* parent)
    : TFixedDialog(parent, "frmProjectMgr_Backup", kCaption, {365, 152}, TKeys::Standard,
                   SansSerif11()) {
  pnlBackground = new QWidget(this);
  pnlBackground->setObjectName("pnlBackground");
  pnlBackground->setGeometry(0, 0, 365, 152);

  TeLabel1 = MakeLabel(pnlBackground, kCurrentProgress, QPoint(24, 36), "TeLabel1");
  TeLabel2 = MakeLabel(pnlBackground, kTotalProgress, QPoint(24, 88), "TeLabel2");
  for (QLabel* l : {TeLabel1, TeLabel2}) {
    l->setFont(GulimPixelFont(12, true));
    l->adjustSize();
  }
  lblCurrentFile = MakeLabel(pnlBackground, kCurrentProgress, QPoint(100, 20), "lblCurrentFile");
  lblZipFile = MakeLabel(pnlBackground, kTotalProgress, QPoint(100, 72), "lblZipFile");
  for (QLabel* l : {lblCurrentFile, lblZipFile})
    l->resize(365 - 100 - 8, 14);

  pbCurrent = MakeBar(pnlBackground, "pbCurrent", kCurrentProgress, {100, 36, 245, 16});
  pbTotal = MakeBar(pnlBackground, "pbTotal", kTotalProgress, {100, 88, 245, 16});
  btnCancel = new QPushButton(QString::fromUtf8(kCancel), pnlBackground);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setGeometry(270, 116, 75, 25);
  btnCancel->setAutoDefault(false);
  connect(btnCancel, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
  TeLabel1->setBuddy(pbCurrent);
  TeLabel2->setBuddy(pbTotal);

  tmrExecute = new QTimer(this);
  tmrExecute->setObjectName("tmrExecute");
  tmrExecute->setInterval(50);
  tmrExecute->setSingleShot(true);
  connect(tmrExecute, &QTimer::timeout, this, &TfrmProjectMgr_Backup::tmrExecuteTimer);

  // The archive's settings are made when the run starts, once the folder and path are known.
  Zip.OnBegin = [this](TZip& sender, const std::string& fileName, int count, bool& extract) {
    ZipBegin(sender, fileName, count, extract);
  };
  Zip.OnProgress = [this](TZip& sender, uint8_t byFile, uint8_t byArchive) {
    ZipProgress(sender, byFile, byArchive);
  };
}

std::string TfrmProjectMgr_Backup::CompletionText(int count, const std::string& fileName) {
  return kCompleted + std::to_string(count) + "\r\n" + "\r\n" + kFileNameLine + fileName;
}

std::string TfrmProjectMgr_Backup::FailureText(const std::string& reason) {
  return std::string(kBackupFailedHead) + "\r\n\r\n" + reason;
}

void TfrmProjectMgr_Backup::FormShow() {
  // Centred on the main window while that is shown.
  if (frmMain && frmMain->isVisible())
    move(frmMain->frameGeometry().center() - QPoint(width() / 2, height() / 2));
  // Showing again (after a minimise, say) must not start a second run.
  if (!FStarted) tmrExecute->start();
}

void TfrmProjectMgr_Backup::closeEvent(QCloseEvent* e) {
  if (FRunning) {
    FCancelled = true;
    e->ignore();
    return;
  }
  QDialog::closeEvent(e);
}

// The dialog goes once the run has stopped and its outcome is told.
void TfrmProjectMgr_Backup::done(int result) {
  if (FRunning) {
    FCancelled = true;
    return;
  }
  FStarted = true; // a dialog closed before its run began never starts one
  QDialog::done(result);
}

void TfrmProjectMgr_Backup::tmrExecuteTimer() {
  tmrExecute->stop();
  if (FStarted) return;
  FStarted = true;
  const std::string fileName = ExtractFileName(ZipFileName);
  lblZipFile->setText(QString::fromStdString(fileName));
  // An older file at the archive path is not deleted first: the builder always writes a new
  // archive and puts it there only once it is complete, so a failed run keeps the older one.
  setCursor(Qt::WaitCursor);
  FCancelled = false;
  FRunning = true;
  TObserver observer(*this);
  const TBackupResult result = PackBackup(Zip, SourceFolder, ZipFileName, {}, observer);
  FRunning = false;
  unsetCursor();
  // The server is down only while the tree is packed, not while a message waits for a click.
  if (OnBuilt) OnBuilt();
  ShowOutcome(result, fileName);
  close();
}

void TfrmProjectMgr_Backup::ShowOutcome(const TBackupResult& r, const std::string& fileName) {
  switch (r.Outcome) {
  case TBackupOutcome::Cancelled:
    Prompt().MessageDlg(kCancelled, TMsgIcon::Information, mbOK);
    break;
  case TBackupOutcome::Failed:
  case TBackupOutcome::Refused: {
    std::string reason = r.Reason;
    if (!r.ReasonDetail.empty()) reason += "\r\n" + r.ReasonDetail;
    Prompt().MessageDlg(FailureText(reason + UnreadableText(r)), TMsgIcon::Error, mbOK);
    break;
  }
  case TBackupOutcome::Warned:
    // The archive is there, but it is no backup of the repository: not "completed".
    Prompt().MessageDlg(r.Warning + "\r\n\r\n" + kCountLine + std::to_string(r.Count) + "\r\n\r\n" +
                            kFileNameLine + fileName + UnreadableText(r),
                        TMsgIcon::Warning, mbOK);
    break;
  case TBackupOutcome::Done:
    Prompt().ShowMessage(CompletionText(r.Count, fileName) + UnreadableText(r));
    break;
  }
}

void TfrmProjectMgr_Backup::ZipBegin(TZip&, const std::string& FileName, int, bool&) {
  lblCurrentFile->setText(QString::fromStdString(Below(FileName)));
}

void TfrmProjectMgr_Backup::ZipProgress(TZip&, uint8_t ByFile, uint8_t ByArchive) {
  pbTotal->setValue(ByArchive);
  pbCurrent->setValue(ByFile);
}

// The path below the project folder, with the folder's trailing delimiter kept in front.
std::string TfrmProjectMgr_Backup::Below(const std::string& path) const {
  if (SourceFolder.empty() || path.size() < SourceFolder.size() ||
      path.compare(0, SourceFolder.size(), SourceFolder) != 0)
    return path;
  return path.substr(SourceFolder.size() - 1);
}

std::string TfrmProjectMgr_Backup::NamedList(const char* label, size_t n,
                                             const std::vector<std::string>& names) const {
  if (n == 0) return "";
  std::string text = "\r\n\r\n" + std::string(label) + std::to_string(n) + "개";
  for (size_t i = 0; i < names.size() && i < ShownUnreadable; ++i)
    text += "\r\n" + Below(names[i]);
  if (n > ShownUnreadable) text += "\r\n외 " + std::to_string(n - ShownUnreadable) + "개";
  return text;
}

std::string TfrmProjectMgr_Backup::UnreadableText(const TBackupResult& r) const {
  return NamedList(kUnreadable, r.UnreadableCount, r.UnreadableFiles) +
         NamedList(kLinks, r.LinkCount, r.SkippedLinks);
}
