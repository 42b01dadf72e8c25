// The main window's watch offscreen: a failed backup run in the record and an invalid rules
// file in the server's log are told once, across timer ticks and a new window; the field
// above the buttons and the tray's tooltip give the oldest newest backup's age.
#include "app/UfrmMain.h"

#include "platform/UfnPlatform.h"
#include "projects/UfnBackupRecord.h"
#include "server/UfnServerLog.h"
#include "support/GuiTestApp.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

std::string ArchiveName(const std::string& project, std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &tm);
  return project + "_" + stamp + "Z.zip";
}

} // namespace

TEST(MainWindowAlerts, AFailedRunAndAnUnreachableProjectAreToldOnceAndTheAgeIsShown) {
  TempDir root{"repos"}, backups{"backups"};
  TScriptedPrompt prompt;
  TGlobals globals{root.Path()};
  globals.MakeServerController();
  BasicSetting->SVNPath = "/usr";
  BasicSetting->BackupPath = backups.Path();
  ASSERT_EQ(Shell("svnadmin create " + Quote(root / "proj")).ExitCode, 0);
  const std::time_t now = std::time(nullptr);
  WriteFile(backups / ArchiveName("proj", now - 3 * 86400 - 600), "zip");
  std::vector<TBackupRecordEntry> record(1);
  record[0].Name = "proj";
  record[0].Result = "failed";
  record[0].Start = now - 3600;
  record[0].Error = "디스크가 가득 찼습니다";
  std::string error;
  ASSERT_TRUE(WriteBackupRecord(BackupRecordFile(), record, error)) << error;
  WriteFile(ServerLogPath(),
            "15511 2026-12-10T16:44:12.297517Z 127.0.0.1 - proj ERR - 0 220003 Invalid authz "
            "configuration\n"
            "15511 2026-12-10T16:44:12.297517Z 127.0.0.1 - proj ERR- - 0 200002 line 2: Option "
            "expected\n");

  auto* w = new TfrmMain;
  w->tmAlerts->setInterval(50);
  int ticks = 0;
  QObject::connect(w->tmAlerts, &QTimer::timeout, [&ticks]() { ++ticks; });
  w->show();
  ASSERT_TRUE(QTest::qWaitFor([&]() { return !prompt.Messages().empty(); }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([&]() { return ticks >= 2; }, 10000));
  QTest::qWait(300);
  ASSERT_EQ(prompt.Messages().size(), 1u);
  const TPromptCall m = prompt.Messages()[0];
  EXPECT_EQ(m.Caption, "Warning");
  EXPECT_EQ(m.Text, "프로젝트 proj의 백업이 실패했습니다 (" + BackupRecordLocalTime(now - 3600) +
                        "): 디스크가 가득 찼습니다\n"
                        "프로젝트 proj에 접속할 수 없습니다: Invalid authz configuration; line "
                        "2: Option expected");
  const QString status =
      QString::fromUtf8("가장 오래된 최근 백업: 3일 전 (proj) · 경고: 접속 불가 proj");
  EXPECT_EQ(w->lblBackupStatus->toolTip(), status);
  EXPECT_TRUE(w->lblBackupStatus->isVisible());
  EXPECT_TRUE(w->tiTrayIcon->toolTip().contains(status));
  // The server's own texts are as they were.
  EXPECT_TRUE(w->lblServerStatus->toolTip().startsWith(QString::fromUtf8("서버 중지됨 · 포트 ")));
  EXPECT_TRUE(w->tiTrayIcon->toolTip().endsWith(QString::fromUtf8("서버 중지됨 · ") +
                                                TfrmMain::ServerAddress()));
  delete w;

  // A new window (the program started again) does not tell it again.
  w = new TfrmMain;
  w->show();
  ASSERT_TRUE(QTest::qWaitFor([&]() { return !w->AlertStatus().isEmpty(); }, 10000));
  QTest::qWait(200);
  EXPECT_EQ(prompt.Messages().size(), 1u);
  delete w;
}
