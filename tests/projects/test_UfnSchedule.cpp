// Schedules written through stand-in systemctl and crontab programs that record what they are
// asked (ORLENWAY_SCHEDULER_DIR), so that no test touches the user's own timers or crontab;
// the units written are checked with systemd-analyze verify where it is installed.
#include "platform/UfnEnvironment.h"
#include "projects/UfnSchedule.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// systemctl: `down` makes every --user call fail as without a bus; enable/disable keep a
// flag that is-enabled reads. crontab: -l prints the saved table, FILE saves one.
const char* const kSystemctl = R"(#!/bin/sh
dir=$(dirname "$0")
echo "$*" >>"$dir/systemctl.log"
[ -e "$dir/down" ] && { echo "Failed to connect to bus: No medium found" >&2; exit 1; }
case "$2" in
  enable) touch "$dir/enabled" ;;
  disable) rm -f "$dir/enabled" ;;
  is-enabled) [ -e "$dir/enabled" ] && echo enabled && exit 0; echo disabled; exit 1 ;;
  show) echo "Fri 2026-12-11 03:05:00 UTC" ;;
esac
exit 0
)";
const char* const kCrontab = R"(#!/bin/sh
dir=$(dirname "$0")
echo "$*" >>"$dir/crontab.log"
if [ "$1" = "-l" ]; then
  [ -e "$dir/table" ] || { echo "no crontab for tester" >&2; exit 1; }
  cat "$dir/table"; exit 0
fi
cp "$1" "$dir/table"
)";

class Schedule : public ::testing::Test {
protected:
  Schedule() {
    WriteFile(Bin / "systemctl", kSystemctl);
    WriteFile(Bin / "crontab", kCrontab);
    WriteFile(Admin, "#!/bin/sh\nexit 0\n");
    Shell("chmod 755 " + Quote(Bin / "systemctl") + " " + Quote(Bin / "crontab") + " " +
          Quote(Admin));
    platform::SetEnv("ORLENWAY_SCHEDULER_DIR", Bin.Path());
  }
  ~Schedule() override { platform::UnsetEnv("ORLENWAY_SCHEDULER_DIR"); }

  std::string Log(const char* program) {
    return Exists(Bin / program) ? ReadFile(Bin / program) : "";
  }

  // systemd-analyze's complaints about the written units ("" when it has none).
  std::string Verify(TScheduleKind kind) {
    if (Shell("command -v systemd-analyze >/dev/null").ExitCode != 0) return "";
    const std::string unit = UserUnitFolder() + "/" + ScheduleUnitName(kind);
    MakeDirs(Bin / "runtime");
    const RunResult r = Shell("chmod 700 " + Quote(Bin / "runtime") + " && XDG_RUNTIME_DIR=" +
                              Quote(Bin / "runtime") + " systemd-analyze --user verify " +
                              Quote(unit + ".timer") + " " + Quote(unit + ".service") + " 2>&1");
    return r.ExitCode == 0 ? r.Output : "exit " + std::to_string(r.ExitCode) + ": " + r.Output;
  }

  TempDir Bin{"bin"};
  TempDir Tools{"tools"};
  const std::string Admin = Tools / "orlenway-admin";
  // The run reads the settings where this session does.
  const std::string Env = "XDG_CONFIG_HOME=" + platform::GetEnv("XDG_CONFIG_HOME") + " ";
};

