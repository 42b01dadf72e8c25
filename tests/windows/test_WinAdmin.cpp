// orlenway-admin.exe under Wine, on a project that this test makes with the stand-in
// svnadmin.exe of the helper program: the settings file beside the executable, list, backup
// (hotcopy, archive, --keep), verify, and restore where the build has libarchive.
#include "ZipReader.h"
#include "platform/UfnChildProcess.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnBackupFolder.h"
#include "support/TestSupport.h"

#include "WinApi.h"
#include "WinTestKit.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class WinAdmin : public ::testing::Test {
protected:
  WinAdmin() {
    for (const std::string& f : {Tool, SvnBin, Repos, Backups})
      MakeDirs(f);
    Admin = Tool + "\\orlenway-admin.exe";
    if (!::CopyFileA(ORLENWAY_ADMIN_EXE, Admin.c_str(), FALSE))
      throw std::runtime_error("cannot copy orlenway-admin.exe");
    SvnAdmin = wintest::HelperCopy(SvnBin, "svnadmin.exe");
    wintest::HelperCopy(SvnBin, "svnlook.exe");
    // The program's settings file beside the executable, not one named after the tool.
    WriteFile(Tool + "\\orlenway.ini", "object TclsBasicSetting\r\n  SVNPath = '" + Svn +
                                           "'\r\n  RepoPath = '" + Repos + "'\r\n  BackupPath = '" +
                                           Backups + "'\r\n  Port = 3690\r\nend\r\n");
  }

  // The console's line ends (CR LF) read as the tests write them.
  static platform::TProgramResult Lf(platform::TProgramResult r) {
    r.Output.erase(std::remove(r.Output.begin(), r.Output.end(), '\r'), r.Output.end());
    return r;
  }
  platform::TProgramResult Run(const std::vector<std::string>& args) {
    return Lf(platform::RunProgram(Admin, args));
  }

  // A project as the Windows tests make one: svnadmin.exe create, a revision, users.
  void CreateProject(const std::string& name) {
    const std::string folder = Repos + "\\" + name;
    ASSERT_EQ(platform::RunProgram(SvnAdmin, {"create", folder}).ExitCode, 0);
    WriteFile(folder + "\\db\\revs\\0\\1", "revision 1\n");
    WriteFile(folder + "\\db\\current", "1\n");
    WriteFile(folder + "\\conf\\svnserve.conf", "[general]\r\nanon-access = none\r\n");
    WriteFile(folder + "\\conf\\passwd", "[users]\r\nkim = pw-kim\r\n");
  }

  TempDir Root{"admin"};
  std::string Tool = Root / "tool";
  std::string Svn = Root / "svn";
  std::string SvnBin = Svn + "\\bin";
  std::string Repos = Root / "repos";
  std::string Backups = Root / "backups";
  std::string Admin, SvnAdmin;
};

} // namespace

TEST_F(WinAdmin, TheStandInSvnAdminRunsThroughRunProgram) {
  // Every argument arrives as it was given, whatever blanks, quotes and backslashes it holds.
  const std::vector<std::string> args = {"a \"quoted\" word", "trailing\\",    "",
                                         "two  blanks",       "back\\\"slash", "plain"};
  std::vector<std::string> call = {"argv", Root / "args.txt"};
  call.insert(call.end(), args.begin(), args.end());
  platform::TProgramResult r = platform::RunProgram(wintest::HelperPath(), call);
  EXPECT_EQ(r.ExitCode, 0);
  std::string expected;
  for (const std::string& a : args)
    expected += a + "\n";
  EXPECT_EQ(ReadFile(Root / "args.txt"), expected);

  const std::string folder = Root / "a name with blanks";
  r = Lf(platform::RunProgram(SvnAdmin, {"create", folder}));
  EXPECT_TRUE(r.Started);
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_TRUE(platform::FileExists(folder + "\\format"));
  r = Lf(platform::RunProgram(SvnAdmin, {"verify", folder}));
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_EQ(r.Output, "* Verified revision 0.\n");
  r = Lf(platform::RunProgram(SvnAdmin, {"hotcopy", folder, folder}));
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Output.find("already exists"), std::string::npos) << r.Output;
  EXPECT_FALSE(platform::RunProgram(Root / "missing.exe", {}).Started);
}

