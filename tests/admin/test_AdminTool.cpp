// orlenway-admin with the real svnadmin and svn (file:// access; the tests with a server are in
// test_AdminServer.cpp): what each mistake of the command line or the settings gets, list,
// verify, --keep, restores that check the archive, and failures that leave nothing behind.
#include "AdminTestKit.h"

#include "base/UfnDesktop.h"
#include "settings/UclsBasicSetting.h"

#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace admin_kit;

namespace {

const std::string kHostileZip = ORLENWAY_HOSTILE_ZIP;

std::string ArchiveNamed(const std::string& out) {
  const std::string marker = "파일명 : ";
  const size_t i = out.find(marker);
  if (i == std::string::npos) return "";
  return out.substr(i + marker.size(), out.find_first_of(",\n", i) - i - marker.size());
}

int Lines(const std::string& s) {
  return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

int Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

class AdminToolTest : public AdminTool {};

} // namespace

TEST_F(AdminToolTest, MistakesOfTheCommandLineAreOneLineAndExit2AndNothingIsDone) {
  CreateProject("alpha");
  WriteFile(Work / "some.zip", "x");
  struct Case {
    std::string Args, Says;
  } cases[] = {
      {"frobnicate", "알 수 없는 명령입니다: frobnicate"},
      {"backup", "프로젝트 이름이나 --all을 입력해주세요"},
      {"backup ghost", "프로젝트가 존재하지 않습니다: ghost"},
      {"backup alpha ghost", "프로젝트가 존재하지 않습니다: ghost"},
      {"backup ../alpha", "프로젝트가 존재하지 않습니다: ../alpha"},
      {"backup --all alpha", "--all과 프로젝트 이름을 함께 쓸 수 없습니다"},
      {"backup alpha --keep 0", "--keep 값은 1 이상이어야 합니다: 0"},
      {"backup alpha --keep=two", "--keep 값이 올바르지 않습니다: two"},
      {"backup alpha --keep", "--keep 다음에 값을 입력해주세요"},
      {"backup alpha --to " + Quote(Root / "missing"), "백업 폴더가 존재하지 않습니다."},
      {"backup alpha --to " + Quote(Work / "some.zip"), "백업 폴더가 존재하지 않습니다."},
      {"backup alpha --force", "알 수 없는 옵션입니다: --force"},
      // Its archives would be listed as a project and packed into the next backups.
      {"backup alpha --to " + Quote(Repos + "/alpha/db"), "백업 폴더가 저장소 경로 안에 있습니다"},
      {"backup --all --to " + Quote(Repos), "백업 폴더가 저장소 경로 안에 있습니다"},
      {"verify ghost", "프로젝트가 존재하지 않습니다: ghost"},
      {"list extra", "list에는 인수가 없습니다: extra"},
      {"restore " + Quote(Work / "some.zip"), "restore에는 압축 파일과 새 프로젝트 이름을"},
      {"restore " + Quote(Work / "none.zip") + " n", "압축 파일이 존재하지 않습니다"},
      {"restore " + Quote(Work / "some.zip") + " alpha",
       "같은 이름의 프로젝트나 파일이 이미 있습니다."},
      {"restore " + Quote(Work / "some.zip") + " ../evil", "프로젝트 이름이 올바르지 않습니다."},
      {"restore " + Quote(Work / "some.zip") + " -- -x", "프로젝트 이름이 올바르지 않습니다."},
      {"restore " + Quote(Work / "some.zip") + " -x", "알 수 없는 옵션입니다: -x"},
      {"restore " + Quote(Work / "some.zip") + " ' '", "생성할 프로젝트 이름을 입력하세요"},
  };
  for (const Case& c : cases) {
    TAdminRun r = Admin(c.Args);
    EXPECT_EQ(r.ExitCode, 2) << c.Args;
    EXPECT_EQ(r.Out, "") << c.Args;
    EXPECT_NE(r.Err.find(c.Says), std::string::npos) << c.Args << " said: " << r.Err;
    EXPECT_EQ(Lines(r.Err), 1) << c.Args << " said: " << r.Err;
  }
  // An empty folder of the new name is somebody's too.
  MakeDirs(Repos + "/empty");
  EXPECT_EQ(Admin("restore " + Quote(Work / "some.zip") + " empty").ExitCode, 2);
  EXPECT_EQ(Joined(FolderNames(Repos)), "alpha,empty");
  EXPECT_EQ(Joined(FolderNames(Backups)), "");
}

TEST_F(AdminToolTest, HelpVersionAndNoCommand) {
  TAdminRun help = Admin("--help");
  EXPECT_EQ(help.ExitCode, 0);
  for (const char* word : {"list", "backup", "--keep", "--to", "restore", "verify", "종료 코드"})
    EXPECT_NE(help.Out.find(word), std::string::npos) << word;
  TAdminRun version = Admin("--version");
  EXPECT_EQ(version.ExitCode, 0);
  EXPECT_EQ(version.Out, "orlenway-admin 0.1.0\n");
  TAdminRun none = Admin("");
  EXPECT_EQ(none.ExitCode, 2);
  EXPECT_EQ(none.Err, help.Out);
}

TEST_F(AdminToolTest, AMissingOrBadSettingsFileGetsTheProgramsMessageAndExit2) {
  CreateProject("alpha");
  ::unlink(SettingsFile().c_str());
  TAdminRun missing = Admin("backup --all");
  EXPECT_EQ(missing.ExitCode, 2);
  EXPECT_EQ(missing.Err, "orlenway-admin: 저장소 경로 설정 해주세요 (설정 파일이 없습니다: " +
                             SettingsFile() + ")\n");
  EXPECT_FALSE(Exists(SettingsFile())) << "the tool makes no settings file";

  // What the program itself reports for the same file.
  Settings = "object TclsBasicSetting\r\n  Port = '3690'\r\nend\r\n";
  WriteFile(SettingsFile(), Settings);
  std::string expected;
  try {
    TclsBasicSetting s;
    s.ConfigFile = SettingsFile();
    s.LoadConfig();
  } catch (const std::exception& e) {
    expected = ErrorReportText(e.what());
  }
  ASSERT_FALSE(expected.empty());
  for (const char* command : {"list", "verify --all", "backup alpha"}) {
    TAdminRun bad = Admin(command);
    EXPECT_EQ(bad.ExitCode, 2) << command;
    EXPECT_EQ(bad.Err, "orlenway-admin: " + expected + " (" + SettingsFile() + ")\n") << command;
  }

  struct Case {
    std::string SvnPath, RepoPath, Says;
  } cases[] = {{"/usr", Root / "gone", "저장소 경로 설정 해주세요"},
               {Root / "gone", Repos, "SVN 경로 설정 해주세요"},
               {Work.Path(), Repos, "SubVersion을 설치해주세요"}};
  for (const Case& c : cases) {
    Settings = "object TclsBasicSetting\r\n  SVNPath = '" + c.SvnPath + "'\r\n  RepoPath = '" +
               c.RepoPath + "'\r\n  BackupPath = '" + Backups + "'\r\n  Port = 3690\r\nend\r\n";
    WriteFile(SettingsFile(), Settings);
    TAdminRun r = Admin("backup --all");
    EXPECT_EQ(r.ExitCode, 2) << c.Says;
    EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
  }
  EXPECT_EQ(Joined(FolderNames(Backups)), "");
}

TEST_F(AdminToolTest, ListShowsAccessAndUsersAsTheProjectManagerDoes) {
  CreateProject("alpha");
  ASSERT_EQ(Shell("svnadmin create " + Quote(Repos + "/beta")).ExitCode, 0); // all defaults
  CreateProject("gamma", "");
  WriteFile(Repos + "/gamma/conf/svnserve.conf", "[general]\nanon-access = maybe\n");
  MakeDirs(Repos + "/.hidden");
  WriteFile(Repos + "/file.txt", "not a project");
  TAdminRun r = Admin("list");
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "alpha\n"
                   "  Anonymous 사용자 권한 : none\n"
                   "  인증 사용자 권한 : write\n"
                   "  등록된 사용자 : kim, lee\n"
                   "beta\n"
                   "  Anonymous 사용자 권한 : read\n"
                   "  인증 사용자 권한 : write\n"
                   "  등록된 사용자 : (없음)\n"
                   "gamma\n"
                   "  Anonymous 사용자 권한 : -\n"
                   "  인증 사용자 권한 : write\n"
                   "  등록된 사용자 : (없음)\n");
  EXPECT_EQ(r.Out.find("pw-"), std::string::npos) << "passwords are never shown";
}

