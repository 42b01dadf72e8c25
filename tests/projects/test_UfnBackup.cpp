// The backup's archive settings, on a builder that an earlier caller left set up otherwise,
// and the archive's name in the local time of a few zones.
#include "projects/UfnBackup.h"
#include "support/TestSupport.h"

#include "ZipReader.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

using namespace testing_support;
using Lines = std::vector<std::string>;

namespace {

// The C library's local time in zone `tz` while the object lives.
class TTimeZone {
public:
  explicit TTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) FSaved = old, FHadOne = true;
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~TTimeZone() {
    if (FHadOne)
      ::setenv("TZ", FSaved.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

private:
  std::string FSaved;
  bool FHadOne = false;
};

} // namespace

TEST(BackupZip, EverySettingOfAnEarlierCallerIsReplacedByTheBackupOnes) {
  TempDir src("src"), out("out"), elsewhere("elsewhere");
  WriteFile(src / "notes.txt", std::string(5000, 'n'));
  SetLocalFileTime(src / "notes.txt", 2020, 5, 17, 10, 20, 30);
  WriteFile(src / "old.ZIP", std::string(5000, 'z'));
  WriteFile(src / "ro.txt", "read only\n");
  ASSERT_EQ(::chmod((src / "ro.txt").c_str(), 0444), 0);
  MakeDirs(src / "sub/empty");
  WriteFile(src / "sub/deep.txt", "deep\n");

  TZip zip;
  zip.Attributes = {};
  zip.RecurseDirs = false;
  zip.StoreEmptySubDirs = false;
  zip.StoreFilesOfType.clear();
  zip.SetCompressMethod(cmStore);
  zip.SetDefaultExt(".bak");
  zip.DateAttribute = daSysDate;
  zip.ExcludeSpec = {"*.txt"};
  zip.FileSpec = {elsewhere / "*.*"};
  zip.TempDir = elsewhere.Path();
  zip.DeleteOptions = doFinal;
  ConfigureBackupZip(zip, src.Path() + "/", out / "alpha");

  // An archive path without an extension gets ".zip"; an empty TempDir is the system's
  // temporary folder.
  EXPECT_EQ(zip.ArchiveFile(), out / "alpha.zip");
  EXPECT_EQ(zip.FileSpec, (Lines{src / "*.*"}));
  EXPECT_EQ(zip.TempDir, "");
  EXPECT_EQ(zip.DeleteOptions, doAllowUndo);

  // Every file at every depth, read-only ones too, and the empty folder; an archive already
  // compressed is stored, the rest deflated, each with its own file date.
  EXPECT_EQ(zip.BuildArchive(), 5);
  const ziptest::TArchiveView a = ziptest::ReadArchive(out / "alpha.zip");
  Lines names;
  for (const ziptest::TEntryView& e : a.Entries)
    names.push_back(e.Name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Lines{"notes.txt", "old.ZIP", "ro.txt", "sub/deep.txt", "sub/empty/"}));
  EXPECT_EQ(Entry(a, "notes.txt").Method, 8);
  EXPECT_EQ(Entry(a, "old.ZIP").Method, 0);
  EXPECT_EQ(Entry(a, "notes.txt").Date, ((2020 - 1980) << 9) | (5 << 5) | 17);
  EXPECT_EQ(Entry(a, "notes.txt").Time, (10 << 11) | (20 << 5) | (30 / 2));
}

TEST(BackupZip, TheArchiveIsNamedByTheLocalTimeOnTheTwentyFourHourClock) {
  // 31 January 2024, 05:25:01 UTC.
  const std::time_t t = 1706678701;
  std::string seoul, seoulMorning, utc, berlinSummer;
  {
    TTimeZone zone("KST-9");
    seoul = BackupArchiveName("alpha", t);
    seoulMorning = BackupArchiveName("x", t - 14 * 3600);
  }
  {
    TTimeZone zone("UTC0");
    utc = BackupArchiveName("저장소", t);
  }
  {
    // 1 July 2024, 12:00:00 UTC, in summer time.
    TTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    berlinSummer = BackupArchiveName("alpha", 1719835200);
  }
  EXPECT_EQ(seoul, "alpha_20240131T142501Z.zip");
  EXPECT_EQ(seoulMorning, "x_20240131T002501Z.zip");
  EXPECT_EQ(utc, "저장소_20240131T052501Z.zip");
  EXPECT_EQ(berlinSummer, "alpha_20240701T140000Z.zip");
}
