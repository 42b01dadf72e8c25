#include "archive/UfnFolderScan.h"

#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_support;

namespace {

const TScanAttributes kBackup{fsZeroAttr,  fsReadOnly, fsHidden,     fsSysFile,
                              fsDirectory, fsArchive,  fsCompressed, fsEncrypted};

struct TResult {
  std::vector<std::string> Paths; // below the root
  std::vector<TScanItem> Items;
  uint64_t Total = 0;
};

TResult Scan(TScanSettings s, bool* cancelAfter2 = nullptr) {
  bool cancel = false;
  TFolderScan scan(s, cancel);
  TResult r;
  scan.OnItem = [&](TScanItem& item) {
    r.Paths.push_back(item.FullPath.substr(item.RootLength));
    r.Items.push_back(item);
    if (cancelAfter2 && r.Items.size() == 2) cancel = true;
  };
  scan.Run();
  r.Total = scan.ByteTotal();
  return r;
}

TScanSettings Backup(const std::string& root) {
  TScanSettings s;
  s.FileSpec = {root + "/*.*"};
  s.StoreEmptySubDirs = true;
  s.Attributes = kBackup;
  return s;
}

using Names = std::vector<std::string>;

} // namespace

TEST(FolderScan, AttributeFilterFollowsTheKindsTable) {
  // The backup's kinds: every one but the volume label.
  EXPECT_FALSE(PassesAttributeFilter(0x100, kBackup, {})); // temporary alone
  EXPECT_TRUE(PassesAttributeFilter(0x80, kBackup, {}));   // normal alone
  EXPECT_TRUE(PassesAttributeFilter(0, kBackup, {}));
  EXPECT_TRUE(PassesAttributeFilter(0x10, kBackup, {}));
  // The builder's defaults leave folders out, but not hidden or read-only files.
  TScanAttributes defaults{fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted};
  EXPECT_FALSE(PassesAttributeFilter(0x10, defaults, {}));
  EXPECT_TRUE(PassesAttributeFilter(0x22, defaults, {}));
  EXPECT_TRUE(PassesAttributeFilter(0x21, defaults, {}));
  EXPECT_FALSE(PassesAttributeFilter(0x02, defaults, {}));
  // Not-content-indexed lets an item in by itself; an excluding kind always wins.
  EXPECT_TRUE(PassesAttributeFilter(0x2000, {}, {}));
  EXPECT_FALSE(PassesAttributeFilter(0x2021, kBackup, {fsReadOnly}));
  EXPECT_FALSE(PassesAttributeFilter(0x80, kBackup, {fsZeroAttr}));
  EXPECT_FALSE(PassesAttributeFilter(0x08, {fsVolumeID}, {})); // the volume label bit
  EXPECT_FALSE(AttributeMatches(fsVolumeID, 0xFFFFFFFF));
  EXPECT_TRUE(AttributeMatches(fsCompressed, 0x800));
  EXPECT_TRUE(AttributeMatches(fsEncrypted, 0x4000));
  EXPECT_TRUE(AttributeMatches(fsSysFile, 0x04));
  EXPECT_FALSE(AttributeMatches(fsZeroAttr, 0x81));
}

TEST(FolderScan, MasksIgnoreCaseAndStarMatchesNamesWithoutDot) {
  EXPECT_TRUE(MatchesMask("README", "*.*"));
  EXPECT_TRUE(MatchesMask("README", "*"));
  EXPECT_TRUE(MatchesMask("Notes.TXT", "*.txt"));
  EXPECT_FALSE(MatchesMask("notes.txt.bak", "*.txt"));
  EXPECT_TRUE(MatchesMask("a1b22c", "a*b*c"));
  EXPECT_FALSE(MatchesMask("a1b22", "a*b*c"));
  EXPECT_TRUE(MatchesMask("rev7", "rev?"));
  EXPECT_FALSE(MatchesMask("rev", "rev?"));
  EXPECT_TRUE(MatchesMask("", "*"));
}

