// The main window in the notification area: its icon and menu, hiding into it and coming
// back from it.
#include "app/UfrmMain.h"

#include "base/UfnDesktop.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QWindowStateChangeEvent>

namespace {

// The tray's picture: the program's icon while the server runs, greyed while it is stopped.
QIcon TrayPicture(bool running) {
  QIcon base = QApplication::windowIcon().isNull() ? ProgramIcon() : QApplication::windowIcon();
  if (running) return base;
  QIcon grey;
  for (int size : {16, 32})
    grey.addPixmap(base.pixmap(size, size, QIcon::Disabled));
  return grey;
}

} // namespace

void TfrmMain::CreateTray() {
  tiTrayIcon = new QSystemTrayIcon(this);
  tiTrayIcon->setObjectName("tiTrayIcon");
  tiTrayIcon->setContextMenu(pmTray);
  connect(tiTrayIcon, &QSystemTrayIcon::activated, this, &TfrmMain::TrayActivated);
}

// The icon's picture and tooltip for the server's state.
void TfrmMain::ShowTrayState() {
  tiTrayIcon->setIcon(TrayPicture(ServerRunning()));
  const QString alerts = FAlertStatus.isEmpty() ? QString() : FAlertStatus + "\n";
  tiTrayIcon->setToolTip(TrayTip() + "\n" + alerts +
                         QString::fromUtf8(ServerRunning() ? "서버 실행 중" : "서버 중지됨") +
                         " · " + ServerAddress());
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
