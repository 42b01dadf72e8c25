// The alerts' watch on Windows: the log read by offset through the system's file calls,
// a rotation by rename, and the state file replaced there.
#include "platform/UfnFiles.h"
#include "projects/UfnAlerts.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(WinAlerts, TheLogIsFollowedAcrossARotationAndEachErrorToldOnce) {
  TempDir root("repos"), state("state");
  MakeDirs(root / "p\\db");
  WriteFile(root / "p\\format", "5\n");
  auto invalid = [](const std::string& pid, const std::string& project) {
    const std::string head = pid + " 2026-12-10T16:44:12.297517Z 127.0.0.1 - " + project;
    return head + " ERR - 0 220003 Invalid authz configuration\r\n" + head +
           " ERR- - 0 200002 line 2: Option expected\r\n";
  };
  TAlertOptions o;
  o.RepoPath = root.Path();
  o.BackupPath = state.Path(); // no archive in it
  o.StateFolder = state.Path();
  const std::string log = state / "svnserve.log";
  WriteFile(log, invalid("1", "p"));
  TAlerts a = CheckAlerts(o);
  ASSERT_EQ(a.NewUnreachable.size(), 1u);
  EXPECT_EQ(a.NewUnreachable[0].Reason, "Invalid authz configuration; line 2: Option expected");
  EXPECT_EQ(a.OldestProject, "p");
  EXPECT_TRUE(a.BackupTooOld);
  EXPECT_TRUE(CheckAlerts(o).NewUnreachable.empty());

  WriteFile(log, invalid("1", "p") + invalid("2", "q"));
  ASSERT_TRUE(platform::RenameFile(log, log + ".1"));
  WriteFile(log, invalid("3", "r"));
  a = CheckAlerts(o);
  ASSERT_EQ(a.NewUnreachable.size(), 2u);
  EXPECT_EQ(a.NewUnreachable[0].Project, "q");
  EXPECT_EQ(a.NewUnreachable[1].Project, "r");
  EXPECT_EQ(a.Unreachable.size(), 3u);
  EXPECT_TRUE(CheckAlerts(o).NewUnreachable.empty());
}
