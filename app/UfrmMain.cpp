#include "app/UfrmMain.h"

#include "app/UfrmAbout.h"
#include "app/UfrmDialogKit.h"
#include "base/UfnDesktop.h"
#include "base/UfnErrors.h"
#include "platform/UfnFiles.h"
#include "projects/UfrmAccessMgr.h"
#include "projects/UfrmBackupSchedule.h"
#include "projects/UfrmMirrorMgr.h"
#include "projects/UfrmProjectMgr.h"
#include "server/UclsSVN.h"
#include "settings/UclsBasicSetting.h"
#include "settings/UfrmBasicSetting.h"
#include "users/UfrmUserMgr.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSessionManager>
#include <QSysInfo>
#include <QTimer>
#include <QToolButton>

TfrmMain* frmMain = nullptr;

// The resources live in a static library: nothing would pull them in otherwise.
static void InitResources() {
  Q_INIT_RESOURCE(orlenway);
}

namespace {

// Restores the start command and the settings if a start fails or raises.
class TStartGuard {
public:
  TStartGuard(QAction* start, QAction* settings)
      : FStart(start), FSettings(settings), FStartWas(start->isEnabled()),
        FSettingsWas(settings->isEnabled()) {
    start->setEnabled(false);
    settings->setEnabled(false);
  }
  ~TStartGuard() {
    if (FRestore) {
      FStart->setEnabled(FStartWas);
      FSettings->setEnabled(FSettingsWas);
    }
  }
  void Keep() { FRestore = false; }

private:
  QAction* FStart;
  QAction* FSettings;
  bool FStartWas, FSettingsWas;
  bool FRestore = true;
};

// The repository folder as the status line names it, or what is wrong with it.
QString RepositoryField() {
  const std::string& repo = BasicSetting->RepoPath;
  if (repo.empty()) return QString::fromUtf8("저장소 경로 미설정");
  if (!platform::DirectoryExists(repo))
    return QString::fromUtf8("저장소 경로 없음: ") + QString::fromStdString(repo);
  return QString::fromStdString(repo);
}

// What is wrong with the Subversion folder, with its separator; empty when svnserve is there.
QString SubversionField() {
  const std::string& svn = BasicSetting->SVNPath;
  if (svn.empty()) return QString::fromUtf8(" · SVN 경로 미설정");
  if (!platform::FileExists(ServerProgramPath()))
    return QString::fromUtf8(" · SVN 경로에 svnserve 없음: ") + QString::fromStdString(svn);
  return {};
}

} // namespace

QIcon ProgramIcon() {
  InitResources();
  QIcon icon;
  for (int size : {16, 32, 48, 256})
    icon.addFile(QString(":/icons/orlenway%1.png").arg(size), QSize(size, size));
  return icon;
}

TfrmMain::TfrmMain(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
  InitResources();
  frmMain = this;
  setObjectName("frmMain");
  setFont(GulimFont(9));
  if (QApplication::windowIcon().isNull()) QApplication::setWindowIcon(ProgramIcon());
  CreateActions();
  CreateMenus();
  CreateControls();
  CreateTray();

  connect(qApp, &QGuiApplication::commitDataRequest, this,
          [this](QSessionManager&) { WMQueryEndSession(); });

  setFixedSize(398, 179);
  UpdateServerStatus();
  FormCreate();
}

void TfrmMain::CreateControls() {
  pnlBackground = new QWidget(this);
  pnlBackground->setObjectName("pnlBackground");
  pnlBackground->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(pnlBackground, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { pmWindow->popup(pnlBackground->mapToGlobal(at)); });
  setCentralWidget(pnlBackground);
  auto makeButton = [this](const char* name, QAction* action, QRect bounds, int enlarge) {
    auto* b = new QToolButton(pnlBackground);
    b->setObjectName(name);
    b->setDefaultAction(action);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setIconSize(QSize(24, 24));
    b->setFont(GulimFont(9 + enlarge, true));
    b->setFocusPolicy(Qt::StrongFocus);
    b->setGeometry(bounds);
    return b;
  };
  btnBasicSetting = makeButton("btnBasicSetting", acBasicSetting, QRect(20, 36, 114, 32), 1);
  btnUserMgr = makeButton("btnUserMgr", acUserMgr, QRect(140, 36, 114, 32), 1);
  btnProjectMgr = makeButton("btnProjectMgr", acProjectMgr, QRect(260, 36, 114, 32), 1);
  btnStartServer = makeButton("btnStartServer", acStartServer, QRect(72, 92, 110, 41), 2);
  btnStopServer = makeButton("btnStopServer", acStopServer, QRect(212, 92, 110, 41), 2);
  setTabOrder(btnBasicSetting, btnUserMgr);
  setTabOrder(btnUserMgr, btnProjectMgr);
  setTabOrder(btnProjectMgr, btnStopServer);
  setTabOrder(btnStopServer, btnStartServer);

  lblServerStatus = new QLabel(pnlBackground);
  lblServerStatus->setObjectName("lblServerStatus");
  lblServerStatus->setGeometry(QRect(8, 140, 300, 16));
  acCopyAddress = new QAction(QString::fromUtf8("주소 복사"), this);
  acCopyAddress->setObjectName("acCopyAddress");
  connect(acCopyAddress, &QAction::triggered, this, [this]() { acCopyAddressExecute(); });
  btnCopyAddress = new QToolButton(pnlBackground);
  btnCopyAddress->setObjectName("btnCopyAddress");
  btnCopyAddress->setDefaultAction(acCopyAddress);
  btnCopyAddress->setGeometry(QRect(312, 137, 78, 20));
  tmServerWatch = new QTimer(this);
  tmServerWatch->setObjectName("tmServerWatch");
  tmServerWatch->setInterval(1000);
  connect(tmServerWatch, &QTimer::timeout, this, [this]() { CheckServer(); });
  CreateAlertControls();
}

