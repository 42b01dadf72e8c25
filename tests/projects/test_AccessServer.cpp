// The access jobs over a repository made by the real svnadmin, with a real svnserve and the
// svn client doing what the rules say, and the explanation agreeing with svnauthz.
#include "projects/UfnAccessJobs.h"
#include "projects/UfnProjectFiles.h"
#include "server/UfnSubversion.h"
#include "support/SvnServe.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class AccessServer : public ::testing::Test {
protected:
  TempDir Root{"repos"};
  TSubversion Svnbin{"/usr"};
  const std::string Conf = Root / "proj/conf/svnserve.conf";
  const std::string Authz = Root / "proj/conf/authz";

  void SetUp() override {
    RunResult r = Shell("svnadmin create " + Quote(Root / "proj"));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    TProjectFiles files(Root.Path(), "proj");
    for (const char* user : {"alice", "bob", "carol"})
      files.WriteUser(user, std::string(user) + "pw");
  }
  TRuleChange Set(const std::string& path, const std::string& who, TRights rights) {
    return SetAccessRule(Svnbin, Root.Path(), "proj", path, who, rights, SilentObserver());
  }
  TRuleChange Unset(const std::string& path, const std::string& who) {
    return UnsetAccessRule(Svnbin, Root.Path(), "proj", path, who, SilentObserver());
  }
  // What the server lets `user` do at `path`: "rw", "r" or "none", by trying it.
  std::string Try(const TSvnServe& server, const std::string& user, const std::string& path) {
    const std::string pw = user.empty() ? "" : user + "pw";
    const std::string url = server.Url("proj") + path;
    if (Svn("ls " + Quote(url), user, pw).ExitCode != 0) return "none";
    static int n = 0;
    const std::string dir = url + "/made" + std::to_string(++n);
    return Svn("mkdir -m made " + Quote(dir), user, pw).ExitCode == 0 ? "rw" : "r";
  }
  std::string Accessof(const std::string& user, const std::string& path) {
    std::string cmd = "svnauthz accessof " + Quote(Authz) + " --repository proj --path " + path;
    if (!user.empty()) cmd += " --username " + user;
    std::string out = Shell(cmd).Output;
    out = out.substr(0, out.find('\n'));
    return out == "no" ? "none" : out;
  }
};

} // namespace

TEST_F(AccessServer, RulesDecideAsSvnserveDoesAndTheExplanationAgrees) {
  const std::string confBefore = ReadFile(Conf), authzBefore = ReadFile(Authz);
  ASSERT_EQ(Shell("svn mkdir -q -m tree --parents file://" + Root / "proj/pub" + " file://" +
                  Root / "proj/secret")
                .ExitCode,
            0);
  // A group written by hand, as a person (or the groups editor) would.
  WriteFile(Authz, EditAuthzEntry(ReadFile(Authz), "groups", "devs", "carol", false));

  EXPECT_TRUE(Set("/secret", "*", TRights::None).Done);
  EXPECT_NE(ReadFile(Conf).find("\nauthz-db=authz\n"), std::string::npos);
  EXPECT_TRUE(Set("/secret/", "alice", TRights::ReadWrite).Done);
  EXPECT_TRUE(Set("secret", "@devs", TRights::Read).Done);
  EXPECT_TRUE(Set("/pub", "bob", TRights::Read).Done);
  // Beside "* = rw" at [/], bob = r would change nothing: refused, nothing written.
  const std::string authz = ReadFile(Authz);
  TRuleChange refused = Set("/", "bob", TRights::Read);
  EXPECT_TRUE(refused.Refused);
  EXPECT_NE(refused.Message.find("[/] * = rw"), std::string::npos) << refused.Message;
  EXPECT_NE(refused.Message.find(kAccessUnionHint), std::string::npos) << refused.Message;
  EXPECT_EQ(ReadFile(Authz), authz);
  EXPECT_TRUE(Set("/", "@nobody", TRights::Read).Refused); // an undefined group
  EXPECT_EQ(ReadFile(Authz), authz);

  TSvnServe server(Root.Path());
  ASSERT_GT(server.Pid, 0);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "/pub"},      {"", "/secret"}, {"alice", "/secret"}, {"carol", "/secret"},
      {"carol", "/pub"}, {"bob", "/pub"}, {"bob", "/secret"},
  };
  for (const auto& [user, path] : cases) {
    TAccessExplained explained = ExplainAccess(Root.Path(), "proj", path, user);
    const std::string right = RightsName(explained.Rights);
    EXPECT_EQ(right, Try(server, user, path)) << user << " at " << path;
    if (!user.empty()) { // anonymous: anon-access (read) caps svnauthz's answer
      EXPECT_EQ(right, Accessof(user, path)) << user << " at " << path;
    }
  }
  EXPECT_EQ(RightsName(ExplainAccess(Root.Path(), "proj", "/pub", "").Rights), std::string("r"));
  TAccessExplained dave = ExplainAccess(Root.Path(), "proj", "/", "dave");
  EXPECT_EQ(dave.Rights, TRights::None);
  EXPECT_EQ(dave.Why.front(), std::string("dave: ") + kAccessNotInPasswd);
  TAccessExplained carol = ExplainAccess(Root.Path(), "proj", "/secret", "carol");
  EXPECT_EQ(carol.Why.back(), "carol: [/secret] @devs = r");

  // A hand edit that breaks the file: shown with its reason, every change refused, svnserve
  // refuses every connection; going back to the last file the program wrote repairs it.
  WriteFile(Authz, authz + "[/other]\nalice = w\n");
  TProjectRules broken = ReadProjectRules(Root.Path(), "proj");
  EXPECT_FALSE(broken.Rules.Valid());
  EXPECT_NE(broken.Rules.Error.find("Write-only"), std::string::npos);
  EXPECT_TRUE(Set("/pub", "carol", TRights::Read).Refused);
  EXPECT_EQ(ReadFile(Authz), authz + "[/other]\nalice = w\n");
  EXPECT_NE(Svn("ls " + server.Url("proj"), "alice", "alicepw").Output.find("E220003"),
            std::string::npos);
  EXPECT_TRUE(RestoreLastGoodRules(Root.Path(), "proj", SilentObserver()).Done);
  EXPECT_EQ(ReadFile(Authz), authz);
  EXPECT_EQ(Try(server, "alice", "/secret"), "rw");

  // Removing every rule the program added returns both files to what they were.
  for (const auto& [path, who] : std::vector<std::pair<std::string, std::string>>{
           {"/secret", "*"}, {"/secret", "alice"}, {"/secret", "@devs"}, {"/pub", "bob"}})
    EXPECT_TRUE(Unset(path, who).Done) << path << " " << who;
  EXPECT_TRUE(Unset("/pub", "bob").Refused);
  EXPECT_EQ(ReadFile(Authz),
            EditAuthzEntry(authzBefore, "groups", "devs", "carol", false)); // the hand edit stays
  EXPECT_EQ(ReadFile(Conf), confBefore);
}