TEST_F(Schedule, BackupTimerWrittenEnabledShownAndRemoved) {
  const std::string folder = UserUnitFolder();
  MakeDirs(folder);
  WriteFile(folder + "/other.timer", "[Timer]\nOnCalendar=daily\n");
  TSchedule s;
  s.Weekly = true;
  s.Day = 3;
  s.Hour = 3;
  s.Minute = 5;
  s.AllProjects = false;
  s.Projects = {"alpha", "우리 팀 100%"};
  s.Keep = 7;
  s.MaxAge = 30;
  const TScheduleResult r = ApplySchedule(s, Admin, false, SilentObserver());
  ASSERT_TRUE(r.Ok()) << r.Message;

  const std::string service = ReadFile(folder + "/orlenway-admin-backup.service");
  const std::string timer = ReadFile(folder + "/orlenway-admin-backup.timer");
  EXPECT_NE(service.find("\nExecStart=" + Admin +
                         " backup --keep 7 --max-age 30 -- alpha \"우리 팀 100%%\"\n"),
            std::string::npos)
      << service;
  EXPECT_NE(service.find("Type=oneshot"), std::string::npos);
  EXPECT_NE(timer.find("\nOnCalendar=Wed *-*-* 03:05:00\n"), std::string::npos) << timer;
  EXPECT_EQ(timer.find("RandomizedDelaySec"), std::string::npos);
  EXPECT_NE(timer.find("WantedBy=timers.target"), std::string::npos);
  EXPECT_EQ(Verify(TScheduleKind::Backup), "");
  EXPECT_EQ(Log("systemctl.log"), "--user show-environment\n--user daemon-reload\n"
                                  "--user enable --now orlenway-admin-backup.timer\n");

  const TScheduleState st = ReadScheduleState(TScheduleKind::Backup);
  EXPECT_TRUE(st.On);
  EXPECT_EQ(st.Where, "systemd");
  EXPECT_EQ(st.NextRun, "Fri 2026-12-11 03:05:00 UTC");
  EXPECT_EQ(st.Detail, "OnCalendar=Wed *-*-* 03:05:00");

  ASSERT_TRUE(RemoveSchedule(TScheduleKind::Backup, SilentObserver()).Ok());
  EXPECT_NE(Log("systemctl.log").find("--user disable --now orlenway-admin-backup.timer\n"),
            std::string::npos);
  EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"other.timer"});
  EXPECT_FALSE(ReadScheduleState(TScheduleKind::Backup).On);
}

TEST_F(Schedule, MirrorTimerEveryFewMinutesAndAHandWrittenUnitKept) {
  TSchedule s;
  s.Kind = TScheduleKind::Mirror;
  s.EveryMinutes = 5;
  ASSERT_TRUE(ApplySchedule(s, Admin, false, SilentObserver()).Ok());
  const std::string unit = UserUnitFolder() + "/orlenway-admin-mirror";
  EXPECT_NE(ReadFile(unit + ".timer").find("\nOnUnitActiveSec=5min\n"), std::string::npos);
  EXPECT_NE(ReadFile(unit + ".service").find("\nExecStart=" + Admin + " mirror sync --all\n"),
            std::string::npos);
  EXPECT_EQ(Verify(TScheduleKind::Mirror), "");
  ASSERT_TRUE(RemoveSchedule(TScheduleKind::Mirror, SilentObserver()).Ok());
  EXPECT_FALSE(Exists(unit + ".timer"));

  // A unit the administrator wrote is neither replaced nor removed.
  WriteFile(unit + ".timer", "[Timer]\nOnCalendar=hourly\n");
  const TScheduleResult r = ApplySchedule(s, Admin, false, SilentObserver());
  EXPECT_EQ(r.Outcome, TScheduleOutcome::Failed);
  EXPECT_NE(r.Message.find(unit + ".timer"), std::string::npos);
  RemoveSchedule(TScheduleKind::Mirror, SilentObserver());
  EXPECT_EQ(ReadFile(unit + ".timer"), "[Timer]\nOnCalendar=hourly\n");
  EXPECT_FALSE(Exists(unit + ".service"));
}

TEST_F(Schedule, WithoutUserSystemdTheCrontabLineIsOfferedAndWrittenOnlyWhenAsked) {
  WriteFile(Bin / "down", "");
  const std::string others = "MAILTO=me\n15 * * * * /usr/bin/mine --x '50%'\n";
  WriteFile(Bin / "table", others);
  TSchedule s;
  s.Hour = 4;
  s.Minute = 7;
  s.Keep = 3;
  TScheduleResult r = ApplySchedule(s, Admin, false, SilentObserver());
  ASSERT_EQ(r.Outcome, TScheduleOutcome::NeedsCrontab);
  EXPECT_NE(r.Message.find("Failed to connect to bus"), std::string::npos);
  EXPECT_EQ(r.CrontabLine, "7 4 * * * " + Env + Admin + " backup --all --keep 3");
  EXPECT_EQ(Log("crontab.log"), "");
  EXPECT_FALSE(Exists(UserUnitFolder() + "/orlenway-admin-backup.timer"));

  ASSERT_TRUE(ApplySchedule(s, Admin, true, SilentObserver()).Ok());
  s.Weekly = true;
  s.Day = 7;
  ASSERT_TRUE(ApplySchedule(s, Admin, true, SilentObserver()).Ok());
  TSchedule m;
  m.Kind = TScheduleKind::Mirror;
  m.EveryMinutes = 10;
  ASSERT_TRUE(ApplySchedule(m, Admin, true, SilentObserver()).Ok());
  const std::string table = ReadFile(Bin / "table");
  EXPECT_EQ(table, others +
                       "# orlenway-admin-backup: begin (Orlenway's schedule; turning it off "
                       "removes these lines)\n"
                       "7 4 * * 0 " +
                       Env + Admin +
                       " backup --all --keep 3\n# orlenway-admin-backup: end\n"
                       "# orlenway-admin-mirror: begin (Orlenway's schedule; turning it off "
                       "removes these lines)\n*/10 * * * * " +
                       Env + Admin + " mirror sync --all\n# orlenway-admin-mirror: end\n");
  const TScheduleState st = ReadScheduleState(TScheduleKind::Backup);
  EXPECT_TRUE(st.On);
  EXPECT_EQ(st.Where, "crontab");

  ASSERT_TRUE(RemoveSchedule(TScheduleKind::Backup, SilentObserver()).Ok());
  ASSERT_TRUE(RemoveSchedule(TScheduleKind::Mirror, SilentObserver()).Ok());
  EXPECT_EQ(ReadFile(Bin / "table"), others);
  EXPECT_FALSE(ReadScheduleState(TScheduleKind::Mirror).On);
}

