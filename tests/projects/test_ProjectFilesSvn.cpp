// The configuration files of real repositories: what svnadmin writes, and what a real
// svnserve then makes of the program's edits.
#include "projects/UclsProjectMgr.h"
#include "projects/UfnProfileFile.h"
#include "support/SvnServe.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
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
  // The account serving it may still read it; others may not.
  EXPECT_EQ(FileMode(passwd), passwdMode & ~07);
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

// The files as an administrator may have written them by hand: ":" for "=", a key twice, a
// second [users] section, a password carried on over an indented line, an access level
// twice. What the program shows is what svnserve lets in, and a withdraw shuts the user out.
TEST_F(RepositoryTest, TheListIsWhatTheRealServerLetsInAndAWithdrawShutsOut) {
  Create("proj");
  const std::string conf = Conf("proj"), passwd = Root / "proj/conf/passwd";
  WriteFile(conf, "[general]\npassword-db = passwd\nauth-access = write\n"
                  "anon-access = write\nanon-access = none\n");
  WriteFile(passwd, "[users]\nalice: pw\ndave = first\nbob = bob\n  pw\n"
                    "[groups]\n[users]\ncarol = c3\ndave = second\n");
  TclsProjectMgr mgr;
  Lines users;
  mgr.ReadUsers("proj", users);
  EXPECT_EQ(users, (Lines{"alice=pw", "dave=second", "bob=bob pw", "carol=c3"}));
  EXPECT_EQ(ProfileFile(conf).ReadValue("general", "anon-access", "read"), "none");

  TSvnServe server(Root.Path());
  ASSERT_GT(server.Pid, 0) << "svnserve did not start";
  const std::string url = Quote(server.Url("proj"));
  RunResult r = Svn("ls " + url);
  EXPECT_NE(r.ExitCode, 0) << "anonymous read passed: " << r.Output;
  for (const std::string& user : users) {
    const size_t eq = user.find('=');
    r = Svn("ls " + url, user.substr(0, eq), user.substr(eq + 1));
    EXPECT_EQ(r.ExitCode, 0) << user << ": " << r.Output;
  }
  EXPECT_NE(Svn("ls " + url, "dave", "first").ExitCode, 0) << "the earlier of two lines counted";
  EXPECT_NE(Svn("ls " + url, "bob", "bob").ExitCode, 0) << "the indented line was not read";

  mgr.DeleteUser("proj", "alice");
  mgr.DeleteUser("proj", "carol");
  mgr.DeleteUser("proj", "dave");
  EXPECT_NE(Svn("ls " + url, "alice", "pw").ExitCode, 0) << "withdrawn \":\" user still reads";
  EXPECT_NE(Svn("ls " + url, "carol", "c3").ExitCode, 0) << "withdrawn user still reads";
  EXPECT_NE(Svn("ls " + url, "dave", "second").ExitCode, 0) << "withdrawn user still reads";
  EXPECT_NE(Svn("ls " + url, "dave", "first").ExitCode, 0) << "withdrawn user still reads";
  r = Svn("ls " + url, "bob", "bob pw");
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  mgr.ReadUsers("proj", users);
  EXPECT_EQ(users, (Lines{"bob=bob pw"}));
}

// A svnserve.conf whose lines end in lone CRs is one line to svnserve: anonymous users read
// whatever its lines seem to say. The program shows that default, and refuses to "set" a level
// there that the server would never see.
TEST_F(RepositoryTest, AFileOfLoneCrsShowsWhatTheRealServerDoesAndTakesNoSilentWrite) {
  Create("proj");
  const std::string conf = Conf("proj");
  const std::string lines = "[general]\ranon-access = none\rpassword-db = passwd\r";
  WriteFile(conf, lines);
  EXPECT_EQ(ProfileFile(conf).ReadValue("general", "anon-access", "read"), "read");
  EXPECT_THROW(ProfileFile(conf).WriteValue("general", "anon-access", "none"), EWriteError);
  EXPECT_EQ(ReadFile(conf), lines);

  TSvnServe server(Root.Path());
  ASSERT_GT(server.Pid, 0) << "svnserve did not start";
  RunResult r = Svn("ls " + Quote(server.Url("proj")));
  EXPECT_EQ(r.ExitCode, 0) << "svnserve read the lines after all: " << r.Output;
}

