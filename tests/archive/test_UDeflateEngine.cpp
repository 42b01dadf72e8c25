// The pieces' engines: pieces of any engine join into one stream that inflates to the input,
// libdeflate's final block is opened at every bit position, and incompressible data is stored.
#include "archive/UDeflateEngine.h"

#include "archive/UCompressStream.h"

#include "ZipReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <zlib.h>

using testing_support::RandomBytes;

namespace {

std::vector<TDeflateEngine> Engines() {
  std::vector<TDeflateEngine> all;
  for (TDeflateEngine e : {deZlib, deLibdeflate})
    if (DeflateEngineAvailable(e)) all.push_back(e);
  return all;
}

struct TEngineScope {
  TDeflateEngine Old = PieceEngine();
  explicit TEngineScope(TDeflateEngine e) { SetPieceEngine(e); }
  ~TEngineScope() { SetPieceEngine(Old); }
};

std::string Text(size_t n, unsigned seed) {
  static const char* const words[] = {"trunk ", "revision ", "node-id ", "props\n", "cpath "};
  std::string s;
  unsigned x = seed;
  while (s.size() < n) {
    x = x * 1103515245u + 12345u;
    s += words[(x >> 16) % 5];
  }
  s.resize(n);
  return s;
}

// Deflates `in` as the builder does: pieces of `pieceSize`, each primed with the 32 KiB before
// it, joined in order. `crc` gets the pieces' CRCs combined.
std::string Pieces(const std::string& in, size_t pieceSize, TDeflateType type, uint32_t& crc,
                   std::vector<bool>* stored = nullptr) {
  std::string out;
  crc = 0;
  size_t at = 0;
  do {
    TDeflatePiece p;
    p.Type = type;
    p.DictSize = std::min<size_t>(at, 32768);
    const size_t n = std::min(pieceSize, in.size() - at);
    p.Input.assign(in.begin() + static_cast<std::ptrdiff_t>(at - p.DictSize),
                   in.begin() + static_cast<std::ptrdiff_t>(at + n));
    p.Last = at + n == in.size();
    DeflatePiece(p);
    out.append(p.Output.begin(), p.Output.end());
    crc = static_cast<uint32_t>(crc32_combine(crc, p.CRC, static_cast<z_off_t>(n)));
    if (stored)
      // Stored blocks of the largest size, each with its five bytes of header.
      stored->push_back(p.Output.size() == n + 5 * ((n + 65534) / 65535) && n > 65535 &&
                        p.Output[0] == 0 && p.Output[1] == 0xFF && p.Output[2] == 0xFF);
    at += n;
  } while (at < in.size());
  return out;
}

uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

} // namespace

TEST(DeflateEngine, PiecesOfEveryEngineAndLevelJoinIntoTheInputAndTheSameBytesEachTime) {
  const std::string block = RandomBytes(4096, 2);
  std::string repeated;
  while (repeated.size() < 300000)
    repeated += block;
  const std::string in =
      Text(700000, 1) + RandomBytes(400000, 3) + repeated + Text(90001, 4) + RandomBytes(17, 5);
  for (TDeflateEngine e : Engines())
    for (TDeflateType type : {dtDeflateF, dtDeflateN, dtDeflateX}) {
      SCOPED_TRACE(std::string(DeflateEngineName(e)) + " level " +
                   std::to_string(DeflateLevel(type)));
      TEngineScope scope(e);
      uint32_t crc = 0, again = 0;
      const std::string out = Pieces(in, 262144, type, crc);
      EXPECT_EQ(ziptest::Inflate(out), in);
      EXPECT_EQ(crc, Crc(in));
      EXPECT_TRUE(Pieces(in, 262144, type, again) == out);
      EXPECT_LT(out.size(), in.size() * 2 / 3);
    }
}

TEST(DeflateEngine, TheFinalBlockOpensWhereverItEndsInItsLastByte) {
  if (!DeflateEngineAvailable(deLibdeflate)) GTEST_SKIP() << "built without libdeflate";
  // Short inputs of every length end the final block at every bit of the last byte; each is
  // followed by a stored final block, which inflates only when the marker was placed right.
  const std::string noise = RandomBytes(400, 6);
  int lengths = 0;
  for (size_t n = 0; n < 400; n += 3)
    for (int level : {1, 6, 12}) {
      const std::string in = noise.substr(0, n / 2) + Text(n - n / 2, static_cast<unsigned>(n));
      std::vector<unsigned char> out;
      LibdeflatePiece(reinterpret_cast<const unsigned char*>(in.data()), in.size(), level, false,
                      out);
      AppendStoredBlocks(out, reinterpret_cast<const unsigned char*>("tail"), 4, true);
      ASSERT_EQ(ziptest::Inflate(std::string(out.begin(), out.end())), in + "tail")
          << n << " bytes at level " << level;
      ++lengths;
    }
  EXPECT_EQ(lengths, 134 * 3);
}

TEST(DeflateEngine, IncompressibleDataIsStoredAndAnythingThatPacksIsDeflated) {
  for (TDeflateEngine e : Engines()) {
    SCOPED_TRACE(DeflateEngineName(e));
    TEngineScope scope(e);
    // Noise, noise repeated within the window, text and a file's worth of zeros.
    const std::string noise = RandomBytes(1 << 20, 7);
    std::string repeated;
    while (repeated.size() < (1 << 20))
      repeated += noise.substr(0, 20000);
    repeated.resize(1 << 20);
    const std::string in = noise + repeated + Text(1 << 20, 8) + std::string(1 << 20, '\0');
    std::vector<bool> stored;
    uint32_t crc = 0;
    const std::string out = Pieces(in, 1 << 20, dtDeflateN, crc, &stored);
    EXPECT_EQ(stored, (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(ziptest::Inflate(out), in);
    EXPECT_EQ(crc, Crc(in));
  }
  auto probe = [](const std::string& s) {
    return LooksIncompressible(reinterpret_cast<const unsigned char*>(s.data()), s.size());
  };
  EXPECT_FALSE(probe(RandomBytes(10000, 9))) << "too small to be worth a probe";
  EXPECT_TRUE(probe(RandomBytes(100000, 9)));
  // Noise with a compressible stretch in the middle sample only is still deflated.
  EXPECT_FALSE(probe(RandomBytes(200000, 10) + std::string(100000, 'a') + RandomBytes(200000, 11)));
  // Noise with a few runs saves a little (the fastest level then does); text saves plainly.
  auto saving = [](const std::string& s) {
    return EstimatedSaving(reinterpret_cast<const unsigned char*>(s.data()), s.size());
  };
  std::string mild;
  for (int i = 0; i < 100; ++i)
    mild += RandomBytes(9000, 20u + unsigned(i)) + std::string(400, 'z');
  EXPECT_GT(saving(mild), MinSaving);
  EXPECT_LT(saving(mild), LowSaving);
  EXPECT_EQ(saving(Text(1 << 20, 21)), 1.0);
}

TEST(DeflateEngine, ABrokenStreamIsAnErrorNotAPiece) {
  std::vector<unsigned char> junk = {0x07, 0xFF, 0x00, 0x12};
  EXPECT_THROW(OpenFinalBlock(junk, 10), ECompressionError);
  // A stream that inflates to another size than the piece's.
  std::vector<unsigned char> empty = {0x03, 0x00};
  EXPECT_THROW(OpenFinalBlock(empty, 1), ECompressionError);
  if (!DeflateEngineAvailable(deLibdeflate)) {
    EXPECT_THROW(SetPieceEngine(deLibdeflate), ECompressionError);
  }
}
