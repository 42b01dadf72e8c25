#include "archive/UZip.h"

#include "ArchiveTestKit.h"
#include "RealReaders.h"
#include "ZipReader.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>
#include <zlib.h>

using namespace testing_support;
using namespace ziptest;

namespace {

uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// A source folder, a folder for the archive, and a work folder for the readers.
struct TFixture {
  TempDir Src{"src"}, Out{"out"}, Work{"work"};
  std::string Archive = Out / "backup.zip";
  TZip Zip;
  TEvents Events;
  TFixture() { ConfigureLikeBackup(Zip, Src.Path(), Archive, Events); }
  std::string Readers() { return CheckWithReaders(Archive, ExpectedTree(Src.Path()), Work.Path()); }
};

} // namespace

TEST(Zip, LoneEmptySubfolderGivesOneFolderEntry) {
  TFixture f;
  MakeDirs(f.Src / "sub");
  EXPECT_EQ(f.Zip.BuildArchive(), 1);
  EXPECT_EQ(f.Events.ErrorCodes(), "");
  TArchiveView a = ReadArchive(f.Archive);
  ASSERT_EQ(a.Entries.size(), 1u);
  const TEntryView& e = a.Entries[0];
  EXPECT_EQ(e.Name, "sub/");
  EXPECT_EQ(e.Method, 0);
  EXPECT_EQ(e.Flags, 0);
  EXPECT_EQ(e.CompressedSize, 0u);
  EXPECT_EQ(e.UncompressedSize, 0u);
  EXPECT_EQ(e.CRC, 0u);
  EXPECT_EQ(e.External, 0x10u);
  EXPECT_EQ(e.Internal, 1);
  EXPECT_EQ(e.VersionMadeBy, 20);
  EXPECT_EQ(e.VersionNeeded, 20);
  EXPECT_EQ(e.LocalVersion, 20);
  EXPECT_TRUE(e.Extra.empty() && e.LocalExtra.empty());
  EXPECT_FALSE(a.Zip64);
  EXPECT_EQ(a.EndEntries16, 1);
  EXPECT_EQ(a.EndTotal16, 1);
  EXPECT_EQ(a.DirectoryOffset, 30u + 4u);
  EXPECT_EQ(a.DirectorySize, 46u + 4u);
  EXPECT_EQ(a.FileSize, 34u + 50u + 22u);
  EXPECT_EQ(f.Events.Begins, (std::vector<std::pair<std::string, int>>{{f.Src / "sub/", 1}}));
  EXPECT_EQ(f.Events.Ends, (std::vector<std::string>{"sub/"}));
  EXPECT_EQ(f.Readers(), "");
}

