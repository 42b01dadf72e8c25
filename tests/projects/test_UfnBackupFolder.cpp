// The backup jobs' own files without Subversion: which files are a project's archives, what
// --keep removes, working folders that always go, and entry names that stay inside the new
// project.
#include "projects/UfnBackupFolder.h"
#ifdef ORLENWAY_RESTORE
#include "projects/UfnArchiveRestore.h"
#endif
#include "support/TestSupport.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

} // namespace

TEST(BackupFolder, OnlyTheProjectsOwnArchiveNamesMatch) {
  EXPECT_TRUE(IsBackupArchiveOf("alpha", "alpha_20240131T142501Z.zip"));
  EXPECT_TRUE(IsBackupArchiveOf("a_b", "a_b_20240131T142501Z.zip"));
  for (const char* other :
       {"alpha_20240131T142501Z.ZIP", "alpha_20240131T142501.zip", "alpha_2024013XT142501Z.zip",
        "alpha_20240131T142501Z.zip.bak", "xalpha_20240131T142501Z.zip",
        "alpha-20240131T142501Z.zip", "alpha_b_20240131T142501Z.zip", "alpha_.zip", "alpha"})
    EXPECT_FALSE(IsBackupArchiveOf("alpha", other)) << other;
  // Another project whose name begins like this one's.
  EXPECT_FALSE(IsBackupArchiveOf("a", "a_b_20240131T142501Z.zip"));
}

// The restore dialog's list: every project's archives, newest first, and nothing else.
TEST(BackupFolder, ArchivesAreListedNewestFirstWithProjectTimeAndSize) {
  TempDir t;
  WriteFile(t / "a_b_20240102T030405Z.zip", "12345");
  WriteFile(t / "alpha_20240131T142501Z.zip", "1");
  WriteFile(t / "alpha_20231231T235959Z.zip", "12");
  for (const char* decoy : {"alpha_notes.txt", "_20240101T000000Z.zip", "x_20240131T1425Z.zip"})
    WriteFile(t / decoy, "x");
  MakeDirs(t / "beta_20250101T000000Z.zip");
#ifndef _WIN32
  fs::create_symlink(t / "a_b_20240102T030405Z.zip", t / "gamma_20250101T000000Z.zip");
#endif
  const std::vector<TBackupArchive> list = ListBackupArchives(t.Path());
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].FileName, "alpha_20240131T142501Z.zip");
  EXPECT_EQ(list[0].Project, "alpha");
  EXPECT_EQ(list[0].Time, "2024-01-31 14:25:01");
  EXPECT_EQ(list[0].Size, 1u);
  EXPECT_EQ(list[1].Project, "a_b");
  EXPECT_EQ(list[1].Size, 5u);
  EXPECT_EQ(list[2].Time, "2023-12-31 23:59:59");
  EXPECT_TRUE(ListBackupArchives(t / "missing").empty());
}

TEST(BackupFolder, PruneKeepsTheNewestAndTouchesNothingElse) {
  TempDir t;
  const std::vector<std::string> archives = {
      "alpha_20231231T235959Z.zip", "alpha_20240101T000000Z.zip", "alpha_20240102T000000Z.zip",
      "alpha_20240102T000001Z.zip"};
  for (const std::string& n : archives)
    WriteFile(t / n, n);
  const std::vector<std::string> others = {"beta_20200101T000000Z.zip", "alpha_notes.txt",
                                           "alpha_20200101T000000Z.zip.part"};
  for (const std::string& n : others)
    WriteFile(t / n, n);
  MakeDirs(t / "alpha_20190101T000000Z.zip"); // a folder of that name is no archive
  std::vector<std::string> notArchives = {"alpha_20190101T000000Z.zip"};
#ifndef _WIN32
  fs::create_symlink(t / "beta_20200101T000000Z.zip", t / "alpha_20180101T000000Z.zip");
  notArchives.push_back("alpha_20180101T000000Z.zip");
#endif

  TPruneResult r = PruneBackups(t.Path(), "alpha", 2);
  EXPECT_EQ(r.Removed, (std::vector<std::string>{archives[0], archives[1]}));
  EXPECT_TRUE(r.Failed.empty());
  std::vector<std::string> expected = {archives[2], archives[3]};
  expected.insert(expected.end(), notArchives.begin(), notArchives.end());
  expected.insert(expected.end(), others.begin(), others.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names(t.Path()), expected);
  EXPECT_TRUE(PruneBackups(t.Path(), "alpha", 2).Removed.empty()) << "nothing more to remove";
}

