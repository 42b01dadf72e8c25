// The pieces of a large file on any input, any engine, level and piece size: joined in order
// they must inflate to exactly the input, with the CRC-32 of the input. Now and then the input
// is taken as a Deflate stream to open instead: that must fail cleanly or stay valid.
#include "archive/UCompressStream.h"
#include "archive/UDeflateEngine.h"
#include "fuzz/FuzzInflate.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <zlib.h>

namespace {

void OpenStream(const uint8_t* data, size_t size) {
  std::string plain;
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const bool valid = InflateRaw(raw, plain);
  std::vector<unsigned char> stream(data, data + size);
  try {
    OpenFinalBlock(stream, plain.size());
  } catch (const ECompressionError&) {
    if (valid) std::abort(); // only a broken stream may be refused
    return;
  }
  AppendStoredBlocks(stream, reinterpret_cast<const unsigned char*>("end"), 3, true);
  std::string joined;
  if (!InflateRaw(std::string(stream.begin(), stream.end()), joined) || joined != plain + "end")
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  if (data[0] == 0xFF) {
    OpenStream(data + 1, size - 1);
    return 0;
  }
  const TDeflateEngine engine =
      (data[0] & 1) && DeflateEngineAvailable(deLibdeflate) ? deLibdeflate : deZlib;
  SetPieceEngine(engine);
  const TDeflateType type = static_cast<TDeflateType>(1 + (data[0] >> 1) % 3);
  const size_t pieceSize = 1 + data[1] * 257u + data[2];
  std::string in(reinterpret_cast<const char*>(data + 3), size - 3);
  if (data[0] & 0x80)
    for (int i = 0; i < 5 && in.size() < 200000; ++i)
      in += in;

  std::string out;
  uint32_t crc = 0;
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
    at += n;
  } while (at < in.size());
  std::string back;
  const uint32_t expected = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(in.data()), static_cast<uInt>(in.size())));
  if (!InflateRaw(out, back) || back != in || crc != expected) std::abort();
  return 0;
}
