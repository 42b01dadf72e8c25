#include "archive/UDeflateEngine.h"

#include "archive/UCompressStream.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <memory>
#include <zlib.h>

#ifdef ORLENWAY_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace {

#ifdef ORLENWAY_HAVE_LIBDEFLATE
std::atomic<TDeflateEngine> GEngine{deLibdeflate};

struct TCompressorFree {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// One compressor per worker thread and level, kept for the thread's life: setting one up costs
// more than deflating a small file.
libdeflate_compressor* Compressor(int level) {
  thread_local std::array<std::unique_ptr<libdeflate_compressor, TCompressorFree>, 13> cache;
  if (level < 0 || level > 12) throw ECompressionError("Compression engine failed");
  auto& slot = cache[static_cast<size_t>(level)];
  if (!slot) slot.reset(libdeflate_alloc_compressor(level));
  if (!slot) throw ECompressionError("Compression engine could not be started");
  return slot.get();
}
#else
std::atomic<TDeflateEngine> GEngine{deZlib};
#endif

constexpr size_t ProbeMin = 16384;   // smaller data is simply deflated
constexpr size_t SampleSize = 32768; // a sample sees as far back as a Deflate match can
constexpr size_t Samples = 3;
// The share of the piece that the byte histograms of its stretches may save at most.
constexpr double MaxHistogramSaving = 0.01;
constexpr size_t StretchSize = 8192;

// Bits per byte of the byte histogram: text and most tables are far below 8, compressed data
// close to it.
double ByteEntropy(const unsigned char* data, size_t size) {
  std::array<size_t, 256> count{};
  for (size_t i = 0; i < size; ++i)
    ++count[data[i]];
  double bits = 0;
  unsigned seen = 0;
  for (size_t c : count)
    if (c) {
      const double p = static_cast<double>(c) / static_cast<double>(size);
      bits -= p * std::log2(p);
      ++seen;
    }
  // A short sample of noise shows fewer bits than it has; this corrects for most of that.
  return bits + (seen - 1) / (2.0 * static_cast<double>(size) * std::log(2.0));
}

size_t FastDeflatedSize(const unsigned char* data, size_t size) {
#ifdef ORLENWAY_HAVE_LIBDEFLATE
  thread_local std::vector<unsigned char> out;
  libdeflate_compressor* c = Compressor(1);
  out.resize(libdeflate_deflate_compress_bound(c, size));
  const size_t n = libdeflate_deflate_compress(c, data, size, out.data(), out.size());
  return n ? n : size;
#else
  z_stream z{};
  if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
  thread_local std::vector<unsigned char> out;
  out.resize(deflateBound(&z, static_cast<uLong>(size)));
  z.next_in = const_cast<unsigned char*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  const size_t n = rc == Z_STREAM_END ? z.total_out : 0;
  deflateEnd(&z);
  return n;
#endif
}

} // namespace

bool DeflateEngineAvailable(TDeflateEngine engine) {
#ifdef ORLENWAY_HAVE_LIBDEFLATE
  return engine == deZlib || engine == deLibdeflate;
#else
  return engine == deZlib;
#endif
}

const char* DeflateEngineName(TDeflateEngine engine) {
  return engine == deLibdeflate ? "libdeflate" : "zlib";
}

TDeflateEngine PieceEngine() {
  return GEngine.load();
}

void SetPieceEngine(TDeflateEngine engine) {
  if (!DeflateEngineAvailable(engine))
    throw ECompressionError(std::string("Compression engine not built in: ") +
                            DeflateEngineName(engine));
  GEngine = engine;
}

uint32_t PieceCRC(uint32_t crc, const unsigned char* data, size_t size) {
#ifdef ORLENWAY_HAVE_LIBDEFLATE
  return libdeflate_crc32(crc, data, size);
#else
  // zlib takes at most 4 GiB at a time; pieces are far smaller, but stay safe.
  uLong c = crc;
  while (size > 0) {
    const uInt n = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
    c = crc32(c, data, n);
    data += n;
    size -= n;
  }
  return static_cast<uint32_t>(c);
#endif
}

