// The main window: the server commands, the three managers and the About box as actions,
// bound to the menu bar, the five buttons and the notification-area menu. The enabled state of
// the two server actions is the window's belief of whether the server runs; a watch keeps it in
// step with the server controller's record.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QSystemTrayIcon>
#include <future>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class QMenuBar;
class QToolButton;
struct TAlerts;

class TfrmMain : public QMainWindow {
  Q_OBJECT

public:
  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

  // Actions (acMain holds them in the order below); buttons and menu items take their
  // caption, picture and enabled state from them.
  QAction* acStartServer;
  QAction* acStopServer;
  QAction* acExit;
  QAction* acBasicSetting;
  QAction* acUserMgr;
  QAction* acProjectMgr;
  QAction* acAbout;
  QList<QAction*> acMain;
  // The mirrors' dialog: a menu item of Tools only, no button.
  QAction* acMirrorMgr;
  QAction* acAccessMgr;
  QAction* acBackupSchedule;
  // The window menu.
  QAction* acMinimizeToTray;
  QAction* acClose;

  QMenuBar* mmMain;
  QMenu* tiFile;
  QMenu* tiTools;
  QMenu* tiHelp;
  QMenu* pmTray;
  QMenu* pmWindow;
  QWidget* pnlBackground;
  QToolButton* btnBasicSetting;
  QToolButton* btnUserMgr;
  QToolButton* btnProjectMgr;
  QToolButton* btnStartServer;
  QToolButton* btnStopServer;
  QSystemTrayIcon* tiTrayIcon;
  // The server's state, port, root and address under the buttons, with the copy command.
  QLabel* lblServerStatus;
  QAction* acCopyAddress;
  QToolButton* btnCopyAddress;
  // Notices a server that ended behind the program's back; also refreshes the status.
  QTimer* tmServerWatch;
  // The age of the oldest newest backup and the warnings of the alerts' watch; its timer
  // looks again in the background, and what is new is told once as a notice.
  QLabel* lblBackupStatus;
  QTimer* tmAlerts;
  static constexpr int BackupAgeLimitDays = 7;

  // Set when the desktop session ends, so that closing asks nothing.
  bool FEndSession = false;

  // Enables the actions for a stopped (true) or a running server.
  void SetServerStopped(bool stopped);
  bool ServerRunning() const;
  // The address clients use, from this machine's host name and the configured port.
  static QString ServerAddress();
  // State, port, root and address, as the status line and the tray's tooltip give them.
  QString ServerStatusText() const;
  void UpdateServerStatus();
  // The watch's tick: a server of ours that has ended takes the stopped state, told once.
  void CheckServer();
  void acCopyAddressExecute();
  // The alerts' tick: starts a look in the background unless one is still running.
  void WatchAlerts();
  // The look's result, on the window's thread: the status line, the tooltip and the notice.
  void AlertsChecked(const TAlerts& alerts);
  QString AlertStatus() const { return FAlertStatus; }

  void FormCreate();
  void FormShow();
  void FormCloseQuery(bool& canClose);
  void acStartServerExecute();
  void acStopServerExecute();
  void acExitExecute();
  void acBasicSettingExecute();
  void acUserMgrExecute();
  void acProjectMgrExecute();
  void acMirrorMgrExecute();
  void acAccessMgrExecute();
  void acBackupScheduleExecute();
  void acAboutExecute();
  // The desktop asks whether the session may end: yes, and the window closes unasked.
  bool WMQueryEndSession();

  // Hides the window into the notification area (or minimises it where there is none) and
  // brings it back to the state and position it had.
  void MinimizeToTray();
  void RestoreFromTray();
  // A later launch of the program asked for the window: from the tray, minimised or hidden,
  // it comes back shown and raised.
  void ShowFromOtherLaunch();
  bool InTray() const { return FInTray; }
  // The icon's tooltip: the application title, cut to 63 characters.
  static QString TrayTip();

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Whether the desktop shows a notification area.
  virtual bool TrayAvailable() const;
  // Whether the notification area shows message balloons.
  virtual bool TrayShowsMessages() const;

private:
  // The parts the constructor makes, in this order.
  void CreateActions();
  void CreateMenus();
  void CreateControls();
  void CreateTray();
  void CreateAlertControls();
  void ShowTrayState();
  void TrayActivated(QSystemTrayIcon::ActivationReason reason);
  bool FShown = false;
  bool FServerRunning = false;
  bool FInTray = false;
  Qt::WindowStates FRestoreState = Qt::WindowNoState;
  QPoint FRestorePos;
  QString FAlertStatus;
  std::future<void> FAlertsRun;
  bool FAlertsBusy = false;
};

extern TfrmMain* frmMain;

// The program's icon (taskbar, notification area), from the program's resources.
QIcon ProgramIcon();