// The users come from the file password-db names; one outside the project's folder is
// named and left alone, as the project manager does.
TEST_F(AdminToolTest, ListTakesTheUsersFromTheFilePasswordDbNames) {
  CreateProject("inside");
  WriteFile(Repos + "/inside/conf/svnserve.conf", "[general]\npassword-db = users.db\n");
  WriteFile(Repos + "/inside/conf/users.db", "[users]\npark = pw-park\n");
  CreateProject("outside");
  WriteFile(Repos + "/outside/conf/svnserve.conf", "[general]\npassword-db = ../../shared\n");
  WriteFile(Repos + "/shared", "[users]\nmallory = pw-m\n");
  TAdminRun r = Admin("list");
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "inside\n"
                   "  Anonymous 사용자 권한 : read\n"
                   "  인증 사용자 권한 : write\n"
                   "  등록된 사용자 : park\n"
                   "outside\n"
                   "  Anonymous 사용자 권한 : read\n"
                   "  인증 사용자 권한 : write\n"
                   "  등록된 사용자 : (관리하지 않음: 프로젝트 폴더 밖의 암호 파일 " +
                       Repos + "/outside/conf/../../shared)\n");
}

TEST_F(AdminToolTest, VerifyGivesAVerdictPerProjectAndFailsOnADamagedOne) {
  CreateProject("alpha");
  CreateProject("beta");
  CommitFile("alpha", "a.bin", 2000, 1);
  CommitFile("beta", "b.bin", 2000, 2);
  // Damage the middle of beta's revision 1, where its file's text is stored.
  const std::string rev = Repos + "/beta/db/revs/0/1";
  ::chmod(rev.c_str(), 0644);
  std::string data = ReadFile(rev);
  for (size_t i = 100; i < 140; ++i)
    data[i] = static_cast<char>(data[i] ^ 0x5A);
  WriteFile(rev, data);

  TAdminRun all = Admin("verify --all");
  EXPECT_EQ(all.ExitCode, 1);
  EXPECT_NE(all.Out.find("alpha: 검사를 통과하였습니다.\n"), std::string::npos) << all.Out;
  EXPECT_NE(all.Out.find("beta: 검사에 실패하였습니다. "), std::string::npos) << all.Out;
  EXPECT_EQ(Lines(all.Out), 2) << all.Out;
  EXPECT_EQ(Admin("verify alpha").ExitCode, 0);
  EXPECT_EQ(Admin("verify beta").ExitCode, 1);
  // Started with SIGCHLD ignored, as some launchers leave it, the verdict is the same.
  const std::string ignoringChld =
      "python3 -c 'import os, signal, sys; signal.signal(signal.SIGCHLD, signal.SIG_IGN); "
      "os.execv(sys.argv[1], sys.argv[1:])'";
  TAdminRun ignored = Admin("verify beta", ignoringChld);
  EXPECT_EQ(ignored.ExitCode, 1);
  EXPECT_NE(ignored.Out.find("beta: 검사에 실패하였습니다. "), std::string::npos) << ignored.Out;
}

