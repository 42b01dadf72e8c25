// The builder with its worker threads: the same bytes whatever their number, pieces that the
// real readers take, bars that follow what the engine has taken, and a prompt cancel.
#include "archive/UZip.h"

#include "archive/UDeflateEngine.h"

#include "ArchiveTestKit.h"
#include "RealReaders.h"
#include "ZipReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <set>
#include <string>
#include <zlib.h>

using namespace testing_support;
using namespace ziptest;

namespace {

using Clock = std::chrono::steady_clock;

struct TFixture {
  TempDir Src{"src"}, Out{"out"}, Work{"work"};
  std::string Archive = Out / "backup.zip";
  TZip Zip;
  TEvents Events;
  TFixture() { ConfigureLikeBackup(Zip, Src.Path(), Archive, Events); }
  std::string Readers() { return CheckWithReaders(Archive, ExpectedTree(Src.Path()), Work.Path()); }
};

// Text that deflates well but not to nothing: words drawn from a small list.
std::string Words(size_t n, unsigned seed) {
  static const char* const list[] = {"revision ", "commit ",   "trunk/",  "branch ", "log\n",
                                     "author ",   "checkout ", "update ", "42 ",     "merge\n"};
  std::string s;
  s.reserve(n + 16);
  unsigned x = seed * 2654435761u + 1;
  while (s.size() < n) {
    x = x * 1103515245u + 12345u;
    s += list[(x >> 16) % 10];
  }
  s.resize(n);
  return s;
}

// Sets the pieces' engine for one test and puts the earlier one back.
struct TEngineScope {
  TDeflateEngine Old = PieceEngine();
  explicit TEngineScope(TDeflateEngine e) { SetPieceEngine(e); }
  ~TEngineScope() { SetPieceEngine(Old); }
};

int64_t Ms(Clock::duration d) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

} // namespace

TEST(ZipParallel, TheArchiveIsTheSameOnOneAndFourThreadsAndEveryReaderTakesIt) {
  TFixture f;
  const int64_t piece = TZip::PieceSize;
  MakeDirs(f.Src / "many");
  MakeDirs(f.Src / "small");
  WriteFile(f.Src / "one-piece-less.txt", Words(static_cast<size_t>(piece - 1), 1));
  WriteFile(f.Src / "one-piece.txt", Words(static_cast<size_t>(piece), 2));
  WriteFile(f.Src / "one-piece-more.bin", RandomBytes(static_cast<size_t>(piece + 1), 3));
  // Many pieces, text and noise mixed so that pieces differ in how well they pack.
  WriteFile(f.Src / "many/mixed.log", Words(static_cast<size_t>(3 * piece + 1234), 4) +
                                          RandomBytes(700000, 5) +
                                          Words(static_cast<size_t>(2 * piece), 6));
  WriteFile(f.Src / "many/tiny", "x");
  WriteFile(f.Src / "empty", "");
  for (int i = 0; i < 20; ++i)
    WriteFile(f.Src / ("small/f" + std::to_string(i)),
              Words(1000u * unsigned(i + 1), 7u + unsigned(i)));

  for (TDeflateEngine e : {deZlib, deLibdeflate}) {
    if (!DeflateEngineAvailable(e)) continue;
    SCOPED_TRACE(DeflateEngineName(e));
    TEngineScope scope(e);
    ::unlink(f.Archive.c_str());
    f.Zip.SetWorkerThreads(1);
    ASSERT_EQ(f.Zip.BuildArchive(), 26);
    const std::string single = ReadFile(f.Archive);
    EXPECT_EQ(f.Readers(), "");

    ::unlink(f.Archive.c_str());
    f.Zip.SetWorkerThreads(4);
    ASSERT_EQ(f.Zip.BuildArchive(), 26);
    EXPECT_TRUE(ReadFile(f.Archive) == single) << "the bytes depend on the number of threads";
    EXPECT_EQ(f.Events.ErrorCodes(), "");

    // The many-piece file is deflated, not stored, and its entry says so; the noise file is
    // deflated too, its pieces written as stored blocks.
    TArchiveView a = ReadArchive(f.Archive);
    int found = 0;
    for (const TEntryView& v : a.Entries)
      if (v.Name == "many/mixed.log") {
        ++found;
        EXPECT_EQ(v.Method, 8);
        EXPECT_LT(v.CompressedSize, v.UncompressedSize);
      } else if (v.Name == "one-piece-more.bin") {
        ++found;
        EXPECT_EQ(v.Method, 8);
        EXPECT_LE(v.CompressedSize, v.UncompressedSize + 5 * 18);
      }
    EXPECT_EQ(found, 2);
  }
}

