// TZip's piece scheduling: large files cut into pieces that the worker threads deflate, and
// the small files after the current one read ahead for them, while the caller's thread keeps
// the window alive.
#include "archive/UZip.h"

#include "archive/UZipEntry.h"
#include "base/UfnDesktop.h"
#include "base/UfnErrors.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <zlib.h>

namespace {

// How long the window may wait for a piece before it is pumped and the bars move.
constexpr std::chrono::milliseconds ProgressInterval{50};

// Reads until the buffer is full or the file ends.
int64_t ReadFull(TStream& source, unsigned char* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    int64_t n = source.Read(buffer + done, count - done);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

} // namespace

unsigned TZip::WorkerThreads() const {
  return FThreads ? FThreads : std::max(std::thread::hardware_concurrency(), 1u);
}

// Cuts the file into pieces deflated on the workers and writes their output in order, while
// this thread keeps the window alive and the bars moving.
uint32_t TZip::DeflatePieces(TStream& source, TEntry& e, size_t index, int64_t& read) {
  if (!FPool) FPool = std::make_unique<TDeflatePool>(WorkerThreads());
  // The files read ahead have a budget of their own, so that a large file behind them still
  // keeps every worker busy.
  const size_t inFlight = std::min<size_t>(MaxPiecesInFlight, 2 * FPool->Threads() + 1);
  constexpr size_t Window = 32768;
  std::deque<std::shared_ptr<TDeflatePiece>> pending;
  unsigned char* const next = FPieceBuffer.get();
  std::vector<unsigned char> tail;
  uLong crc = crc32(0L, Z_NULL, 0);
  int64_t done = 0;
  read = 0;
  source.SetPosition(0);
  int64_t n = ReadFull(source, next, PieceSize);
  bool more = true;
  FAheadNext = std::max(FAheadNext, index + 1);
  auto ahead = FAhead.find(index);
  if (ahead != FAhead.end()) {
    // Read early: taken when the file has not changed since, deflated anew otherwise.
    std::shared_ptr<TDeflatePiece> early = std::move(ahead->second);
    FAhead.erase(ahead);
    if (n < PieceSize && early->DictSize == 0 && early->Type == DeflateType &&
        early->Input.size() == static_cast<size_t>(n) &&
        std::equal(early->Input.begin(), early->Input.end(), next)) {
      read = n;
      more = false;
      pending.push_back(std::move(early));
    }
  }
  while (more || !pending.empty()) {
    // Keep the workers fed, within the memory budget.
    while (more && pending.size() < inFlight) {
      auto piece = std::make_shared<TDeflatePiece>();
      piece->Type = DeflateType;
      piece->DictSize = tail.size();
      piece->Input.reserve(tail.size() + static_cast<size_t>(n));
      piece->Input.assign(tail.begin(), tail.end());
      piece->Input.insert(piece->Input.end(), next, next + n);
      read += n;
      // The piece is the last when nothing follows it; a full piece needs one more read.
      int64_t following = n == PieceSize ? ReadFull(source, next, PieceSize) : 0;
      piece->Last = following == 0;
      const size_t keep = std::min(Window, static_cast<size_t>(n));
      tail.assign(piece->Input.end() - static_cast<std::ptrdiff_t>(keep), piece->Input.end());
      n = following;
      more = !piece->Last;
      FPool->Submit(piece);
      pending.push_back(std::move(piece));
    }
    if (!more) ReadAhead();
    Desktop().ProcessMessages();
    if (FCancel) {
      FPool->Drop();
      throw TRunCancelled{};
    }
    TDeflatePiece& head = *pending.front();
    if (FPool->Wait(head, ProgressInterval)) {
      FTemp->WriteBuffer(head.Output.data(), static_cast<int64_t>(head.Output.size()));
      crc = crc32_combine(crc, head.CRC, static_cast<z_off_t>(head.Size()));
      done += head.Size();
      FBytesToDo -= head.Size();
      pending.pop_front();
    }
    Progress(done, e.Size);
  }
  return static_cast<uint32_t>(crc);
}

// Hands the next small files to the workers while this thread waits, so that a tree of
// many small files keeps every core busy. A file that cannot be read here is left to its
// turn, which reports it as before.
void TZip::ReadAhead() {
  const bool storeAll = FCompressMethod == cmStore || DeflateType == dtDeflateS;
  uint64_t bytes = 0;
  for (const auto& a : FAhead)
    bytes += a.second->Input.size();
  for (; FAhead.size() < MaxFilesAhead && FAheadNext < FEntries.size() && !storeAll; ++FAheadNext) {
    const TEntry& e = FEntries[FAheadNext];
    if (e.IsFolder() || e.Size < SmallFileLimit || e.Size >= static_cast<uint64_t>(PieceSize) ||
        IsStoredType(e.Name))
      continue;
    if (bytes + e.Size > MaxBytesAhead) break;
    auto piece = std::make_shared<TDeflatePiece>();
    piece->Type = DeflateType;
    piece->Last = true;
    try {
      TFileStream source = OpenSourceFile(e);
      // One byte more than the walk saw tells a file that grew since; its turn handles it.
      piece->Input.resize(static_cast<size_t>(e.Size) + 1);
      const int64_t n = ReadFull(source, piece->Input.data(), static_cast<int64_t>(e.Size) + 1);
      if (n > static_cast<int64_t>(e.Size)) continue;
      piece->Input.resize(static_cast<size_t>(n));
    } catch (const EStreamError&) {
      continue;
    }
    bytes += piece->Input.size();
    FPool->Submit(piece);
    FAhead.emplace(FAheadNext, std::move(piece));
  }
}
