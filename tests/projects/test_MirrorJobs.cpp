// Mirrors with the real svnadmin, svnsync, svnserve and svn: two servers on loopback ports of
// the test's own with separate roots, as two machines would be.
#include "projects/UfnMirrorJob.h"
#include "projects/UfnProjectFiles.h"
#include "support/SvnServe.h"
#include "support/TestSupport.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

using namespace testing_support;

namespace {

class TRecorder : public TJobObserver {
public:
  std::string Told;
  void Notify(TMsgIcon, const std::string& text) override { Told += text + "\n"; }
};

class MirrorJobs : public ::testing::Test {
protected:
  MirrorJobs() {
    MakeDirs(SourceRoot);
    MakeDirs(MirrorRoot);
  }

  // A source project that lets only alice in, with one file.
  void MakeSource(const std::string& name) {
    const std::string folder = SourceRoot + "/" + name;
    ASSERT_EQ(Shell("svnadmin create " + Quote(folder)).ExitCode, 0);
    WriteFile(folder + "/conf/svnserve.conf",
              "[general]\nanon-access = none\nauth-access = write\npassword-db = passwd\n");
    WriteFile(folder + "/conf/passwd", "[users]\nalice = secret\n");
    Commit("file://" + folder, "a.txt", "first\n");
  }

  // Adds or changes one file at the top of the repository at `url`.
  void Commit(const std::string& url, const std::string& file, const std::string& text,
              const std::string& user = "") {
    const std::string wc = Work / UniqueName("wc");
    ASSERT_EQ(Svn("checkout -q " + Quote(url) + " " + Quote(wc), user, "secret").ExitCode, 0);
    const bool added = Exists(wc + "/" + file);
    WriteFile(wc + "/" + file, text);
    if (!added) {
      ASSERT_EQ(Svn("add -q " + Quote(wc + "/" + file)).ExitCode, 0);
    }
    ASSERT_EQ(Svn("commit -q -m change " + Quote(wc), user, "secret").ExitCode, 0);
  }

  // Revisions 1..HEAD as dumped, without the repository's UUID.
  std::string History(const std::string& folder) {
    const RunResult r =
        Shell("svnadmin dump -q --incremental -r 1:HEAD " + Quote(folder) + " | grep -av '^UUID:'");
    EXPECT_EQ(r.ExitCode, 0);
    return r.Output;
  }

  std::string Uuid(const std::string& folder) {
    return Shell("svnlook uuid " + Quote(folder)).Output;
  }

  TempDir Root{"mirror"};
  TempDir Work{"work"};
  std::string SourceRoot = Root / "a";
  std::string MirrorRoot = Root / "b";
  std::string Svn_ = "/usr";
  TRecorder Observer;
};

} // namespace

