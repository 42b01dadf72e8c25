// The watch over backups and the server's log, on repositories of the real svnadmin, the
// backup record's own writer and logs in svnserve's format (the log reader's tests prove it
// against the real server).
#include "projects/UfnAlerts.h"

#include "projects/UfnBackupRecord.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class Alerts : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* p : {"a", "b", "c"})
      ASSERT_EQ(Shell("svnadmin create " + Quote(Root / p)).ExitCode, 0);
    Options.RepoPath = Root.Path();
    Options.BackupPath = Backups.Path();
    Options.StateFolder = State.Path();
    Options.Now = Now;
  }

  // An archive of `project` made `days` days before Now, named as the backup names it.
  void Archive(const std::string& project, int days) {
    WriteFile(Backups / ArchiveName(project, days), "zip");
  }
  std::string ArchiveName(const std::string& project, int days) {
    const std::time_t when = Now - days * 86400;
    std::tm tm{};
    localtime_r(&when, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &tm);
    return project + "_" + stamp + "Z.zip";
  }
  void Log(const std::string& text) {
    std::string old;
    if (Exists(State / "svnserve.log")) old = ReadFile(State / "svnserve.log");
    WriteFile(State / "svnserve.log", old + text);
  }
  static std::string Line(const std::string& pid, const std::string& project,
                          const std::string& rest) {
    return pid + " 2026-12-10T16:44:12.297517Z 127.0.0.1 - " + project + " " + rest + "\n";
  }
  static std::string Invalid(const std::string& pid, const std::string& project) {
    return Line(pid, project, "ERR - 0 220003 Invalid authz configuration") +
           Line(pid, project, "ERR- - 0 200002 line 2: Option expected");
  }
  static std::vector<std::string> Names(const std::vector<TUnreachableProject>& list) {
    std::vector<std::string> names;
    for (const auto& u : list)
      names.push_back(u.Project);
    return names;
  }

  TempDir Root{"repos"}, Backups{"backups"}, State{"state"};
  std::time_t Now = std::time(nullptr);
  TAlertOptions Options;
};

} // namespace

TEST_F(Alerts, TheOldestNewestArchiveAndTheFailedRunsToldOnce) {
  Archive("a", 2);
  Archive("a", 20);
  Archive("b", 9);
  WriteFile(Backups / "c_backup.zip", "not an archive of c's");
  TAlerts al = CheckAlerts(Options);
  // A project without any archive is the worst case, and named.
  EXPECT_EQ(al.OldestProject, "c");
  EXPECT_EQ(al.OldestAgeS, -1);
  EXPECT_TRUE(al.BackupTooOld);
  EXPECT_EQ(AlertStatusText(al), "가장 오래된 최근 백업: 없음 (c) · 경고: 백업 없음");
  // Nothing to remember yet: no state file is made.
  EXPECT_FALSE(Exists(AlertStateFile(State.Path())));

  Archive("c", 1);
  al = CheckAlerts(Options);
  EXPECT_EQ(al.OldestProject, "b");
  EXPECT_EQ(al.OldestAgeS, 9 * 86400);
  EXPECT_EQ(AlertStatusText(al), "가장 오래된 최근 백업: 9일 전 (b) · 경고: 7일 넘게 백업 없음");
  Options.LimitDays = 10;
  al = CheckAlerts(Options);
  EXPECT_FALSE(al.BackupTooOld);
  EXPECT_EQ(AlertStatusText(al, 10), "가장 오래된 최근 백업: 9일 전 (b)");
  Options.BackupPath = "";
  EXPECT_EQ(AlertStatusText(CheckAlerts(Options)), "");
  Options.BackupPath = Backups.Path();

  // b's last run failed, and the archive it left is no good one: c's failure came later and
  // left nothing. Each is told once.
  Archive("b", 0);
  std::vector<TBackupRecordEntry> record(2);
  record[0].Name = "b";
  record[0].Result = "failed";
  record[0].Start = Now - 3600;
  record[0].Archive = ArchiveName("b", 0);
  record[0].Error = "svnadmin verify failed (E160004)";
  record[1].Name = "c";
  record[1].Result = "done";
  std::string error;
  ASSERT_TRUE(WriteBackupRecord(State / "backup-record.json", record, error)) << error;
  al = CheckAlerts(Options);
  EXPECT_EQ(al.OldestProject, "b");
  ASSERT_EQ(al.NewFailures.size(), 1u);
  EXPECT_EQ(al.NewFailures[0].Project, "b");
  EXPECT_EQ(al.NewFailures[0].When, Now - 3600);
  EXPECT_NE(AlertNoticeText(al).find("프로젝트 b의 백업이 실패했습니다 ("), std::string::npos);
  EXPECT_NE(AlertNoticeText(al).find("): svnadmin verify failed (E160004)"), std::string::npos);
  al = CheckAlerts(Options);
  EXPECT_EQ(al.Failures.size(), 1u);
  EXPECT_TRUE(al.NewFailures.empty());
  EXPECT_EQ(AlertNoticeText(al), "");

  // A later run that fails again is a new failure.
  record[0].Start = Now - 60;
  ASSERT_TRUE(WriteBackupRecord(State / "backup-record.json", record, error)) << error;
  EXPECT_EQ(CheckAlerts(Options).NewFailures.size(), 1u);

  // A damaged record is told once and costs nothing else.
  WriteFile(State / "backup-record.json", "{\"projects\": [");
  al = CheckAlerts(Options);
  ASSERT_EQ(al.NewProblems.size(), 1u);
  EXPECT_EQ(al.NewProblems[0], "백업 기록 파일이 손상되었습니다: " + State / "backup-record.json");
  EXPECT_EQ(al.OldestProject, "a");
  EXPECT_TRUE(CheckAlerts(Options).NewProblems.empty());
  EXPECT_EQ(ReadFile(State / "backup-record.json"), "{\"projects\": [");
}