TEST_F(AdminToolTest, KeepTwoAfterFourBackupsLeavesTheTwoNewestAndOtherFiles) {
  CreateProject("alpha");
  CreateProject("beta");
  const std::vector<std::string> others = {"beta_20200101T000000Z.zip", "alpha_notes.txt",
                                           "alpha_20200101T000000Z.zip.bak", "other.zip"};
  for (const std::string& n : others)
    WriteFile(Backups + "/" + n, n);
  std::vector<std::string> made;
  for (int i = 0; i < 4; ++i) {
    // One archive a second: the name carries the second.
    const std::time_t start = std::time(nullptr);
    while (std::time(nullptr) == start)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // Nothing changes between the runs: --full makes each one pack.
    TAdminRun r = Admin(i < 3 ? "backup alpha --full" : "backup alpha --full --keep 2");
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    made.push_back(ArchiveNamed(r.Out));
    if (i == 3) {
      EXPECT_NE(r.Out.find("오래된 백업 2개 삭제"), std::string::npos) << r.Out;
    }
  }
  std::vector<std::string> expected = {made[2], made[3], ".orlenway-staging-alpha",
                                       ".orlenway-staging-alpha.state"};
  expected.insert(expected.end(), others.begin(), others.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FolderNames(Backups), expected);
  for (const std::string& n : others)
    EXPECT_EQ(ReadFile(Backups + "/" + n), n);
}

