// The overview window offscreen over repositories made by the real svnadmin and a server log
// in the state folder: the lists fill in the background, sort, show a project's commits and
// filter the events by kind.
#include "projects/UfrmOverview.h"

#include "support/GuiTestApp.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

std::vector<std::string> Column(const QTreeWidget* lv, int column) {
  std::vector<std::string> cells;
  for (int i = 0; i < lv->topLevelItemCount(); ++i)
    cells.push_back(lv->topLevelItem(i)->text(column).toStdString());
  return cells;
}

} // namespace

TEST(OverviewWindow, FillsInTheBackgroundSortsShowsCommitsAndFiltersRefusals) {
  TempDir root{"repos"};
  TGlobals globals{root.Path()};
  globals.Settings.SVNPath = "/usr";
  for (const char* name : {"alpha", "beta"})
    ASSERT_EQ(Shell("svnadmin create " + Quote(root / name)).ExitCode, 0);
  const std::string alpha = "file://" + root / "alpha";
  ASSERT_EQ(Shell("svn mkdir -q --username kim -m one " + Quote(alpha + "/trunk")).ExitCode, 0);
  ASSERT_EQ(Shell("svn mkdir -q --username kim -m " + Quote("two\nmore") + " " +
                  Quote(alpha + "/trunk/src") + " " + Quote(alpha + "/tags"))
                .ExitCode,
            0);
  MakeDirs(platform::StateFolder());
  WriteFile(ServerLogPath(),
            "15471 2026-12-10T16:44:11.997328Z 127.0.0.1 kim alpha commit r2\n"
            "15491 2026-12-10T16:44:12.074834Z 127.0.0.1 lee alpha Authorization Failed write /x\n"
            "15491 2026-12-10T16:44:12.074860Z 127.0.0.1 lee alpha ERR - 0 170001 "
            "Authorization failed\n"
            "15500 2026-12-10T16:44:13.000000Z 127.0.0.1 - beta open 2 cap=() / SVN/1.14.2\n"
            "15511 2026-12-10T16:44:14.297517Z 127.0.0.1 - beta ERR - 0 160000 broken\n");

  TfrmOverview f;
  f.show();
  QTRY_VERIFY_WITH_TIMEOUT(!f.Busy() && f.lvProjects->topLevelItemCount() == 2 &&
                               !f.lvProjects->topLevelItem(0)->text(2).isEmpty(),
                           20000);
  EXPECT_EQ(Column(f.lvProjects, 0), (std::vector<std::string>{"alpha", "beta"}));
  EXPECT_EQ(Column(f.lvProjects, 1), (std::vector<std::string>{"2", "0"}));
  EXPECT_EQ(f.lvProjects->topLevelItem(0)->text(2).toStdString(), "kim");
  EXPECT_EQ(f.lvProjects->topLevelItem(0)->text(4).toStdString(), "two");
  // By revision, as numbers; then by name backwards.
  f.lvProjects->header()->setSortIndicator(1, Qt::AscendingOrder);
  EXPECT_EQ(Column(f.lvProjects, 0), (std::vector<std::string>{"beta", "alpha"}));
  f.lvProjects->sortByColumn(0, Qt::DescendingOrder);
  EXPECT_EQ(Column(f.lvProjects, 0), (std::vector<std::string>{"beta", "alpha"}));

  // The selected project's commits, newest first, with the paths each changed.
  f.lvProjects->setFocus();
  f.lvProjects->setCurrentItem(f.lvProjects->topLevelItem(1));
  EXPECT_EQ(f.SelectedProject(), "alpha");
  QTRY_VERIFY_WITH_TIMEOUT(!f.Busy() && f.lvCommits->topLevelItemCount() == 2, 20000);
  EXPECT_EQ(Column(f.lvCommits, 0), (std::vector<std::string>{"2", "1"}));
  EXPECT_EQ(Column(f.lvCommits, 1), (std::vector<std::string>{"kim", "kim"}));
  EXPECT_EQ(Column(f.lvCommits, 4),
            (std::vector<std::string>{"A   tags/, A   trunk/src/", "A   trunk/"}));

  // Events newest first; the kind filter leaves the refusals alone.
  EXPECT_EQ(f.lvEvents->topLevelItemCount(), 5);
  EXPECT_EQ(f.lvEvents->topLevelItem(0)->text(3).toStdString(), "beta");
  f.cbKind->setCurrentIndex(2); // 거부
  ASSERT_EQ(f.lvEvents->topLevelItemCount(), 2);
  EXPECT_EQ(Column(f.lvEvents, 2), (std::vector<std::string>{"lee", "lee"}));
  f.cbKind->setCurrentIndex(3); // 오류
  EXPECT_EQ(Column(f.lvEvents, 3), (std::vector<std::string>{"beta"}));
  f.cbKind->setCurrentIndex(0);
  f.cbProject->setCurrentIndex(f.cbProject->findText("beta"));
  EXPECT_EQ(f.lvEvents->topLevelItemCount(), 2);

  // A new project shows after a refresh.
  ASSERT_EQ(Shell("svnadmin create " + Quote(root / "gamma")).ExitCode, 0);
  f.btnRefresh->click();
  QTRY_VERIFY_WITH_TIMEOUT(!f.Busy() && f.lvProjects->topLevelItemCount() == 3, 20000);
  EXPECT_EQ(f.SelectedProject(), "alpha");
  EXPECT_EQ(f.cbProject->currentText().toStdString(), "beta");
}