TfrmMain::~TfrmMain() {
  // A look still running posts its result to this window: it must end first.
  if (FAlertsRun.valid()) FAlertsRun.wait();
  tiTrayIcon->hide();
  if (frmMain == this) frmMain = nullptr;
}

void TfrmMain::FormCreate() {
  setWindowTitle(QString::fromStdString(ApplicationTitle()));
  FEndSession = false;
}

void TfrmMain::FormShow() {
  SVN->StopServer();
  SetServerStopped(true);
  tmAlerts->start();
  WatchAlerts();
}

void TfrmMain::SetServerStopped(bool stopped) {
  acBasicSetting->setEnabled(stopped);
  acStartServer->setEnabled(stopped);
  acStopServer->setEnabled(!stopped);
  FServerRunning = !stopped;
  UpdateServerStatus();
  if (!tmServerWatch->isActive()) tmServerWatch->start();
}

bool TfrmMain::ServerRunning() const {
  return FServerRunning;
}

QString TfrmMain::ServerAddress() {
  return QString::fromStdString(
      ::ServerAddress(QSysInfo::machineHostName().toStdString(), BasicSetting->GetPort()));
}

QString TfrmMain::ServerStatusText() const {
  // One pass: a "%1" in a folder name is the name's own text, not a place for the address.
  // A folder that is not set or not there is named with what is wrong, not left blank.
  return QString::fromUtf8(ServerRunning() ? "서버 실행 중" : "서버 중지됨") +
         QString::fromUtf8(" · 포트 %1 · %2%3 · %4")
             .arg(QString::number(BasicSetting->GetPort()), RepositoryField(), SubversionField(),
                  ServerAddress());
}

void TfrmMain::UpdateServerStatus() {
  if (!BasicSetting) return; // the settings are gone once the program is ending
  const QString text = ServerStatusText();
  lblServerStatus->setToolTip(text);
  lblServerStatus->setText(
      lblServerStatus->fontMetrics().elidedText(text, Qt::ElideMiddle, lblServerStatus->width()));
  ShowTrayState();
}

void TfrmMain::CheckServer() {
  if (ServerRunning() && SVN && !SVN->ServerRunning()) {
    // Clears the record; the process it named is gone, so nothing is signalled.
    SVN->StopServer();
    SetServerStopped(true);
    const std::string text =
        Format("SVN 서버가 종료되었습니다 (포트 %d). 다시 시작해주세요", BasicSetting->GetPort());
    if (TrayShowsMessages() && tiTrayIcon->isVisible())
      tiTrayIcon->showMessage(QString::fromStdString(ApplicationTitle()),
                              QString::fromStdString(text), QSystemTrayIcon::Warning);
    else
      Prompt().MessageBox("Warning", text, TMsgIcon::Warning, mbOK);
    return;
  }
  UpdateServerStatus();
}

void TfrmMain::acCopyAddressExecute() {
  QGuiApplication::clipboard()->setText(ServerAddress());
}

void TfrmMain::acStartServerExecute() {
  // While the start waits for the server the window keeps painting; meanwhile neither a
  // second start nor a change of the settings may begin.
  TStartGuard guard(acStartServer, acBasicSetting);
  if (SVN->StartServer()) {
    guard.Keep();
    SetServerStopped(false);
  }
}

void TfrmMain::acStopServerExecute() {
  // No server of ours left to stop is the stopped state all the same.
  SVN->StopServer();
  SetServerStopped(true);
}

void TfrmMain::acExitExecute() {
  close();
}

void TfrmMain::acBasicSettingExecute() {
  ShowBasicSetting();
}

void TfrmMain::acUserMgrExecute() {
  ShowUserMgr();
}

void TfrmMain::acProjectMgrExecute() {
  ShowProjectMgr();
}

void TfrmMain::acAccessMgrExecute() {
  ShowAccessMgr();
}

void TfrmMain::acMirrorMgrExecute() {
  ShowMirrorMgr();
}

void TfrmMain::acBackupScheduleExecute() {
  ShowBackupSchedule();
}

void TfrmMain::acAboutExecute() {
  ShowAbout();
}

void TfrmMain::FormCloseQuery(bool& canClose) {
  if (FEndSession) {
    canClose = true;
    return;
  }
  canClose = Prompt().MessageBox("Warning",
                                 "Orlenway를 종료하시겠습니까?\r\n\r\n"
                                 "실행중인 SVN Server 도 종료됩니다.",
                                 TMsgIcon::Warning, mbYes | mbNo) == mbYes;
}

bool TfrmMain::WMQueryEndSession() {
  FEndSession = true;
  tiTrayIcon->hide();
  close();
  return true;
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (FShown) return;
  FShown = true;
  if (QScreen* s = screen()) {
    QRect frame = frameGeometry();
    move(s->availableGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
  }
  FormShow();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  bool canClose = true;
  FormCloseQuery(canClose);
  if (!canClose) {
    event->ignore();
    return;
  }
  event->accept();
  tiTrayIcon->hide();
  FInTray = false;
  // The main window's closing ends the program, also when it closes from the tray.
  QCoreApplication::quit();
}