TEST(BackupFolder, TheArchiveJustMadeIsKeptWhenTheClockWentBack) {
  // 02:30 before the autumn hour went back, then a run at 02:10 of the repeated hour.
  TempDir t;
  const std::vector<std::string> names = {
      "alpha_20261025T013000Z.zip", "alpha_20261025T023000Z.zip", "alpha_20261025T021000Z.zip"};
  for (const std::string& n : names)
    WriteFile(t / n, n);
  TPruneResult r = PruneBackups(t.Path(), "alpha", 2, names[2]);
  EXPECT_EQ(r.Removed, (std::vector<std::string>{names[0]}));
  r = PruneBackups(t.Path(), "alpha", 1, names[2]);
  EXPECT_EQ(r.Removed, (std::vector<std::string>{names[1]}));
  EXPECT_EQ(Names(t.Path()), (std::vector<std::string>{names[2]}));
  // A name that is not there changes nothing of the order.
  WriteFile(t / names[0], names[0]);
  r = PruneBackups(t.Path(), "alpha", 1, "alpha_20991231T000000Z.zip");
  EXPECT_EQ(r.Removed, (std::vector<std::string>{names[0]}));
}

// By age, alone and with a count: other projects' archives and look-alikes stay, and the
// newest archive stays however old it is.
TEST(BackupFolder, PruneByAgeNeverRemovesTheNewestNorAnythingElse) {
  TempDir t;
  const std::vector<std::string> archives = {
      "alpha_20240101T000000Z.zip", "alpha_20240201T120000Z.zip", "alpha_20240225T000000Z.zip"};
  const std::vector<std::string> others = {"beta_20200101T000000Z.zip", "alpha_old.zip",
                                           "alpha_20200101T000000Z.zip.bak"};
  for (const std::string& n : archives)
    WriteFile(t / n, n);
  for (const std::string& n : others)
    WriteFile(t / n, n);
  std::tm march{};
  march.tm_year = 124;
  march.tm_mon = 2;
  march.tm_mday = 1;
  march.tm_isdst = -1;
  const std::time_t now = std::mktime(&march); // 2024-03-01, local time
  // 30 days: January's goes, February's first (29 days old) and last stay.
  TPruneResult r = PruneBackups(t.Path(), "alpha", 0, "", 30, now);
  EXPECT_EQ(r.Removed, (std::vector<std::string>{archives[0]}));
  // A year later every one is too old, but the newest stays; with a count too.
  r = PruneBackups(t.Path(), "alpha", 5, "", 30, now + 365 * 24 * 3600);
  EXPECT_EQ(r.Removed, (std::vector<std::string>{archives[1]}));
  std::vector<std::string> expected = {archives[2]};
  expected.insert(expected.end(), others.begin(), others.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names(t.Path()), expected);
}