// A backup killed with -9 while svnadmin brings the staging copy up to date leaves the newest
// good archive as it was; the next run makes the copy anew and packs every revision.
TEST_F(AdminToolTest, ABackupKilledWhileItCopiesLeavesTheLastArchiveAndTheNextRunWorks) {
  CreateProject("alpha");
  TAdminRun first = Admin("backup alpha");
  ASSERT_EQ(first.ExitCode, 0) << first.Out << first.Err;
  const std::string good = ArchiveNamed(first.Out);
  const std::string goodData = ReadFile(Backups + "/" + good);
  CommitFile("alpha", "more.bin", 3000, 5);
  // An svnadmin that takes its time over the copy; svnlook is the real one.
  MakeDirs(Work / "slow/bin");
  WriteFile(Work / "slow/bin/svnadmin", "#!/bin/sh\nexec sleep 6\n");
  ::chmod((Work / "slow/bin/svnadmin").c_str(), 0755);
  ASSERT_EQ(::symlink("/usr/bin/svnlook", (Work / "slow/bin/svnlook").c_str()), 0);
  WriteFile(SettingsFile(), "object TclsBasicSetting\r\n  SVNPath = '" + Work / "slow" +
                                "'\r\n  RepoPath = '" + Repos + "'\r\n  BackupPath = '" + Backups +
                                "'\r\n  Port = 3690\r\nend\r\n");
  TAdminRun killed = Admin("backup alpha", "timeout -s KILL 2");
  EXPECT_EQ(killed.ExitCode, 128 + SIGKILL) << killed.Out << killed.Err;
  WriteFile(SettingsFile(), Settings);
  EXPECT_EQ(ReadFile(Backups + "/" + good), goodData);

  const std::time_t start = std::time(nullptr);
  while (std::time(nullptr) == start)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  TAdminRun r = Admin("backup alpha");
  ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
  const std::string archive = Backups + "/" + ArchiveNamed(r.Out);
  EXPECT_NE(archive, Backups + "/" + good);
  TAdminRun restored = Admin("restore " + Quote(archive) + " copy");
  ASSERT_EQ(restored.ExitCode, 0) << restored.Out << restored.Err;
  EXPECT_EQ(Shell("svnlook youngest " + Quote(Repos + "/copy")).Output,
            Shell("svnlook youngest " + Quote(Repos + "/alpha")).Output);
  // Nothing new since: skipped, and said so.
  TAdminRun same = Admin("backup alpha");
  EXPECT_EQ(same.ExitCode, 0);
  EXPECT_NE(same.Out.find("alpha: 마지막 백업 이후 바뀐 것이 없어 건너뜁니다"), std::string::npos)
      << same.Out;
}

TEST_F(AdminToolTest, ARestoredProjectHasTheOriginalsHistoryAndAnOwnerOnlyPasswordFile) {
  CreateProject("alpha");
  CommitFile("alpha", "one.bin", 5000, 3);
  CommitFile("alpha", "two.bin", 7000, 4);
  TAdminRun backup = Admin("backup --all");
  ASSERT_EQ(backup.ExitCode, 0) << backup.Out << backup.Err;
  EXPECT_EQ(Lines(backup.Out), 1);
  EXPECT_EQ(backup.Out.find('\r'), std::string::npos) << "no progress bar into a file";
  const std::string archive = Backups + "/" + ArchiveNamed(backup.Out);
  ASSERT_TRUE(Exists(archive)) << backup.Out;

  ::umask(022);
  TAdminRun restore = Admin("restore " + Quote(archive) + " ' copy '");
  ASSERT_EQ(restore.ExitCode, 0) << restore.Out << restore.Err;
  EXPECT_EQ(restore.Out.rfind("copy: 복원을 완료하였습니다.", 0), 0u) << restore.Out;
  EXPECT_EQ(Mode(Repos + "/copy/conf/passwd"), 0600);
  EXPECT_EQ(Mode(Repos + "/copy/db/revs/0/1"), 0444) << "revision files stay read-only";
  EXPECT_EQ(Mode(Repos + "/copy/conf/svnserve.conf"), 0644);
  EXPECT_EQ(Joined(FolderNames(Repos)), "alpha,copy") << "no working folder is left";
  EXPECT_EQ(Joined(FolderNames(Backups)),
            ".orlenway-staging-alpha,.orlenway-staging-alpha.state," + ArchiveNamed(backup.Out));
  const std::string log = "svn log -v file://";
  EXPECT_EQ(Shell(log + Repos + "/copy").Output, Shell(log + Repos + "/alpha").Output);
  EXPECT_EQ(Shell("svnlook uuid " + Quote(Repos + "/copy")).Output,
            Shell("svnlook uuid " + Quote(Repos + "/alpha")).Output);
  // The list knows the new project with the original's access and users.
  TAdminRun list = Admin("list");
  EXPECT_NE(list.Out.find("copy\n  Anonymous 사용자 권한 : none\n  인증 사용자 권한 : write\n"
                          "  등록된 사용자 : kim, lee\n"),
            std::string::npos)
      << list.Out;
}

