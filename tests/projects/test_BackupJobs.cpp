// The jobs at the core, without Qt, over repositories made by the real svnadmin: a backup on
// both routes and with both policies for unreadable files, the server stopped and started
// through the callbacks, a repository part that is a link, a restore, verify and list.
#include "ZipReader.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnBackupJob.h"
#include "projects/UfnListJob.h"
#include "projects/UfnVerifyJob.h"
#ifdef ORLENWAY_RESTORE
#include "projects/UfnRestoreJob.h"
#endif
#include "support/TestGlobals.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_support;

namespace {

// Records what a job told and asked, and answers with `Answer`.
class TRecorder : public TJobObserver {
public:
  TMsgButton Answer = mbYes;
  std::vector<std::string> Events;
  std::set<std::string> Items;
  int LastTotal = -1;
  void Notify(TMsgIcon, const std::string& text) override { Events.push_back("notify " + text); }
  void Progress(const std::string& item, int, int total) override {
    Items.insert(item);
    LastTotal = total;
  }
  TMsgButton Ask(const std::string&, TMsgIcon kind, TMsgButtons) override {
    Events.push_back(kind == TMsgIcon::Warning ? "ask warning" : "ask");
    return Answer;
  }
};

class BackupJobs : public ::testing::Test {
protected:
  BackupJobs() {
    MakeDirs(Repos);
    MakeDirs(Backups);
  }

  void CreateProject(const std::string& name) {
    ASSERT_EQ(Shell("svnadmin create " + Quote(Repos + "/" + name)).ExitCode, 0);
    const std::string file = Work / "file.txt";
    WriteFile(file, "first revision\n");
    ASSERT_EQ(Shell("svn import -q -m one " + Quote(file) + " " +
                    Quote("file://" + Repos + "/" + name + "/file.txt"))
                  .ExitCode,
              0);
  }

  TBackupRequest Request(const std::string& project) {
    TBackupRequest r;
    r.RepoPath = Repos;
    r.Project = project;
    r.BackupFolder = Backups;
    r.Options.SVNPath = "/usr";
    return r;
  }

  std::set<std::string> EntryNames(const std::string& archive) {
    std::set<std::string> names;
    for (const ziptest::TEntryView& e : ziptest::ReadArchive(archive).Entries)
      names.insert(e.Name);
    return names;
  }

  TempDir Root{"jobs"};
  TempDir Work{"work"};
  std::string Repos = Root / "repos";
  std::string Backups = Root / "backups";
};

} // namespace

// The window's route: asked before a running server is stopped, stopped before the archive is
// named, started again once it is built; a No changes nothing.
TEST_F(BackupJobs, TheServerIsStoppedOnlyAfterYesAndStartedAgainAfterThePacking) {
  CreateProject("alpha");
  std::vector<std::string> order;
  TBackupRequest request = Request("alpha");
  request.ServerRunning = [] { return true; };
  request.StopServer = [&] { order.push_back("stop"); };
  request.StartServer = [&] { order.push_back("start"); };
  TRecorder no;
  no.Answer = mbNo;
  EXPECT_EQ(BackupProject(request, no).Outcome, TBackupOutcome::Refused);
  EXPECT_EQ(no.Events, (std::vector<std::string>{"ask warning"}));
  EXPECT_TRUE(order.empty());
  EXPECT_TRUE(FolderNames(Backups).empty());

  TRecorder yes;
  const TBackupResult r = BackupProject(request, yes);
  ASSERT_EQ(r.Outcome, TBackupOutcome::Done) << r.Reason;
  EXPECT_EQ(order, (std::vector<std::string>{"stop", "start"}));
  EXPECT_EQ(FolderNames(Backups),
            (std::vector<std::string>{r.ArchivePath.substr(Backups.size() + 1)}));
  const std::set<std::string> names = EntryNames(r.ArchivePath);
  EXPECT_EQ(static_cast<size_t>(r.Count), names.size());
  EXPECT_EQ(names.count("db/revs/0/1"), 1u);
  EXPECT_EQ(yes.Items.count(Repos + "/alpha/db/revs/0/1"), 1u);

  // The checks come first and touch nothing.
  request.BackupFolder = Root / "missing";
  order.clear();
  const TBackupResult missing = BackupProject(request, yes);
  EXPECT_EQ(missing.Outcome, TBackupOutcome::Refused);
  EXPECT_EQ(missing.Reason, kBackupNoBackupFolder);
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(BackupProject(Request("nothing"), yes).Reason, kBackupNoProjectFolder);
}