// An svn:// source with a password: the first sync copies everything, later ones run on the
// cached credentials alone, the lag is readable, and the mirror refuses commits naming the
// source while it still serves reads.
TEST_F(MirrorJobs, FollowsAnSvnSourceAndRefusesCommits) {
  MakeSource("src");
  TSvnServe source(SourceRoot);
  TSvnServe mirror(MirrorRoot);
  ASSERT_GT(source.Pid, 0);
  ASSERT_GT(mirror.Pid, 0);
  const std::string url = source.Url("src");

  const TMirrorResult added =
      AddMirror(Svn_, MirrorRoot, "mir", {url, "alice", "secret"}, Observer);
  ASSERT_TRUE(added.Ok()) << added.Reason << Observer.Told;
  EXPECT_EQ(added.LastMerged, 1);
  EXPECT_EQ(FileMode(MirrorRoot + "/mir/conf/mirror"), 0700);
  const std::string cache =
      Shell("grep -rl secret " + Quote(MirrorRoot + "/mir/conf/mirror")).Output;
  EXPECT_FALSE(cache.empty()) << "the password should be in the private auth cache";

  Commit(url, "b.txt", "second\n", "alice");
  Commit(url, "a.txt", "changed\n", "alice");
  const TMirrorResult synced = SyncMirror(Svn_, MirrorRoot, "mir", Observer);
  ASSERT_TRUE(synced.Ok()) << synced.Reason;
  EXPECT_EQ(synced.LastMerged, 3);
  EXPECT_EQ(History(MirrorRoot + "/mir"), History(SourceRoot + "/src"));

  TMirrorStatus status;
  ASSERT_TRUE(ReadMirrorStatus(Svn_, MirrorRoot, "mir", true, status));
  EXPECT_EQ(status.Source, url);
  EXPECT_EQ(status.LastMerged, 3);
  EXPECT_EQ(status.SourceYoungest, 3) << status.SourceError;
  EXPECT_EQ(status.LastSyncTime.size(), 20u) << status.LastSyncTime;
  EXPECT_FALSE(ReadMirrorStatus(Svn_, SourceRoot, "src", false, status));

  // Reads are served; a commit by a user of the mirror is refused with the source named.
  TProjectFiles(MirrorRoot, "mir").WriteUser("bob", "secret");
  EXPECT_EQ(Svn("cat " + Quote(mirror.Url("mir") + "/a.txt")).Output, "changed\n");
  const RunResult refused = Svn("mkdir -m x " + Quote(mirror.Url("mir") + "/x"), "bob", "secret");
  EXPECT_NE(refused.ExitCode, 0);
  EXPECT_NE(refused.Output.find(url), std::string::npos) << refused.Output;
  const RunResult revprop =
      Svn("propset --revprop -r 1 svn:log forged " + Quote(mirror.Url("mir")), "bob", "secret");
  EXPECT_NE(revprop.ExitCode, 0);

  // A name that is taken or a source that is not a repository URL changes nothing.
  EXPECT_EQ(AddMirror(Svn_, MirrorRoot, "mir", {url, "", ""}, Observer).Outcome,
            TMirrorOutcome::Refused);
  EXPECT_EQ(AddMirror(Svn_, MirrorRoot, "web", {"http://x/y", "", ""}, Observer).Outcome,
            TMirrorOutcome::Refused);
  EXPECT_FALSE(Exists(MirrorRoot + "/web"));
}

// A source on this machine is seeded by a hotcopy; its own hooks are not carried over.
TEST_F(MirrorJobs, SeedsALocalSourceFromAHotcopy) {
  MakeSource("src");
  Commit("file://" + SourceRoot + "/src", "b.txt", "second\n");
  WriteFile(SourceRoot + "/src/hooks/post-commit", "#!/bin/sh\ntouch " + Work / "ran" + "\n");
  Shell("chmod +x " + Quote(SourceRoot + "/src/hooks/post-commit"));
  const std::string url = LocalRepositoryUrl(SourceRoot + "/src");
  const TMirrorResult added = AddMirror(Svn_, MirrorRoot, "mir", {url, "", ""}, Observer);
  ASSERT_TRUE(added.Ok()) << added.Reason << Observer.Told;
  EXPECT_NE(Observer.Told.find("hotcopy"), std::string::npos);
  EXPECT_FALSE(Exists(MirrorRoot + "/mir/hooks/post-commit"));
  Commit(url, "c.txt", "third\n");
  Shell("rm -f " + Quote(Work / "ran"));
  ASSERT_TRUE(SyncMirror(Svn_, MirrorRoot, "mir", Observer).Ok()) << Observer.Told;
  EXPECT_EQ(History(MirrorRoot + "/mir"), History(SourceRoot + "/src"));
  EXPECT_FALSE(Exists(Work / "ran"));
}

