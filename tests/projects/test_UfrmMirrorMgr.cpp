// The mirrors' dialog offscreen over repositories of the real Subversion programs: the lag as
// it shows, a sync on demand, and a promotion asked through the prompt.
#include "projects/UfnMirrorJob.h"
#include "projects/UfrmMirrorMgr.h"
#include "projects/UfrmProjectMgr.h"

#include "support/GuiTestApp.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"
#include <QLabel>

#include <QApplication>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class MirrorMgrDialog : public ::testing::Test {
protected:
  // The timer's controls talk to a stand-in systemctl, never to the user's own.
  MirrorMgrDialog() {
    Globals.Settings.SVNPath = "/usr";
    WriteFile(Bin / "systemctl", "#!/bin/sh\ncase \"$2\" in\n"
                                 "  enable) touch \"$(dirname \"$0\")/enabled\" ;;\n"
                                 "  disable) rm -f \"$(dirname \"$0\")/enabled\" ;;\n"
                                 "  is-enabled) [ -e \"$(dirname \"$0\")/enabled\" ] || exit 1 ;;\n"
                                 "esac\nexit 0\n");
    WriteFile(Bin / "orlenway-admin", "#!/bin/sh\n");
    Shell("chmod 755 " + Quote(Bin / "systemctl") + " " + Quote(Bin / "orlenway-admin"));
    platform::SetEnv("ORLENWAY_SCHEDULER_DIR", Bin.Path());
  }
  ~MirrorMgrDialog() override { platform::UnsetEnv("ORLENWAY_SCHEDULER_DIR"); }

  void Show(const std::function<void(TfrmMirrorMgr&)>& act) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      auto* f = qobject_cast<TfrmMirrorMgr*>(QApplication::activeModalWidget());
      if (f) {
        act(*f);
        ran = true;
        f->close();
      }
    });
    ShowMirrorMgr();
    EXPECT_TRUE(ran) << "the dialog was not shown";
  }

  static std::vector<std::string> Row(const QTreeWidget* lv, int i) {
    std::vector<std::string> cells;
    for (int c = 0; c < lv->columnCount(); ++c)
      cells.push_back(lv->topLevelItem(i)->text(c).toStdString());
    return cells;
  }

  TempDir Bin{"bin"};
  TempDir Root{"repos"};
  TempDir Sources{"sources"};
  TGlobals Globals{Root.Path()};
};

} // namespace

TEST_F(MirrorMgrDialog, ShowsTheLagSyncsAndPromotesAfterAYes) {
  const std::string source = Sources / "src";
  ASSERT_EQ(Shell("svnadmin create " + Quote(source)).ExitCode, 0);
  const std::string url = LocalRepositoryUrl(source);
  ASSERT_EQ(Shell("svn mkdir -q -m one " + Quote(url + "/trunk")).ExitCode, 0);
  ASSERT_TRUE(AddMirror("/usr", Root.Path(), "mir", {url, "", ""}, SilentObserver()).Ok());
  ASSERT_EQ(Shell("svnadmin create " + Quote(Root / "plain")).ExitCode, 0);
  ASSERT_EQ(Shell("svn mkdir -q -m two " + Quote(url + "/tags")).ExitCode, 0);

  TScriptedPrompt prompt;
  prompt.Answer(mbNo);
  prompt.Answer(mbYes);
  Show([&](TfrmMirrorMgr& f) {
    // The lag is read in the background, and a sync runs there too.
    auto settled = [&f] { return QTest::qWaitFor([&f] { return !f.Reading(); }, 20000); };
    ASSERT_TRUE(settled());
    ASSERT_EQ(f.lvMirror->topLevelItemCount(), 1);
    std::vector<std::string> row = Row(f.lvMirror, 0);
    EXPECT_EQ(row[0], "mir");
    EXPECT_EQ(row[1], url);
    EXPECT_EQ(row[2], "1");
    EXPECT_EQ(row[3], "2");
    f.btnSync->click(); // nothing selected: nothing happens
    f.lvMirror->topLevelItem(0)->setSelected(true);
    f.btnSync->click();
    EXPECT_FALSE(f.btnSync->isEnabled()) << "the sync runs in the background";
    ASSERT_TRUE(settled());
    EXPECT_TRUE(f.btnSync->isEnabled());
    row = Row(f.lvMirror, 0);
    EXPECT_EQ(row[2], "2");
    EXPECT_EQ(row[4].size(), 20u) << row[4];
    f.btnPromote->click(); // No
    EXPECT_EQ(f.lvMirror->topLevelItemCount(), 1);
    f.btnPromote->click(); // Yes
    ASSERT_TRUE(settled());
    EXPECT_EQ(f.lvMirror->topLevelItemCount(), 0);
  });
  EXPECT_FALSE(IsMirror("/usr", Root.Path(), "mir"));
  EXPECT_EQ(
      Shell("svn mkdir -q -m three " + Quote(LocalRepositoryUrl(Root / "mir") + "/x")).ExitCode, 0);
}