TEST(Zip, StoreOrDeflateByKindAndSizeWithTheExactHeaderValues) {
  TFixture f;
  const std::string same(100, 'q'), rand100 = RandomBytes(100, 7), rand300 = RandomBytes(300, 8);
  const std::string text = [] {
    std::string s;
    for (int i = 0; i < 4000; ++i)
      s += "revision " + std::to_string(i) + "\n";
    return s;
  }();
  WriteFile(f.Src / "empty", "");
  WriteFile(f.Src / "same100", same);
  WriteFile(f.Src / "rand100", rand100);
  WriteFile(f.Src / "rand300", rand300);
  WriteFile(f.Src / "data.Zip", text);
  WriteFile(f.Src / "readonly.txt", text);
  ::chmod((f.Src / "readonly.txt").c_str(), 0444);
  MakeDirs(f.Src / "db/revs/0");
  WriteFile(f.Src / "db/revs/0/1", text);
  SetLocalFileTime(f.Src / "db/revs/0/1", 2024, 1, 31, 14, 25, 1);

  EXPECT_EQ(f.Zip.BuildArchive(), 7);
  EXPECT_EQ(f.Events.ErrorCodes(), "");
  TArchiveView a = ReadArchive(f.Archive);
  EXPECT_EQ(EntryNames(a), (std::vector<std::string>{"data.Zip", "db/revs/0/1", "empty", "rand100",
                                                     "rand300", "readonly.txt", "same100"}));
  for (const TEntryView& e : a.Entries) {
    SCOPED_TRACE(e.Name);
    EXPECT_EQ(e.Internal, 1);
    EXPECT_EQ(e.Flags, 0);
    EXPECT_EQ(e.VersionMadeBy, 20);
    EXPECT_EQ(e.VersionNeeded, 20);
    EXPECT_EQ(e.External, e.Name == "readonly.txt" ? 0x21u : 0x20u);
    EXPECT_EQ(EntryData(f.Archive, e), ReadFile(f.Src / e.Name));
  }
  const TEntryView& empty = Entry(a, "empty");
  EXPECT_EQ(empty.Method, 0);
  EXPECT_EQ(empty.CompressedSize, 0u);
  EXPECT_EQ(empty.CRC, 0u);
  const TEntryView& s100 = Entry(a, "same100");
  EXPECT_EQ(s100.Method, 8);
  EXPECT_LT(s100.CompressedSize, 20u);
  EXPECT_EQ(s100.CRC, Crc(same));
  const TEntryView& r100 = Entry(a, "rand100");
  EXPECT_EQ(r100.Method, 0);
  EXPECT_EQ(r100.CompressedSize, 100u);
  const TEntryView& r300 = Entry(a, "rand300");
  EXPECT_EQ(r300.Method, 8);
  EXPECT_GT(r300.CompressedSize, 300u);
  const TEntryView& zip = Entry(a, "data.Zip");
  EXPECT_EQ(zip.Method, 0);
  EXPECT_EQ(zip.CompressedSize, text.size());
  const TEntryView& rev = Entry(a, "db/revs/0/1");
  EXPECT_EQ(rev.Method, 8);
  EXPECT_EQ(rev.Time, (14 << 11) | (25 << 5) | 0);
  EXPECT_EQ(rev.Date, ((2024 - 1980) << 9) | (1 << 5) | 31);
  EXPECT_EQ(f.Readers(), "");
}

TEST(Zip, DeflateTypeSetsTheFlagBitsAndStoreStoresEverything) {
  for (auto [type, bits] : {std::pair{dtDeflateF, 0x04}, {dtDeflateX, 0x02}}) {
    TFixture f;
    WriteFile(f.Src / "a.txt", std::string(5000, 'a'));
    WriteFile(f.Src / "b.gz", std::string(5000, 'b'));
    f.Zip.DeflateType = type;
    EXPECT_EQ(f.Zip.BuildArchive(), 2);
    TArchiveView a = ReadArchive(f.Archive);
    EXPECT_EQ(Entry(a, "a.txt").Flags, bits);
    EXPECT_EQ(Entry(a, "a.txt").Method, 8);
    EXPECT_EQ(Entry(a, "b.gz").Flags, 0);
    EXPECT_EQ(Entry(a, "b.gz").Method, 0);
    EXPECT_EQ(f.Readers(), "");
  }
  TFixture f;
  WriteFile(f.Src / "a.txt", std::string(5000, 'a'));
  f.Zip.SetCompressMethod(cmStore);
  EXPECT_EQ(f.Zip.BuildArchive(), 1);
  EXPECT_EQ(f.Zip.DeflateType, dtDeflateS);
  EXPECT_EQ(ReadArchive(f.Archive).Entries[0].Method, 0);
  EXPECT_EQ(f.Readers(), "");
}