// A sync killed while it holds the lock on revision 0 is followed by one that takes the lock
// over and finishes.
TEST_F(MirrorJobs, ASyncAfterAKilledOneRecoversTheLock) {
  MakeSource("src");
  const std::string url = LocalRepositoryUrl(SourceRoot + "/src");
  ASSERT_TRUE(AddMirror(Svn_, MirrorRoot, "mir", {url, "", ""}, Observer).Ok()) << Observer.Told;
  Commit(url, "b.txt", "second\n");
  Commit(url, "c.txt", "third\n");
  // The mirror's post-commit holds the sync inside its first commit.
  const std::string mark = Work / "hook.pid";
  const std::string hook = MirrorRoot + "/mir/hooks/post-commit";
  WriteFile(hook, "#!/bin/sh\necho $$ > " + Quote(mark) + "\nexec sleep 30\n");
  Shell("chmod +x " + Quote(hook));
  const RunResult started =
      Shell("svnsync sync --non-interactive --sync-username orlenway-sync " +
            Quote(LocalRepositoryUrl(MirrorRoot + "/mir")) + " >/dev/null 2>&1 & echo $!");
  const int pid = std::atoi(started.Output.c_str());
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitForFile(mark));
  const int hookPid = std::atoi(ReadFile(mark).c_str());
  ::kill(pid, SIGKILL);
  if (hookPid > 0) ::kill(hookPid, SIGKILL);
  Shell("rm -f " + Quote(hook));
  ASSERT_FALSE(
      Shell("svnlook propget --revprop -r0 " + Quote(MirrorRoot + "/mir") + " svn:sync-lock")
          .Output.empty());

  const TMirrorResult r = SyncMirror(Svn_, MirrorRoot, "mir", Observer);
  ASSERT_TRUE(r.Ok()) << r.Reason << Observer.Told;
  EXPECT_EQ(r.LastMerged, 3);
  EXPECT_EQ(History(MirrorRoot + "/mir"), History(SourceRoot + "/src"));
}

// A sync started by hand that still runs (it waits on a source that takes the connection and
// never answers) keeps its lock: ours refuses and leaves it. A lock set on another machine is
// never taken either. Once the running sync is gone, ours takes the lock over and finishes.
TEST_F(MirrorJobs, ALockOfASyncThatStillRunsIsNeverStolen) {
  MakeSource("src");
  const std::string url = LocalRepositoryUrl(SourceRoot + "/src");
  ASSERT_TRUE(AddMirror(Svn_, MirrorRoot, "mir", {url, "", ""}, Observer).Ok()) << Observer.Told;
  Commit(url, "b.txt", "second\n");
  const int port = FreeLoopbackPort();
  const int silent = ListenOnLoopback(port);
  ASSERT_GE(silent, 0);
  const std::string folder = MirrorRoot + "/mir";
  const RunResult started =
      Shell("svnsync sync --non-interactive --sync-username orlenway-sync " +
            Quote(LocalRepositoryUrl(folder)) + " svn://127.0.0.1:" + std::to_string(port) +
            "/src >/dev/null 2>&1 & echo $!");
  const int pid = std::atoi(started.Output.c_str());
  ASSERT_GT(pid, 0);
  const std::string readLock =
      "svnlook propget --revprop -r0 " + Quote(folder) + " svn:sync-lock 2>/dev/null";
  std::string lock;
  for (int i = 0; i < 400 && lock.empty(); ++i) {
    lock = Shell(readLock).Output;
    if (lock.empty()) ::usleep(50000);
  }
  ASSERT_FALSE(lock.empty());

  const TMirrorResult busy = SyncMirror(Svn_, MirrorRoot, "mir", Observer);
  EXPECT_EQ(busy.Outcome, TMirrorOutcome::Refused) << busy.Reason;
  EXPECT_EQ(Shell(readLock).Output, lock);
  EXPECT_NE(ProcessState(pid), '?');

  ::kill(pid, SIGKILL);
  for (int i = 0; i < 400 && ProcessState(pid) != '?' && ProcessState(pid) != 'Z'; ++i)
    ::usleep(10000);
  ::close(silent);
  ASSERT_EQ(Shell(readLock).Output, lock);

  const std::string foreign = Work / "lock";
  WriteFile(foreign, "elsewhere.example:0c4f7d1e-5b8a-4c7f-9a7e-1f2d3c4b5a69");
  ASSERT_EQ(Shell("svnadmin setrevprop " + Quote(folder) + " -r0 svn:sync-lock " + Quote(foreign))
                .ExitCode,
            0);
  const TMirrorResult elsewhere = SyncMirror(Svn_, MirrorRoot, "mir", Observer);
  EXPECT_EQ(elsewhere.Outcome, TMirrorOutcome::Refused);
  EXPECT_NE(elsewhere.Reason.find("elsewhere.example"), std::string::npos) << elsewhere.Reason;
  EXPECT_EQ(Shell(readLock).Output, ReadFile(foreign));

  WriteFile(foreign, lock);
  Shell("svnadmin setrevprop " + Quote(folder) + " -r0 svn:sync-lock " + Quote(foreign));
  const TMirrorResult r = SyncMirror(Svn_, MirrorRoot, "mir", Observer);
  ASSERT_TRUE(r.Ok()) << r.Reason << Observer.Told;
  EXPECT_EQ(r.LastMerged, 2);
  EXPECT_EQ(Shell(readLock).Output, "");
  EXPECT_EQ(History(folder), History(SourceRoot + "/src"));
}