TEST_F(Schedule, ACrontabThatCannotBeReadIsNotRewritten) {
  WriteFile(Bin / "down", "");
  WriteFile(Bin / "crontab", "#!/bin/sh\n[ \"$1\" = -l ] && { echo 'permission denied' >&2; "
                             "exit 1; }\ncp \"$1\" \"$(dirname \"$0\")/table\"\n");
  TSchedule s;
  const TScheduleResult r = ApplySchedule(s, Admin, true, SilentObserver());
  EXPECT_EQ(r.Outcome, TScheduleOutcome::Failed);
  EXPECT_NE(r.Message.find("permission denied"), std::string::npos);
  EXPECT_FALSE(Exists(Bin / "table"));
}

TEST_F(Schedule, CrontabQuotingAndPeriods) {
  TSchedule s;
  s.AllProjects = false;
  s.Projects = {"it's 5%"};
  std::string error;
  EXPECT_EQ(ScheduleCrontabLine(s, "/opt/o w/orlenway-admin", error),
            "30 2 * * * " + Env + "'/opt/o w/orlenway-admin' backup -- 'it'\\''s 5\\%'");
  TSchedule m;
  m.Kind = TScheduleKind::Mirror;
  m.EveryMinutes = 120;
  EXPECT_EQ(ScheduleCrontabLine(m, "/a", error), "0 */2 * * * " + Env + "/a mirror sync --all");
  m.EveryMinutes = 90;
  EXPECT_EQ(ScheduleCrontabLine(m, "/a", error), "");
  EXPECT_FALSE(error.empty());
  m.EveryMinutes = 0;
  EXPECT_FALSE(CheckSchedule(m).empty());
  s.Projects.clear();
  EXPECT_FALSE(CheckSchedule(s).empty());
}

TEST(ScheduleLines, SchtasksCommandLines) {
  const std::string admin = "C:\\Program Files\\Orlenway\\orlenway-admin.exe";
  TSchedule s;
  s.Hour = 23;
  s.Minute = 0;
  s.Keep = 14;
  EXPECT_EQ(Joined(SchtasksCreateArguments(s, admin), "|"),
            "/Create|/TN|orlenway-admin-backup|/TR|\"" + admin +
                "\" backup --all --keep 14|/SC|DAILY|/ST|23:00|/F");
  s.Weekly = true;
  s.Day = 1;
  s.AllProjects = false;
  s.Projects = {"a b", "c"};
  s.Keep = 0;
  EXPECT_EQ(Joined(SchtasksCreateArguments(s, admin), "|"),
            "/Create|/TN|orlenway-admin-backup|/TR|\"" + admin +
                "\" backup -- \"a b\" c|/SC|WEEKLY|/D|MON|/ST|23:00|/F");
  TSchedule m;
  m.Kind = TScheduleKind::Mirror;
  m.EveryMinutes = 3;
  EXPECT_EQ(Joined(SchtasksCreateArguments(m, admin), "|"),
            "/Create|/TN|orlenway-admin-mirror|/TR|\"" + admin +
                "\" mirror sync --all|/SC|MINUTE|/MO|3|/F");
  EXPECT_EQ(Joined(SchtasksDeleteArguments(TScheduleKind::Mirror), "|"),
            "/Delete|/TN|orlenway-admin-mirror|/F");
}

} // namespace
