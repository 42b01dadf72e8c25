// The rules reader and writer against svnauthz, which reads the file as svnserve does.
#include "projects/UfnAccessGroups.h"
#include "projects/UfnAccessJobs.h"
#include "projects/UfnAccessRules.h"
#include "server/UfnSubversion.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <random>

using namespace testing_support;

namespace {

class AccessRules : public ::testing::Test {
protected:
  TempDir Dir{"authz"};

  bool SvnauthzValid(const std::string& text) {
    WriteFile(Dir / "authz", text);
    return Shell("svnauthz validate " + Quote(Dir / "authz")).ExitCode == 0;
  }
  // svnauthz's answer as this program names it; the file must be in place already.
  std::string SvnauthzAccess(const std::string& user, const std::string& path) {
    std::string cmd =
        "svnauthz accessof " + Quote(Dir / "authz") + " --repository app --path " + Quote(path);
    if (!user.empty()) cmd += " --username " + Quote(user);
    RunResult r = Shell(cmd);
    std::string out = r.Output.substr(0, r.Output.find('\n'));
    return out == "no" ? "none" : out;
  }
  void ExpectAgrees(const std::string& text) {
    TAuthzFile file = ParseAuthz(text);
    ASSERT_EQ(file.Valid(), SvnauthzValid(text)) << text << "\nours: " << file.Error;
    if (!file.Valid()) return;
    for (const std::string user : {"", "alice", "bob", "carol", "Alice"})
      for (const std::string path : {"/", "/a", "/a/b", "/secret", "/secret/x"})
        EXPECT_EQ(RightsName(RulesAccess(file, user, "app", path).Rights),
                  SvnauthzAccess(user, path))
            << text << "\nuser '" << user << "' at " << path;
  }
};

} // namespace

TEST_F(AccessRules, InvalidKindsAreRefusedWithTheLine) {
  const std::vector<std::pair<std::string, int>> invalid = {
      {"[/]\n@nobody = r\n", 2},
      {"[groups]\na = @b\nb = @a\n", 3},
      {"[/]\n~~alice = r\n", 2},
      {"[/]\n~* = r\n", 2},
      {"[/]\nalice = w\n", 2},
      {"[/]\nalice = rx\n", 2},
      {"[/a/]\n* = r\n", 1},
      {"[/a//b]\n* = r\n", 1},
      {"[/a/../b]\n* = r\n", 1},
      {"[/]\n* = r\n[/]\n* = rw\n", 3},
      {"[other]\n* = r\n", 1},
      {"[/]\n&boss = r\n", 2},
      {"[/]\n$someone = r\n", 2},
      {"[/]\n* = r\n  = r\n", 0},
      {"* = r\n", 1},
  };
  for (const auto& [text, line] : invalid) {
    TAuthzFile file = ParseAuthz(text);
    EXPECT_FALSE(file.Valid()) << text;
    EXPECT_FALSE(SvnauthzValid(text)) << text;
    if (line) {
      EXPECT_EQ(file.ErrorLine, line) << text << file.Error;
    }
  }
  EXPECT_NE(ParseAuthz("[/]\n~~alice = r\n").Error.find("double negatives"), std::string::npos);
}

TEST_F(AccessRules, RightsAgreeWithSvnauthz) {
  const std::vector<std::string> files = {
      // inheritance, and a section that names a person decides for that person alone
      "[/]\n* = r\nalice = rw\n[/secret]\nalice = r\n",
      // union of every matching entry, groups nested and aliases
      "[aliases]\nboss = carol\n[groups]\ndevs = alice, @leads\nleads = &boss\n"
      "[/]\n* = r\n@devs = rw\n[/secret]\n* =\n@leads = r\n",
      // inversion, $anonymous and $authenticated
      "[groups]\ng = bob\n[/]\n~@g = rw\n$anonymous = r\n[/a]\n~$authenticated = r\n"
      "$authenticated =\n[/secret]\n~alice = r\n",
      // a repository's own section comes first, the global one still counts for others
      "[/]\n* = rw\n[app:/a]\nbob = r\n[/a]\nalice = r\n[other:/secret]\n* =\n",
      // duplicates add up; names keep their case; ':' separates like '='
      "[/]\nalice = r\nalice = rw\nAlice: r\n[/a/b]\nbob = rw\n",
      // continuation lines and comments
      "# rules\n[groups]\nteam = alice,\n  bob\n[/]\n@team = rw\n",
  };
  for (const std::string& text : files)
    ExpectAgrees(text);
}