// A conf/passwd shared through a link with another project is copied as the link and not
// followed: the archive lacks it, and the outcome line says so instead of keeping quiet.
TEST_F(AdminToolTest, ABackupNamesTheLinksItLeftOut) {
  CreateProject("alpha");
  CreateProject("beta");
  const std::string passwd = Repos + "/beta/conf/passwd";
  ASSERT_EQ(::unlink(passwd.c_str()), 0);
  ASSERT_EQ(::symlink("../../alpha/conf/passwd", passwd.c_str()), 0);
  TAdminRun r = Admin("backup beta");
  ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
  EXPECT_EQ(Lines(r.Out), 1) << r.Out;
  EXPECT_NE(r.Out.find(", 링크여서 빠진 항목 : 1개 (conf/passwd)\n"), std::string::npos) << r.Out;
  const std::string archive = Backups + "/" + ArchiveNamed(r.Out);
  RunResult listing = Shell("unzip -Z1 " + Quote(archive));
  ASSERT_EQ(listing.ExitCode, 0) << listing.Output;
  EXPECT_NE(listing.Output.find("conf/svnserve.conf\n"), std::string::npos) << listing.Output;
  EXPECT_EQ(listing.Output.find("conf/passwd"), std::string::npos) << listing.Output;

  r = Admin("backup alpha");
  ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
  EXPECT_EQ(r.Out.find("링크"), std::string::npos) << r.Out;
}

// The archive keeps no execute bit: the restore gives it back to the hooks, or a pre-commit
// hook that let every commit through would now refuse every one.
TEST_F(AdminToolTest, ARestoredProjectsHooksRunAgain) {
  CreateProject("alpha");
  const std::string hook = Repos + "/alpha/hooks/pre-commit";
  WriteFile(hook, "#!/bin/sh\nexit 0\n");
  ASSERT_EQ(::chmod(hook.c_str(), 0755), 0);
  TAdminRun backup = Admin("backup alpha");
  ASSERT_EQ(backup.ExitCode, 0) << backup.Out << backup.Err;
  ::umask(022);
  TAdminRun restore = Admin("restore " + Quote(Backups + "/" + ArchiveNamed(backup.Out)) + " copy");
  ASSERT_EQ(restore.ExitCode, 0) << restore.Out << restore.Err;
  EXPECT_EQ(Mode(Repos + "/copy/hooks/pre-commit"), 0755);
  EXPECT_EQ(Mode(Repos + "/copy/hooks/pre-commit.tmpl"), 0644);
  RunResult commit = Shell("svn mkdir -q -m trunk " + Quote("file://" + Repos + "/copy/trunk"));
  EXPECT_EQ(commit.ExitCode, 0) << commit.Output;
}

TEST_F(AdminToolTest, HostileArchivesAreRefusedAndLeaveNothing) {
  CreateProject("alpha");
  CommitFile("alpha", "a.bin", 3000, 5);
  TAdminRun backup = Admin("backup alpha");
  ASSERT_EQ(backup.ExitCode, 0) << backup.Err;
  const std::string archive = Backups + "/" + ArchiveNamed(backup.Out);
  const std::string outside = Root / "outside";
  MakeDirs(outside);
  struct Case {
    std::string Kind, Says;
  } cases[] = {
      {"slip", "프로젝트 폴더 밖을 가리키는 항목이 있어 복원하지 않습니다: ../slipped"},
      {"absolute", "절대 경로 항목이 있어 복원하지 않습니다: " + outside + "/absolute"},
      {"symlink", "링크 항목이 있어 복원하지 않습니다: conf/link"},
      {"notzip", "ZIP 압축 파일이 아니거나 손상된 파일입니다"},
      {"truncated", "ZIP 압축 파일이 아니거나 손상된 파일입니다"},
      {"duplicate", "같은 이름의 항목이 두 번 있어 복원하지 않습니다: ./format"},
      {"bomb", "적힌 크기보다 크게 풀리는 항목이 있어 복원하지 않습니다: bomb"},
      {"huge", "압축을 풀면 저장소 폴더의 남은 공간보다 커서 복원하지 않습니다"},
  };
  for (const Case& c : cases) {
    const std::string hostile = Work / (c.Kind + ".zip");
    ASSERT_EQ(Shell("python3 " + Quote(kHostileZip) + " " + c.Kind + " " + Quote(archive) + " " +
                    Quote(hostile) + " " + Quote(outside))
                  .ExitCode,
              0);
    TAdminRun r = Admin("restore " + Quote(hostile) + " evil");
    EXPECT_EQ(r.ExitCode, 1) << c.Kind;
    EXPECT_EQ(r.Out.rfind("evil: 복원에 실패하였습니다. ", 0), 0u) << r.Out;
    EXPECT_NE(r.Out.find(c.Says), std::string::npos) << c.Kind << ": " << r.Out;
    EXPECT_EQ(Lines(r.Out), 1) << r.Out;
    EXPECT_EQ(Joined(FolderNames(Repos)), "alpha") << c.Kind;
    EXPECT_EQ(Joined(FolderNames(outside)), "") << c.Kind;
    EXPECT_FALSE(Exists(Root / "slipped"));
  }
  // The same archive untouched restores: only the added entry was the reason.
  const std::string plain = Work / "plain.zip";
  ASSERT_EQ(Shell("python3 " + Quote(kHostileZip) + " copy " + Quote(archive) + " " + Quote(plain))
                .ExitCode,
            0);
  EXPECT_EQ(Admin("restore " + Quote(plain) + " evil").ExitCode, 0);
}

