#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "settings/UclsBasicSetting.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_support;
using Lines = std::vector<std::string>;

namespace {

// A repository root of its own, named by a settings object of the test's own.
class ProjectMgrTest : public ::testing::Test {
protected:
  TempDir Root;
  TGlobals Globals{Root.Path()};
  TclsBasicSetting& Settings = Globals.Settings;

  std::string Passwd(const std::string& project) { return Root / (project + "/conf/passwd"); }
};

} // namespace

TEST_F(ProjectMgrTest, ScanListsOrdinaryFoldersOnly) {
  for (const char* d : {"beta", "Alpha", ".hidden", "gamma/nested"})
    MakeDirs(Root / d);
  WriteFile(Root / "file.txt", "x");
  ::symlink("gamma", (Root / "link").c_str());
  TclsProjectMgr mgr;
  EXPECT_EQ(mgr.Projects, (Lines{"Alpha", "beta", "gamma", "link"}));
  EXPECT_EQ(mgr.Count(), 4);
  EXPECT_EQ(mgr.GetProject(0), "Alpha");
  EXPECT_EQ(mgr.GetProject(3), "link");
  EXPECT_EQ(mgr.GetProject(-1), "");
  EXPECT_EQ(mgr.GetProject(mgr.Count()), "");

  // Only a new scan sees changes; a trailing delimiter changes nothing.
  MakeDirs(Root / "delta");
  EXPECT_EQ(mgr.Count(), 4);
  Settings.RepoPath = Root.Path() + "/";
  mgr.Refresh();
  EXPECT_EQ(mgr.Projects, (Lines{"Alpha", "beta", "delta", "gamma", "link"}));
}

TEST_F(ProjectMgrTest, MissingEmptyOrPlainFileRootGivesNoProjects) {
  for (const std::string& root : Lines{"", Root / "missing", Root / "file", Root / "empty"}) {
    WriteFile(Root / "file", "x");
    MakeDirs(Root / "empty");
    Settings.RepoPath = root;
    TclsProjectMgr mgr;
    EXPECT_EQ(mgr.Count(), 0) << root;
    EXPECT_EQ(mgr.GetProject(0), "");
  }
}

TEST_F(ProjectMgrTest, UsersOfAProjectPasswordFile) {
  MakeDirs(Root / "p/conf");
  WriteFile(Passwd("p"), "### sample\n[users]\n# harry = harryssecret\nbob = b1\nalice=a1\n\n"
                         "[groups]\nx=y\n");
  ::chmod(Passwd("p").c_str(), 0644);
  TclsProjectMgr mgr;
  Lines users{"stale"};
  mgr.ReadUsers("p", users);
  EXPECT_EQ(users, (Lines{"bob=b1", "alice=a1"}));

  mgr.WriteUser("p", "BOB", "b2");
  mgr.WriteUser("p", "carol", "c1");
  EXPECT_EQ(ReadFile(Passwd("p")), "### sample\n[users]\n# harry = harryssecret\nbob=b2\n"
                                   "alice=a1\ncarol=c1\n\n[groups]\nx=y\n");
  EXPECT_EQ(FileMode(Passwd("p")), 0640); // svnserve's account may read it, others not
  mgr.DeleteUser("p", "alice");
  mgr.DeleteUser("p", "nobody");
  mgr.ReadUsers("p", users);
  EXPECT_EQ(users, (Lines{"bob=b2", "carol=c1"}));

  // A conf folder without passwd gets a new file, owner-only.
  MakeDirs(Root / "q/conf");
  mgr.WriteUser("q", "alice", "a");
  EXPECT_EQ(ReadFile(Passwd("q")), "[users]\r\nalice=a\r\n");
  EXPECT_EQ(FileMode(Passwd("q")), 0600);
}

TEST_F(ProjectMgrTest, ProjectWithoutPasswordFileOrConfFolder) {
  MakeDirs(Root / "p/conf");
  WriteFile(Passwd("p"), "[general]\nalice=a\n");
  TclsProjectMgr mgr;
  Lines users{"stale"};
  mgr.ReadUsers("p", users);
  EXPECT_TRUE(users.empty());
  mgr.ReadUsers("gone", users);
  EXPECT_TRUE(users.empty());
  mgr.DeleteUser("gone", "alice");
  MakeDirs(Root / "half");
  try {
    mgr.WriteUser("half", "alice", "a");
    FAIL() << "no error";
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + Passwd("half"));
  }
  EXPECT_FALSE(Exists(Root / "half/conf"));
  EXPECT_FALSE(Exists(Root / "gone"));
}

TEST_F(ProjectMgrTest, GlobalScansAtInitAndFreesAtDone) {
  MakeDirs(Root / "one");
  InitProjectMgr();
  ASSERT_NE(ProjectMgr, nullptr);
  EXPECT_EQ(ProjectMgr->Projects, (Lines{"one"}));
  DoneProjectMgr();
  EXPECT_EQ(ProjectMgr, nullptr);
}

TEST_F(ProjectMgrTest, NewNamesThatAreNoPlainFolderNameAreRefused) {
  EXPECT_EQ(CheckNewProjectName(Root.Path(), ""), TProjectNameCheck::Empty);
  // Other folders, words the interpreter expands in double quotes, options of svnadmin,
  // names the scan hides, and control characters.
  for (const std::string& name : Lines{"a/b",     "a\\b", ".",      "..",
                                       ".hidden", "-h",   "--help", "x$(touch pwned)",
                                       "x`id`",   "x\"y", "%PATH%", "a:b",
                                       "a*",      "a?",   "a<b",    "a>b",
                                       "x|y",     "a\tb", "x\x7f",  std::string("a\0b", 3)})
    EXPECT_EQ(CheckNewProjectName(Root.Path(), name), TProjectNameCheck::NotPlain) << name;
  for (const char* name : {"alpha", "저장소", "a.b", "a-b_c", "my project", "a-"})
    EXPECT_EQ(CheckNewProjectName(Root.Path(), name), TProjectNameCheck::Ok) << name;
  // Nothing was made on the way.
  std::vector<platform::DirEntry> inside;
  ASSERT_TRUE(platform::ListDirectory(Root.Path(), inside));
  EXPECT_TRUE(inside.empty());
}

TEST_F(ProjectMgrTest, ANewNameIsTakenByAFileOrAFolderThatIsNotEmpty) {
  MakeDirs(Root / "alpha/conf");
  WriteFile(Root / "notes", "x");
  MakeDirs(Root / "empty");
  for (const std::string& root : {Root.Path(), Root.Path() + "/"}) {
    EXPECT_EQ(CheckNewProjectName(root, "alpha"), TProjectNameCheck::Taken);
    EXPECT_EQ(CheckNewProjectName(root, "notes"), TProjectNameCheck::Taken);
    // svnadmin fills an empty folder.
    EXPECT_EQ(CheckNewProjectName(root, "empty"), TProjectNameCheck::Ok);
    EXPECT_EQ(CheckNewProjectName(root, "beta"), TProjectNameCheck::Ok);
  }
  // A folder whose content cannot be seen may hold a repository (root sees it anyway).
  MakeDirs(Root / "closed/db");
  ASSERT_EQ(::chmod((Root / "closed").c_str(), 0), 0);
  EXPECT_EQ(CheckNewProjectName(Root.Path(), "closed"), TProjectNameCheck::Taken);
  ::chmod((Root / "closed").c_str(), 0700);
}
