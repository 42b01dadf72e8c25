#include "app/UfrmMain.h"

#include "app/UfrmAbout.h"
#include "app/UfrmDialogKit.h"
#include "base/UfnDesktop.h"
#include "base/UfnErrors.h"
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
#include <QMenuBar>
#include <QPainter>
#include <QProxyStyle>
#include <QScreen>
#include <QSessionManager>
#include <QStyleOptionMenuItem>
#include <QSysInfo>
#include <QTimer>
#include <QToolButton>
#include <QWindowStateChangeEvent>

TfrmMain* frmMain = nullptr;

// The resources live in a static library: nothing would pull them in otherwise.
static void InitResources() {
  Q_INIT_RESOURCE(orlenway);
}

namespace {

// The pictures of the seven actions, by index: 24 pixels on the buttons, 16 in the menus.
QIcon ActionPicture(int index) {
  static const char* const names[] = {"start",    "stop", "settings", "users",
                                      "projects", "exit", "about"};
  const QString base = QString(":/icons/") + names[index];
  QIcon icon;
  icon.addFile(base + "16.png", QSize(16, 16));
  icon.addFile(base + "24.png", QSize(24, 24));
  return icon;
}

// Pictures of the three top-level menu entries: floppy disk, magnifying glass, book.
QIcon MenuPicture(int index) {
  static const char* const names[] = {"file", "tools", "help"};
  return QIcon(QString(":/icons/") + names[index] + "16.png");
}

// The common styles draw a menu-bar entry's picture instead of its caption; the entries
// carry both.
class TMenuBarStyle : public QProxyStyle {
public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuBarItem || !item || item->icon.isNull()) {
      QProxyStyle::drawControl(element, option, painter, widget);
      return;
    }
    QStyleOptionMenuItem bare(*item);
    bare.icon = QIcon();
    bare.text.clear();
    QProxyStyle::drawControl(element, &bare, painter, widget);
    const bool enabled = item->state & State_Enabled;
    const int extent = pixelMetric(PM_SmallIconSize, option, widget);
    const QRect r = item->rect;
    QPixmap pix = item->icon.pixmap(extent, extent, enabled ? QIcon::Normal : QIcon::Disabled);
    painter->drawPixmap(QRect(r.left() + 4, r.top() + (r.height() - extent) / 2, extent, extent),
                        pix);
    drawItemText(painter, r.adjusted(extent + 4, 0, 0, 0),
                 Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextDontClip | Qt::TextSingleLine,
                 item->palette, enabled, item->text, QPalette::ButtonText);
  }

  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (type != CT_MenuBarItem || !item || !widget)
      return QProxyStyle::sizeFromContents(type, option, size, widget);
    QSize contents = size;
    if (!item->icon.isNull()) {
      const int extent = pixelMetric(PM_SmallIconSize, option, widget);
      QSize text = widget->fontMetrics().size(Qt::TextShowMnemonic, item->text);
      contents = QSize(extent + 4 + text.width(), std::max(extent, text.height()));
    }
    QSize result = QProxyStyle::sizeFromContents(type, option, contents, widget);
    // The bar has a fixed, low height; entries taller than it would all go to the overflow.
    const int frame = pixelMetric(PM_MenuBarPanelWidth, nullptr, widget) +
                      pixelMetric(PM_MenuBarVMargin, nullptr, widget);
    result.setHeight(std::min(result.height(), widget->maximumHeight() - 2 * frame));
    return result;
  }
};

