// orlenway-admin mirror ...: the built executable against two svnserve processes on loopback
// ports of the test's own, with roots of their own.
#include "AdminTestKit.h"
#include "support/SvnServe.h"

#include <memory>
#include <nlohmann/json.hpp>

using namespace admin_kit;

namespace {

class AdminMirror : public AdminTool {
protected:
  AdminMirror() { MakeDirs(SourceRoot); }

  void CommitTo(const std::string& url, const std::string& path) {
    ASSERT_EQ(Svn("mkdir -q -m add " + Quote(url + "/" + path), "kim", "pw-kim").ExitCode, 0);
  }

  nlohmann::json Status() {
    const TAdminRun r = Admin("mirror status --json");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return nlohmann::json::parse(r.Out);
  }

  std::string SourceRoot = Root / "source";
};

} // namespace

TEST_F(AdminMirror, AddSyncStatusAndPromote) {
  const std::string folder = SourceRoot + "/src";
  ASSERT_EQ(Shell("svnadmin create " + Quote(folder)).ExitCode, 0);
  WriteFile(folder + "/conf/svnserve.conf",
            "[general]\nanon-access = none\nauth-access = write\npassword-db = passwd\n");
  WriteFile(folder + "/conf/passwd", "[users]\nkim = pw-kim\n");
  auto source = std::make_unique<TSvnServe>(SourceRoot);
  ASSERT_GT(source->Pid, 0);
  const std::string url = source->Url("src");
  CommitTo(url, "trunk");

  // The password comes from standard input, not the command line.
  TAdminRun r = Admin("mirror add mir " + Quote(url) + " --source-user kim --source-password -",
                      "printf 'pw-kim\\n' |");
  ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
  CommitTo(url, "branches");
  r = Admin("mirror sync --all");
  EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
  EXPECT_NE(r.Out.find("mir"), std::string::npos);

  nlohmann::json status = Status();
  ASSERT_EQ(status.size(), 1u) << status.dump();
  EXPECT_EQ(status[0]["name"], "mir");
  EXPECT_EQ(status[0]["source"], url);
  EXPECT_EQ(status[0]["last_merged"], 2);
  EXPECT_EQ(status[0]["source_youngest"], 2);
  EXPECT_TRUE(status[0]["last_sync_time"].is_string());
  r = Admin("mirror status");
  EXPECT_NE(r.Out.find(url), std::string::npos) << r.Out;

  // A lock that a sync on another machine holds is never taken over: exit 1, the lock stays.
  const std::string mirror = Repos + "/mir";
  WriteFile(PrivateRoot() + "/lock", "elsewhere.example:9f1c");
  ASSERT_EQ(Shell("svnadmin setrevprop " + Quote(mirror) + " -r0 svn:sync-lock " +
                  Quote(PrivateRoot() + "/lock"))
                .ExitCode,
            0);
  r = Admin("mirror sync mir");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("elsewhere.example"), std::string::npos) << r.Err;
  EXPECT_EQ(Shell("svnlook propget --revprop -r0 " + Quote(mirror) + " svn:sync-lock").Output,
            "elsewhere.example:9f1c");
  Shell("svnadmin delrevprop " + Quote(mirror) + " -r0 svn:sync-lock");

  // The source is lost: the sync says so and fails; promote opens the mirror.
  source.reset();
  r = Admin("mirror sync mir");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find(url), std::string::npos) << r.Err;
  EXPECT_TRUE(Status()[0]["source_youngest"].is_null());
  r = Admin("mirror promote mir");
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(Status().empty());
  EXPECT_EQ(Shell("svn mkdir -q -m after " + Quote("file://" + Repos + "/mir/tags")).ExitCode, 0);
}

TEST_F(AdminMirror, RefusesWhatItCannotDoAndRemoveKeepsTheRepository) {
  const std::string folder = SourceRoot + "/src";
  ASSERT_EQ(Shell("svnadmin create " + Quote(folder)).ExitCode, 0);
  CreateProject("plain");
  EXPECT_EQ(Admin("mirror").ExitCode, 2);
  EXPECT_EQ(Admin("mirror sync").ExitCode, 2);
  EXPECT_EQ(Admin("mirror promote plain").ExitCode, 2);
  EXPECT_EQ(Admin("mirror add web http://example.invalid/x").ExitCode, 2);
  EXPECT_FALSE(Exists(Repos + "/web"));
  EXPECT_EQ(Admin("mirror add mir file://" + folder + " --source-password x").ExitCode, 2);

  TAdminRun r = Admin("mirror add mir " + Quote("file://" + folder));
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  r = Admin("mirror remove mir");
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(Exists(Repos + "/mir/format"));
  EXPECT_TRUE(Status().empty());
  EXPECT_NE(Admin("--help").Out.find("mirror promote"), std::string::npos);
}