TEST_F(AdminToolTest, AnArchiveWhoseRepositoryFailsTheCheckLeavesNothing) {
  CreateProject("alpha");
  CommitFile("alpha", "a.bin", 3000, 6);
  TAdminRun backup = Admin("backup alpha");
  ASSERT_EQ(backup.ExitCode, 0) << backup.Err;
  const std::string archive = Backups + "/" + ArchiveNamed(backup.Out);
  // A well-formed archive around a damaged revision: only svnadmin verify can tell.
  const std::string damaged = Work / "damaged.zip";
  ASSERT_EQ(Shell("python3 -c " +
                  Quote("import sys, zipfile\n"
                        "src = zipfile.ZipFile(sys.argv[1])\n"
                        "dst = zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED)\n"
                        "for i in src.infolist():\n"
                        "    d = src.read(i.filename)\n"
                        "    if i.filename == 'db/revs/0/1':\n"
                        "        d = d[:100] + bytes(b ^ 0x5A for b in d[100:140]) + d[140:]\n"
                        "    dst.writestr(i, d)\n"
                        "dst.close()\n") +
                  " " + Quote(archive) + " " + Quote(damaged))
                .ExitCode,
            0);
  TAdminRun r = Admin("restore " + Quote(damaged) + " broken");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Out.find("broken: 복원에 실패하였습니다. svnadmin verify: "), std::string::npos)
      << r.Out;
  EXPECT_EQ(Joined(FolderNames(Repos)), "alpha");
}

// A file size limit (which binds root too) stands for a disk that fills: the tool lets the
// write fail rather than be killed, and ends the project's backup with "Disk full".
TEST_F(AdminToolTest, ABackupThatMeetsAFullDiskLeavesNoArchiveAndNoCopy) {
  CreateProject("alpha");
  CreateProject("beta");
  // Revision files of 200 KB each pass the limit; the archive of all of them does not.
  for (unsigned i = 0; i < 8; ++i)
    CommitFile("alpha", "f" + std::to_string(i), 200000, 10 + i);
  TAdminRun r = Admin("backup alpha beta", "prlimit --fsize=1000000");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Out.find("alpha: 프로젝트 폴더 백업에 실패하였습니다. Disk full"), std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("beta: 프로젝트 폴더 압축을 완료하였습니다."), std::string::npos) << r.Out;
  const std::vector<std::string> left = FolderNames(Backups);
  ASSERT_EQ(left.size(), 3u) << Joined(left);
  EXPECT_EQ(left[0], ".orlenway-staging-beta") << "no copy of alpha";
  EXPECT_EQ(left[2].rfind("beta_", 0), 0u) << "only beta's archive";

  // A really full file system: a tmpfs in a private mount namespace (root only).
  const std::string full = Root / "full";
  MakeDirs(full);
  RunResult t = Shell("unshare -m sh -c " +
                      Quote("mount -t tmpfs -o size=2600k tmpfs " + Quote(full) + " || exit 77; " +
                            Quote(ORLENWAY_ADMIN_EXE) + " backup alpha --to " + Quote(full) +
                            "; echo rc=$?; ls -A " + Quote(full)));
  if (t.ExitCode == 77) GTEST_SKIP() << "cannot mount a file system here";
  EXPECT_NE(t.Output.find("alpha: 프로젝트 폴더 백업에 실패하였습니다."), std::string::npos)
      << t.Output;
  EXPECT_EQ(t.Output.substr(t.Output.find("rc=")), "rc=1\n") << "and the file system is empty";
}

TEST_F(AdminToolTest, ABackupFolderThatTakesNoFilesIsRefusedBeforeAnyCopy) {
  CreateProject("alpha");
  // A read-only file system in a private mount namespace (root only): root may write anywhere
  // else.
  const std::string ro = Root / "ro";
  MakeDirs(ro);
  RunResult t = Shell("unshare -m sh -c " +
                      Quote("mount -t tmpfs -o ro,size=64k tmpfs " + Quote(ro) + " || exit 77; " +
                            Quote(ORLENWAY_ADMIN_EXE) + " backup alpha --to " + Quote(ro)));
  if (t.ExitCode == 77) GTEST_SKIP() << "cannot mount a file system here";
  EXPECT_EQ(t.ExitCode, 2);
  EXPECT_EQ(t.Output.rfind("orlenway-admin: 백업 폴더에 쓸 수 없습니다: " + ro + " (", 0), 0u)
      << t.Output;
  EXPECT_EQ(Lines(t.Output), 1) << t.Output;
}

