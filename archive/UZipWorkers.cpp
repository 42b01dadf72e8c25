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

// The next piece of a file: the window before it as its dictionary, then its own bytes. The
// window it leaves for the piece after it goes into `tail`.
std::shared_ptr<TDeflatePiece> TZip::NextPiece(std::vector<unsigned char>& tail,
                                               const unsigned char* data, int64_t n, bool last) {
  constexpr size_t Window = 32768;
  auto piece = std::make_shared<TDeflatePiece>();
  piece->Type = DeflateType;
  piece->DictSize = tail.size();
  piece->Input.reserve(tail.size() + static_cast<size_t>(n));
  piece->Input.assign(tail.begin(), tail.end());
  piece->Input.insert(piece->Input.end(), data, data + n);
  piece->Last = last;
  const size_t keep = std::min(Window, static_cast<size_t>(n));
  tail.assign(piece->Input.end() - static_cast<std::ptrdiff_t>(keep), piece->Input.end());
  return piece;
}

// Whether the pieces read early still hold what the file holds now, to its end; `n` bytes of
// the file's start are in the piece buffer.
bool TZip::EarlyPiecesMatch(const std::vector<std::shared_ptr<TDeflatePiece>>& early,
                            TStream& source, int64_t n) {
  unsigned char* const next = FPieceBuffer.get();
  for (size_t i = 0; i < early.size(); ++i) {
    const TDeflatePiece& p = *early[i];
    if (p.Type != DeflateType || (i == 0 && p.DictSize != 0) || p.Last != (i + 1 == early.size()) ||
        p.Size() != n ||
        !std::equal(p.Input.begin() + static_cast<std::ptrdiff_t>(p.DictSize), p.Input.end(), next))
      return false;
    n = ReadFull(source, next, PieceSize);
  }
  return n == 0;
}

// Cuts the file into pieces deflated on the workers and writes their output in order, while
// this thread keeps the window alive and the bars moving.
uint32_t TZip::DeflatePieces(TStream& source, TEntry& e, size_t index, int64_t& read) {
  if (!FPool) FPool = std::make_unique<TDeflatePool>(WorkerThreads());
  // The files read ahead have a budget of their own, so that a large file behind them still
  // keeps every worker busy.
  const size_t inFlight = std::min<size_t>(MaxPiecesInFlight, 2 * FPool->Threads() + 1);
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
    std::vector<std::shared_ptr<TDeflatePiece>> early = std::move(ahead->second);
    FAhead.erase(ahead);
    if (EarlyPiecesMatch(early, source, n)) {
      for (auto& piece : early) {
        read += piece->Size();
        pending.push_back(std::move(piece));
      }
      more = false;
    } else {
      source.SetPosition(0);
      n = ReadFull(source, next, PieceSize);
    }
  }
  while (more || !pending.empty()) {
    // Keep the workers fed, within the memory budget.
    while (more && pending.size() < inFlight) {
      read += n;
      // The piece is the last when nothing follows it; a full piece needs one more read. The
      // piece takes its bytes before the buffer is read into again.
      std::shared_ptr<TDeflatePiece> piece = NextPiece(tail, next, n, false);
      const int64_t following = n == PieceSize ? ReadFull(source, next, PieceSize) : 0;
      piece->Last = following == 0;
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

// Hands the next files to the workers while this thread waits, so that a tree of many small
// files, or of files of a few pieces each, keeps every core busy. A file that cannot be read
// here is left to its turn, which reports it as before.
void TZip::ReadAhead() {
  const bool storeAll = FCompressMethod == cmStore || DeflateType == dtDeflateS;
  uint64_t bytes = 0;
  for (const auto& a : FAhead)
    for (const auto& piece : a.second)
      bytes += piece->Input.size();
  for (; FAhead.size() < MaxFilesAhead && FAheadNext < FEntries.size() && !storeAll; ++FAheadNext) {
    const TEntry& e = FEntries[FAheadNext];
    // A file larger than the whole budget keeps the workers busy on its own.
    if (e.IsFolder() || e.Size < SmallFileLimit || e.Size > MaxBytesAhead || IsStoredType(e.Name))
      continue;
    if (bytes + e.Size > MaxBytesAhead) break;
    std::vector<std::shared_ptr<TDeflatePiece>> pieces;
    try {
      TFileStream source = OpenSourceFile(e);
      // Cut as its turn would cut it; a byte more than the walk saw tells a file that grew
      // since, which its turn handles.
      std::vector<unsigned char> tail,
          buffer(static_cast<size_t>(std::min<uint64_t>(e.Size + 1, PieceSize)));
      const auto chunk = static_cast<int64_t>(buffer.size());
      uint64_t taken = 0;
      int64_t n = ReadFull(source, buffer.data(), chunk);
      for (;;) {
        taken += static_cast<uint64_t>(n);
        if (taken > e.Size) break;
        std::shared_ptr<TDeflatePiece> piece = NextPiece(tail, buffer.data(), n, false);
        pieces.push_back(piece);
        n = n == PieceSize ? ReadFull(source, buffer.data(), chunk) : 0;
        if (n == 0) {
          piece->Last = true;
          break;
        }
      }
      if (taken != e.Size) continue;
    } catch (const EStreamError&) {
      continue;
    }
    for (const auto& piece : pieces) {
      bytes += piece->Input.size();
      FPool->Submit(piece);
    }
    FAhead.emplace(FAheadNext, std::move(pieces));
  }
}
