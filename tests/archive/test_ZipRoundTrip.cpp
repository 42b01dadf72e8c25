// Random trees packed and read back by the strict reader and by the four real readers.
#include "archive/UZip.h"

#include "ArchiveTestKit.h"
#include "RealReaders.h"
#include "ZipReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

using namespace testing_support;
using namespace ziptest;

namespace {

class TTreeMaker {
public:
  explicit TTreeMaker(unsigned seed) : FRng(seed) {}

  void Fill(const std::string& dir, int depth) {
    int items = depth == 0 ? Pick(3, 10) : Pick(0, 6);
    for (int i = 0; i < items; ++i) {
      std::string name = Name();
      std::string path = dir + "/" + name;
      if (Exists(path)) continue;
      if (depth < 3 && Pick(0, 3) == 0) {
        MakeDirs(path);
        if (Pick(0, 2) != 0) Fill(path, depth + 1); // else it stays empty
      } else {
        WriteFile(path, Contents());
        if (Pick(0, 12) == 0) ::chmod(path.c_str(), 0444);
      }
    }
  }

private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(FRng); }

  std::string Name() {
    static const char* stems[] = {"rev",    "Data",      "a",       "B",    "current",
                                  "저장소", "백업 파일", "format",  "uuid", "txn-current",
                                  "LOCK",   "z",         "한글이름"};
    static const char* exts[] = {"",     "",   "",     ".txt", ".ZIP", ".gz",
                                 ".tar", ".Z", ".dat", ".c",   ".한"};
    std::string n = stems[Pick(0, 12)];
    if (Pick(0, 2) == 0) n += std::to_string(Pick(0, 99));
    n += exts[Pick(0, 10)];
    if (Pick(0, 9) == 0) n = "." + n; // dot names are never packed
    return n;
  }

  std::string Contents() {
    switch (Pick(0, 9)) {
    case 0:
      return "";
    case 1:
      return std::string(static_cast<size_t>(Pick(1, 10)), 'x');
    case 2:
    case 3:
      return Bytes(static_cast<size_t>(Pick(1, 300)));
    case 4: {
      std::string s;
      int lines = Pick(1, 5000);
      for (int i = 0; i < lines; ++i)
        s += "line " + std::to_string(i * 7 % 331) + "\n";
      return s;
    }
    case 5:
      return Bytes(static_cast<size_t>(Pick(300, 200000)));
    case 6:
      return std::string(static_cast<size_t>(Pick(257, 300000)), static_cast<char>(Pick(0, 255)));
    case 7:
      if (Pick(0, 4) == 0) return Bytes(static_cast<size_t>(Pick(1, 3)) << 20); // megabytes
      return Bytes(static_cast<size_t>(Pick(256, 258)));
    default:
      return Bytes(static_cast<size_t>(Pick(0, 5000)));
    }
  }

  std::string Bytes(size_t n) {
    std::string s(n, '\0');
    for (char& c : s)
      c = static_cast<char>(FRng());
    return s;
  }

  std::mt19937 FRng;
};

class ZipRoundTrip : public ::testing::TestWithParam<int> {};

} // namespace

TEST_P(ZipRoundTrip, RandomTreesComeBackExactlyFromEveryReader) {
  const int shard = GetParam();
  int built = 0;
  for (int i = 0; i < 25; ++i) {
    const unsigned seed = 9000u + static_cast<unsigned>(shard * 25 + i);
    SCOPED_TRACE("tree seed " + std::to_string(seed));
    TempDir src("src"), out("out"), work("work");
    TTreeMaker(seed).Fill(src.Path(), 0);
    TTree want = ExpectedTree(src.Path());
    TZip zip;
    TEvents ev;
    ConfigureLikeBackup(zip, src.Path(), out / "tree", ev);
    int n = zip.BuildArchive();
    if (want.Files.empty() && want.Dirs.empty()) {
      EXPECT_EQ(n, 0);
      EXPECT_FALSE(Exists(out / "tree.zip"));
      EXPECT_EQ(ev.ErrorCodes(), "25268");
      continue;
    }
    EXPECT_EQ(ev.ErrorCodes(), "");
    ++built;
    TArchiveView a = ReadArchive(out / "tree.zip");
    EXPECT_EQ(n, static_cast<int>(a.Entries.size()));
    size_t files = 0;
    for (const TEntryView& e : a.Entries) {
      if (e.Name.back() == '/') {
        // A folder entry: an expected folder with no file anywhere below it.
        std::string d = e.Name.substr(0, e.Name.size() - 1);
        EXPECT_TRUE(want.Dirs.count(d)) << e.Name;
        for (auto& [f, c] : want.Files)
          EXPECT_NE(f.compare(0, e.Name.size(), e.Name), 0) << f;
        continue;
      }
      ++files;
      EXPECT_EQ(EntryData(out / "tree.zip", e), want.Files.at(e.Name)) << e.Name;
    }
    EXPECT_EQ(files, want.Files.size());
    EXPECT_EQ(CheckWithReaders(out / "tree.zip", want, work.Path()), "");
  }
  EXPECT_GE(built, 20); // the generator must not make mostly empty trees
}

INSTANTIATE_TEST_SUITE_P(Shards, ZipRoundTrip, ::testing::Range(0, 4));