// The tray's picture: the program's icon while the server runs, greyed while it is stopped.
QIcon TrayPicture(bool running) {
  QIcon base = QApplication::windowIcon().isNull() ? ProgramIcon() : QApplication::windowIcon();
  if (running) return base;
  QIcon grey;
  for (int size : {16, 32})
    grey.addPixmap(base.pixmap(size, size, QIcon::Disabled));
  return grey;
}

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

  auto makeAction = [this](const char* name, const char* category, const char* caption, int picture,
                           void (TfrmMain::*handler)()) {
    auto* a = new QAction(QString::fromUtf8(caption), this);
    a->setObjectName(name);
    a->setProperty("Category", category);
    a->setIcon(ActionPicture(picture));
    connect(a, &QAction::triggered, this, [this, handler]() { (this->*handler)(); });
    acMain.append(a);
    return a;
  };
  acStartServer =
      makeAction("acStartServer", "File", "서버 시작", 0, &TfrmMain::acStartServerExecute);
  acStopServer = makeAction("acStopServer", "File", "서버 중지", 1, &TfrmMain::acStopServerExecute);
  acExit = makeAction("acExit", "File", "종료", 5, &TfrmMain::acExitExecute);
  acBasicSetting =
      makeAction("acBasicSetting", "Tools", "기본 설정", 2, &TfrmMain::acBasicSettingExecute);
  acUserMgr = makeAction("acUserMgr", "Tools", "사용자 관리", 3, &TfrmMain::acUserMgrExecute);
  acProjectMgr =
      makeAction("acProjectMgr", "Tools", "프로젝트 관리", 4, &TfrmMain::acProjectMgrExecute);
  acAbout = makeAction("acAbout", "Help", "대하여...", 6, &TfrmMain::acAboutExecute);

  // The window menu, opened from the background; its shortcuts work anywhere in the window.
  acMinimizeToTray = new QAction("Minimize to &Tray", this);
  acMinimizeToTray->setObjectName("acMinimizeToTray");
  connect(acMinimizeToTray, &QAction::triggered, this, &TfrmMain::MinimizeToTray);
  acClose = new QAction("&Close", this);
  acClose->setObjectName("acClose");
  acClose->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
  connect(acClose, &QAction::triggered, this, &QWidget::close);
  addAction(acMinimizeToTray);
  addAction(acClose);
  pmWindow = new QMenu(this);
  pmWindow->setObjectName("pmWindow");
  pmWindow->addAction(acMinimizeToTray);
  pmWindow->addSeparator();
  pmWindow->addAction(acClose);

  mmMain = new QMenuBar(this);
  mmMain->setObjectName("mmMain");
  auto* menuStyle = new TMenuBarStyle;
  menuStyle->setParent(this);
  mmMain->setStyle(menuStyle);
  mmMain->setFixedHeight(19);
  auto makeMenu = [this](const char* name, const char* caption, int picture) {
    QMenu* m = mmMain->addMenu(MenuPicture(picture), QString::fromUtf8(caption));
    m->setObjectName(name);
    return m;
  };
  tiFile = makeMenu("tiFile", "  파일  ", 0);
  tiFile->addAction(acStartServer);
  tiFile->addAction(acStopServer);
  tiFile->addSeparator()->setObjectName("tiSep01");
  tiFile->addAction(acExit);
  tiTools = makeMenu("tiTools", "  도구  ", 1);
  tiTools->addAction(acBasicSetting);
  tiTools->addAction(acUserMgr);
  tiTools->addAction(acProjectMgr);
  tiHelp = makeMenu("tiHelp", "  도움말  ", 2);
  tiHelp->addAction(acAbout);
  setMenuBar(mmMain);

  pmTray = new QMenu(this);
  pmTray->setObjectName("pmTray");
  pmTray->addAction(acStartServer);
  pmTray->addAction(acStopServer);
  pmTray->addSeparator()->setObjectName("tiSep02");
  pmTray->addAction(acBasicSetting);
  pmTray->addAction(acUserMgr);
  pmTray->addAction(acProjectMgr);
  pmTray->addSeparator()->setObjectName("tiSep03");
  pmTray->addAction(acAbout);
  pmTray->addSeparator()->setObjectName("tiSep04");
  pmTray->addAction(acExit);

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

  tiTrayIcon = new QSystemTrayIcon(this);
  tiTrayIcon->setObjectName("tiTrayIcon");
  tiTrayIcon->setContextMenu(pmTray);
  connect(tiTrayIcon, &QSystemTrayIcon::activated, this, &TfrmMain::TrayActivated);

  connect(qApp, &QGuiApplication::commitDataRequest, this,
          [this](QSessionManager&) { WMQueryEndSession(); });

  setFixedSize(398, 179);
  UpdateServerStatus();
  FormCreate();
}

TfrmMain::~TfrmMain() {
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
  return QString::fromUtf8(ServerRunning() ? "서버 실행 중" : "서버 중지됨") +
         QString::fromUtf8(" · 포트 %1 · %2 · %3")
             .arg(QString::number(BasicSetting->GetPort()),
                  QString::fromStdString(BasicSetting->RepoPath), ServerAddress());
}

void TfrmMain::UpdateServerStatus() {
  if (!BasicSetting) return; // the settings are gone once the program is ending
  const QString text = ServerStatusText();
  lblServerStatus->setToolTip(text);
  lblServerStatus->setText(
      lblServerStatus->fontMetrics().elidedText(text, Qt::ElideMiddle, lblServerStatus->width()));
  tiTrayIcon->setIcon(TrayPicture(ServerRunning()));
  tiTrayIcon->setToolTip(TrayTip() + "\n" +
                         QString::fromUtf8(ServerRunning() ? "서버 실행 중" : "서버 중지됨") +
                         " · " + ServerAddress());
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

void TfrmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !isMinimized() || FInTray || !TrayAvailable())
    return;
  // The title bar's minimise button hides the window into the notification area.
  FRestoreState = static_cast<QWindowStateChangeEvent*>(event)->oldState() & ~Qt::WindowMinimized;
  QTimer::singleShot(0, this, [this]() {
    if (isMinimized() && !FInTray) MinimizeToTray();
  });
}

bool TfrmMain::TrayAvailable() const {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TfrmMain::TrayShowsMessages() const {
  return TrayAvailable() && QSystemTrayIcon::supportsMessages();
}

QString TfrmMain::TrayTip() {
  QString title = QString::fromStdString(ApplicationTitle());
  if (title.size() <= 63) return title;
  return title.left(title.at(62).isHighSurrogate() ? 62 : 63);
}

void TfrmMain::MinimizeToTray() {
  if (FInTray) return;
  if (!TrayAvailable()) {
    // Without a notification area a hidden window could never come back.
    showMinimized();
    return;
  }
  if (!isMinimized()) FRestoreState = windowState();
  FRestorePos = pos();
  UpdateServerStatus();
  FInTray = true;
  hide();
  tiTrayIcon->show();
}

void TfrmMain::RestoreFromTray() {
  if (!FInTray) return;
  FInTray = false;
  tiTrayIcon->hide();
  setWindowState(FRestoreState & ~Qt::WindowMinimized);
  move(FRestorePos);
  show();
  raise();
  activateWindow();
}

void TfrmMain::ShowFromOtherLaunch() {
  if (FInTray) {
    RestoreFromTray();
    return;
  }
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void TfrmMain::TrayActivated(QSystemTrayIcon::ActivationReason reason) {
  // Some trays pass single clicks only.
  if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
    RestoreFromTray();
}