TEST_F(Alerts, AnUnreachableProjectIsToldOnceUntilItIsServedAgain) {
  Log(Line("100", "a", "open 2 cap=(edit-pipeline) /a SVN/1.14.2 (x86_64-pc-linux-gnu) -") +
      Invalid("101", "a") + Line("102", "b", "ERR - 0 210002 Network connection closed"));
  TAlerts al = CheckAlerts(Options);
  ASSERT_EQ(Names(al.NewUnreachable), std::vector<std::string>{"a"});
  EXPECT_EQ(al.NewUnreachable[0].Reason, "Invalid authz configuration; line 2: Option expected");
  EXPECT_EQ(AlertNoticeText(al), "프로젝트 a에 접속할 수 없습니다: Invalid authz configuration; "
                                 "line 2: Option expected");
  EXPECT_NE(AlertStatusText(al).find(" · 경고: 접속 불가 a"), std::string::npos);

  // Nothing new in the log: still unreachable, not told again.
  al = CheckAlerts(Options);
  EXPECT_EQ(Names(al.Unreachable), std::vector<std::string>{"a"});
  EXPECT_TRUE(al.NewUnreachable.empty());

  // A line the server is still writing waits for its end.
  Log(Invalid("103", "b").substr(0, 40));
  EXPECT_TRUE(CheckAlerts(Options).NewUnreachable.empty());
  WriteFile(
      State / "svnserve.log",
      ReadFile(State / "svnserve.log").substr(0, ReadFile(State / "svnserve.log").size() - 40) +
          Invalid("103", "b"));
  al = CheckAlerts(Options);
  EXPECT_EQ(Names(al.NewUnreachable), std::vector<std::string>{"b"});
  EXPECT_EQ(Names(al.Unreachable), (std::vector<std::string>{"a", "b"}));

  // Rotated: the unread end of the old file is read from path.1, then the new file. A
  // served request ends a's trouble; c's error sat at the old file's end.
  Log(Invalid("104", "c"));
  ASSERT_TRUE(platform::RenameFile(State / "svnserve.log", State / "svnserve.log.1"));
  Log(Line("105", "a", "get-dir /trunk r1 props"));
  al = CheckAlerts(Options);
  EXPECT_EQ(Names(al.NewUnreachable), std::vector<std::string>{"c"});
  EXPECT_EQ(Names(al.Unreachable), (std::vector<std::string>{"b", "c"}));

  // The file replaced by a shorter one: read from its start. The same error coming back
  // after a repair is told again.
  WriteFile(State / "svnserve.log", Invalid("106", "a"));
  al = CheckAlerts(Options);
  EXPECT_EQ(Names(al.NewUnreachable), std::vector<std::string>{"a"});
  EXPECT_TRUE(CheckAlerts(Options).NewUnreachable.empty());
}

TEST_F(Alerts, ADamagedStateIsKeptToldAndTakenAsEmpty) {
  Log(Invalid("101", "a"));
  EXPECT_EQ(CheckAlerts(Options).NewUnreachable.size(), 1u);
  const std::string file = AlertStateFile(State.Path());
  WriteFile(file, "{\"log\": {\"offset\": -5");
  TAlerts al = CheckAlerts(Options);
  ASSERT_EQ(al.NewProblems.size(), 1u);
  EXPECT_NE(al.NewProblems[0].find("알림 상태 파일이 손상되어"), std::string::npos);
  EXPECT_EQ(ReadFile(file + ".damaged"), "{\"log\": {\"offset\": -5");
  // Taken as empty: the log is read again and a's error told again rather than lost.
  EXPECT_EQ(Names(al.NewUnreachable), std::vector<std::string>{"a"});
  al = CheckAlerts(Options);
  EXPECT_TRUE(al.NewProblems.empty());
  EXPECT_TRUE(al.NewUnreachable.empty());
  EXPECT_EQ(FileMode(file) & 077, 0);
}

TEST(AlertTexts, Ages) {
  EXPECT_EQ(AgeText(59), "방금");
  EXPECT_EQ(AgeText(12 * 60 + 5), "12분 전");
  EXPECT_EQ(AgeText(5 * 3600), "5시간 전");
  EXPECT_EQ(AgeText(3 * 86400 + 7), "3일 전");
}