TEST(Zip, SettingsKeepTheirRules) {
  TZip z;
  EXPECT_TRUE(z.RecurseDirs);
  EXPECT_FALSE(z.StoreEmptySubDirs);
  EXPECT_EQ(z.Attributes,
            (TScanAttributes{fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted}));
  EXPECT_EQ(z.StoreFilesOfType.size(), 24u);
  EXPECT_EQ(z.StoreFilesOfType.front(), ".ACE");
  EXPECT_EQ(z.StoreFilesOfType.back(), ".ZOO");
  EXPECT_EQ(z.DefaultExt(), ".zip");
  z.SetArchiveFile("/backups/alpha_20240131T142501Z");
  EXPECT_EQ(z.ArchiveFile(), "/backups/alpha_20240131T142501Z.zip");
  z.SetArchiveFile("/backups/a.b/name");
  EXPECT_EQ(z.ArchiveFile(), "/backups/a.b/name.zip");
  z.SetArchiveFile("/backups/name.bak");
  EXPECT_EQ(z.ArchiveFile(), "/backups/name.bak");
  z.SetDefaultExt("ZIPX");
  EXPECT_EQ(z.DefaultExt(), ".zip");
  z.SetDefaultExt("7Z");
  EXPECT_EQ(z.DefaultExt(), ".7z");
  z.SetCompressMethod(cmStore);
  z.SetCompressMethod(cmLzx);
  EXPECT_EQ(z.CompressMethod(), cmStore);
  z.SetSwitch(swDelete);
  EXPECT_EQ(z.Switch(), swAdd);
  z.SetCompressionMethod(cmInMemory);
  EXPECT_EQ(z.CompressionMethod(), cmTempFile);
  z.SetStoredDirNames(sdAbsolute);
  EXPECT_EQ(z.StoredDirNames(), sdRelative);
  z.SetEncryptHeaders(true);
  EXPECT_FALSE(z.EncryptHeaders());
  z.SetPassword("secret");
  EXPECT_EQ(z.Password(), "");
  z.IncludeAttribute(fsDirectory, true);
  EXPECT_TRUE(z.Attributes.Contains(fsDirectory));
  z.IncludeAttribute(fsReadOnly, false);
  EXPECT_FALSE(z.Attributes.Contains(fsReadOnly));
  EXPECT_EQ(TZip::ErrorText(25268), "Nothing to do");
  EXPECT_EQ(TZip::ErrorText(25170), "is not accessible");
}

TEST(Zip, NothingToPackOrNoFolderEndsWithZeroAndNoFile) {
  TFixture f;
  WriteFile(f.Src / ".only-a-dot-file", "x");
  MakeDirs(f.Src / ".svn");
  EXPECT_EQ(f.Zip.BuildArchive(), 0);
  EXPECT_EQ(f.Events.ErrorCodes(), "25268");
  EXPECT_EQ(f.Events.Errors[0].VolumeID, f.Archive);
  EXPECT_FALSE(Exists(f.Archive));
  EXPECT_EQ(TempLeftovers(), std::vector<std::string>{});

  f.Events.Errors.clear();
  f.Zip.SetArchiveFile(f.Out / "missing/backup.zip");
  WriteFile(f.Src / "file", "x");
  EXPECT_EQ(f.Zip.BuildArchive(), 0);
  EXPECT_EQ(f.Events.ErrorCodes(), "25158");
  f.Zip.SetArchiveFile("");
  EXPECT_EQ(f.Zip.BuildArchive(), 0);
  EXPECT_EQ(f.Events.ErrorCodes(), "25158 25158");
  EXPECT_EQ(FolderNames(f.Out.Path()), std::vector<std::string>{});
}