TEST_F(AdminToolTest, ARestoreThatMeetsAFullDiskLeavesNothing) {
  CreateProject("alpha");
  CommitFile("alpha", "big", 300000, 20);
  TAdminRun backup = Admin("backup alpha");
  ASSERT_EQ(backup.ExitCode, 0) << backup.Err;
  const std::string archive = Backups + "/" + ArchiveNamed(backup.Out);
  TAdminRun r = Admin("restore " + Quote(archive) + " copy", "prlimit --fsize=100000");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Out.find("copy: 복원에 실패하였습니다. 압축을 풀지 못했습니다: db/revs/0/1"),
            std::string::npos)
      << r.Out;
  EXPECT_EQ(Joined(FolderNames(Repos)), "alpha");
}

TEST_F(AdminToolTest, TheProgressBarIsDrawnOnATerminalOnly) {
  CreateProject("alpha");
  CommitFile("alpha", "a.bin", 100000, 30);
  // script(1) gives the tool a terminal.
  RunResult t =
      Shell("script -qec " + Quote(Quote(ORLENWAY_ADMIN_EXE) + " backup alpha") + " /dev/null");
  EXPECT_EQ(t.ExitCode, 0) << t.Output;
  EXPECT_NE(t.Output.find("alpha 압축 중 ["), std::string::npos) << t.Output;
  EXPECT_NE(t.Output.find("100%"), std::string::npos) << t.Output;
  EXPECT_NE(t.Output.find("\ralpha: 프로젝트 폴더 압축을 완료하였습니다."), std::string::npos)
      << "the bar is wiped before the result line: " << t.Output;
  TAdminRun piped = Admin("backup alpha");
  EXPECT_EQ(piped.Out.find('%'), std::string::npos) << piped.Out;
  EXPECT_EQ(piped.Out.find('\r'), std::string::npos) << piped.Out;
}

// Every run goes into the record; backup-status prints it, and --json gives other programs the
// same: a failure keeps the newest good archive.
TEST_F(AdminToolTest, BackupStatusTellsEachProjectsLastRunAndNewestGoodArchive) {
  TAdminRun none = Admin("backup-status");
  EXPECT_EQ(none.ExitCode, 0);
  EXPECT_EQ(none.Out, "백업 기록이 없습니다.\n");
  CreateProject("alpha");
  CreateProject("beta");
  TAdminRun first = Admin("backup --all");
  ASSERT_EQ(first.ExitCode, 0) << first.Out << first.Err;
  const std::string betaArchive = ArchiveNamed(first.Out.substr(first.Out.find("beta:")));
  // beta's new revision is damaged: its next run fails the check, alpha's is skipped.
  CommitFile("beta", "more.bin", 100, 3);
  std::string youngest = Shell("svnlook youngest " + Quote(Repos + "/beta")).Output;
  youngest.pop_back();
  const std::string rev = Repos + "/beta/db/revs/0/" + youngest;
  ASSERT_EQ(::chmod(rev.c_str(), 0644), 0);
  WriteFile(rev, "damaged\n");
  TAdminRun second = Admin("backup --all");
  EXPECT_EQ(second.ExitCode, 1) << second.Out;

  TAdminRun json = Admin("backup-status --json");
  ASSERT_EQ(json.ExitCode, 0) << json.Err;
  const nlohmann::json doc = nlohmann::json::parse(json.Out);
  ASSERT_EQ(doc.size(), 2u) << json.Out;
  EXPECT_EQ(doc[0]["name"], "alpha");
  EXPECT_EQ(doc[0]["last_result"], "skipped");
  EXPECT_TRUE(doc[0]["last_error"].is_null());
  EXPECT_EQ(doc[1]["name"], "beta");
  EXPECT_EQ(doc[1]["last_result"], "failed");
  EXPECT_FALSE(doc[1]["last_error"].get<std::string>().empty());
  EXPECT_EQ(doc[1]["last_good_archive"], betaArchive);
  EXPECT_EQ(doc[1]["last_good_time"].get<std::string>().size(), 20u) << json.Out;

  TAdminRun text = Admin("backup-status");
  EXPECT_NE(text.Out.find("beta: 백업 실패 ("), std::string::npos) << text.Out;
  EXPECT_NE(text.Out.find("최근 정상 백업 : " + betaArchive), std::string::npos) << text.Out;
  // A record that is no record is told, and left as it is.
  WriteFile(platform::StateFolder() + "backup-record.json", "{broken");
  TAdminRun broken = Admin("backup-status --json");
  EXPECT_EQ(broken.ExitCode, 1);
  EXPECT_NE(broken.Err.find("손상"), std::string::npos) << broken.Err;
  TAdminRun third = Admin("backup alpha");
  EXPECT_EQ(ReadFile(platform::StateFolder() + "backup-record.json"), "{broken");
}