// A repository served by svnserve running as another account (uid/gid 54321, unused): a
// grant made by root keeps passwd that account's, and a passwd shared through a symbolic
// link stays shared.
TEST(ServedByAnotherAccount, AGrantKeepsPasswdOwnedAndSharedAndOldUsersGetIn) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the repository to another account";
  if (Shell("command -v setpriv").ExitCode != 0) GTEST_SKIP() << "setpriv (util-linux) missing";
  // Outside the test's private temporary tree, so that the other account reaches it.
  char tmpl[] = "/tmp/orlenway-served-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string root = tmpl;
  struct Cleanup {
    std::string Root;
    ~Cleanup() { Shell("rm -rf " + Quote(Root) + " " + Quote(Root + ".pid")); }
  } cleanup{root};
  ::chmod(root.c_str(), 0755);
  TGlobals globals{root};
  TclsProjectMgr mgr;
  for (const char* p : {"proj", "other"}) {
    ASSERT_EQ(Shell("svnadmin create " + Quote(root + "/" + p)).ExitCode, 0);
    const std::string conf = root + "/" + p + "/conf/svnserve.conf";
    ProfileFile(conf).WriteValue("general", "password-db", "passwd");
    ProfileFile(conf).WriteValue("general", "anon-access", "none");
    ProfileFile(conf).WriteValue("general", "auth-access", "write");
  }
  mgr.WriteUser("proj", "alice", "a1");
  const std::string passwd = root + "/proj/conf/passwd", link = root + "/other/conf/passwd";
  ::unlink(link.c_str());
  ASSERT_EQ(::symlink("../../proj/conf/passwd", link.c_str()), 0);
  ASSERT_EQ(Shell("chown -R 54321:54321 " + Quote(root)).ExitCode, 0);
  ::chmod(passwd.c_str(), 0640);

  TSvnServe server(root, "setpriv --reuid=54321 --regid=54321 --clear-groups --pdeathsig KILL ");
  ASSERT_GT(server.Pid, 0) << "svnserve did not start";
  ASSERT_EQ(Svn("ls " + Quote(server.Url("proj")), "alice", "a1").ExitCode, 0);

  mgr.WriteUser("proj", "bob", "b1");
  struct stat st;
  ASSERT_EQ(::stat(passwd.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 54321u);
  EXPECT_EQ(st.st_gid, 54321u);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  for (const char* p : {"proj", "other"}) {
    RunResult r = Svn("ls " + Quote(server.Url(p)), "alice", "a1");
    EXPECT_EQ(r.ExitCode, 0) << p << ": " << r.Output;
    r = Svn("ls " + Quote(server.Url(p)), "bob", "b1");
    EXPECT_EQ(r.ExitCode, 0) << p << ": " << r.Output;
  }
  Lines users;
  mgr.ReadUsers("proj", users);
  EXPECT_EQ(users, (Lines{"alice=a1", "bob=b1"}));
  // The link stays inside the repository root: either project manages the shared file, and
  // a grant through the link reaches both.
  mgr.ReadUsers("other", users);
  EXPECT_EQ(users, (Lines{"alice=a1", "bob=b1"}));
  mgr.WriteUser("other", "carol", "c1");
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(passwd.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 54321u);
  for (const char* p : {"proj", "other"}) {
    RunResult r = Svn("ls " + Quote(server.Url(p)), "carol", "c1");
    EXPECT_EQ(r.ExitCode, 0) << p << ": " << r.Output;
  }
}