TEST(Zip, DroppedEntriesAreNotWrittenNorCounted) {
  TFixture f;
  WriteFile(f.Src / "a", "aaaa");
  WriteFile(f.Src / "b", "bbbb");
  MakeDirs(f.Src / "c");
  f.Events.OnBegin = [](const std::string& name, int, bool& extract) {
    if (name.size() >= 2 && name.substr(name.size() - 2) == "/b") extract = false;
  };
  EXPECT_EQ(f.Zip.BuildArchive(), 2);
  EXPECT_EQ(f.Events.Begins, (std::vector<std::pair<std::string, int>>{
                                 {f.Src / "a", 1}, {f.Src / "b", 2}, {f.Src / "c/", 3}}));
  EXPECT_EQ(f.Events.Ends, (std::vector<std::string>{"a", "c/"}));
  EXPECT_EQ(EntryNames(ReadArchive(f.Archive)), (std::vector<std::string>{"a", "c/"}));

  // Dropping everything writes no archive at all.
  TFixture g;
  WriteFile(g.Src / "a", "aaaa");
  g.Events.OnBegin = [](const std::string&, int, bool& extract) { extract = false; };
  EXPECT_EQ(g.Zip.BuildArchive(), 0);
  EXPECT_FALSE(Exists(g.Archive));
  EXPECT_EQ(TempLeftovers(), std::vector<std::string>{});
}

TEST(Zip, ProgressRoundsHalvesToEvenAndEndsWithZeroBeforeTheDirectory) {
  TFixture f;
  WriteFile(f.Src / "eight.zip", RandomBytes(8 * 102400, 9)); // stored: one report per 102400 bytes
  EXPECT_EQ(f.Zip.BuildArchive(), 1);
  EXPECT_EQ(f.Events.Progress, (std::vector<std::pair<int, int>>{{12, 12},
                                                                 {25, 25},
                                                                 {38, 38},
                                                                 {50, 50},
                                                                 {62, 62},
                                                                 {75, 75},
                                                                 {88, 88},
                                                                 {100, 100},
                                                                 {0, 0}}));

  // Deflated input is reported at least once per piece the engine has taken; the whole run
  // adds up.
  TFixture g;
  WriteFile(g.Src / "a.txt", RandomBytes(1000000, 10));
  WriteFile(g.Src / "b.txt", std::string(500000, 'b'));
  EXPECT_EQ(g.Zip.BuildArchive(), 2);
  std::vector<std::pair<int, int>>& p = g.Events.Progress;
  ASSERT_GE(p.size(), 3u);
  EXPECT_EQ(p.back(), (std::pair<int, int>{0, 0}));
  EXPECT_EQ(p[p.size() - 2], (std::pair<int, int>{100, 100}));
  for (size_t i = 1; i + 1 < p.size(); ++i)
    EXPECT_LE(p[i - 1].second, p[i].second);
  EXPECT_EQ(g.Readers(), "");
}

TEST(Zip, UnreadableFilesAreLeftOutReportedAndCounted) {
  TFixture f;
  WriteFile(f.Src / "1-gone", "will be deleted");
  WriteFile(f.Src / "2-folder", RandomBytes(300000, 11)); // becomes a folder: reading fails
  WriteFile(f.Src / "3-kept", std::string(400000, 'k'));
  WriteFile(f.Src / "4-last", RandomBytes(200000, 12)); // the last one fails too
  f.Events.OnBegin = [&](const std::string& name, int, bool&) {
    if (name == f.Src / "1-gone") ::unlink(name.c_str());
    if (name == f.Src / "2-folder" || name == f.Src / "4-last") {
      ::unlink(name.c_str());
      MakeDirs(name);
    }
  };
  EXPECT_EQ(f.Zip.BuildArchive(), 1);
  EXPECT_EQ(f.Events.ErrorCodes(), "25235 25235 25235");
  EXPECT_EQ(f.Events.Errors[0].FileName, f.Src / "1-gone");
  EXPECT_EQ(f.Events.Errors[1].FileName, f.Src / "2-folder");
  EXPECT_EQ(f.Zip.UnreadableCount(), 3u);
  EXPECT_EQ(f.Zip.UnreadableFiles(),
            (std::vector<std::string>{f.Src / "1-gone", f.Src / "2-folder", f.Src / "4-last"}));
  // The strict reader finds no gap where the failed entries were begun.
  TArchiveView a = ReadArchive(f.Archive);
  EXPECT_EQ(EntryNames(a), std::vector<std::string>{"3-kept"});
  EXPECT_EQ(a.Entries[0].Offset, 0u);
  EXPECT_EQ(EntryData(f.Archive, a.Entries[0]), std::string(400000, 'k'));
  TTree want;
  want.Files["3-kept"] = std::string(400000, 'k');
  EXPECT_EQ(CheckWithReaders(f.Archive, want, f.Work.Path()), "");
}