// The project manager marks a mirror as read-only and leaves its users and levels working; the
// mirror's lag after its source comes from the background.
TEST_F(MirrorMgrDialog, TheProjectManagerShowsAMirrorAsReadOnly) {
  const std::string source = Sources / "src";
  ASSERT_EQ(Shell("svnadmin create " + Quote(source)).ExitCode, 0);
  ASSERT_TRUE(
      AddMirror("/usr", Root.Path(), "mir", {LocalRepositoryUrl(source), "", ""}, SilentObserver())
          .Ok());
  ASSERT_EQ(Shell("svn mkdir -q -m one " + Quote(LocalRepositoryUrl(source) + "/trunk")).ExitCode,
            0);
  bool ran = false;
  QTimer::singleShot(0, [&] {
    auto* f = qobject_cast<TfrmProjectMgr*>(QApplication::activeModalWidget());
    if (!f) return;
    f->lvProject->topLevelItem(0)->setSelected(true);
    EXPECT_EQ(f->lblProject->text(), QString::fromUtf8("프로젝트: mir (읽기 전용 미러)"));
    EXPECT_TRUE(f->pnlClient->isEnabled());
    for (int i = 0; i < 500 && !f->lblProject->text().contains(Q("리비전")); ++i) {
      QApplication::processEvents();
      QThread::msleep(10);
    }
    const std::string shown = f->lblProject->text().toStdString();
    EXPECT_EQ(shown.rfind("프로젝트: mir (읽기 전용 미러) 리비전 0/1 · ", 0), 0u) << shown;
    const std::string tip = f->lblProject->toolTip().toStdString();
    EXPECT_NE(tip.find(LocalRepositoryUrl(source)), std::string::npos) << tip;
    EXPECT_NE(tip.find("원본의 최신 리비전: 1"), std::string::npos) << tip;
    ran = true;
    f->close();
  });
  ShowProjectMgr();
  EXPECT_TRUE(ran);
}

// The mirrors' timer: a period chosen in the dialog, shown as on, and off again.
TEST_F(MirrorMgrDialog, TheSyncTimerRunsEveryChosenPeriodAndGoesOff) {
  Show([&](TfrmMirrorMgr& f) {
    f.AdminPath = Bin / "orlenway-admin";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Reading(); }, 10000));
    EXPECT_EQ(f.lblTimer->text(), QString::fromUtf8("자동 동기화: 꺼짐"));
    EXPECT_EQ(f.edtPeriod->value(), 1);
    f.edtPeriod->setValue(5);
    f.btnTimerOn->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Reading(); }, 10000));
    const std::string timer = UserUnitFolder() + "/orlenway-admin-mirror.timer";
    EXPECT_NE(ReadFile(timer).find("\nOnUnitActiveSec=5min\n"), std::string::npos);
    EXPECT_EQ(f.lblTimer->text(),
              QString::fromUtf8("자동 동기화: 켜짐 (systemd, OnUnitActiveSec=5min)"));
    f.btnTimerOff->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Reading(); }, 10000));
    EXPECT_FALSE(Exists(timer));
    EXPECT_EQ(f.lblTimer->text(), QString::fromUtf8("자동 동기화: 꺼짐"));
  });
}