TEST(FolderScan, DepthFirstInListingOrderSkippingDotNamesAndAllBelowThem) {
  TempDir t;
  WriteFile(t / "b", "bb");
  WriteFile(t / "A", "a");
  MakeDirs(t / "m");
  WriteFile(t / "m/c", "ccc");
  WriteFile(t / "z", "");
  WriteFile(t / ".hidden", "x");
  MakeDirs(t / ".svn/deep");
  WriteFile(t / ".svn/deep/entries", "x");
  MakeDirs(t / "m/.git");
  WriteFile(t / "m/.git/HEAD", "x");
  TResult r = Scan(Backup(t.Path()));
  EXPECT_EQ(r.Paths, (Names{"A", "b", "m/c", "z"}));
  EXPECT_EQ(r.Total, 6u);
  ASSERT_EQ(r.Items.size(), 4u);
  EXPECT_EQ(r.Items[2].FullPath, t.Path() + "/m/c");
  EXPECT_EQ(r.Items[2].RootLength, t.Path().size() + 1);
  EXPECT_EQ(r.Items[2].Attributes, 0x20u);
  EXPECT_EQ(r.Items[2].Size, 3u);
  platform::DirEntry e;
  ASSERT_TRUE(platform::GetEntry(t / "m/c", e));
  EXPECT_EQ(r.Items[2].DosDateTime, platform::ToDosDateTime(e.mtime));
}

TEST(FolderScan, EmptyFoldersGetEntriesOnlyWhenEmptyThroughout) {
  TempDir t;
  MakeDirs(t / "a/b");  // empty, holding an empty folder: both
  MakeDirs(t / "c/ro"); // holds a read-only folder: neither
  ::chmod((t / "c/ro").c_str(), 0555);
  MakeDirs(t / "d/.keep"); // holds a dot folder: no entry
  MakeDirs(t / "e");       // holds a file: the file only
  WriteFile(t / "e/f", "1");
  MakeDirs(t / "g/h"); // holds a folder that holds a file
  WriteFile(t / "g/h/i", "2");
  MakeDirs(t / "j");
  TResult r = Scan(Backup(t.Path()));
  EXPECT_EQ(r.Paths, (Names{"a/", "a/b/", "e/f", "g/h/i", "j/"}));
  EXPECT_EQ(r.Items[0].Attributes, 0x10u);
  EXPECT_EQ(r.Items[0].FullPath, t.Path() + "/a/");
  EXPECT_TRUE(r.Items[0].IsFolder());
  EXPECT_EQ(r.Total, 2u);
  ::chmod((t / "c/ro").c_str(), 0755);

  // Folder entries need the setting and the directory kind.
  TScanSettings s = Backup(t.Path());
  s.StoreEmptySubDirs = false;
  EXPECT_EQ(Scan(s).Paths, (Names{"e/f", "g/h/i"}));
  s = Backup(t.Path());
  s.Attributes.Exclude(fsDirectory);
  EXPECT_EQ(Scan(s).Paths, (Names{"e/f", "g/h/i"}));
}

TEST(FolderScan, AReadOnlyParentKeepsItsSubfoldersFromCountingAsEmpty) {
  TempDir t;
  MakeDirs(t / "ro/sub");
  MakeDirs(t / "rw/sub");
  ::chmod((t / "ro").c_str(), 0555);
  TResult r = Scan(Backup(t.Path()));
  ::chmod((t / "ro").c_str(), 0755);
  EXPECT_EQ(r.Paths, (Names{"rw/", "rw/sub/"}));
}

TEST(FolderScan, MaskSelectsFilesButEveryFolderIsWalked) {
  TempDir t;
  WriteFile(t / "a.txt", "1");
  WriteFile(t / "b.dat", "22");
  MakeDirs(t / "sub.dat");
  WriteFile(t / "sub.dat/c.TXT", "333");
  WriteFile(t / "sub.dat/d", "4444");
  TScanSettings s = Backup(t.Path());
  s.FileSpec = {t.Path() + "/*.txt"};
  TResult r = Scan(s);
  EXPECT_EQ(r.Paths, (Names{"a.txt", "sub.dat/c.TXT"}));
  EXPECT_EQ(r.Total, 4u);

  // Without recursion the root is listed once with the line's own pattern.
  s.RecurseDirs = false;
  s.FileSpec = {t.Path() + "/*.dat"};
  MakeDirs(t / "empty.dat");
  MakeDirs(t / "empty");
  EXPECT_EQ(Scan(s).Paths, (Names{"b.dat", "empty.dat/"}));
}

