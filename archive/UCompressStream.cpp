#include "archive/UCompressStream.h"

#include "base/UfnDesktop.h"

#include <vector>
#include <zlib.h>

struct TCompressStream::TEngine {
  z_stream Z{};
};

int DeflateLevel(TDeflateType type) {
  switch (type) {
  case dtDeflateF:
    return 1;
  case dtDeflateX:
    return 9;
  case dtDeflateN:
    return 6;
  case dtDeflateS:
    break;
  }
  return 0;
}

TCompressStream::TCompressStream(TStream& target, TDeflateType type, unsigned char* outputBuffer)
    : FTarget(target), FOutputPosition(target.Position()), FEngine(std::make_unique<TEngine>()),
      FOwnBuffer(outputBuffer ? nullptr : new unsigned char[OutputBlockSize]),
      FBuffer(outputBuffer ? outputBuffer : FOwnBuffer.get()) {
  z_stream& z = FEngine->Z;
  int rc = deflateInit2(&z, DeflateLevel(type), Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  if (rc != Z_OK) {
    FEngine.reset();
    throw ECompressionError(Format("Compression engine could not be started (%d)", rc));
  }
  z.next_out = FBuffer;
  z.avail_out = OutputBlockSize;
}

TCompressStream::~TCompressStream() {
  if (FEngine) deflateEnd(&FEngine->Z);
}

void TCompressStream::Lend(int64_t* bytesToDo, const bool* cancel, TCompressProgress progress) {
  FBytesToDo = bytesToDo;
  FCancel = cancel;
  FProgress = std::move(progress);
}

void TCompressStream::MoveTargetBack() {
  if (FTarget.Position() != FOutputPosition) FTarget.SetPosition(FOutputPosition);
}

void TCompressStream::FlushOutput(int64_t count) {
  z_stream& z = FEngine->Z;
  if (count > 0) FTarget.WriteBuffer(FBuffer, count);
  z.next_out = FBuffer;
  z.avail_out = OutputBlockSize;
  FOutputPosition = FTarget.Position();
}

int64_t TCompressStream::Write(const void* buffer, int64_t count) {
  if (FFinished) throw EStreamError("Compression stream already finished");
  if (count <= 0) return 0;
  z_stream& z = FEngine->Z;
  // The chunks the builder hands in are far below 4 GiB; bigger ones go in pieces.
  const unsigned char* p = static_cast<const unsigned char*>(buffer);
  int64_t left = count;
  MoveTargetBack();
  while (left > 0 && !(FCancel && *FCancel)) {
    uInt piece = static_cast<uInt>(std::min<int64_t>(left, 1 << 30));
    z.next_in = const_cast<unsigned char*>(p);
    z.avail_in = piece;
    while (z.avail_in > 0 && !(FCancel && *FCancel)) {
      if (FBytesToDo) *FBytesToDo -= z.avail_in;
      const unsigned char* before = z.next_in;
      int rc = deflate(&z, Z_NO_FLUSH);
      if (rc == Z_STREAM_ERROR) throw ECompressionError("Compression engine failed");
      uInt taken = static_cast<uInt>(z.next_in - before);
      FCRC = ~static_cast<uint32_t>(crc32(~FCRC & 0xFFFFFFFFu, before, taken));
      FBytesIn += taken;
      if (z.avail_out == 0) {
        if (FBytesToDo) *FBytesToDo += z.avail_in;
        FlushOutput(OutputBlockSize);
      }
      if (FProgress) FProgress(*this);
    }
    uInt used = static_cast<uInt>(z.next_in - p);
    p += used;
    left -= used;
    if (used < piece) break; // cancelled
  }
  return count;
}

int64_t TCompressStream::Read(void*, int64_t) {
  throw EStreamError("Invalid stream operation");
}

int64_t TCompressStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == soCurrent) return FBytesIn;
  return -1;
}

void TCompressStream::Finish() {
  if (FFinished) return;
  FFinished = true;
  z_stream& z = FEngine->Z;
  MoveTargetBack();
  z.next_in = nullptr;
  z.avail_in = 0;
  int rc = deflate(&z, Z_FINISH);
  for (;;) {
    if (rc == Z_STREAM_ERROR) throw ECompressionError("Compression engine failed");
    if (rc == Z_STREAM_END || z.avail_out != 0 || (FCancel && *FCancel)) {
      FlushOutput(OutputBlockSize - z.avail_out);
      break;
    }
    FlushOutput(OutputBlockSize);
    rc = deflate(&z, Z_FINISH);
  }
}

bool DeflateFile(TStream& source, TStream& target, TDeflateType type, uint32_t& crc,
                 int64_t& bytesToDo, const bool& cancel, const TCompressProgress& progress,
                 unsigned char* chunk, unsigned char* outputBuffer) {
  TCompressStream stream(target, type, outputBuffer);
  stream.Lend(&bytesToDo, &cancel, progress);
  std::unique_ptr<unsigned char[]> ownChunk(
      chunk ? nullptr : new unsigned char[TCompressStream::InputChunkSize]);
  if (!chunk) chunk = ownChunk.get();
  source.SetPosition(0);
  while (!cancel) {
    Desktop().ProcessMessages();
    if (cancel) break;
    int64_t n = source.Read(chunk, TCompressStream::InputChunkSize);
    if (n <= 0) break;
    stream.Write(chunk, n);
  }
  crc = stream.RunningCRC() ^ 0xFFFFFFFFu;
  stream.Finish();
  return !cancel;
}
