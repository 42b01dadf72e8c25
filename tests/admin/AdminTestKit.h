// The admin tool as an administrator runs it: the built executable in a child process, with
// the program's settings file in the test's own state folder, repositories made by the real
// svnadmin and a backup folder of the test's own.
#pragma once

#include "platform/UfnPlatform.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <dirent.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace admin_kit {

using namespace testing_support;

struct TAdminRun {
  int ExitCode = -1;
  std::string Out, Err;
};

class AdminTool : public ::testing::Test {
protected:
  AdminTool() {
    MakeDirs(Repos);
    MakeDirs(Backups);
    MakeDirs(platform::StateFolder());
    Settings = "object TclsBasicSetting\r\n  SVNPath = '/usr'\r\n  RepoPath = '" + Repos +
               "'\r\n  BackupPath = '" + Backups + "'\r\n  Port = 3690\r\nend\r\n";
    WriteFile(SettingsFile(), Settings);
  }
  // No command writes the settings.
  ~AdminTool() override {
    if (Exists(SettingsFile())) {
      EXPECT_EQ(ReadFile(SettingsFile()), Settings);
    }
  }

  static std::string SettingsFile() { return platform::StateFolder() + "orlenway.ini"; }

  // Runs orlenway-admin with `args` (shell words, quoted by the caller), behind `launcher`
  // (a command that runs the rest of the line, such as prlimit).
  TAdminRun Admin(const std::string& args, const std::string& launcher = "") {
    TAdminRun r;
    const std::string out = Work / "out", err = Work / "err";
    r.ExitCode = Shell(launcher + " " + Quote(ORLENWAY_ADMIN_EXE) + " " + args + " >" + Quote(out) +
                       " 2>" + Quote(err))
                     .ExitCode;
    r.Out = ReadFile(out);
    r.Err = ReadFile(err);
    return r;
  }

  // A repository made by svnadmin, its users in passwd, anonymous users shut out.
  void CreateProject(const std::string& name,
                     const std::string& users = "kim = pw-kim\nlee = pw-lee\n") {
    const std::string folder = Repos + "/" + name;
    ASSERT_EQ(Shell("svnadmin create " + Quote(folder)).ExitCode, 0);
    WriteFile(folder + "/conf/svnserve.conf",
              "[general]\nanon-access = none\nauth-access = write\npassword-db = passwd\n");
    WriteFile(folder + "/conf/passwd", "[users]\n" + users);
  }

  // Commits a file of `bytes` random bytes into a project, as revision after revision.
  void CommitFile(const std::string& project, const std::string& name, size_t bytes,
                  unsigned seed) {
    const std::string file = Work / "import.bin";
    WriteFile(file, RandomBytes(bytes, seed));
    ASSERT_EQ(Shell("svn import -q -m import " + Quote(file) + " " +
                    Quote("file://" + Repos + "/" + project + "/" + name))
                  .ExitCode,
              0);
  }

  std::vector<std::string> Archives() const {
    std::vector<std::string> zips;
    for (const std::string& n : FolderNames(Backups))
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".zip") == 0) zips.push_back(n);
    return zips;
  }

  TempDir Root{"admin"};
  TempDir Work{"work"};
  std::string Repos = Root / "repos";
  std::string Backups = Root / "backups";
  std::string Settings;
};

} // namespace admin_kit