// A folder swapped for a link to a folder outside after the walk listed it: its files are not
// read through the link, and count as unreadable.
TEST(Zip, AFolderSwappedForALinkDuringTheRunIsNotEntered) {
  TFixture f;
  TempDir outside;
  WriteFile(f.Src / "1-first", RandomBytes(300000, 13));
  MakeDirs(f.Src / "2-dir");
  WriteFile(f.Src / "2-dir/file", "inside");
  MakeDirs(outside / "copy");
  WriteFile(outside / "copy/file", "SECRET from outside");
  f.Events.OnBegin = [&](const std::string& name, int, bool&) {
    if (name != f.Src / "1-first") return;
    ::rename((f.Src / "2-dir").c_str(), (outside / "moved").c_str());
    ::symlink((outside / "copy").c_str(), (f.Src / "2-dir").c_str());
  };
  EXPECT_EQ(f.Zip.BuildArchive(), 1);
  EXPECT_EQ(f.Zip.UnreadableFiles(), std::vector<std::string>{f.Src / "2-dir/file"});
  TArchiveView a = ReadArchive(f.Archive);
  EXPECT_EQ(EntryNames(a), std::vector<std::string>{"1-first"});
}

TEST(Zip, AFileWithoutReadPermissionIsLeftOutForAnOrdinaryUser) {
  // Run as "nobody" in a child, since root reads everything.
  TempDir t;
  ::chmod(PrivateRoot().c_str(), 0711);
  ::chmod((PrivateRoot() + "/tmp").c_str(), 0711);
  ::chmod(t.Path().c_str(), 0777);
  MakeDirs(t / "src");
  MakeDirs(t / "out");
  MakeDirs(t / "tmp");
  ::chmod((t / "out").c_str(), 0777);
  ::chmod((t / "tmp").c_str(), 0777);
  WriteFile(t / "src/open", "readable");
  WriteFile(t / "src/secret", "hidden from others");
  ::chmod((t / "src/secret").c_str(), 0000);
  std::string report = InChild([&] {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) return std::string("no nobody");
    TZip zip;
    TEvents ev;
    ConfigureLikeBackup(zip, t / "src", t / "out/b.zip", ev);
    zip.TempDir = t / "tmp";
    int n = zip.BuildArchive();
    return std::to_string(n) + " " + ev.ErrorCodes() + " " + std::to_string(zip.UnreadableCount()) +
           " " + (zip.UnreadableFiles().empty() ? "" : zip.UnreadableFiles()[0]);
  });
  ::chmod(PrivateRoot().c_str(), 0700);
  if (report == "no nobody") GTEST_SKIP() << "cannot become an ordinary user here";
  EXPECT_EQ(report, "1 25235 1 " + (t / "src/secret"));
  EXPECT_EQ(EntryNames(ReadArchive(t / "out/b.zip")), std::vector<std::string>{"open"});
  TTree want;
  want.Files["open"] = "readable";
  TempDir work;
  EXPECT_EQ(CheckWithReaders(t / "out/b.zip", want, work.Path()), "");
}

