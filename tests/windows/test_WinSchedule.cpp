// The Task Scheduler's side of the schedules: the command lines handed to a stand-in
// schtasks.exe (a copy of the helper program), read back as the program received them.
#include "WinTestKit.h"
#include "platform/UfnEnvironment.h"
#include "projects/UfnSchedule.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(WinSchedule, TheTaskIsRegisteredShownAndDeleted) {
  TempDir bin("bin");
  wintest::HelperCopy(bin.Path(), "schtasks.exe");
  platform::SetEnv("ORLENWAY_SCHEDULER_DIR", bin.Path());
  TempDir tools("o w");
  const std::string admin = tools / "orlenway-admin.exe";
  WriteFile(admin, "");

  TSchedule s;
  s.Weekly = true;
  s.Day = 5;
  s.Hour = 1;
  s.Minute = 15;
  s.AllProjects = false;
  s.Projects = {"우리 팀", "b\"c"};
  s.Keep = 3;
  const TScheduleResult r = ApplySchedule(s, admin, false, SilentObserver());
  ASSERT_TRUE(r.Ok()) << r.Message;
  EXPECT_EQ(ReadFile(bin / "task"), "/Create\n/TN\norlenway-admin-backup\n/TR\n\"" + admin +
                                        "\" backup --keep 3 -- \"우리 팀\" \"b\\\"c\"\n/SC\n"
                                        "WEEKLY\n/D\nFRI\n/ST\n01:15\n/F\n");
  const TScheduleState st = ReadScheduleState(TScheduleKind::Backup);
  EXPECT_TRUE(st.On);
  EXPECT_EQ(st.NextRun, "2026-12-11 01:15:00");
  ASSERT_TRUE(RemoveSchedule(TScheduleKind::Backup, SilentObserver()).Ok());
  EXPECT_FALSE(Exists(bin / "task"));
  EXPECT_FALSE(ReadScheduleState(TScheduleKind::Backup).On);

  // A command longer than a task may hold is refused before anything is registered.
  s.Projects.assign(40, "project-with-a-long-name");
  const TScheduleResult tooLong = ApplySchedule(s, admin, false, SilentObserver());
  EXPECT_EQ(tooLong.Outcome, TScheduleOutcome::Failed);
  EXPECT_FALSE(Exists(bin / "task"));
  platform::UnsetEnv("ORLENWAY_SCHEDULER_DIR");
  EXPECT_NE(SchedulerProgram("schtasks").find("\\System32\\schtasks.exe"), std::string::npos);
}