// A repository whose revisions live on another disk through a link: the walk leaves the link
// out, so the archive cannot restore it, and the job says so with a Warning. The hotcopy route
// copies through the link and makes a whole backup.
TEST_F(BackupJobs, ALinkedRevisionsFolderEndsWithAWarningAndTheHotcopyRouteCopiesThrough) {
  CreateProject("alpha");
  const std::string revs = Repos + "/alpha/db/revs";
  const std::string away = Root / "other-disk-revs";
  ASSERT_EQ(std::rename(revs.c_str(), away.c_str()), 0);
  ASSERT_EQ(::symlink(away.c_str(), revs.c_str()), 0);

  TRecorder observer;
  const TBackupResult packed = BackupProject(Request("alpha"), observer);
  ASSERT_EQ(packed.Outcome, TBackupOutcome::Warned) << packed.Reason;
  EXPECT_EQ(packed.LostParts, (std::vector<std::string>{"db/revs"}));
  EXPECT_NE(packed.Warning.find("db/revs"), std::string::npos) << packed.Warning;
  EXPECT_NE(packed.Warning.find("orlenway-admin backup"), std::string::npos) << packed.Warning;
  EXPECT_EQ(EntryNames(packed.ArchivePath).count("db/revs/0/1"), 0u);
  RemoveTree(packed.ArchivePath);

  TBackupRequest hot = Request("alpha");
  hot.Options.Hotcopy = true;
  hot.Options.Unreadable = TUnreadablePolicy::Fails;
  const TBackupResult copied = BackupProject(hot, observer);
  ASSERT_EQ(copied.Outcome, TBackupOutcome::Done) << copied.Reason;
  EXPECT_TRUE(copied.LostParts.empty());
  EXPECT_EQ(EntryNames(copied.ArchivePath).count("db/revs/0/1"), 1u);
  EXPECT_EQ(observer.Items.count(kBackupCopyStep), 1u);
  // Only the archive is left: the copy went.
  EXPECT_EQ(FolderNames(Backups).size(), 1u);
}

// A file that cannot be read (a FIFO is no file the walk may open): the window's policy packs
// the rest and names it, the unattended one fails the project and leaves no archive.
TEST_F(BackupJobs, AnUnreadableFileIsListedOrFailsTheProjectAsTheOptionSays) {
  MakeDirs(Repos + "/alpha/db");
  WriteFile(Repos + "/alpha/format", "5\n");
  WriteFile(Repos + "/alpha/db/current", "1\n");
  ASSERT_EQ(::mkfifo((Repos + "/alpha/db/pipe").c_str(), 0600), 0);

  TRecorder observer;
  const TBackupResult listed = BackupProject(Request("alpha"), observer);
  ASSERT_EQ(listed.Outcome, TBackupOutcome::Done) << listed.Reason;
  EXPECT_EQ(listed.UnreadableCount, 1u);
  EXPECT_EQ(listed.Count, 2);
  RemoveTree(listed.ArchivePath);

  TBackupRequest strict = Request("alpha");
  strict.Options.Unreadable = TUnreadablePolicy::Fails;
  const TBackupResult failed = BackupProject(strict, observer);
  EXPECT_EQ(failed.Outcome, TBackupOutcome::Failed);
  EXPECT_NE(failed.Reason.find("1개"), std::string::npos) << failed.Reason;
  EXPECT_TRUE(FolderNames(Backups).empty());
}

TEST_F(BackupJobs, AnObserverThatCancelsGetsNoArchive) {
  CreateProject("alpha");
  struct : TRecorder {
    bool Cancelled() override { return !Items.empty(); }
  } observer;
  const TBackupResult r = BackupProject(Request("alpha"), observer);
  EXPECT_EQ(r.Outcome, TBackupOutcome::Cancelled);
  EXPECT_TRUE(FolderNames(Backups).empty());
}

TEST_F(BackupJobs, VerifyGivesSvnadminsVerdict) {
  CreateProject("alpha");
  TRecorder observer;
  EXPECT_TRUE(VerifyProject("/usr", Repos, "alpha", observer).Ok);
  WriteFile(Repos + "/alpha/db/revs/0/1", "damaged");
  const TVerifyResult bad = VerifyProject("/usr", Repos, "alpha", observer);
  EXPECT_FALSE(bad.Ok);
  EXPECT_FALSE(bad.Reason.empty());
  EXPECT_EQ(observer.Items, (std::set<std::string>{"alpha"}));
}