// A scheduled run that fails before any project (here the repository root is gone) is noted
// for the projects the record knows, and their newest good archive is kept.
TEST_F(AdminToolTest, ARunRefusedBeforeAnyProjectIsNotedInTheRecord) {
  CreateProject("alpha");
  TAdminRun first = Admin("backup --all");
  ASSERT_EQ(first.ExitCode, 0) << first.Out << first.Err;
  ASSERT_EQ(::rename(Repos.c_str(), (Repos + ".gone").c_str()), 0);
  TAdminRun refused = Admin("backup --all --keep 3");
  ASSERT_EQ(::rename((Repos + ".gone").c_str(), Repos.c_str()), 0);
  EXPECT_EQ(refused.ExitCode, 2);
  const nlohmann::json doc = nlohmann::json::parse(Admin("backup-status --json").Out);
  ASSERT_EQ(doc.size(), 1u);
  EXPECT_EQ(doc[0]["last_result"], "failed");
  EXPECT_NE(doc[0]["last_error"].get<std::string>().find("저장소 경로 설정 해주세요"),
            std::string::npos)
      << doc;
  EXPECT_EQ(doc[0]["last_good_archive"], ArchiveNamed(first.Out));
}

// schedule backup|show|off through a stand-in systemctl that records its arguments; without a
// user systemd the crontab line is offered and nothing is written.
TEST_F(AdminToolTest, ScheduleBackupShownAndTurnedOff) {
  CreateProject("alpha");
  const std::string bin = Work / "bin";
  MakeDirs(bin);
  WriteFile(bin + "/systemctl",
            "#!/bin/sh\necho \"$*\" >>\"$(dirname \"$0\")/log\"\n"
            "[ -e \"$(dirname \"$0\")/down\" ] && exit 1\n"
            "[ \"$2\" = show ] && echo 'Fri 2026-12-11 01:15:00 KST'\nexit 0\n");
  ASSERT_EQ(::chmod((bin + "/systemctl").c_str(), 0755), 0);
  ASSERT_EQ(::setenv("ORLENWAY_SCHEDULER_DIR", bin.c_str(), 1), 0);
  struct TUnset {
    ~TUnset() { ::unsetenv("ORLENWAY_SCHEDULER_DIR"); }
  } unset;
  EXPECT_EQ(Admin("schedule backup --daily 01:15 beta").ExitCode, 2);
  EXPECT_EQ(Admin("schedule backup --daily 25:00 --all").ExitCode, 2);
  TAdminRun on = Admin("schedule backup --weekly fri 01:15 alpha --keep 5");
  ASSERT_EQ(on.ExitCode, 0) << on.Out << on.Err;
  const std::string unit =
      platform::GetEnv("XDG_CONFIG_HOME") + "/systemd/user/orlenway-admin-backup";
  EXPECT_NE(
      ReadFile(unit + ".service")
          .find("\nExecStart=" + std::string(ORLENWAY_ADMIN_EXE) + " backup --keep 5 -- alpha\n"),
      std::string::npos);
  EXPECT_NE(ReadFile(unit + ".timer").find("\nOnCalendar=Fri *-*-* 01:15:00\n"), std::string::npos);
  TAdminRun shown = Admin("schedule show");
  EXPECT_NE(shown.Out.find("백업 예약: 켜짐 (systemd, OnCalendar=Fri *-*-* 01:15:00), 다음 실행: "
                           "Fri 2026-12-11 01:15:00 KST"),
            std::string::npos)
      << shown.Out;
  EXPECT_NE(shown.Out.find("미러 동기화 예약: 꺼짐"), std::string::npos) << shown.Out;
  EXPECT_EQ(Admin("schedule off backup").ExitCode, 0);
  EXPECT_FALSE(Exists(unit + ".timer"));
  EXPECT_FALSE(Exists(unit + ".service"));
  EXPECT_NE(ReadFile(bin + "/log").find("--user disable --now orlenway-admin-backup.timer"),
            std::string::npos);

  WriteFile(bin + "/down", "");
  TAdminRun offered = Admin("schedule mirror --every 5");
  EXPECT_EQ(offered.ExitCode, 1);
  EXPECT_NE(offered.Out.find("*/5 * * * * "), std::string::npos) << offered.Out;
  EXPECT_NE(offered.Out.find("--crontab"), std::string::npos) << offered.Out;
}
