// The main window's watch over the backups and the server's log: a field above the buttons
// with the age of the oldest newest backup, the same in the tray's tooltip, and a notice for
// each failed run or unreachable project, told once.
#include "app/UfrmMain.h"

#include "base/UfnDesktop.h"
#include "platform/UfnFiles.h"
#include "projects/UfnAlerts.h"
#include "settings/UclsBasicSetting.h"

#include <QLabel>
#include <QTimer>

#include <exception>

void TfrmMain::CreateAlertControls() {
  lblBackupStatus = new QLabel(pnlBackground);
  lblBackupStatus->setObjectName("lblBackupStatus");
  lblBackupStatus->setGeometry(QRect(20, 12, 354, 16));
  tmAlerts = new QTimer(this);
  tmAlerts->setObjectName("tmAlerts");
  tmAlerts->setInterval(60 * 1000);
  connect(tmAlerts, &QTimer::timeout, this, [this]() { WatchAlerts(); });
}

void TfrmMain::WatchAlerts() {
  if (FAlertsBusy || !BasicSetting) return;
  TAlertOptions options;
  options.RepoPath = BasicSetting->RepoPath;
  options.BackupPath = BasicSetting->BackupPath;
  options.StateFolder = platform::StateFolder();
  options.LimitDays = BackupAgeLimitDays;
  FAlertsBusy = true;
  // Folder listings and the log's new lines only, but a slow disk must not freeze the window.
  FAlertsRun = std::async(std::launch::async, [this, options]() {
    TAlerts alerts;
    try {
      alerts = CheckAlerts(options);
    } catch (const std::exception& e) {
      alerts.NewProblems.push_back(e.what());
    }
    QMetaObject::invokeMethod(
        this, [this, alerts]() { AlertsChecked(alerts); }, Qt::QueuedConnection);
  });
}

void TfrmMain::AlertsChecked(const TAlerts& alerts) {
  FAlertsBusy = false;
  FAlertStatus = QString::fromStdString(AlertStatusText(alerts, BackupAgeLimitDays));
  const bool warn = alerts.BackupTooOld || !alerts.Unreachable.empty();
  lblBackupStatus->setStyleSheet(warn ? "color: #c00000;" : "");
  lblBackupStatus->setToolTip(FAlertStatus);
  lblBackupStatus->setText(lblBackupStatus->fontMetrics().elidedText(FAlertStatus, Qt::ElideMiddle,
                                                                     lblBackupStatus->width()));
  UpdateServerStatus();
  const std::string notice = AlertNoticeText(alerts);
  if (notice.empty()) return;
  if (TrayShowsMessages() && tiTrayIcon->isVisible())
    tiTrayIcon->showMessage(QString::fromStdString(ApplicationTitle()),
                            QString::fromStdString(notice), QSystemTrayIcon::Warning);
  else
    Prompt().MessageBox("Warning", notice, TMsgIcon::Warning, mbOK);
}