TEST(Zip, NamesWithHighBytesAreUtf8AndFlaggedAsSuch) {
  TFixture f;
  WriteFile(f.Src / "plain.txt", "ascii");
  MakeDirs(f.Src / "저장소");
  WriteFile(f.Src / "저장소/백업.txt", "hangul");
  MakeDirs(f.Src / "빈폴더");
  EXPECT_EQ(f.Zip.BuildArchive(), 3);
  TArchiveView a = ReadArchive(f.Archive);
  EXPECT_EQ(Entry(a, "plain.txt").Flags, 0);
  EXPECT_EQ(Entry(a, "plain.txt").VersionMadeBy, 20);
  EXPECT_EQ(Entry(a, "저장소/백업.txt").VersionMadeBy, 0x0A14);
  EXPECT_EQ(Entry(a, "빈폴더/").External, 0x10u);
  EXPECT_EQ(Entry(a, "저장소/백업.txt").Flags, 0x0800);
  EXPECT_EQ(Entry(a, "빈폴더/").Flags, 0x0800);
  EXPECT_EQ(f.Readers(), "");
}

TEST(Zip, NamesThatAreNotUtf8KeepTheirBytesWithoutTheUtf8Flag) {
  TFixture f;
  const std::string odd = "caf\xE9-latin1.txt"; // a byte sequence no UTF-8 reader accepts
  WriteFile(f.Src / odd, "x");
  WriteFile(f.Src / "ok.txt", "y");
  EXPECT_EQ(f.Zip.BuildArchive(), 2);
  TArchiveView a = ReadArchive(f.Archive);
  EXPECT_EQ(Entry(a, odd).Flags, 0);
  // Every reader still opens and tests the archive (what they call the file differs).
  EXPECT_EQ(Shell("unzip -tqq " + Quote(f.Archive)).ExitCode, 0);
  EXPECT_EQ(Shell("7z t " + Quote(f.Archive)).ExitCode, 0);
  EXPECT_EQ(Shell("bsdtar -tf " + Quote(f.Archive)).ExitCode, 0);
  EXPECT_EQ(Shell("python3 -c 'import sys,zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() "
                  "is not None)' " +
                  Quote(f.Archive))
                .ExitCode,
            0);
}

TEST(Zip, DateChoices) {
  TFixture f;
  WriteFile(f.Src / "old", "1");
  WriteFile(f.Src / "new", "2");
  SetLocalFileTime(f.Src / "old", 2001, 2, 3, 4, 5, 6);
  SetLocalFileTime(f.Src / "new", 2022, 12, 24, 18, 30, 58);
  f.Zip.DateAttribute = daMaxFileDate;
  EXPECT_EQ(f.Zip.BuildArchive(), 2);
  for (const TEntryView& e : ReadArchive(f.Archive).Entries) {
    EXPECT_EQ(e.Date, ((2022 - 1980) << 9) | (12 << 5) | 24);
    EXPECT_EQ(e.Time, (18 << 11) | (30 << 5) | 29);
  }
  ::unlink(f.Archive.c_str());
  f.Zip.DateAttribute = daSysDate;
  uint32_t before = platform::ToDosDateTime(std::time(nullptr));
  EXPECT_EQ(f.Zip.BuildArchive(), 2);
  uint32_t after = platform::ToDosDateTime(std::time(nullptr));
  for (const TEntryView& e : ReadArchive(f.Archive).Entries) {
    uint32_t dt = static_cast<uint32_t>(e.Date) << 16 | e.Time;
    EXPECT_GE(dt, before);
    EXPECT_LE(dt, after);
  }
}

TEST(Zip, AFileThatGrowsAfterTheScanIsRecordedWithTheBytesRead) {
  TFixture f;
  WriteFile(f.Src / "log.txt", std::string(1000, 'a'));
  f.Events.OnBegin = [&](const std::string& name, int, bool&) {
    WriteFile(name, std::string(1000, 'a') + std::string(300000, 'b'));
  };
  EXPECT_EQ(f.Zip.BuildArchive(), 1);
  TArchiveView a = ReadArchive(f.Archive);
  EXPECT_EQ(a.Entries[0].UncompressedSize, 301000u);
  EXPECT_EQ(EntryData(f.Archive, a.Entries[0]), ReadFile(f.Src / "log.txt"));
  EXPECT_EQ(f.Readers(), "");
}

