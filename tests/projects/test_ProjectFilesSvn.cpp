// The configuration files of real repositories: what svnadmin writes, and what a real
// svnserve then makes of the program's edits.
#include "projects/UclsProjectMgr.h"
#include "projects/UfnProfileFile.h"
#include "support/SvnServe.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"

#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace testing_support;
using Lines = std::vector<std::string>;

namespace {

class RepositoryTest : public ::testing::Test {
protected:
  TempDir Root{"repos"};
  TempDir Work{"work"};
  TGlobals Globals{Root.Path()};

  void Create(const std::string& project) {
    RunResult r = Shell("svnadmin create " + Quote(Root / project));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
  }
  std::string Conf(const std::string& project) { return Root / (project + "/conf/svnserve.conf"); }
};

// 1-based number of the line that is exactly `line`, 0 when none.
int LineNumber(const std::string& text, const std::string& line) {
  int n = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    ++n;
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    if (text.substr(pos, end - pos) == line) return n;
    pos = end + 1;
  }
  return 0;
}

} // namespace

TEST_F(RepositoryTest, EditsOfSvnadminFilesKeepEveryOtherLine) {
  Create("proj");
  const std::string conf = Conf("proj"), passwd = Root / "proj/conf/passwd";
  const std::string confBefore = ReadFile(conf), passwdBefore = ReadFile(passwd);
  WriteFile(Work / "svnserve.conf", confBefore);
  WriteFile(Work / "passwd", passwdBefore);
  const int confMode = FileMode(conf);
  const int passwdMode = FileMode(passwd);

  TclsProjectMgr mgr;
  EXPECT_EQ(mgr.Projects, (Lines{"proj"}));
  Lines users{"stale"};
  mgr.ReadUsers("proj", users);
  EXPECT_TRUE(users.empty()); // "# harry = harryssecret" is a comment
  EXPECT_EQ(ProfileFile(conf).ReadValue("general", "anon-access", "none"), "none");

  ProfileFile(conf).WriteValue("general", "password-db", "passwd");
  ProfileFile(conf).WriteValue("general", "anon-access", "read");
  ProfileFile(conf).WriteValue("general", "auth-access", "write");
  ProfileFile(conf).WriteValue("general", "anon-access", "none");
  mgr.WriteUser("proj", "alice", "a1");
  mgr.WriteUser("proj", "bob", "b1");
  mgr.DeleteUser("proj", "alice");
  mgr.WriteUser("proj", "bob", "b2");

  EXPECT_EQ(ProfileFile(conf).ReadValue("general", "password-db", ""), "passwd");
  mgr.ReadUsers("proj", users);
  EXPECT_EQ(users, (Lines{"bob=b2"}));

  // The only difference from what svnadmin wrote: the new lines right after the headers.
  int general = LineNumber(confBefore, "[general]");
  int usersLine = LineNumber(passwdBefore, "[users]");
  ASSERT_GT(general, 0);
  ASSERT_GT(usersLine, 0);
  RunResult d = Shell("diff " + Quote(Work / "svnserve.conf") + " " + Quote(conf));
  EXPECT_EQ(d.Output, std::to_string(general) + "a" + std::to_string(general + 1) + "," +
                          std::to_string(general + 3) +
                          "\n> password-db=passwd\n> anon-access=none\n> auth-access=write\n");
  d = Shell("diff " + Quote(Work / "passwd") + " " + Quote(passwd));
  EXPECT_EQ(d.Output,
            std::to_string(usersLine) + "a" + std::to_string(usersLine + 1) + "\n> bob=b2\n");

  EXPECT_EQ(FileMode(conf), confMode);
  EXPECT_EQ(FileMode(passwd), passwdMode); // the account serving it may still read it
  for (const char* f : {"authz", "hooks-env.tmpl", "passwd", "svnserve.conf"})
    EXPECT_TRUE(Exists(Root / (std::string("proj/conf/") + f))) << f;
  EXPECT_EQ(Shell("ls -A " + Quote(Root / "proj/conf") + " | wc -l").Output, "4\n");
}

TEST_F(RepositoryTest, RealServerHonoursAccessLevelsAndUsers) {
  Create("proj");
  const std::string conf = Conf("proj");
  ProfileFile(conf).WriteValue("general", "password-db", "passwd");
  ProfileFile(conf).WriteValue("general", "anon-access", "none");
  ProfileFile(conf).WriteValue("general", "auth-access", "write");
  TclsProjectMgr mgr;
  mgr.WriteUser("proj", "alice", "wonder land");

  TSvnServe server(Root.Path());
  ASSERT_GT(server.Pid, 0) << "svnserve did not start";
  ASSERT_TRUE(PortAccepts(server.Port));
  const std::string url = server.Url("proj");

  RunResult r = Svn("ls " + Quote(url));
  EXPECT_NE(r.ExitCode, 0) << "anonymous read passed: " << r.Output;
  r = Svn("ls " + Quote(url), "alice", "wonder land");
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  r = Svn("mkdir -m first " + Quote(url + "/trunk"), "alice", "wonder land");
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  r = Svn("ls " + Quote(url), "alice", "wonder land");
  EXPECT_EQ(r.Output, "trunk/\n");
  r = Svn("ls " + Quote(url), "alice", "wrong");
  EXPECT_NE(r.ExitCode, 0) << r.Output;

  // svnserve reads the files anew for each connection: no restart needed.
  mgr.DeleteUser("proj", "alice");
  r = Svn("ls " + Quote(url), "alice", "wonder land");
  EXPECT_NE(r.ExitCode, 0) << "deleted user still reads: " << r.Output;

  ProfileFile(conf).WriteValue("general", "anon-access", "read");
  r = Svn("ls " + Quote(url));
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_EQ(r.Output, "trunk/\n");
  r = Svn("mkdir -m anon " + Quote(url + "/branches"));
  EXPECT_NE(r.ExitCode, 0) << "anonymous commit passed: " << r.Output;
}

// svnserve reads an indented line after an option as more of its value: a password written
// or deleted takes such lines with it, or they would run on into the next value it reads.
TEST_F(RepositoryTest, IndentedLinesOfAValueGoWithItForTheRealServer) {
  Create("proj");
  ProfileFile(Conf("proj")).WriteValue("general", "password-db", "passwd");
  ProfileFile(Conf("proj")).WriteValue("general", "auth-access", "write");
  ProfileFile(Conf("proj")).WriteValue("general", "anon-access", "none");
  const std::string passwd = Root / "proj/conf/passwd";
  WriteFile(passwd, "[users]\nalice = a1\ncarol = c1\n  and more\nbob = b1\n\tof it\n");
  TclsProjectMgr mgr;
  mgr.DeleteUser("proj", "carol");
  mgr.WriteUser("proj", "bob", "fresh");
  EXPECT_EQ(ReadFile(passwd), "[users]\nalice = a1\nbob=fresh\n");

  TSvnServe server(Root.Path());
  ASSERT_GT(server.Pid, 0) << "svnserve did not start";
  const std::string url = server.Url("proj");
  RunResult r = Svn("ls " + Quote(url), "alice", "a1");
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  r = Svn("ls " + Quote(url), "bob", "fresh");
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
}