TEST(BackupFolder, AWorkFolderIsPrivateHiddenAndGoesWithEverythingInIt) {
  TempDir t;
  TempDir outside;
  WriteFile(outside / "keep", "data");
  std::string path;
  {
    TWorkFolder w(t.Path(), "orlenway-admin-");
    path = w.Path();
    ASSERT_FALSE(path.empty()) << w.Error();
    EXPECT_EQ(fs::path(path).filename().string().rfind(".orlenway-admin-", 0), 0u);
    MakeDirs(path + "/p/db/revs/0");
    WriteFile(path + "/p/db/revs/0/1", "rev");
    // Read-only, as revision files are.
    fs::permissions(path + "/p/db/revs/0/1", fs::perms::owner_read);
#ifndef _WIN32
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_all);
    fs::permissions(path + "/p/db/revs/0", fs::perms::owner_read | fs::perms::owner_exec);
    // A link inside points out of the folder; what it points at stays.
    fs::create_directory_symlink(outside.Path(), path + "/p/link");
#endif
  }
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(ReadFile(outside / "keep"), "data");
  EXPECT_TRUE(Names(t.Path()).empty());
}

// A run killed before it could remove its work folder leaves it behind: a later run removes
// it, and never the folder of a run still at work (its hold file is held) nor another's.
TEST(BackupFolder, FoldersOfKilledRunsGoAndThoseOfRunsAtWorkStay) {
  TempDir t;
  auto folder = [&](const std::string& name, bool hold) {
    MakeDirs(t / (name + "/p/db"));
    WriteFile(t / (name + "/p/db/current"), "1\n");
    if (hold) WriteFile(t / (name + "/" + TWorkFolder::HoldFileName), "");
  };
  folder(".orlenway-admin-killed", true);
  folder(".orlenway-admin-oldstyle", false); // made before folders had a hold file
  folder(".orlenway-restore-killed", true);
  folder("orlenway-admin-killed", true);
  TWorkFolder atWork(t.Path(), "orlenway-admin-");
  ASSERT_FALSE(atWork.Path().empty()) << atWork.Error();
  std::vector<std::string> all{".orlenway-admin-killed", ".orlenway-admin-oldstyle",
                               ".orlenway-restore-killed", "orlenway-admin-killed",
                               fs::path(atWork.Path()).filename().string()};
  std::sort(all.begin(), all.end());

  // Just made: a run may be between making its folder and taking the hold.
  const std::time_t now = std::time(nullptr);
  EXPECT_TRUE(RemoveAbandonedWorkFolders(t.Path(), "orlenway-admin-", now).empty());
  EXPECT_EQ(Names(t.Path()), all);
  // Two minutes on, the unheld one goes; the one without a hold file waits for a day.
  EXPECT_EQ(RemoveAbandonedWorkFolders(t.Path(), "orlenway-admin-", now + 120),
            std::vector<std::string>{t / ".orlenway-admin-killed"});
  EXPECT_EQ(RemoveAbandonedWorkFolders(t.Path(), "orlenway-admin-", now + 2 * 24 * 3600),
            std::vector<std::string>{t / ".orlenway-admin-oldstyle"});
  all.erase(std::find(all.begin(), all.end(), ".orlenway-admin-killed"));
  all.erase(std::find(all.begin(), all.end(), ".orlenway-admin-oldstyle"));
  EXPECT_EQ(Names(t.Path()), all);
  EXPECT_TRUE(Exists(atWork.Path() + "/" + TWorkFolder::HoldFileName));
}

TEST(BackupFolder, AWorkFolderThatCannotBeMadeSaysWhy) {
  TempDir t;
  WriteFile(t / "file", "x");
  TWorkFolder w(t / "file", "orlenway-admin-");
  EXPECT_TRUE(w.Path().empty());
  EXPECT_FALSE(w.Error().empty());
}

#ifdef ORLENWAY_RESTORE
TEST(ArchiveRestore, EntryNamesThatLeaveTheNewFolderAreRefused) {
  for (const char* plain : {"conf/passwd", "db/revs/0/1", "./format", "db//current", "a..b/c"})
    EXPECT_EQ(EntryNameProblem(plain), "") << plain;
  for (const char* hostile : {"../x", "db/../../x", "..\\x", "db\\..\\..\\x", "/etc/x", "\\x",
                              "C:/x", "c:x", "db/a:b", "", "./", "/"})
    EXPECT_NE(EntryNameProblem(hostile), "") << hostile;
}
#endif
