// Archives beyond the classic limits: more than 65535 entries, and a file of 4.5 GiB.
#include "archive/UZip.h"

#include "ArchiveTestKit.h"
#include "RealReaders.h"
#include "ZipReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

using namespace testing_support;
using namespace ziptest;

namespace {

constexpr uint64_t kHuge = 4608ull << 20; // 4.5 GiB
const std::vector<uint64_t> kMarkers = {0, 0xFFFFFFFFull - 3, 0x100000000ull + 17, kHuge - 1000};

// A folder on a file system with room for `bytes`: /dev/shm when it has it (no disk is
// touched), else the test's own temporary folder.
std::string RoomFor(uint64_t bytes, const std::string& fallback) {
  struct statvfs st;
  if (::statvfs("/dev/shm", &st) == 0 &&
      static_cast<uint64_t>(st.f_bavail) * st.f_frsize > bytes + (1ull << 30)) {
    std::string d = "/dev/shm/orlenway-zip64-" + std::to_string(::getpid());
    MakeDirs(d);
    return d;
  }
  return fallback;
}

} // namespace

TEST(Zip64, SeventyThousandFilesGetTheZip64EndRecords) {
  TempDir src("src"), out("out"), work("work");
  for (int d = 0; d < 70; ++d) {
    std::string dir = src / ("d" + std::to_string(d));
    MakeDirs(dir);
    for (int f = 0; f < 1000; ++f)
      WriteFile(dir + "/f" + std::to_string(f), std::to_string(d * 1000 + f) + "\n");
  }
  MakeDirs(src / "empty");
  TZip zip;
  TEvents ev;
  ConfigureLikeBackup(zip, src.Path(), out / "many.zip", ev);
  zip.OnBegin = nullptr; // keep the record small
  EXPECT_EQ(zip.BuildArchive(), 70001);
  EXPECT_EQ(ev.ErrorCodes(), "");
  TArchiveView a = ReadArchive(out / "many.zip");
  EXPECT_TRUE(a.Zip64);
  EXPECT_EQ(a.TotalEntries, 70001u);
  EXPECT_EQ(a.EndTotal16, 0xFFFF);
  EXPECT_EQ(a.Entries.size(), 70001u);
  EXPECT_EQ(a.Entries.back().Name, "empty/");
  EXPECT_EQ(EntryData(out / "many.zip", a.Entries[12345]),
            ReadFile(src / ("d" + a.Entries[12345].Name.substr(1))));
  EXPECT_EQ(CheckWithReaders(out / "many.zip", ExpectedTree(src.Path()), work.Path()), "");
}

TEST(Zip64, AFileOfFourAndAHalfGiBDeflated) {
  TempDir src("src"), out("out");
  MakeSparseFile(src / "huge.bin", kHuge, kMarkers);
  WriteFile(src / "small.txt", "after the big one\n");
  TZip zip;
  TEvents ev;
  ConfigureLikeBackup(zip, src.Path(), out / "big.zip", ev);
  EXPECT_EQ(zip.BuildArchive(), 2);
  EXPECT_EQ(ev.ErrorCodes(), "");
  EXPECT_EQ(ev.Progress[ev.Progress.size() - 2], (std::pair<int, int>{100, 100}));
  TArchiveView a = ReadArchive(out / "big.zip");
  ASSERT_EQ(a.Entries.size(), 2u);
  const TEntryView& e = a.Entries[0];
  EXPECT_EQ(e.Name, "huge.bin");
  EXPECT_EQ(e.Method, 8);
  EXPECT_EQ(e.UncompressedSize, kHuge);
  EXPECT_EQ(e.LocalExtra.size(), 20u);
  EXPECT_EQ(e.VersionNeeded, 45);
  EXPECT_FALSE(a.Zip64); // the archive itself stays small
  EXPECT_EQ(EntryData(out / "big.zip", a.Entries[1]), "after the big one\n");
  EXPECT_EQ(CheckMembersWithReaders(out / "big.zip", {{"huge.bin", src / "huge.bin"},
                                                      {"small.txt", src / "small.txt"}}),
            "");
}

TEST(Zip64, AStoredFileOfFourAndAHalfGiBPutsLaterEntriesBeyondFourGiB) {
  TempDir src("src"), out("out");
  MakeSparseFile(src / "huge.tar", kHuge, kMarkers); // .TAR is on the stored list
  WriteFile(src / "z-after.txt", "beyond 4 GiB\n");
  std::string place = RoomFor(kHuge, out.Path());
  TZip zip;
  TEvents ev;
  ConfigureLikeBackup(zip, src.Path(), place + "/big.zip", ev);
  zip.TempDir = place;
  EXPECT_EQ(zip.BuildArchive(), 2);
  EXPECT_EQ(ev.ErrorCodes(), "");
  TArchiveView a = ReadArchive(place + "/big.zip");
  ASSERT_EQ(a.Entries.size(), 2u);
  EXPECT_EQ(a.Entries[0].Method, 0);
  EXPECT_EQ(a.Entries[0].CompressedSize, kHuge);
  EXPECT_GT(a.Entries[1].Offset, 0x100000000ull);
  EXPECT_EQ(a.Entries[1].Offset32, 0xFFFFFFFFu);
  EXPECT_TRUE(a.Zip64);
  EXPECT_EQ(a.EndOffset32, 0xFFFFFFFFu);
  EXPECT_EQ(EntryData(place + "/big.zip", a.Entries[1]), "beyond 4 GiB\n");
  EXPECT_EQ(CheckMembersWithReaders(place + "/big.zip", {{"huge.tar", src / "huge.tar"},
                                                         {"z-after.txt", src / "z-after.txt"}}),
            "");
  if (place != out.Path()) RemoveTree(place);
}