TEST_F(AccessRules, EditsKeepEveryOtherLineAndReadAlikeAfterRandomChanges) {
  const std::string start = "### hand written\n[aliases]\nboss = carol\n\n[groups]\n"
                            "devs = alice, &boss\n\n[/]\n# everyone\n* = r\n";
  std::string text = start;
  const std::vector<std::string> who = {"alice", "bob",        "*",    "$authenticated",
                                        "@devs", "$anonymous", "~bob", "&boss"};
  const std::vector<std::string> sections = {"/", "/a", "/a/b", "app:/a", "/secret"};
  const std::vector<std::string> values = {"", "r", "rw"};
  std::mt19937 random(24);
  for (int step = 0; step < 40; ++step) {
    const std::string& w = who[random() % who.size()];
    const std::string& s = sections[random() % sections.size()];
    bool remove = random() % 4 == 0;
    text = EditAuthzEntry(text, s, w, values[random() % values.size()], remove);
    EXPECT_NE(text.find("### hand written\n[aliases]\nboss = carol\n"), std::string::npos);
    ASSERT_NE(text.find("[/]\n# everyone\n"), std::string::npos) << text;
    if (step % 4 == 0) ExpectAgrees(text);
  }
  // Set twice: one line; removed: gone, and an emptied section goes with it.
  text = EditAuthzEntry(start, "/x", "bob", "r", false);
  text = EditAuthzEntry(text, "/x", "bob", "rw", false);
  EXPECT_EQ(text, start + "\n[/x]\nbob = rw\n");
  EXPECT_EQ(EditAuthzEntry(text, "/x", "bob", "", true), start);
  EXPECT_EQ(EditAuthzEntry(start, "/", "*", "", false),
            "### hand written\n[aliases]\nboss = carol\n\n[groups]\n"
            "devs = alice, &boss\n\n[/]\n# everyone\n* =\n");
  // A file with CRLF line ends keeps them.
  EXPECT_EQ(EditAuthzEntry("# by hand\r\n[/]\r\n* = r\r\n", "/", "bob", "rw", false),
            "# by hand\r\n[/]\r\n* = r\r\nbob = rw\r\n");
}

TEST_F(AccessRules, WhatTheDialogListsPathsSectionsFoldersAndGroupsFile) {
  TAuthzFile file = ParseAuthz(
      "[groups]\ndevs = bob\n[/b]\n* = r\n[app:/a]\n* =\n[web:/c]\n* = r\n[/a]\n* = r\n");
  ASSERT_TRUE(file.Valid()) << file.Error;
  EXPECT_EQ(RulePaths(file, "app"), (std::vector<std::string>{"/a", "/b"}));
  EXPECT_EQ(RuleSection(file, "app", "/a"), "app:/a");
  EXPECT_EQ(RuleSection(file, "web", "/a"), "/a");
  for (const char* who : {"alice", "@devs", "*", "$authenticated", "$anonymous"})
    EXPECT_TRUE(ValidRuleWho(who)) << who;
  for (const char* who : {"", "@", "~alice", "&boss", "$someone", "a=b", "a:b", "#x"})
    EXPECT_FALSE(ValidRuleWho(who)) << who;

  const std::string repo = Dir / "repo";
  ASSERT_EQ(Shell("svnadmin create " + Quote(repo)).ExitCode, 0);
  ASSERT_EQ(Shell("svn mkdir -q -m x --parents " + Quote("file://" + repo + "/trunk/a b") + " " +
                  Quote("file://" + repo + "/tags"))
                .ExitCode,
            0);
  std::vector<std::string> folders;
  std::string error;
  ASSERT_TRUE(RepositoryFolders(TSubversion("/usr"), repo, folders, error)) << error;
  EXPECT_EQ(folders, (std::vector<std::string>{"/", "/tags", "/trunk", "/trunk/a b"}));
  EXPECT_FALSE(RepositoryFolders(TSubversion("/usr"), Dir / "none", folders, error));
  EXPECT_FALSE(error.empty());

  // The first group may come before the state folder exists.
  const std::string groups = Dir / "state/sub/Groups.Dat";
  ASSERT_TRUE(SaveGroups(groups, {{"devs", {"bob", "alice"}}}));
  EXPECT_EQ(LoadGroups(groups).at("devs"), (std::vector<std::string>{"bob", "alice"}));
}