double EstimatedSaving(const unsigned char* data, size_t size) {
  if (size < ProbeMin) return 1.0;
  // The stretches' byte histograms together must promise little saving before the samples are
  // worth deflating: a piece of a repository's revision file mixes compressed deltas with plain
  // text, which deflating still shrinks. A histogram costs a tenth of deflating, and text gives
  // up within a few dozen stretches.
  const double bits = 8.0 * static_cast<double>(size);
  double saved = 0; // bits the byte histograms alone would save
  for (size_t at = 0; at < size;) {
    const size_t n = size - at < 2 * StretchSize ? size - at : StretchSize;
    saved += std::max(0.0, 8.0 - ByteEntropy(data + at, n)) * static_cast<double>(n);
    if (saved > LowSaving * bits) return 1.0;
    at += n;
  }
  // Samples at the start, the middle and the end, each no longer than a third of the data.
  const size_t sample = std::min(SampleSize, size / Samples);
  size_t in = 0, out = 0;
  for (size_t i = 0; i < Samples; ++i) {
    const unsigned char* at = data + (size - sample) * i / (Samples - 1);
    in += sample;
    out += FastDeflatedSize(at, sample);
  }
  const double sampled = 1.0 - static_cast<double>(out) / static_cast<double>(in);
  // Only data whose histograms are flat too is left uncompressed.
  return saved > MaxHistogramSaving * bits ? std::max(sampled, MinSaving) : sampled;
}

bool LooksIncompressible(const unsigned char* data, size_t size) {
  return EstimatedSaving(data, size) < MinSaving;
}

void AppendStoredBlocks(std::vector<unsigned char>& out, const unsigned char* data, size_t size,
                        bool last) {
  constexpr size_t MaxBlock = 65535;
  out.reserve(out.size() + size + (size / MaxBlock + 1) * 5);
  do {
    const size_t n = std::min(size, MaxBlock);
    const bool final = last && n == size;
    out.push_back(final ? 1 : 0); // BFINAL, BTYPE 00, then padding to the byte
    out.push_back(static_cast<unsigned char>(n & 0xFF));
    out.push_back(static_cast<unsigned char>(n >> 8));
    out.push_back(static_cast<unsigned char>(~n & 0xFF));
    out.push_back(static_cast<unsigned char>((~n >> 8) & 0xFF));
    out.insert(out.end(), data, data + n);
    data += n;
    size -= n;
  } while (size > 0);
}

void OpenFinalBlock(std::vector<unsigned char>& stream, size_t size) {
  // zlib's inflate stops at each block's end when asked to, and tells where in the input it is
  // to the bit, and whether that block was the final one.
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK)
    throw ECompressionError("Compression engine could not be started");
  struct TEnd {
    z_stream& Z;
    ~TEnd() { inflateEnd(&Z); }
  } end{z};
  thread_local std::vector<unsigned char> scratch;
  scratch.resize(size + 1);
  z.next_in = stream.data();
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = scratch.data();
  z.avail_out = static_cast<uInt>(scratch.size());
  uint64_t blockStart = 0, blockEnd = 0;
  for (;;) {
    const int rc = inflate(&z, Z_BLOCK);
    if (rc != Z_OK) throw ECompressionError("Compression engine wrote a broken stream");
    const bool atBoundary = (z.data_type & 128) != 0;
    if (!atBoundary) throw ECompressionError("Compression engine wrote a broken stream");
    const uint64_t bit = uint64_t{z.total_in} * 8 - static_cast<unsigned>(z.data_type & 7);
    if (z.data_type & 64) {
      blockEnd = bit;
      break;
    }
    blockStart = bit;
  }
  if (z.total_out != size) throw ECompressionError("Compression engine wrote a broken stream");
  stream[blockStart / 8] =
      static_cast<unsigned char>(stream[blockStart / 8] & ~(1u << (blockStart % 8)));
  stream.resize(static_cast<size_t>((blockEnd + 7) / 8));
  const unsigned used = static_cast<unsigned>(blockEnd % 8);
  if (used) stream.back() = static_cast<unsigned char>(stream.back() & ((1u << used) - 1));
  // The empty stored block: three zero bits, zeros to the byte, then LEN 0 and NLEN 0xFFFF.
  if (used == 0 || used > 5) stream.push_back(0);
  const unsigned char marker[] = {0x00, 0x00, 0xFF, 0xFF};
  stream.insert(stream.end(), marker, marker + 4);
}

void LibdeflatePiece(const unsigned char* data, size_t size, int level, bool last,
                     std::vector<unsigned char>& out) {
#ifdef ORLENWAY_HAVE_LIBDEFLATE
  libdeflate_compressor* c = Compressor(level);
  out.resize(libdeflate_deflate_compress_bound(c, size));
  const size_t n = libdeflate_deflate_compress(c, data, size, out.data(), out.size());
  if (n == 0) throw ECompressionError("Compression engine failed");
  out.resize(n);
  if (!last) OpenFinalBlock(out, size);
#else
  (void)data;
  (void)size;
  (void)level;
  (void)last;
  out.clear();
  throw ECompressionError("Compression engine not built in: libdeflate");
#endif
}