TEST(ZipParallel, EachPieceIsPrimedWithTheInputBeforeIt) {
  // A block of noise repeated: without the primer every piece would pay for the block again.
  // zlib primes its pieces; libdeflate has no primer and pays that price.
  TEngineScope zlib(deZlib);
  TFixture f;
  const std::string block = RandomBytes(20000, 8);
  std::string data;
  while (data.size() < static_cast<size_t>(4 * TZip::PieceSize))
    data += block;
  WriteFile(f.Src / "repeated.bin", data);
  f.Zip.SetWorkerThreads(2);
  ASSERT_EQ(f.Zip.BuildArchive(), 1);
  TArchiveView a = ReadArchive(f.Archive);
  ASSERT_EQ(a.Entries.size(), 1u);
  // Against the file deflated as one stream: the pieces cost only their flush markers.
  uLongf whole = compressBound(static_cast<uLong>(data.size()));
  std::string packed(whole, '\0');
  ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &whole,
                      reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                      6),
            Z_OK);
  EXPECT_LT(a.Entries[0].CompressedSize, whole + whole / 200 + 64);
  EXPECT_EQ(f.Readers(), "");
}

TEST(ZipParallel, TheFileBarFollowsWhatTheEngineHasTaken) {
  // With one file, the file's share and the run's share are the same figure; a bar computed
  // from the read position would run ahead of the run's.
  for (size_t size : {size_t{500000}, static_cast<size_t>(5 * TZip::PieceSize + 17)}) {
    SCOPED_TRACE(size);
    TFixture f;
    WriteFile(f.Src / "only.txt", Words(size, 9));
    f.Zip.SetWorkerThreads(2);
    ASSERT_EQ(f.Zip.BuildArchive(), 1);
    const auto& p = f.Events.Progress;
    ASSERT_GE(p.size(), 2u);
    for (size_t i = 0; i + 1 < p.size(); ++i)
      EXPECT_EQ(p[i].first, p[i].second) << i;
    EXPECT_EQ(p[p.size() - 2], (std::pair<int, int>{100, 100}));
  }
}

