// orlenway-admin next to a real svnserve on a loopback port of the test's own and the real
// svn client: a backup while a client commits, and a restored project that the server serves.
#include "AdminTestKit.h"

#include "support/SvnServe.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace admin_kit;

namespace {

std::string ArchiveNamed(const std::string& out) {
  const std::string marker = "파일명 : ";
  const size_t i = out.find(marker);
  if (i == std::string::npos) return "";
  return out.substr(i + marker.size(), out.find_first_of(",\n", i) - i - marker.size());
}

int Youngest(const std::string& repository) {
  return std::atoi(Shell("svnlook youngest " + Quote(repository)).Output.c_str());
}

class AdminServerTest : public AdminTool {};

} // namespace

TEST_F(AdminServerTest, ABackupWhileAClientCommitsNeverStopsTheServer) {
  CreateProject("alpha");
  // Enough to pack that the backup takes a while.
  CommitFile("alpha", "big.bin", 4000000, 40);
  TSvnServe server(Repos);
  ASSERT_GT(server.Pid, 0);

  std::atomic<bool> stop{false};
  std::atomic<int> done{0}, failed{0};
  std::string failures;
  std::thread client([&] {
    for (int i = 0; !stop && i < 2000; ++i) {
      RunResult r =
          Svn("mkdir -m commit " + server.Url("alpha/d" + std::to_string(i)), "kim", "pw-kim");
      if (r.ExitCode != 0) {
        ++failed;
        failures += r.Output;
      }
      ++done;
    }
  });
  auto waitFor = [&](int n) {
    for (int i = 0; i < 3000 && done < n; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  };
  waitFor(3);
  // Every revision up to here was committed before the backup, and so before its hotcopy.
  const int before = Youngest(Repos + "/alpha");
  const int doneBefore = done;
  TAdminRun backup = Admin("backup alpha");
  const int doneDuring = done - doneBefore;
  waitFor(done + 2);
  stop = true;
  client.join();

  ASSERT_EQ(backup.ExitCode, 0) << backup.Out << backup.Err;
  EXPECT_EQ(failed, 0) << failures;
  EXPECT_GE(doneDuring, 1) << "the client committed while the backup ran";
  EXPECT_EQ(server.Pid > 0 && PortAccepts(server.Port), true);
  EXPECT_EQ(Youngest(Repos + "/alpha"), 1 + done) << "every commit made a revision";

  const std::string archive = Backups + "/" + ArchiveNamed(backup.Out);
  TAdminRun restore = Admin("restore " + Quote(archive) + " restored");
  ASSERT_EQ(restore.ExitCode, 0) << restore.Out << restore.Err;
  EXPECT_EQ(Shell("svnadmin verify -q " + Quote(Repos + "/restored")).ExitCode, 0);
  EXPECT_GE(Youngest(Repos + "/restored"), before);
  const std::string range = " -r 1:" + std::to_string(before) + " ";
  EXPECT_EQ(Svn("log -v" + range + server.Url("restored"), "kim", "pw-kim").Output,
            Svn("log -v" + range + server.Url("alpha"), "kim", "pw-kim").Output);
}

TEST_F(AdminServerTest, ARestoredProjectIsServedAndTakesNewCommits) {
  CreateProject("alpha");
  TSvnServe server(Repos);
  ASSERT_GT(server.Pid, 0);
  const std::string wc = Work / "wc";
  ASSERT_EQ(Svn("checkout -q " + server.Url("alpha") + " " + Quote(wc), "kim", "pw-kim").ExitCode,
            0);
  MakeDirs(wc + "/trunk/src");
  WriteFile(wc + "/trunk/src/main.c", "int main(void) { return 0; }\n");
  WriteFile(wc + "/trunk/README", "hello\n");
  ASSERT_EQ(Shell("svn add -q " + Quote(wc + "/trunk")).ExitCode, 0);
  ASSERT_EQ(Svn("commit -q -m first " + Quote(wc), "kim", "pw-kim").ExitCode, 0);
  WriteFile(wc + "/trunk/README", "hello again\n");
  ASSERT_EQ(Svn("commit -q -m second " + Quote(wc), "lee", "pw-lee").ExitCode, 0);

  TAdminRun backup = Admin("backup alpha");
  ASSERT_EQ(backup.ExitCode, 0) << backup.Out << backup.Err;
  TAdminRun restore =
      Admin("restore " + Quote(Backups + "/" + ArchiveNamed(backup.Out)) + " alpha-restored");
  ASSERT_EQ(restore.ExitCode, 0) << restore.Out << restore.Err;

  EXPECT_EQ(Svn("log -v " + server.Url("alpha-restored"), "kim", "pw-kim").Output,
            Svn("log -v " + server.Url("alpha"), "kim", "pw-kim").Output);
  const std::string a = Work / "a", b = Work / "b";
  ASSERT_EQ(Svn("export -q " + server.Url("alpha") + " " + Quote(a), "kim", "pw-kim").ExitCode, 0);
  ASSERT_EQ(
      Svn("export -q " + server.Url("alpha-restored") + " " + Quote(b), "kim", "pw-kim").ExitCode,
      0);
  RunResult diff = Shell("diff -r " + Quote(a) + " " + Quote(b));
  EXPECT_EQ(diff.ExitCode, 0) << diff.Output;

  // The restored project's users and access came along, and its next commit goes through.
  const std::string wc2 = Work / "wc2";
  ASSERT_EQ(Svn("checkout -q " + server.Url("alpha-restored") + " " + Quote(wc2), "lee", "pw-lee")
                .ExitCode,
            0);
  WriteFile(wc2 + "/trunk/NEW", "after the restore\n");
  ASSERT_EQ(Shell("svn add -q " + Quote(wc2 + "/trunk/NEW")).ExitCode, 0);
  RunResult commit = Svn("commit -m third " + Quote(wc2), "lee", "pw-lee");
  EXPECT_EQ(commit.ExitCode, 0) << commit.Output;
  EXPECT_EQ(Svn("cat " + server.Url("alpha-restored/trunk/NEW"), "kim", "pw-kim").Output,
            "after the restore\n");
  EXPECT_NE(Svn("log -q " + server.Url("alpha-restored")).ExitCode, 0)
      << "anonymous users stay out";
  EXPECT_NE(Svn("log -q " + server.Url("alpha-restored"), "kim", "wrong").ExitCode, 0);
  EXPECT_EQ(Shell("svnlook youngest " + Quote(Repos + "/alpha")).Output, "2\n")
      << "the original is untouched";
}
