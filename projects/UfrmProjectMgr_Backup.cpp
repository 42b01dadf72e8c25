#include "projects/UfrmProjectMgr_Backup.h"

#include "base/UfnDesktop.h"
#include "app/UfrmMain.h"
#include "platform/UfnPlatform.h"
#include "server/UfnShell.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFont>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

namespace {

QString Q(const char* utf8) {
  return QString::fromUtf8(utf8);
}

const char* const kCaption = "저장소 폴더 백업";
const char* const kCurrentProgress = "현재 진행율";
const char* const kTotalProgress = "전체 진행율";
const char* const kCompleted = "프로젝트 폴더 압축을 완료하였습니다.\r\n\r\n총 파일 갯수 : ";
const char* const kFileNameLine = "파일명 : ";
const char* const kFailed = "프로젝트 폴더 백업에 실패하였습니다.";
const char* const kUnreadable = "읽을 수 없어 빠진 파일 : ";
const char* const kNothingRead = "읽을 수 있는 파일이 없어 압축 파일을 만들지 못했습니다.";

// How many of the files that could not be read the message names.
constexpr size_t ShownUnreadable = 5;

// Blocks of the bar drawn apart, the way the themed bars show progress.
const char* const kSegmentedBar =
    "QProgressBar { border: 1px solid #7f9db9; background: #ffffff; padding: 1px; }"
    "QProgressBar::chunk { background-color: #2d8ee0; width: 7px; margin-right: 2px; }";

std::string FileNamePart(const std::string& path) {
  size_t slash = path.rfind(platform::PathDelimiter());
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int left, int top) {
  auto* l = new QLabel(Q(caption), parent);
  l->setObjectName(name);
  l->move(left, top);
  return l;
}

QProgressBar* MakeBar(QWidget* parent, const char* name, const char* title, QRect r) {
  auto* b = new QProgressBar(parent);
  b->setObjectName(name);
  b->setGeometry(r);
  b->setRange(0, 100);
  b->setValue(0);
  b->setTextVisible(false);
  b->setStyleSheet(kSegmentedBar);
  b->setAccessibleName(Q(title));
  return b;
}

} // namespace

TfrmProjectMgr_Backup::TfrmProjectMgr_Backup(QWidget* parent) : QDialog(parent) {
  setObjectName("frmProjectMgr_Backup");
  setWindowTitle(Q(kCaption));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(365, 123);
  // A Windows font; elsewhere the paths and captions land on a font that has Hangul.
  const QString sansSerif = "MS Sans Serif";
  if (QFont::substitutes(sansSerif).isEmpty()) QFont::insertSubstitution(sansSerif, "NanumGothic");
  QFont font(sansSerif);
  font.setPixelSize(11);
  setFont(font);

  pnlBackground = new QWidget(this);
  pnlBackground->setObjectName("pnlBackground");
  pnlBackground->setGeometry(0, 0, 365, 123);

  QFont caption(Q("굴림"));
  caption.setPixelSize(12);
  caption.setBold(true);
  TeLabel1 = MakeLabel(pnlBackground, "TeLabel1", kCurrentProgress, 24, 36);
  TeLabel2 = MakeLabel(pnlBackground, "TeLabel2", kTotalProgress, 24, 88);
  for (QLabel* l : {TeLabel1, TeLabel2}) {
    l->setFont(caption);
    l->adjustSize();
  }
  lblCurrentFile = MakeLabel(pnlBackground, "lblCurrentFile", kCurrentProgress, 100, 20);
  lblZipFile = MakeLabel(pnlBackground, "lblZipFile", kTotalProgress, 100, 72);
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

  Zip.Attributes = {fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted};
  Zip.AttributesEx = {};
  Zip.RecurseDirs = false;
  Zip.DeleteOptions = doAllowUndo;
  Zip.SetArcType(atZip);
  Zip.SetCompressMethod(cmDeflate);
  Zip.SetDefaultExt(".zip");
  Zip.SetSwitch(swAdd);
  Zip.StoreFilesOfType = {".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ",  ".HA",
                          ".JAR", ".LHA", ".LZH", ".PAK", ".PK3", ".PK_", ".RAR", ".TAR",
                          ".TGZ", ".UUE", ".UU",  ".WAR", ".XXE", ".Z",   ".ZIP", ".ZOO"};
  // Left empty: the builder then uses the system's temporary folder.
  Zip.TempDir.clear();
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

std::string TfrmProjectMgr_Backup::ArchivePath(const std::string& backupPath,
                                               const std::string& project, std::time_t now) {
  const QString stamp =
      QDateTime::fromSecsSinceEpoch(static_cast<qint64>(now)).toString("yyyyMMdd'T'HHmmss'Z'");
  return AddPathDelimiter(backupPath) + project + "_" + stamp.toStdString() + ".zip";
}

std::string TfrmProjectMgr_Backup::CompletionText(int count, const std::string& fileName) {
  return kCompleted + std::to_string(count) + "\r\n" + "\r\n" + kFileNameLine + fileName;
}

std::string TfrmProjectMgr_Backup::FailureText(const std::string& reason) {
  return std::string(kFailed) + "\r\n\r\n" + reason;
}

void TfrmProjectMgr_Backup::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (frmMain && frmMain->isVisible())
    move(frmMain->frameGeometry().center() - QPoint(width() / 2, height() / 2));
  FormShow();
}

void TfrmProjectMgr_Backup::FormShow() {
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

  Zip.SetArchiveFile(ZipFileName);
  Zip.DateAttribute = daFileDate;
  Zip.SetStoredDirNames(sdRelative);
  Zip.SetCompressMethod(cmDeflate);
  Zip.RecurseDirs = true;
  Zip.SetSwitch(swAdd);
  Zip.StoreEmptySubDirs = true;
  Zip.SetEncryptHeaders(false);
  Zip.ExcludeSpec.clear();
  Zip.FileSpec.clear();
  Zip.FileSpec.push_back(SourceFolder + "*.*");
  for (TScanAttribute kind : {fsZeroAttr, fsArchive, fsDirectory, fsHidden, fsReadOnly, fsSysFile})
    Zip.IncludeAttribute(kind, true);

  FFailed = false;
  FRunning = true;
  const int count = Zip.BuildArchive(); // reports its errors through OnError, never raises
  FRunning = false;
  unsetCursor();

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

std::string TfrmProjectMgr_Backup::UnreadableText() const {
  const size_t n = Zip.UnreadableCount();
  if (n == 0) return "";
  std::string text = "\r\n\r\n" + std::string(kUnreadable) + std::to_string(n) + "개";
  const auto& names = Zip.UnreadableFiles();
  for (size_t i = 0; i < names.size() && i < ShownUnreadable; ++i)
    text += "\r\n" + Below(names[i]);
  if (n > ShownUnreadable) text += "\r\n외 " + std::to_string(n - ShownUnreadable) + "개";
  return text;
}

std::string TfrmProjectMgr_Backup::FailureReason() const {
  std::string reason = TZip::ErrorText(FFailure.Code);
  if (reason.empty()) reason = "Error " + std::to_string(FFailure.Code);
  if (!FFailure.FileName.empty()) reason += ": " + FFailure.FileName;
  if (!FFailure.Extended.empty()) reason += "\r\n" + FFailure.Extended;
  return reason;
}
