// The backup schedule's dialog offscreen, through a stand-in systemctl and crontab
// (ORLENWAY_SCHEDULER_DIR) so that the user's own timers and crontab are never touched: apply,
// shown as on with its next run, off removes the files; without a user systemd the crontab line
// is asked about first.
#include "projects/UfnBackupRecord.h"
#include "projects/UfrmBackupSchedule.h"

#include "support/GuiTestApp.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const char* const kSystemctl = R"(#!/bin/sh
dir=$(dirname "$0")
[ -e "$dir/down" ] && { echo "Failed to connect to bus" >&2; exit 1; }
case "$2" in
  enable) touch "$dir/enabled" ;;
  disable) rm -f "$dir/enabled" ;;
  is-enabled) [ -e "$dir/enabled" ] || exit 1 ;;
  show) echo "Fri 2026-12-11 01:15:00 UTC" ;;
esac
exit 0
)";
const char* const kCrontab = R"(#!/bin/sh
dir=$(dirname "$0")
if [ "$1" = "-l" ]; then
  [ -e "$dir/table" ] || { echo "no crontab for tester" >&2; exit 1; }
  cat "$dir/table"; exit 0
fi
cp "$1" "$dir/table"
)";

class BackupScheduleDialog : public ::testing::Test {
protected:
  BackupScheduleDialog() {
    Globals.Settings.SVNPath = "/usr";
    WriteFile(Bin / "systemctl", kSystemctl);
    WriteFile(Bin / "crontab", kCrontab);
    WriteFile(Admin, "#!/bin/sh\nexit 0\n");
    Shell("chmod 755 " + Quote(Bin / "systemctl") + " " + Quote(Bin / "crontab") + " " +
          Quote(Admin));
    platform::SetEnv("ORLENWAY_SCHEDULER_DIR", Bin.Path());
  }
  ~BackupScheduleDialog() override { platform::UnsetEnv("ORLENWAY_SCHEDULER_DIR"); }

  static void WaitForState(TfrmBackupSchedule& f) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f.Reading(); }, 10000));
  }

  TempDir Root{"repos"};
  TempDir Bin{"bin"};
  TGlobals Globals{Root.Path()};
  const std::string Admin = Bin / "orlenway-admin";
};

} // namespace

TEST_F(BackupScheduleDialog, AppliesShowsTheNextRunAndTurnsOff) {
  for (const char* name : {"alpha", "beta"})
    ASSERT_EQ(Shell("svnadmin create " + Quote(Root / name)).ExitCode, 0);
  TBackupRecordEntry good;
  good.Name = "alpha";
  good.Result = "done";
  good.End = 1765000000;
  good.Archive = "alpha_20251206T054640Z.zip";
  TBackupRecordEntry bad;
  bad.Name = "beta";
  bad.Result = "failed";
  bad.End = 1765000000;
  bad.Error = "검사에 실패하였습니다";
  std::string error;
  ASSERT_TRUE(WriteBackupRecord(BackupRecordFile(), {good, bad}, error)) << error;

  TScriptedPrompt prompt;
  TfrmBackupSchedule f;
  f.AdminPath = Admin;
  f.show();
  WaitForState(f);
  EXPECT_EQ(f.lblState->text().toStdString(), "예약: 꺼짐");
  ASSERT_EQ(f.lvResult->topLevelItemCount(), 2);
  EXPECT_EQ(f.lvResult->topLevelItem(0)->text(3).toStdString(), good.Archive);
  EXPECT_EQ(f.lvResult->topLevelItem(1)->text(2).toStdString(), "실패");
  EXPECT_EQ(f.lvResult->topLevelItem(1)->text(3).toStdString(), bad.Error);

  ASSERT_EQ(f.lstProjects->count(), 2);
  QTest::mouseClick(f.rbChosen, Qt::LeftButton, {}, QPoint(5, 10));
  ASSERT_TRUE(f.lstProjects->isEnabled());
  f.lstProjects->item(1)->setCheckState(Qt::Checked);
  QTest::mouseClick(f.rbWeekly, Qt::LeftButton, {}, QPoint(5, 10));
  f.cbDay->setCurrentIndex(4);
  f.edtTime->setTime(QTime(1, 15));
  f.edtKeep->setValue(5);
  f.edtMaxAge->setValue(30);
  f.btnApply->click();
  WaitForState(f);
  EXPECT_TRUE(prompt.Messages().empty()) << prompt.Messages().front().Text;
  const std::string unit = UserUnitFolder() + "/orlenway-admin-backup";
  EXPECT_NE(ReadFile(unit + ".service")
                .find("\nExecStart=" + Admin + " backup --keep 5 --max-age 30 -- beta\n"),
            std::string::npos);
  EXPECT_EQ(f.lblState->text().toStdString(),
            "예약: 켜짐 (systemd, OnCalendar=Fri *-*-* 01:15:00)\n다음 실행: Fri 2026-12-11 "
            "01:15:00 UTC");

  f.btnOff->click();
  WaitForState(f);
  EXPECT_EQ(f.lblState->text().toStdString(), "예약: 꺼짐");
  EXPECT_FALSE(Exists(unit + ".service"));
  EXPECT_FALSE(Exists(unit + ".timer"));
}

TEST_F(BackupScheduleDialog, WithoutUserSystemdTheCrontabLineIsWrittenOnlyAfterAYes) {
  WriteFile(Bin / "down", "");
  WriteFile(Bin / "table", "0 1 * * * /usr/bin/mine\n");
  TScriptedPrompt prompt;
  prompt.Answer(mbNo);
  prompt.Answer(mbYes);
  TfrmBackupSchedule f;
  f.AdminPath = Admin;
  f.show();
  WaitForState(f);
  f.btnApply->click();
  ASSERT_EQ(prompt.Messages().size(), 1u);
  EXPECT_NE(prompt.Messages()[0].Text.find("30 2 * * * "), std::string::npos)
      << prompt.Messages()[0].Text;
  EXPECT_EQ(ReadFile(Bin / "table"), "0 1 * * * /usr/bin/mine\n");
  f.btnApply->click();
  WaitForState(f);
  EXPECT_NE(ReadFile(Bin / "table").find(Admin + " backup --all\n"), std::string::npos);
  EXPECT_NE(f.lblState->text().toStdString().find("예약: 켜짐 (crontab"), std::string::npos);
  f.btnOff->click();
  WaitForState(f);
  EXPECT_EQ(ReadFile(Bin / "table"), "0 1 * * * /usr/bin/mine\n");
  EXPECT_EQ(prompt.Unanswered, 0);
}