// password-db may name another file, relative to conf/ or absolute, as svnserve reads it: a
// grant there lets the user in. Without the key, the first grant names passwd, or svnserve
// would let nobody in.
TEST_F(RepositoryTest, UsersGoToTheFilePasswordDbNamesAndTheServerLetsThemIn) {
  Create("rel");
  Create("abs");
  Create("bare"); // svnserve.conf as svnadmin wrote it: every key commented out
  const std::string passwdRel = ReadFile(Root / "rel/conf/passwd");
  WriteFile(Conf("rel"), "[general]\nanon-access = none\npassword-db = users.db\n");
  MakeDirs(Root / "abs/private");
  WriteFile(Conf("abs"), "[general]\nanon-access = none\npassword-db = " +
                             (Root / "abs/conf/../private/users") + "\n");
  TclsProjectMgr mgr;
  EXPECT_EQ(TclsProjectMgr::PasswordDbFile("rel"), Root / "rel/conf/users.db");
  EXPECT_EQ(TclsProjectMgr::PasswordDbFile("bare"), Root / "bare/conf/passwd");
  mgr.WriteUser("rel", "alice", "a1");
  mgr.WriteUser("rel", "bob", "b1");
  mgr.DeleteUser("rel", "bob");
  mgr.WriteUser("abs", "carol", "c1");
  mgr.WriteUser("bare", "dave", "d1");
  Lines users;
  mgr.ReadUsers("rel", users);
  EXPECT_EQ(users, Lines{"alice=a1"});
  ProfileFile(Root / "abs/private/users").ReadPairs("users", users);
  EXPECT_EQ(users, Lines{"carol=c1"});
  EXPECT_EQ(FileMode(Root / "rel/conf/users.db"), 0600);
  EXPECT_EQ(ReadFile(Root / "rel/conf/passwd"), passwdRel);
  EXPECT_EQ(ProfileFile(Conf("bare")).ReadValue("general", "password-db", ""), "passwd");
  EXPECT_TRUE(mgr.HasUser("rel", "alice"));
  EXPECT_FALSE(mgr.HasUser("rel", "bob"));

  TSvnServe server(Root.Path());
  ASSERT_GT(server.Pid, 0) << "svnserve did not start";
  const std::pair<const char*, const char*> in[] = {
      {"rel", "alice"}, {"abs", "carol"}, {"bare", "dave"}};
  for (const auto& [project, user] : in) {
    const std::string password = std::string(1, user[0]) + "1";
    RunResult r = Svn("ls " + Quote(server.Url(project)), user, password);
    EXPECT_EQ(r.ExitCode, 0) << project << ": " << r.Output;
  }
  RunResult r = Svn("ls " + Quote(server.Url("rel")), "bob", "b1");
  EXPECT_NE(r.ExitCode, 0) << "a withdrawn user still reads: " << r.Output;
}

// A password file outside the project's folder, however it is reached, is not managed: every
// operation refuses, naming the file, and no file anywhere changes.
TEST_F(RepositoryTest, APasswordFileOutsideTheProjectIsRefusedAndNothingChanges) {
  Create("p");
  Create("sibling");
  const std::string outside = Work / "shared";
  WriteFile(outside, "[users]\nmallory = m1\n");
  ASSERT_EQ(::symlink(outside.c_str(), (Root / "p/conf/linked").c_str()), 0);
  MakeDirs(Root / "p/conf/sub");
  // A dangling link inside: where it leads is outside, though nothing is there yet.
  ASSERT_EQ(::symlink((Work / "nothing/yet").c_str(), (Root / "p/conf/dangling").c_str()), 0);
  const std::string values[] = {
      outside,                     // absolute
      "../../sibling/conf/passwd", // another project's
      "linked",                    // a link in conf/ to a file outside
      "sub/../../../p-users",      // ".." past the project folder, to nothing yet
      "missing/../../../p-users",  // ".." after a folder that does not exist
      "dangling",                  // a dangling link
  };
  TclsProjectMgr mgr;
  for (const std::string& value : values) {
    WriteFile(Conf("p"), "[general]\npassword-db = " + value + "\n");
    const std::string before = Shell("cd " + Quote(PrivateRoot()) +
                                     " && find . -type f | sort | "
                                     "xargs md5sum")
                                   .Output;
    Lines users{"stale"};
    try {
      mgr.ReadUsers("p", users);
      ADD_FAILURE() << value << " was read";
    } catch (const EPasswordDbOutside& e) {
      EXPECT_EQ(e.File, TclsProjectMgr::PasswordDbFile("p")) << value;
      EXPECT_NE(std::string(e.what()).find(e.File), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(value), std::string::npos) << e.what();
    }
    EXPECT_TRUE(users.empty()) << value;
    EXPECT_THROW(mgr.WriteUser("p", "eve", "e1"), EPasswordDbOutside) << value;
    EXPECT_THROW(mgr.DeleteUser("p", "mallory"), EPasswordDbOutside) << value;
    EXPECT_THROW(mgr.HasUser("p", "mallory"), EPasswordDbOutside) << value;
    EXPECT_EQ(
        Shell("cd " + Quote(PrivateRoot()) + " && find . -type f | sort | xargs md5sum").Output,
        before)
        << value;
  }
  EXPECT_FALSE(Exists(Root / "p-users"));
  EXPECT_FALSE(Exists(Work / "nothing"));
}
