// orlenway-admin status and log, run as an administrator would, their JSON read back: the
// projects made by the real svnadmin, the log written by a real svnserve of the test's own.
#include "AdminTestKit.h"

#include "support/SvnServe.h"

#include <nlohmann/json.hpp>

using namespace admin_kit;
using nlohmann::json;

namespace {
class AdminOverview : public AdminTool {};
} // namespace

TEST_F(AdminOverview, StatusJsonHoldsEachProjectAndItsNewestBackup) {
  CreateProject("alpha");
  CreateProject("beta");
  MakeDirs(Repos + "/not a repository");
  ASSERT_EQ(Shell("svn mkdir -q --username kim -m " + Quote("trunk\nwith more") + " " +
                  Quote("file://" + Repos + "/alpha/trunk"))
                .ExitCode,
            0);
  WriteFile(Backups + "/alpha_20200101T000000Z.zip", "x");
  WriteFile(Backups + "/alpha_20250101T000000Z.zip", "x");
  WriteFile(Repos + "/alpha/conf/svnserve.conf", "[general]\nauthz-db = authz\n");
  WriteFile(Repos + "/alpha/conf/authz", "[/]\nkim = rw\n");
  // A mirror one revision behind its source.
  const std::string source = Work / "src", url = "file://" + source;
  ASSERT_EQ(Shell("svnadmin create " + Quote(source)).ExitCode, 0);
  ASSERT_EQ(Shell("svn mkdir -q -m one " + Quote(url + "/trunk")).ExitCode, 0);
  ASSERT_EQ(Admin("mirror add gamma " + Quote(url)).ExitCode, 0);
  ASSERT_EQ(Shell("svn mkdir -q -m two " + Quote(url + "/tags")).ExitCode, 0);

  TAdminRun r = Admin("status --json");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const json a = json::parse(r.Out);
  ASSERT_TRUE(a.is_array());
  ASSERT_EQ(a.size(), 3u);
  EXPECT_EQ(a[0]["rules"], true);
  EXPECT_TRUE(a[0]["mirror"].is_null());
  EXPECT_EQ(a[1]["rules"], false);
  const json& mirror = a[2]["mirror"];
  EXPECT_EQ(mirror["source"], url);
  EXPECT_EQ(mirror["last_merged"], 1);
  EXPECT_EQ(mirror["source_youngest"], 2);
  EXPECT_EQ(mirror["last_sync_time"].get<std::string>().size(), 20u);
  const json& alpha = a[0];
  EXPECT_EQ(alpha["name"], "alpha");
  EXPECT_EQ(alpha["youngest"], 1);
  EXPECT_EQ(alpha["author"], "kim");
  std::string date = alpha["date"];
  EXPECT_EQ(
      date,
      Shell("svnlook propget --revprop -r 1 " + Quote(Repos + "/alpha") + " svn:date").Output);
  EXPECT_EQ(alpha["message"], "trunk");
  EXPECT_GT(alpha["size_bytes"].get<long long>(), 1000);
  EXPECT_EQ(alpha["url"], "svn://" + Shell("hostname | tr -d '\\n'").Output + "/alpha");
  EXPECT_EQ(alpha["last_backup"], "alpha_20250101T000000Z.zip");
  EXPECT_GT(alpha["last_backup_age_s"].get<long long>(), 0);
  const json& beta = a[1];
  EXPECT_EQ(beta["youngest"], 0);
  EXPECT_TRUE(beta["author"].is_null());
  EXPECT_TRUE(beta["last_backup"].is_null());
  EXPECT_TRUE(beta["last_backup_age_s"].is_null());
  EXPECT_TRUE(beta["unreachable"].is_null());

  TAdminRun table = Admin("status");
  EXPECT_EQ(table.ExitCode, 0);
  EXPECT_NE(table.Out.find("alpha_20250101T000000Z.zip"), std::string::npos) << table.Out;
  EXPECT_NE(table.Out.find("미러 : " + url + " (r1 / r2"), std::string::npos) << table.Out;
  EXPECT_EQ(Admin("status --yaml").ExitCode, 2);
}

TEST_F(AdminOverview, LogJsonFiltersTheRealServersEvents) {
  CreateProject("alpha");
  CreateProject("beta");
  const std::string log = platform::StateFolder() + "svnserve.log";
  {
    TSvnServe server(Repos, "", log);
    ASSERT_GT(server.Pid, 0);
    ASSERT_EQ(Svn("mkdir -q -m one " + server.Url("alpha/a"), "kim", "pw-kim").ExitCode, 0);
    ASSERT_EQ(Svn("mkdir -q -m two " + server.Url("beta/b"), "lee", "pw-lee").ExitCode, 0);
    EXPECT_NE(Svn("ls " + server.Url("alpha"), "kim", "wrong").ExitCode, 0);
  }
  TAdminRun r = Admin("log --json");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const json all = json::parse(r.Out);
  int commits = 0;
  std::string previous;
  for (const json& e : all) {
    EXPECT_EQ(e["ip"], "127.0.0.1");
    EXPECT_GE(e["time"].get<std::string>(), previous); // oldest first
    previous = e["time"];
    if (e["action"] == "commit") {
      ++commits;
      EXPECT_EQ(e["revision"], 1);
      EXPECT_TRUE(e["error"].is_null());
    }
  }
  EXPECT_EQ(commits, 2);

  const json kim = json::parse(Admin("log --user kim --project alpha --json").Out);
  ASSERT_FALSE(kim.empty());
  for (const json& e : kim) {
    EXPECT_EQ(e["user"], "kim");
    EXPECT_EQ(e["project"], "alpha");
  }
  const std::string last = all.back()["time"];
  EXPECT_EQ(json::parse(Admin("log --since 2999-01-01 --json").Out).size(), 0u);
  EXPECT_LE(json::parse(Admin("log --since " + last + " --json").Out).size(), all.size());
  EXPECT_EQ(Admin("log --since yesterday").ExitCode, 2);
  EXPECT_EQ(Admin("log --project").ExitCode, 2);
  // A broken rules file shuts everyone out; status names the project and the reason.
  WriteFile(Repos + "/beta/conf/svnserve.conf", "[general]\nauthz-db = authz\n");
  WriteFile(Repos + "/beta/conf/authz", "[/]\nbogus\n");
  {
    TSvnServe server(Repos, "", log);
    ASSERT_GT(server.Pid, 0);
    EXPECT_NE(Svn("ls " + server.Url("beta")).ExitCode, 0);
  }
  const json status = json::parse(Admin("status --json").Out);
  ASSERT_EQ(status.size(), 2u);
  EXPECT_TRUE(status[0]["unreachable"].is_null());
  EXPECT_NE(status[1]["unreachable"].get<std::string>().find("authz"), std::string::npos);
  TAdminRun table = Admin("log --user lee");
  EXPECT_NE(table.Out.find(" lee beta commit r1"), std::string::npos) << table.Out;
}