TEST(FolderScan, SeveralLinesExclusionsAndBlankLines) {
  TempDir one, two;
  WriteFile(one / "x.log", "1");
  WriteFile(one / "keep", "1");
  MakeDirs(two / "sub");
  WriteFile(two / "sub/y", "1");
  WriteFile(two / "z", "1");
  TScanSettings s = Backup(one.Path());
  s.FileSpec = {"", one.Path() + "/*.*", "   ", two.Path() + "/*"};
  s.ExcludeSpec = {"*.LOG", "sub/*"};
  bool cancel = false;
  TFolderScan scan(s, cancel);
  std::vector<std::pair<size_t, std::string>> got;
  scan.OnItem = [&](TScanItem& i) { got.emplace_back(i.SpecIndex, i.FullPath); };
  scan.Run();
  EXPECT_EQ(got, (std::vector<std::pair<size_t, std::string>>{{0, one / "keep"}, {1, two / "z"}}));
  EXPECT_EQ(scan.Roots(), (Names{one.Path() + "/", two.Path() + "/"}));
}

TEST(FolderScan, PumpsAfterEveryListedItemAndStopsOnCancel) {
  TempDir t;
  for (const char* n : {"1", "2", "3", ".dot"})
    WriteFile(t / n, "x");
  MakeDirs(t / "sub");
  WriteFile(t / "sub/4", "x");
  {
    TScriptedPrompt prompt;
    EXPECT_EQ(Scan(Backup(t.Path())).Paths, (Names{"1", "2", "3", "sub/4"}));
    EXPECT_EQ(prompt.Pumps, 6); // five items in the root, one in sub
  }
  bool cancelAfter2 = true;
  EXPECT_EQ(Scan(Backup(t.Path()), &cancelAfter2).Paths, (Names{"1", "2"}));
}

TEST(FolderScan, MissingRootCollectsNothing) {
  TempDir t;
  TScanSettings s = Backup(t.Path() + "/missing");
  bool cancel = false;
  TFolderScan scan(s, cancel);
  int unlisted = 0, items = 0;
  scan.OnUnlisted = [&](const std::string&) { ++unlisted; };
  scan.OnItem = [&](TScanItem&) { ++items; };
  scan.Run();
  EXPECT_EQ(items, 0);
  EXPECT_EQ(unlisted, 0); // nothing there is not the same as a folder that cannot be read
}

namespace {

struct TLinkScan {
  Names Paths;
  Names Links;   // below the root
  Names Special; // pipes, sockets, devices, below the root
  bool Ended = false;
};

TLinkScan ScanWithLinks(const TScanSettings& s, const std::string& root) {
  bool cancel = false;
  TFolderScan scan(s, cancel);
  TLinkScan r;
  scan.OnItem = [&](TScanItem& item) { r.Paths.push_back(item.FullPath.substr(item.RootLength)); };
  scan.OnLink = [&](const std::string& path) { r.Links.push_back(path.substr(root.size() + 1)); };
  scan.OnSpecial = [&](const std::string& path) {
    r.Special.push_back(path.substr(root.size() + 1));
  };
  scan.Run();
  r.Ended = true;
  return r;
}

void Link(const std::string& target, const std::string& at) {
  ASSERT_EQ(::symlink(target.c_str(), at.c_str()), 0) << at;
}

} // namespace

