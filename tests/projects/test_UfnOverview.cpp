// The overview over repositories made by the real svnadmin, unpacked and packed, checked
// against what svnlook says.
#include "projects/UfnOverview.h"
#include "projects/UfnRecentCommits.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <map>

using namespace testing_support;

namespace {

std::string Look(const std::string& what, const std::string& repo, const std::string& extra = "") {
  std::string out = Shell("svnlook " + what + " " + Quote(repo) + " " + extra).Output;
  while (!out.empty() && out.back() == '\n')
    out.pop_back();
  return out;
}

void Commit(const std::string& repo, const std::string& dir, const std::string& user,
            const std::string& message) {
  ASSERT_EQ(Shell("svn mkdir -q --non-interactive --username " + Quote(user) + " -m " +
                  Quote(message) + " " + Quote("file://" + repo + "/" + dir))
                .ExitCode,
            0);
}

} // namespace

TEST(Overview, NewestRevisionAuthorDateMessageSizeAndBackupAgainstSvnlook) {
  TempDir root{"repos"}, backups{"backups"};
  const std::string plain = root / "plain", packed = root / "packed";
  ASSERT_EQ(Shell("svnadmin create " + Quote(plain)).ExitCode, 0);
  ASSERT_EQ(Shell("svnadmin create " + Quote(packed)).ExitCode, 0);
  // Small shards, so that eight commits fill two and the pack takes the newest one too.
  WriteFile(packed + "/db/format", "8\nlayout sharded 4\naddressing logical\n");
  Commit(plain, "a", "kim", "first line\nsecond line");
  Commit(plain, "b", "이순신", "두 번째\n");
  for (int i = 1; i <= 7; ++i)
    Commit(packed, "d" + std::to_string(i), "lee", "packed " + std::to_string(i) + "\nmore");
  ASSERT_EQ(Shell("svnadmin pack -q " + Quote(packed)).ExitCode, 0);
  ASSERT_FALSE(Exists(packed + "/db/revprops/1/7")); // really packed
  MakeDirs(root / "not a repository");
  MakeDirs(root / ".work-folder");
  WriteFile(backups / "plain_20260101T000000Z.zip", "x");
  WriteFile(backups / "plain_20261201T000000Z.zip", "x");
  WriteFile(backups / "plainer_20261231T000000Z.zip", "x");
  WriteFile(backups / "packed_notes.txt", "x");

  TOverviewOptions o;
  o.RepoPath = root.Path();
  o.BackupPath = backups.Path();
  o.SvnPath = "/usr";
  o.Host = "svn.example";
  o.Port = 4000;
  o.Now = BackupArchiveTime("plain_20261201T000000Z.zip") + 90;
  auto list = ReadOverview(o);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Name, "packed");
  EXPECT_EQ(list[1].Name, "plain");
  EXPECT_EQ(list[1].Url, "svn://svn.example:4000/plain");
  EXPECT_EQ(list[1].LastBackup, "plain_20261201T000000Z.zip");
  EXPECT_EQ(list[1].LastBackupAgeS, 90);
  EXPECT_EQ(list[0].LastBackup, "");
  EXPECT_EQ(list[0].LastBackupAgeS, -1);
  EXPECT_FALSE(list[0].Detailed);

  for (auto& p : list) {
    const std::string repo = root / p.Name;
    EXPECT_EQ(std::to_string(p.Youngest), Look("youngest", repo));
    ReadOverviewDetails(o, p);
    EXPECT_EQ(p.Error, "");
    EXPECT_EQ(p.Author, Look("author", repo));
    EXPECT_EQ(p.Date, Look("propget --revprop -r " + std::to_string(p.Youngest), repo, "svn:date"));
    EXPECT_EQ(p.Message, Shell("svnlook log " + Quote(repo) + " | head -1 | tr -d '\\n'").Output);
    EXPECT_EQ(p.SizeBytes, std::stoull(Shell("find " + Quote(repo) +
                                             " -type f -printf '%s\\n' | awk '{s+=$1} END "
                                             "{printf \"%d\", s}'")
                                           .Output));
    EXPECT_GT(p.SizeBytes, 10000u);
  }
  EXPECT_EQ(list[0].Youngest, 7);
  EXPECT_EQ(list[0].Message, "packed 7");
  EXPECT_EQ(list[1].Author, "이순신");
  EXPECT_EQ(list[1].Message, "두 번째");

  // A repository whose db/current is damaged still shows, with what can be said.
  WriteFile(plain + "/db/current", "garbage\n");
  list = ReadOverview(o);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].Youngest, -1);
  ReadOverviewDetails(o, list[1]);
  EXPECT_NE(list[1].Error, "");
  o.Port = 3690;
  EXPECT_EQ(ReadOverview(o)[0].Url, "svn://svn.example/packed");
}