// A source that is down fails the sync with svnsync's reason; when the source is lost for
// good, the promoted mirror takes the commits of the source's working copies.
TEST_F(MirrorJobs, ASourceThatIsDownFailsAndThePromotedMirrorTakesOver) {
  MakeSource("src");
  auto source = std::make_unique<TSvnServe>(SourceRoot);
  TSvnServe mirror(MirrorRoot);
  ASSERT_GT(source->Pid, 0);
  const std::string url = source->Url("src");
  ASSERT_TRUE(AddMirror(Svn_, MirrorRoot, "mir", {url, "alice", "secret"}, Observer).Ok())
      << Observer.Told;
  const std::string wc = Work / "wc";
  ASSERT_EQ(Svn("checkout -q " + Quote(url) + " " + Quote(wc), "alice", "secret").ExitCode, 0);
  source.reset();

  const TMirrorResult down = SyncMirror(Svn_, MirrorRoot, "mir", Observer);
  EXPECT_EQ(down.Outcome, TMirrorOutcome::Failed);
  EXPECT_NE(down.Reason.find("svn://127.0.0.1"), std::string::npos) << down.Reason;
  TMirrorStatus status;
  ASSERT_TRUE(ReadMirrorStatus(Svn_, MirrorRoot, "mir", true, status));
  EXPECT_EQ(status.SourceYoungest, -1);
  EXPECT_FALSE(status.SourceError.empty());

  const TMirrorResult promoted = StopMirror(Svn_, MirrorRoot, "mir", true, Observer);
  ASSERT_TRUE(promoted.Ok()) << promoted.Reason << Observer.Told;
  EXPECT_FALSE(IsMirror(Svn_, MirrorRoot, "mir"));
  EXPECT_EQ(Uuid(MirrorRoot + "/mir"), Uuid(SourceRoot + "/src"));
  TProjectFiles(MirrorRoot, "mir").WriteUser("alice", "secret");
  ASSERT_EQ(
      Svn("relocate " + Quote(mirror.Url("mir")) + " " + Quote(wc), "alice", "secret").ExitCode, 0);
  WriteFile(wc + "/a.txt", "after the failover\n");
  const RunResult commit = Svn("commit -m failover " + Quote(wc), "alice", "secret");
  EXPECT_EQ(commit.ExitCode, 0) << commit.Output;
  EXPECT_EQ(StopMirror(Svn_, MirrorRoot, "mir", false, Observer).Outcome, TMirrorOutcome::Refused);
}