TEST(ZipParallel, TheBarsMoveAtLeastEveryTenthOfASecondOnALargeFile) {
  TFixture f;
  WriteFile(f.Src / "large.txt", Words(static_cast<size_t>(24 * TZip::PieceSize), 10));
  f.Zip.DeflateType = dtDeflateX; // the slowest level, so that pieces take long
  f.Zip.SetWorkerThreads(1);
  // Each event with the wall clock and the processor time the process has used: a machine
  // busy with others stretches the first, not the second.
  std::vector<std::pair<Clock::time_point, int64_t>> at;
  auto note = [&] {
    timespec cpu{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    at.emplace_back(Clock::now(), int64_t{cpu.tv_sec} * 1000 + cpu.tv_nsec / 1000000);
  };
  f.Events.OnBegin = [&](const std::string&, int, bool&) { note(); };
  f.Events.OnProgress = [&](int, int) { note(); };
  ASSERT_EQ(f.Zip.BuildArchive(), 1);
  ASSERT_GE(at.size(), 3u);
  int64_t worstWall = 0, worstWork = 0;
  std::string slow; // every gap past half the limit, to tell a slow loop from one stall
  for (size_t i = 1; i < at.size(); ++i) {
    const int64_t wall = Ms(at[i].first - at[i - 1].first);
    const int64_t work = at[i].second - at[i - 1].second;
    worstWall = std::max(worstWall, wall);
    worstWork = std::max(worstWork, work);
    if (wall > 50)
      slow += " #" + std::to_string(i) + ":" + std::to_string(wall) + "ms/" + std::to_string(work) +
              "ms";
  }
  // The builder reports every 50 ms of the clock. Between two reports its two threads (the
  // run and one worker) can do at most twice that much work, however loaded the machine; a
  // bar that moved only once a piece is done (more than half a second of work here) fails.
  // The clock itself is held only to a generous bound: another's load stretches it.
  EXPECT_LE(worstWork, 300) << at.size() << " events, gaps over 50 ms (clock/work):" << slow;
  EXPECT_LE(worstWall, 2000) << at.size() << " events, gaps over 50 ms (clock/work):" << slow;
}

TEST(ZipParallel, ACancelMidFileStopsPromptlyAndKeepsTheEarlierArchive) {
  TFixture f;
  WriteFile(f.Archive, "an earlier archive");
  WriteFile(f.Src / "large.txt", Words(static_cast<size_t>(48 * TZip::PieceSize), 11));
  WriteFile(f.Src / "later.txt", "never reached");
  f.Zip.DeflateType = dtDeflateX;
  f.Zip.SetWorkerThreads(2);
  Clock::time_point cancelled{};
  int began = 0;
  f.Events.OnBegin = [&](const std::string&, int, bool&) { ++began; };
  f.Events.OnProgress = [&](int byFile, int) {
    if (byFile >= 10 && cancelled == Clock::time_point{}) {
      cancelled = Clock::now();
      f.Zip.Cancel();
    }
  };
  EXPECT_EQ(f.Zip.BuildArchive(), 0);
  const Clock::time_point ended = Clock::now();
  ASSERT_NE(cancelled, Clock::time_point{}) << "the run ended before the cancel";
  EXPECT_LE(Ms(ended - cancelled), 500);
  EXPECT_EQ(began, 1);
  EXPECT_EQ(f.Events.ErrorCodes(), "");
  EXPECT_EQ(ReadFile(f.Archive), "an earlier archive");
  EXPECT_EQ(TempLeftovers(), std::vector<std::string>{});
}

TEST(ZipParallel, AFileReadEarlyThatChangesBeforeItsTurnIsPackedAsItIsThen) {
  // Files are read ahead (whole, in pieces) while earlier ones are deflated; one rewritten
  // (same size) or emptied meanwhile must be packed with what it holds at its turn.
  TFixture f;
  // Some files are of three pieces; rewritten, they keep their first piece.
  const auto content = [](int i, unsigned seed) {
    if (i % 5 != 4) return Words(30000, seed);
    const auto piece = static_cast<size_t>(TZip::PieceSize);
    return Words(piece, 20u + unsigned(i)) + Words(piece + 777, seed);
  };
  for (int i = 0; i < 12; ++i)
    WriteFile(f.Src / ("f" + std::to_string(10 + i)), content(i, 20u + unsigned(i)));
  f.Zip.SetWorkerThreads(2);
  std::set<std::string> begun;
  f.Events.OnBegin = [&](const std::string& name, int count, bool&) {
    begun.insert(name);
    if (count != 2) return;
    // Every file still to come, some of them read already: new bytes, one emptied.
    bool first = true;
    for (int i = 0; i < 12; ++i) {
      const std::string path = f.Src / ("f" + std::to_string(10 + i));
      if (begun.count(path)) continue;
      WriteFile(path, first ? std::string() : content(i, 99u + unsigned(i)));
      first = false;
    }
  };
  ASSERT_EQ(f.Zip.BuildArchive(), 12);
  EXPECT_EQ(f.Events.ErrorCodes(), "");
  EXPECT_EQ(f.Readers(), "");
}
