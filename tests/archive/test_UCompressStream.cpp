#include "archive/UCompressStream.h"

#include "ZipReader.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"

#include <gtest/gtest.h>
#include <zlib.h>

using testing_support::RandomBytes;

namespace {

std::string Text(size_t n) {
  std::string s;
  for (int i = 0; s.size() < n; ++i)
    s += "line " + std::to_string(i % 977) + " of the text\n";
  s.resize(n);
  return s;
}

uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

TMemoryStream Source(const std::string& s) {
  TMemoryStream m;
  m.Write(s.data(), static_cast<int64_t>(s.size()));
  return m;
}

std::string Bytes(const TMemoryStream& m) {
  return std::string(m.Memory(), m.Data().size());
}

// A target that records every write it is given.
class TRecordingStream : public TMemoryStream {
public:
  std::vector<std::pair<int64_t, int64_t>> Writes; // position, length
  int FailAt = -1;                                 // the write that fails (0-based)
  int64_t Write(const void* buffer, int64_t count) override {
    if (static_cast<int>(Writes.size()) == FailAt) throw EWriteError("Stream write error");
    Writes.emplace_back(Position(), count);
    return TMemoryStream::Write(buffer, count);
  }
};

// zlib driven directly with the engine parameters the archive format needs.
std::string Reference(const std::string& in, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(in.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct TRun {
  TRecordingStream Target;
  uint32_t CRC = 0;
  int64_t ToDo = 0;
  bool Cancel = false;
  int Progress = 0;
  bool Result = false;
  void Deflate(const std::string& in, TDeflateType type = dtDeflateN,
               std::function<void(TCompressStream&)> onProgress = {}) {
    TMemoryStream src = Source(in);
    ToDo = static_cast<int64_t>(in.size());
    Result = DeflateFile(src, Target, type, CRC, ToDo, Cancel, [&](TCompressStream& s) {
      ++Progress;
      if (onProgress) onProgress(s);
    });
  }
};

} // namespace

TEST(CompressStream, EmptySourceGivesTheTwoByteFinalBlockAndCrcZero) {
  TRun r;
  r.Deflate("");
  EXPECT_TRUE(r.Result);
  EXPECT_EQ(Bytes(r.Target), std::string("\x03\x00", 2));
  EXPECT_EQ(r.CRC, 0u);
  EXPECT_EQ(r.Progress, 0);
  EXPECT_EQ(ziptest::Inflate(Bytes(r.Target)), "");
}

TEST(CompressStream, OutputIsZlibsOwnRawDeflateAtTheTypesLevel) {
  const std::string in = Text(300000) + RandomBytes(50000, 1);
  for (auto [type, level] : {std::pair{dtDeflateF, 1}, {dtDeflateN, 6}, {dtDeflateX, 9}}) {
    TRun r;
    r.Deflate(in, type);
    EXPECT_EQ(Bytes(r.Target), Reference(in, level)) << "level " << level;
    EXPECT_EQ(r.CRC, Crc(in));
    EXPECT_EQ(r.ToDo, 0);
  }
}

TEST(CompressStream, OneFullChunkIsOneEngineRunAndOneTargetWrite) {
  TScriptedPrompt prompt;
  const std::string in = Text(131072);
  TRun r;
  std::vector<int64_t> positions;
  r.Deflate(in, dtDeflateN, [&](TCompressStream& s) { positions.push_back(s.Position()); });
  EXPECT_EQ(positions, std::vector<int64_t>{131072});
  ASSERT_EQ(r.Target.Writes.size(), 1u); // the small output goes out when finishing
  EXPECT_EQ(r.ToDo, 0);
  EXPECT_EQ(prompt.Pumps, 2); // before the chunk, and before the read that finds the end
  EXPECT_EQ(ziptest::Inflate(Bytes(r.Target)), in);
}

TEST(CompressStream, LongOutputGoesOutInFullBlocksThenOnePartialBlockBackToBack) {
  TScriptedPrompt prompt;
  const std::string in = RandomBytes(3 * 131072 + 5000, 2);
  TRun r;
  std::vector<int64_t> toDo;
  r.Deflate(in, dtDeflateN, [&](TCompressStream&) { toDo.push_back(r.ToDo); });
  ASSERT_GE(r.Target.Writes.size(), 4u);
  int64_t expectPos = 0;
  for (size_t i = 0; i < r.Target.Writes.size(); ++i) {
    EXPECT_EQ(r.Target.Writes[i].first, expectPos);
    if (i + 1 < r.Target.Writes.size()) {
      EXPECT_EQ(r.Target.Writes[i].second, 131070);
    }
    EXPECT_LE(r.Target.Writes[i].second, 131070);
    expectPos += r.Target.Writes[i].second;
  }
  EXPECT_EQ(prompt.Pumps, 5); // four chunks and the end
  // The count of bytes still to do only ever falls, and ends at exactly zero.
  for (size_t i = 1; i < toDo.size(); ++i)
    EXPECT_LE(toDo[i], toDo[i - 1]);
  EXPECT_EQ(r.ToDo, 0);
  EXPECT_EQ(r.CRC, Crc(in));
  EXPECT_EQ(ziptest::Inflate(Bytes(r.Target)), in);
}

TEST(CompressStream, OutputStaysAtItsPlaceWhenTheTargetIsMovedMeanwhile) {
  const std::string in = RandomBytes(400000, 3);
  TMemoryStream target;
  target.Write("HEADER", 6);
  {
    TCompressStream s(target, dtDeflateN);
    for (size_t at = 0; at < in.size(); at += 50000) {
      s.Write(in.data() + at, static_cast<int64_t>(std::min<size_t>(50000, in.size() - at)));
      target.SetPosition(2); // someone else writes elsewhere
      target.Write("xy", 2);
    }
    s.Finish();
    EXPECT_EQ(s.Position(), static_cast<int64_t>(in.size()));
    EXPECT_EQ(s.RunningCRC() ^ 0xFFFFFFFFu, Crc(in));
  }
  std::string all = Bytes(target);
  EXPECT_EQ(all.substr(0, 6), "HExyER");
  EXPECT_EQ(ziptest::Inflate(all.substr(6)), in);
}

TEST(CompressStream, CancelStopsFeedingButStillEndsTheStream) {
  const std::string in = Text(1000000);
  TRun r;
  r.Deflate(in, dtDeflateN, [&](TCompressStream& s) {
    if (s.Position() >= 2 * 131072) r.Cancel = true;
  });
  EXPECT_FALSE(r.Result);
  std::string got = ziptest::Inflate(Bytes(r.Target));
  EXPECT_EQ(got, in.substr(0, 2 * 131072));
  EXPECT_EQ(r.ToDo, static_cast<int64_t>(in.size() - got.size()));
  EXPECT_EQ(r.CRC, Crc(got));
}

TEST(CompressStream, OnlyThePositionCanBeAskedAndNothingRead) {
  TMemoryStream target;
  TCompressStream s(target, dtDeflateF);
  s.Write("abc", 3);
  EXPECT_EQ(s.Position(), 3);
  EXPECT_EQ(s.Seek(0, soBeginning), -1);
  EXPECT_EQ(s.Seek(1, soCurrent), -1);
  EXPECT_EQ(s.Seek(0, soEnd), -1);
  char c;
  EXPECT_THROW(s.Read(&c, 1), EStreamError);
  s.Finish();
  EXPECT_THROW(s.Write("d", 1), EStreamError);
}

TEST(CompressStream, AFailedTargetWriteReachesTheCaller) {
  TRun r;
  r.Target.FailAt = 1;
  EXPECT_THROW(r.Deflate(RandomBytes(600000, 4)), EWriteError);
}