// A plain folder under the root is listed as what it is, not as a project with access levels.
TEST_F(BackupJobs, ListMarksAFolderThatIsNoRepository) {
  CreateProject("alpha");
  MakeDirs(Repos + "/notes");
  WriteFile(Repos + "/notes/todo.txt", "x");
  TGlobals globals(Repos);
  std::vector<TProjectListing> list = ListProjects(*globals.Projects, Repos);
  ASSERT_EQ(list.size(), 2u);
  std::sort(list.begin(), list.end(),
            [](const TProjectListing& a, const TProjectListing& b) { return a.Name < b.Name; });
  EXPECT_TRUE(list[0].Repository);
  EXPECT_EQ(list[0].AnonAccess, "read");
  EXPECT_EQ(list[0].AuthAccess, "write");
  EXPECT_EQ(list[1].Name, "notes");
  EXPECT_FALSE(list[1].Repository);
}

#ifdef ORLENWAY_RESTORE
// The round trip through the core alone; a junk archive is refused with the reader's words
// only, not a system text that has nothing to do with it.
TEST_F(BackupJobs, ABackupRestoresAsANewProjectAndJunkSaysOnlyWhatIsWrong) {
  CreateProject("alpha");
  // A password file of another name, which the configuration names: as secret as conf/passwd.
  WriteFile(Repos + "/alpha/conf/users.txt", "[users]\nkim = secret\n");
  ASSERT_EQ(::chmod((Repos + "/alpha/conf/users.txt").c_str(), 0644), 0);
  WriteFile(Repos + "/alpha/conf/svnserve.conf", "[general]\n password-db = users.txt\n");
  TRecorder observer;
  const TBackupResult backup = BackupProject(Request("alpha"), observer);
  ASSERT_EQ(backup.Outcome, TBackupOutcome::Done) << backup.Reason;
  const TRestoreResult r = RestoreProject({Repos, "/usr", backup.ArchivePath, "beta"}, observer);
  ASSERT_EQ(r.Outcome, TRestoreOutcome::Done) << r.Reason;
  EXPECT_EQ(Shell("svnlook youngest " + Quote(Repos + "/beta")).Output, "1\n");
  EXPECT_EQ(FileMode(Repos + "/beta/conf/passwd") & 077, 0);
  EXPECT_EQ(FileMode(Repos + "/beta/conf/users.txt") & 077, 0);
  const TRestoreResult badName =
      RestoreProject({Repos, "/usr", backup.ArchivePath, "caf\xe9"}, observer);
  EXPECT_EQ(badName.Outcome, TRestoreOutcome::Refused);
  EXPECT_EQ(badName.Reason, kNotUtf8Name);
  EXPECT_EQ(RestoreProject({Repos, "/usr", backup.ArchivePath, "beta"}, observer).Outcome,
            TRestoreOutcome::Refused);

  WriteFile(Work / "junk.zip", std::string(5000, 'j'));
  const TRestoreResult junk = RestoreProject({Repos, "/usr", Work / "junk.zip", "gamma"}, observer);
  EXPECT_EQ(junk.Outcome, TRestoreOutcome::Failed);
  EXPECT_EQ(junk.Reason.rfind("ZIP 압축 파일이 아니거나 손상된 파일입니다", 0), 0u) << junk.Reason;
  EXPECT_EQ(junk.Reason.find("multibyte"), std::string::npos) << junk.Reason;
  EXPECT_EQ(junk.Reason.find(" - "), std::string::npos) << junk.Reason;
  EXPECT_FALSE(Exists(Repos + "/gamma"));
}
#endif