TEST(Overview, RulesAndAMirrorsLagFromTheRecordAndItsSource) {
  TempDir root{"repos"}, sources{"sources"};
  const std::string source = sources / "src";
  ASSERT_EQ(Shell("svnadmin create " + Quote(source)).ExitCode, 0);
  const std::string url = LocalRepositoryUrl(source);
  Commit(source, "trunk", "kim", "one");
  ASSERT_TRUE(AddMirror("/usr", root.Path(), "mir", {url, "", ""}, SilentObserver()).Ok());
  Commit(source, "tags", "kim", "two"); // the mirror is now one behind
  for (const char* name : {"ruled", "groups-only", "named-no-file"})
    ASSERT_EQ(Shell("svnadmin create " + Quote(root / name)).ExitCode, 0);
  auto enableRules = [&](const std::string& name, const std::string& rules) {
    WriteFile(root / name + "/conf/svnserve.conf", "[general]\nauthz-db = authz\n");
    if (!rules.empty()) WriteFile(root / name + "/conf/authz", rules);
  };
  enableRules("ruled", "[groups]\ndevs = kim\n[/]\n@devs = rw\n");
  enableRules("groups-only", "[groups]\ndevs = kim\n");
  enableRules("named-no-file", "");
  // A rules file that svnserve's configuration does not name applies to nobody.
  WriteFile(root / "mir/conf/authz", "[/]\n* = r\n");

  TOverviewOptions o;
  o.RepoPath = root.Path();
  o.SvnPath = "/usr";
  auto list = ReadOverview(o);
  ASSERT_EQ(list.size(), 4u);
  std::map<std::string, TProjectOverview> by;
  for (auto& p : list)
    by[p.Name] = p;
  EXPECT_TRUE(by["ruled"].Rules);
  EXPECT_FALSE(by["groups-only"].Rules);
  EXPECT_FALSE(by["named-no-file"].Rules);
  EXPECT_FALSE(by["mir"].Rules);
  EXPECT_EQ(by["ruled"].Mirror.Source, "");
  const TMirrorStatus& m = by["mir"].Mirror;
  EXPECT_EQ(m.Source, url);
  EXPECT_EQ(m.LastMerged, 1);
  EXPECT_EQ(m.SourceYoungest, -1); // the network call waits for the second pass
  EXPECT_EQ(m.LastSyncTime.size(), 20u) << m.LastSyncTime;

  ReadOverviewDetails(o, by["mir"]);
  EXPECT_EQ(by["mir"].Mirror.SourceYoungest, 2);
  EXPECT_EQ(by["mir"].Mirror.LastMerged, 1);
  ReadOverviewDetails(o, by["ruled"]);
  EXPECT_EQ(by["ruled"].Mirror.Source, "");
  // The source gone: the record still shows, with the reason.
  ASSERT_EQ(Shell("rm -rf " + Quote(source)).ExitCode, 0);
  TProjectOverview gone = ReadOverview(o)[1];
  ASSERT_EQ(gone.Name, "mir");
  ReadOverviewDetails(o, gone);
  EXPECT_EQ(gone.Mirror.Source, url);
  EXPECT_EQ(gone.Mirror.SourceYoungest, -1);
  EXPECT_NE(gone.Mirror.SourceError, "");
}

TEST(RecentCommits, NewestFirstWithWholeMessagesAndChangedPaths) {
  TempDir root{"repos"};
  const std::string repo = root / "p";
  ASSERT_EQ(Shell("svnadmin create " + Quote(repo)).ExitCode, 0);
  Commit(repo, "a", "kim", "first\n\nsecond paragraph");
  Commit(repo, "b", "이순신", "3\n2\n1\n"); // a message that looks like svnlook info's header
  Commit(repo, "c", "lee", "third");

  TRecentCommits r = ReadRecentCommits("/usr", repo, 2);
  EXPECT_EQ(r.Error, "");
  ASSERT_EQ(r.Commits.size(), 2u);
  EXPECT_EQ(r.Commits[0].Revision, 3);
  EXPECT_EQ(r.Commits[0].Author, "lee");
  EXPECT_EQ(r.Commits[1].Author, "이순신");
  EXPECT_EQ(r.Commits[1].Message, "3\n2\n1");
  EXPECT_EQ(r.Commits[1].Date, Look("date -r 2", repo));
  EXPECT_EQ(r.Commits[1].Changes, std::vector<std::string>{"A   b/"});
  r = ReadRecentCommits("/usr", repo, 50);
  ASSERT_EQ(r.Commits.size(), 3u);
  EXPECT_EQ(r.Commits[2].Message, "first\n\nsecond paragraph");

  r = ReadRecentCommits("/usr", root / "missing", 50);
  EXPECT_TRUE(r.Commits.empty());
  EXPECT_NE(r.Error, "");
}
