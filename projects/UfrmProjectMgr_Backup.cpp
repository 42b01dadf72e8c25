#include "projects/UfrmProjectMgr_Backup.h"

#include "app/UfrmMain.h"
#include "base/UfnDesktop.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnBackup.h"
#include "server/UfnShell.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

namespace {

const char* const kCaption = "저장소 폴더 백업";
const char* const kCurrentProgress = "현재 진행율";
const char* const kTotalProgress = "전체 진행율";
const char* const kCompleted = "프로젝트 폴더 압축을 완료하였습니다.\r\n\r\n총 파일 갯수 : ";
const char* const kFileNameLine = "파일명 : ";
const char* const kFailed = "프로젝트 폴더 백업에 실패하였습니다.";
const char* const kUnreadable = "읽을 수 없어 빠진 파일 : ";
const char* const kLinks = "링크여서 빠진 항목 : ";
const char* const kNothingRead = "읽을 수 있는 파일이 없어 압축 파일을 만들지 못했습니다.";

// How many of the files that could not be read (and of the links left out) the message names.
constexpr size_t ShownUnreadable = 5;

std::string FileNamePart(const std::string& path) {
  size_t slash = path.rfind(platform::PathDelimiter());
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The paths and captions land on a font with Hangul where the Windows font is missing.
QFont SansSerif11() {
  QFont f = WindowsFont("MS Sans Serif");
  f.setPixelSize(11);
  return f;
}

} // namespace

// Escape closes as in any dialog, but not while the run works (see done).
TfrmProjectMgr_Backup::TfrmProjectMgr_Backup(QWidget* parent)
    : TFixedDialog(parent, "frmProjectMgr_Backup", kCaption, {365, 123}, TKeys::Standard,
                   SansSerif11()) {
  pnlBackground = new QWidget(this);
  pnlBackground->setObjectName("pnlBackground");
  pnlBackground->setGeometry(0, 0, 365, 123);

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
  // The run's own errors decide what the administrator is told at its end.
  Zip.OnError = [this](TZip&, const std::string& fileName, const std::string& extended,
                       const std::string&, int code) {
    if (code == zeOpenError || code == zeNothingToDo) return; // not a failure of the run
    FFailed = true;
    FFailure = {code, fileName, extended};
  };
}

std::string TfrmProjectMgr_Backup::CompletionText(int count, const std::string& fileName) {
  return kCompleted + std::to_string(count) + "\r\n" + "\r\n" + kFileNameLine + fileName;
}

std::string TfrmProjectMgr_Backup::FailureText(const std::string& reason) {
  return std::string(kFailed) + "\r\n\r\n" + reason;
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
    e->ignore();
    return;
  }
  QDialog::closeEvent(e);
}

void TfrmProjectMgr_Backup::done(int result) {
  if (FRunning) return;
  QDialog::done(result);
}

void TfrmProjectMgr_Backup::tmrExecuteTimer() {
  tmrExecute->stop();
  if (FStarted) return;
  FStarted = true;
  const std::string fileName = FileNamePart(ZipFileName);
  lblZipFile->setText(QString::fromStdString(fileName));
  // An older file at the archive path is not deleted first: the builder always writes a new
  // archive and puts it there only once it is complete, so a failed run keeps the older one.
  setCursor(Qt::WaitCursor);

  ConfigureBackupZip(Zip, SourceFolder, ZipFileName);

  FFailed = false;
  FRunning = true;
  const int count = Zip.BuildArchive(); // reports its errors through OnError, never raises
  FRunning = false;
  unsetCursor();
  // The server is down only while the tree is packed, not while a message waits for a click.
  if (OnBuilt) OnBuilt();

  if (FFailed) {
    Prompt().MessageDlg(FailureText(FailureReason()), TMsgIcon::Error, mbOK);
  } else if (count == 0 && Zip.UnreadableCount() > 0) {
    // Nothing could be read, so no archive was made: that is no backup either.
    Prompt().MessageDlg(FailureText(kNothingRead + UnreadableText()), TMsgIcon::Error, mbOK);
  } else {
    Prompt().ShowMessage(CompletionText(count, fileName) + UnreadableText());
  }
  close();
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

std::string TfrmProjectMgr_Backup::UnreadableText() const {
  return NamedList(kUnreadable, Zip.UnreadableCount(), Zip.UnreadableFiles()) +
         NamedList(kLinks, Zip.LinkCount(), Zip.SkippedLinks());
}

std::string TfrmProjectMgr_Backup::FailureReason() const {
  std::string reason = TZip::ErrorText(FFailure.Code);
  if (reason.empty()) reason = "Error " + std::to_string(FFailure.Code);
  if (!FFailure.FileName.empty()) reason += ": " + FFailure.FileName;
  if (!FFailure.Extended.empty()) reason += "\r\n" + FFailure.Extended;
  return reason;
}