#ifdef ORLENWAY_RESTORE
// The unattended chain: a full copy, a run with nothing new that is skipped, a run after
// commits that copies only what is new, and --full; every archive restores to a repository
// that passes svnadmin verify and holds every revision up to its run.
TEST_F(BackupJobs, AChainOfRunsSkipsWhatIsUnchangedAndEveryArchiveRestoresWhole) {
  CreateProject("alpha");
  TBackupRequest request = Request("alpha");
  request.Options.Hotcopy = true;
  request.Options.Incremental = true;
  request.Options.Unreadable = TUnreadablePolicy::Fails;
  TRecorder observer;
  int restored = 0;
  auto restoresTo = [&](const TBackupResult& r, const std::string& youngest) {
    const std::string name = "restored" + std::to_string(++restored);
    const TRestoreResult x = RestoreProject({Repos, "/usr", r.ArchivePath, name}, observer);
    ASSERT_EQ(x.Outcome, TRestoreOutcome::Done) << x.Reason;
    EXPECT_EQ(Shell("svnlook youngest " + Quote(Repos + "/" + name)).Output, youngest + "\n");
    EXPECT_EQ(Shell("svnadmin verify -q " + Quote(Repos + "/" + name)).ExitCode, 0);
  };
  auto commit = [&](int n) {
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(
          Shell("svn mkdir -q -m more " + Quote("file://" + Repos + "/alpha/d" + std::to_string(i) +
                                                "_" + std::to_string(restored)))
              .ExitCode,
          0);
  };

  const TBackupResult first = BackupProject(request, observer);
  ASSERT_EQ(first.Outcome, TBackupOutcome::Done) << first.Reason;
  EXPECT_FALSE(first.Skipped);
  EXPECT_EQ(first.Revision, "1");
  EXPECT_EQ(observer.Items.count(kBackupVerifyStep), 1u);
  EXPECT_EQ(EntryNames(first.ArchivePath).count("db/revs/0/1"), 1u);
  restoresTo(first, "1");

  const TBackupResult same = BackupProject(request, observer);
  EXPECT_TRUE(same.Skipped);
  EXPECT_EQ(same.ArchivePath, first.ArchivePath);

  sleep(1); // archive names carry the second
  commit(3);
  const TBackupResult next = BackupProject(request, observer);
  ASSERT_EQ(next.Outcome, TBackupOutcome::Done) << next.Reason;
  EXPECT_FALSE(next.Skipped);
  EXPECT_NE(next.ArchivePath, first.ArchivePath);
  EXPECT_EQ(next.NewRevisions, "2:4");
  restoresTo(next, "4");

  sleep(1);
  request.Options.Full = true;
  const TBackupResult full = BackupProject(request, observer);
  ASSERT_EQ(full.Outcome, TBackupOutcome::Done) << full.Reason;
  EXPECT_FALSE(full.Skipped);
  EXPECT_EQ(full.NewRevisions, "0:4");
  restoresTo(full, "4");
  // The staging copy is hidden and stays; no working folder is left.
  for (const std::string& name : FolderNames(Backups))
    EXPECT_TRUE(name.rfind("alpha_", 0) == 0 || name.rfind(".orlenway-staging-alpha", 0) == 0)
        << name;
}

// A staging copy that is not the project's (another repository's, or left by a killed run
// without its state) is made anew, never packed.
TEST_F(BackupJobs, AForeignOrUnfinishedStagingCopyIsMadeAnew) {
  CreateProject("alpha");
  CreateProject("other");
  TBackupRequest request = Request("alpha");
  request.Options.Hotcopy = true;
  request.Options.Incremental = true;
  TRecorder observer;
  ASSERT_EQ(BackupProject(request, observer).Outcome, TBackupOutcome::Done);
  const std::string staging = BackupStagingFolder(Backups, "alpha");
  const std::string state = BackupStagingStateFile(Backups, "alpha");
  const std::string uuidAlpha = Shell("svnlook uuid " + Quote(Repos + "/alpha")).Output;

  // Another repository in its place, with a state that still names alpha's archive.
  RemoveTree(staging);
  ASSERT_EQ(Shell("svnadmin hotcopy " + Quote(Repos + "/other") + " " + Quote(staging)).ExitCode,
            0);
  sleep(1);
  const TBackupResult foreign = BackupProject(request, observer);
  ASSERT_EQ(foreign.Outcome, TBackupOutcome::Done) << foreign.Reason;
  EXPECT_FALSE(foreign.Skipped);
  EXPECT_EQ(foreign.NewRevisions, "0:1");
  EXPECT_EQ(Shell("svnlook uuid " + Quote(staging)).Output, uuidAlpha);

  // A run killed while it updated the copy leaves no state: the next run starts anew.
  ASSERT_TRUE(platform::DeleteFile(state));
  WriteFile(staging + "/db/current", "garbage\n");
  sleep(1);
  const TBackupResult again = BackupProject(request, observer);
  ASSERT_EQ(again.Outcome, TBackupOutcome::Done) << again.Reason;
  EXPECT_EQ(again.NewRevisions, "0:1");
  EXPECT_EQ(Shell("svnadmin verify -q " + Quote(staging)).ExitCode, 0);
}
#endif
