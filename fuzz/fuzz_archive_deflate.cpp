// The Deflate stream on any input, cut into any chunks, with its target moved between
// writes: the output must inflate to exactly the input and the CRC-32 must match zlib's.
#include "archive/UCompressStream.h"
#include "fuzz/FuzzInflate.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <zlib.h>

namespace {

std::string Inflate(const std::string& raw) {
  std::string out;
  if (!InflateRaw(raw, out)) std::abort();
  return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const TDeflateType type = static_cast<TDeflateType>(1 + data[0] % 3);
  const unsigned chunkUnit = 1u + data[1];
  // Repeat the input so that it also crosses the output block size now and then.
  std::string in(reinterpret_cast<const char*>(data + 2), size - 2);
  if (data[0] & 0x80)
    for (int i = 0; i < 6 && in.size() < 300000; ++i)
      in += in;

  TMemoryStream target;
  target.Write("prefix", 6);
  int64_t toDo = static_cast<int64_t>(in.size());
  bool cancel = false;
  {
    TCompressStream s(target, type);
    s.Lend(&toDo, &cancel, {});
    size_t at = 0, step = 0;
    while (at < in.size()) {
      size_t n = std::min(in.size() - at, static_cast<size_t>(chunkUnit) * (1 + step++ % 7) * 97);
      s.Write(in.data() + at, static_cast<int64_t>(n));
      at += n;
      target.SetPosition(static_cast<int64_t>(step % 6)); // someone else moves the target
    }
    s.Finish();
    uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(in.data()), static_cast<uInt>(in.size())));
    if ((s.RunningCRC() ^ 0xFFFFFFFFu) != crc || s.Position() != static_cast<int64_t>(in.size()))
      std::abort();
  }
  if (toDo != 0) std::abort();
  std::string all(target.Memory(), target.Data().size());
  if (all.compare(0, 6, "prefix") != 0 || Inflate(all.substr(6)) != in) std::abort();
  return 0;
}
