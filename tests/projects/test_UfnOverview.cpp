// The overview over repositories made by the real svnadmin, unpacked and packed, checked
// against what svnlook says.
#include "projects/UfnOverview.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

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