TEST_F(WinAdmin, ListBackupAndVerifyAProjectOfTheWindowsTests) {
  CreateProject("alpha");
  platform::TProgramResult list = Run({"list"});
  EXPECT_EQ(list.ExitCode, 0) << list.Output;
  EXPECT_EQ(list.Output, "alpha\n"
                         "  Anonymous 사용자 권한 : none\n"
                         "  인증 사용자 권한 : write\n"
                         "  등록된 사용자 : kim\n");

  for (int i = 0; i < 2; ++i) {
    platform::TProgramResult backup = Run({"backup", "--all", "--keep", "1"});
    ASSERT_EQ(backup.ExitCode, 0) << backup.Output;
    EXPECT_NE(backup.Output.find("alpha: 프로젝트 폴더 압축을 완료하였습니다."), std::string::npos)
        << backup.Output;
    if (i == 0) {
      // Nothing new: skipped. A new revision makes the next run copy it over the staging copy.
      platform::TProgramResult same = Run({"backup", "alpha"});
      EXPECT_NE(same.Output.find("alpha: 마지막 백업 이후 바뀐 것이 없어 건너뜁니다"),
                std::string::npos)
          << same.Output;
      WriteFile(Repos + "\\alpha\\db\\revs\\0\\2", "revision 2\n");
      WriteFile(Repos + "\\alpha\\db\\current", "2\n");
      ::Sleep(1100); // the next archive gets another name
    }
  }
  std::vector<std::string> left = FolderNames(Backups);
  ASSERT_EQ(left.size(), 3u) << Joined(left)
                             << ": one archive kept, the staging copy, no work folder";
  EXPECT_EQ(left[0], ".orlenway-staging-alpha");
  EXPECT_EQ(left[1], ".orlenway-staging-alpha.state");
  left.erase(left.begin(), left.begin() + 2);
  EXPECT_TRUE(IsBackupArchiveOf("alpha", left[0])) << left[0];

  const ziptest::TArchiveView zip = ziptest::ReadArchive(Backups + "\\" + left[0]);
  std::vector<std::string> entries;
  for (const auto& e : zip.Entries)
    entries.push_back(e.Name);
  for (const char* name : {"format", "db/current", "db/revs/0/1", "db/revs/0/2", "db/transactions/",
                           "db/txn-protorevs/", "conf/passwd"})
    EXPECT_NE(std::find(entries.begin(), entries.end(), name), entries.end()) << name;
  for (const auto& e : zip.Entries)
    if (e.Name == "db/revs/0/1") {
      EXPECT_EQ(ziptest::EntryData(Backups + "\\" + left[0], e), "revision 1\n");
    }

  platform::TProgramResult verify = Run({"verify", "alpha"});
  EXPECT_EQ(verify.ExitCode, 0);
  EXPECT_EQ(verify.Output, "alpha: 검사를 통과하였습니다.\n");
  WriteFile(Repos + "\\alpha\\db\\revs\\0\\1", "revision one\n");
  verify = Run({"verify", "--all"});
  EXPECT_EQ(verify.ExitCode, 1);
  EXPECT_NE(verify.Output.find("alpha: 검사에 실패하였습니다. svnadmin: E160004"),
            std::string::npos)
      << verify.Output;

  // Without the program's settings file nothing is done.
  ::DeleteFileA((Tool + "\\orlenway.ini").c_str());
  platform::TProgramResult missing = Run({"backup", "--all"});
  EXPECT_EQ(missing.ExitCode, 2);
  EXPECT_NE(missing.Output.find("저장소 경로 설정 해주세요"), std::string::npos) << missing.Output;
}

#ifdef ORLENWAY_RESTORE
TEST_F(WinAdmin, RestoreUnpacksTheArchiveAsANewProject) {
  CreateProject("alpha");
  ASSERT_EQ(Run({"backup", "alpha"}).ExitCode, 0);
  // The archive comes after the hidden staging copy and its state.
  const std::string archive = Backups + "\\" + FolderNames(Backups).at(2);
  platform::TProgramResult r = Run({"restore", archive, "beta"});
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_EQ(Joined(FolderNames(Repos)), "alpha,beta");
  EXPECT_EQ(ReadFile(Repos + "\\beta\\db\\revs\\0\\1"), "revision 1\n");
  EXPECT_EQ(ReadFile(Repos + "\\beta\\conf\\passwd"), "[users]\r\nkim = pw-kim\r\n");
  EXPECT_TRUE(platform::DirectoryExists(Repos + "\\beta\\db\\transactions"));
  EXPECT_EQ(platform::RunProgram(SvnAdmin, {"verify", "-q", Repos + "\\beta"}).ExitCode, 0);

  WriteFile(Root / "notzip.zip", "not an archive");
  r = Run({"restore", Root / "notzip.zip", "gamma"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Output.find("ZIP 압축 파일이 아니거나 손상된 파일입니다"), std::string::npos)
      << r.Output;
  r = Run({"restore", archive, "beta"});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_EQ(Joined(FolderNames(Repos)), "alpha,beta") << "nothing left behind";
}
#else
TEST_F(WinAdmin, WithoutLibarchiveRestoreIsLeftOutAndTheHelpSaysSo) {
  platform::TProgramResult help = Run({"--help"});
  EXPECT_NE(help.Output.find("복원 명령이 빠져 있습니다"), std::string::npos) << help.Output;
  EXPECT_EQ(Run({"restore", "x.zip", "beta"}).ExitCode, 2);
}
#endif
