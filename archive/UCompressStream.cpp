#include "archive/UCompressStream.h"

#include "archive/UDeflateEngine.h"
#include "base/UfnDesktop.h"

#include <algorithm>
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

namespace {

// zlib, primed with the input before the piece and fed in slices so that a cancel is seen
// within a slice's time.
void ZlibPiece(TDeflatePiece& piece, const std::atomic<bool>* stop) {
  z_stream z{};
  int rc = deflateInit2(&z, DeflateLevel(piece.Type), Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  if (rc != Z_OK)
    throw ECompressionError(Format("Compression engine could not be started (%d)", rc));
  struct TEnd {
    z_stream& Z;
    ~TEnd() { deflateEnd(&Z); }
  } end{z};
  unsigned char* data = piece.Input.data();
  const uInt size = static_cast<uInt>(piece.Input.size() - piece.DictSize);
  if (piece.DictSize > 0 &&
      deflateSetDictionary(&z, data, static_cast<uInt>(piece.DictSize)) != Z_OK)
    throw ECompressionError("Compression engine failed");
  // The bound covers the data; a sync flush adds a few bytes more, so there is room to grow.
  piece.Output.resize(deflateBound(&z, size) + 64);
  // Fed in slices, so that a cancel is seen within a slice's time.
  constexpr uInt Slice = 65536;
  z.next_in = data + piece.DictSize;
  uInt left = size;
  while (left > Slice) {
    if (stop && *stop) throw ECompressionError("Compression given up");
    z.avail_in = Slice;
    do {
      if (z.total_out + 64 > piece.Output.size()) piece.Output.resize(piece.Output.size() * 2);
      z.next_out = piece.Output.data() + z.total_out;
      z.avail_out = static_cast<uInt>(piece.Output.size() - z.total_out);
      if (deflate(&z, Z_NO_FLUSH) == Z_STREAM_ERROR)
        throw ECompressionError("Compression engine failed");
    } while (z.avail_in > 0 || z.avail_out == 0);
    left -= Slice;
  }
  z.avail_in = left;
  const int flush = piece.Last ? Z_FINISH : Z_SYNC_FLUSH;
  for (;;) {
    z.next_out = piece.Output.data() + z.total_out;
    z.avail_out = static_cast<uInt>(piece.Output.size() - z.total_out);
    rc = deflate(&z, flush);
    if (rc == Z_STREAM_ERROR) throw ECompressionError("Compression engine failed");
    if (piece.Last ? rc == Z_STREAM_END : (z.avail_in == 0 && z.avail_out > 0)) break;
    piece.Output.resize(piece.Output.size() * 2);
  }
  piece.Output.resize(z.total_out);
}

} // namespace

void DeflatePiece(TDeflatePiece& piece, const std::atomic<bool>* stop) {
  if (stop && *stop) throw ECompressionError("Compression given up");
  const unsigned char* data = piece.Input.data() + piece.DictSize;
  const size_t size = piece.Input.size() - piece.DictSize;
  piece.CRC = PieceCRC(0, data, size);
  piece.Output.clear();
  const double saving = EstimatedSaving(data, size);
  if (saving < MinSaving) AppendStoredBlocks(piece.Output, data, size, piece.Last);
  // libdeflate cannot give a piece up midway, and at level 9 it may take a quarter of a second
  // on one; the strongest type stays with zlib, fed in slices, so that a cancel stays prompt.
  else if (PieceEngine() == deLibdeflate && piece.Type != dtDeflateX)
    LibdeflatePiece(data, size, saving < LowSaving ? 1 : DeflateLevel(piece.Type), piece.Last,
                    piece.Output);
  else
    ZlibPiece(piece, stop);
}

TDeflatePool::TDeflatePool(unsigned threads) {
  threads = std::max(threads, 1u);
  try {
    for (unsigned i = 0; i < threads; ++i)
      FWorkers.emplace_back([this] { Work(); });
  } catch (...) {
    // Fewer threads than asked still do the work; none at all cannot.
    if (FWorkers.empty()) throw;
  }
}

TDeflatePool::~TDeflatePool() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FStop = true;
    FQueue.clear();
    FGiveUp = true;
  }
  FQueued.notify_all();
  for (std::thread& t : FWorkers)
    t.join();
}

void TDeflatePool::Submit(std::shared_ptr<TDeflatePiece> piece) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FQueue.push_back(std::move(piece));
  }
  FQueued.notify_one();
}

bool TDeflatePool::Wait(const TDeflatePiece& piece, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(FLock);
  if (!FFinished.wait_for(lock, timeout, [&] { return piece.Done; })) return false;
  if (!piece.Error.empty()) throw ECompressionError(piece.Error);
  return true;
}

void TDeflatePool::Drop() {
  std::lock_guard<std::mutex> lock(FLock);
  FQueue.clear();
  FGiveUp = true;
}

void TDeflatePool::Work() {
  for (;;) {
    std::shared_ptr<TDeflatePiece> piece;
    {
      std::unique_lock<std::mutex> lock(FLock);
      FQueued.wait(lock, [this] { return FStop || !FQueue.empty(); });
      if (FStop) return;
      piece = std::move(FQueue.front());
      FQueue.pop_front();
    }
    std::string error;
    try {
      DeflatePiece(*piece, &FGiveUp);
    } catch (const std::exception& x) {
      error = x.what();
      if (error.empty()) error = "Compression engine failed";
    }
    {
      std::lock_guard<std::mutex> lock(FLock);
      piece->Error = error;
      piece->Done = true;
    }
    FFinished.notify_all();
  }
}