TEST(Zip, CancelEndsTheRunWithoutAnArchive) {
  TFixture f;
  WriteFile(f.Src / "a", "1");
  WriteFile(f.Src / "b", "2");
  f.Events.OnBegin = [&](const std::string&, int count, bool&) {
    if (count == 2) f.Zip.Cancel();
  };
  EXPECT_EQ(f.Zip.BuildArchive(), 0);
  EXPECT_EQ(f.Events.ErrorCodes(), "");
  EXPECT_FALSE(Exists(f.Archive));
  EXPECT_EQ(TempLeftovers(), std::vector<std::string>{});
  // The next run starts with the mark cleared.
  f.Events.OnBegin = nullptr;
  EXPECT_EQ(f.Zip.BuildArchive(), 2);
}

TEST(Zip, TheTemporaryFileIsMovedOnTheSameFileSystemAndCopiedFromAnother) {
  struct stat st {};
  ASSERT_EQ(::stat("/dev/shm", &st), 0) << "needs a second file system at /dev/shm";
  for (bool other : {false, true}) {
    SCOPED_TRACE(other ? "copied" : "moved");
    TFixture f;
    TScriptedPrompt prompt;
    std::string shm;
    if (other) {
      shm = "/dev/shm/orlenway-test-" + std::to_string(::getpid());
      MakeDirs(shm);
      f.Zip.TempDir = shm;
    } else {
      f.Zip.TempDir = f.Out / "not-there"; // falls back to the system's temporary folder
    }
    const std::string tempFolder = other ? shm : platform::TempFolder();
    WriteFile(f.Src / "a.txt", RandomBytes(500000, 13));
    WriteFile(f.Archive, "an older archive");
    ino_t tempInode = 0;
    int pumpsAtDirectory = -1;
    f.Events.OnProgress = [&](int a, int b) {
      if (a || b) return;
      pumpsAtDirectory = prompt.Pumps;
      for (const std::string& n : FolderNames(tempFolder))
        if (n.rfind("orlenway-zip-", 0) == 0 && ::stat((tempFolder + "/" + n).c_str(), &st) == 0)
          tempInode = st.st_ino;
    };
    EXPECT_EQ(f.Zip.BuildArchive(), 1);
    ASSERT_NE(tempInode, 0u);
    ASSERT_EQ(::stat(f.Archive.c_str(), &st), 0);
    EXPECT_EQ(st.st_ino == tempInode, !other);
    // Copying pumps the messages before each 131072-byte chunk (and the read at the end).
    int copyPumps = prompt.Pumps - pumpsAtDirectory;
    EXPECT_EQ(copyPumps, other ? static_cast<int>(st.st_size / 131072) + 2 : 0);
    EXPECT_EQ(TempLeftovers(), std::vector<std::string>{});
    if (other) {
      EXPECT_EQ(FolderNames(shm), std::vector<std::string>{});
    }
    EXPECT_EQ(FolderNames(f.Out.Path()), std::vector<std::string>{"backup.zip"});
    EXPECT_EQ(f.Readers(), "");
    if (other) RemoveTree(shm);
  }
}

TEST(Zip, ATemporaryFolderInsideThePackedTreeDoesNotPackTheArchiveIntoItself) {
  TFixture f;
  MakeDirs(f.Src / "tmp");
  WriteFile(f.Src / "a.txt", RandomBytes(300000, 14));
  f.Zip.TempDir = f.Src / "tmp";
  // The folder holds the temporary file while the tree is scanned, so it is not empty.
  EXPECT_EQ(f.Zip.BuildArchive(), 1);
  EXPECT_EQ(EntryNames(ReadArchive(f.Archive)), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(FolderNames(f.Src / "tmp"), std::vector<std::string>{});
}