// Links to what lies outside, links back into the tree (one alone packed the tree many times
// over, two never ended), a dangling link and a FIFO: the walk takes the tree's own files only,
// names every link, and ends.
TEST(FolderScan, LinksAreNeitherPackedNorEnteredButNamedAndTheWalkEnds) {
  TempDir t, outside;
  WriteFile(outside / "secret.txt", "secret");
  MakeDirs(outside / "etc");
  WriteFile(outside / "etc/config", "x");
  WriteFile(t / "file", "1");
  MakeDirs(t / "sub/deeper");
  WriteFile(t / "sub/deeper/f", "22");
  Link(outside / "secret.txt", t / "secretlink");
  Link(outside / "etc", t / "etclink");
  Link(".", t / "a");
  Link(".", t / "b");
  Link("..", t / "sub/up");
  Link(t / "missing", t / "sub/dangling");
  ASSERT_EQ(::mkfifo((t / "pipe").c_str(), 0600), 0);
  MakeDirs(t / "onlylink");
  Link("../file", t / "onlylink/l");
  TLinkScan r = ScanWithLinks(Backup(t.Path()), t.Path());
  ASSERT_TRUE(r.Ended);
  // The FIFO is no file to pack, but named; a folder holding a link is not empty, so gets no
  // entry.
  EXPECT_EQ(r.Paths, (Names{"file", "sub/deeper/f"}));
  EXPECT_EQ(r.Special, (Names{"pipe"}));
  EXPECT_EQ(r.Links,
            (Names{"a", "b", "etclink", "onlylink/l", "secretlink", "sub/dangling", "sub/up"}));

  // Excluded links are not named; dot-named ones are skipped like any dot name.
  Link(".", t / ".dotlink");
  TScanSettings s = Backup(t.Path());
  s.ExcludeSpec = {"*link", "sub/*", "pipe"};
  r = ScanWithLinks(s, t.Path());
  EXPECT_EQ(r.Paths, (Names{"file"}));
  EXPECT_EQ(r.Links, (Names{"a", "b", "onlylink/l"}));
  EXPECT_TRUE(r.Special.empty());
}

TEST(FolderScan, ARootReachedThroughALinkIsWalked) {
  TempDir t, real;
  WriteFile(real / "f", "1");
  MakeDirs(real / "d");
  WriteFile(real / "d/g", "2");
  Link(real.Path(), t / "project");
  TLinkScan r = ScanWithLinks(Backup(t / "project"), t / "project");
  EXPECT_EQ(r.Paths, (Names{"d/g", "f"}));
  EXPECT_TRUE(r.Links.empty());
}

// What the builder opens: a regular file, never through a link below the root, never
// waiting on a FIFO. The root itself may be reached through a link.
TEST(FolderScan, SourceFilesOpenOnlyAsRegularFilesWithoutWaiting) {
  TempDir t;
  const std::string root = t.Path() + "/";
  MakeDirs(t / "dir/sub");
  WriteFile(t / "dir/sub/f", "data");
  WriteFile(t / "f", "data");
  Link(t / "f", t / "l");
  ASSERT_EQ(::mkfifo((t / "pipe").c_str(), 0600), 0);
  for (const auto& [from, relative] : {std::pair<std::string, std::string>{root, "f"},
                                       {root, "dir/sub/f"},
                                       {root + "dir/", "sub/f"},
                                       {"", t / "f"}}) {
    platform::FileHandle h = platform::FileOpenSource(from, relative);
    ASSERT_NE(h, platform::InvalidFileHandle) << from << relative;
    char buf[8];
    EXPECT_EQ(platform::FileRead(h, buf, sizeof buf), 4);
    platform::FileClose(h);
  }
  EXPECT_EQ(platform::FileOpenSource(root, "l"), platform::InvalidFileHandle);
  // A FIFO with no writer would block a plain open for ever.
  EXPECT_EQ(platform::FileOpenSource(root, "pipe"), platform::InvalidFileHandle);
  EXPECT_EQ(platform::FileOpenSource(root, "dir"), platform::InvalidFileHandle);
  EXPECT_EQ(platform::FileOpenSource(root, "missing"), platform::InvalidFileHandle);

  // A folder on the way swapped for a link (to a copy of itself elsewhere) is not entered;
  // a root reached through a link is.
  TempDir elsewhere;
  MakeDirs(elsewhere / "sub");
  WriteFile(elsewhere / "sub/f", "else");
  ASSERT_EQ(::rename((t / "dir").c_str(), (t / "moved").c_str()), 0);
  Link(elsewhere.Path(), t / "dir");
  EXPECT_EQ(platform::FileOpenSource(root, "dir/sub/f"), platform::InvalidFileHandle);
  platform::FileHandle h = platform::FileOpenSource(root + "dir/", "sub/f");
  EXPECT_NE(h, platform::InvalidFileHandle);
  platform::FileClose(h);
}
