// The Deflate stream of the archive writer: a write-only stream that feeds zlib's raw
// deflate and writes the compressed bytes to a target stream in large blocks, keeping the
// CRC-32 of what the engine took in and the builder's progress figures up to date.
#pragma once

#include "archive/UfnStream.h"
#include "base/UfnErrors.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// How hard files are deflated; dtDeflateS stores every file.
enum TDeflateType { dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX };

// The engine could not be set up or reported a broken state.
class ECompressionError : public EStreamError {
public:
  explicit ECompressionError(const std::string& message) : EStreamError(message) {}
};

class TCompressStream;
using TCompressProgress = std::function<void(TCompressStream& stream)>;

// zlib's level for a deflate type: 1, 6 or 9 (0 for dtDeflateS, which the builder never
// deflates).
int DeflateLevel(TDeflateType type);

class TCompressStream : public TStream {
public:
  static constexpr int64_t OutputBlockSize = 131070;
  static constexpr int64_t InputChunkSize = 131072;

  // Takes the target's position as the place of the first output. Raises ECompressionError
  // when the engine cannot be set up, so that nothing is ever fed to a dead engine.
  // `outputBuffer` (OutputBlockSize bytes) may be lent by a caller that packs many files in a
  // row, so that the block is not allocated anew for each; otherwise the stream has its own.
  TCompressStream(TStream& target, TDeflateType type, unsigned char* outputBuffer = nullptr);
  ~TCompressStream() override; // releases the engine; call Finish first to keep the output
  TCompressStream(const TCompressStream&) = delete;
  TCompressStream& operator=(const TCompressStream&) = delete;

  // The builder's count of bytes still to do, its cancel mark and its progress callback.
  void Lend(int64_t* bytesToDo, const bool* cancel, TCompressProgress progress);

  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Read(void* buffer, int64_t count) override; // not supported: raises
  // Only the position (the input bytes taken in so far) can be asked; anything else is -1.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  // Ends the Deflate stream and writes all remaining output to the target.
  void Finish();

  // The running CRC-32 (started at 0xFFFFFFFF, not yet complemented).
  uint32_t RunningCRC() const { return FCRC; }
  int64_t BytesIn() const { return FBytesIn; }

private:
  void MoveTargetBack();
  void FlushOutput(int64_t count);

  struct TEngine;
  TStream& FTarget;
  int64_t FOutputPosition;
  std::unique_ptr<TEngine> FEngine;
  std::unique_ptr<unsigned char[]> FOwnBuffer;
  unsigned char* FBuffer;
  uint32_t FCRC = 0xFFFFFFFF;
  int64_t FBytesIn = 0;
  bool FFinished = false;
  int64_t* FBytesToDo = nullptr;
  const bool* FCancel = nullptr;
  TCompressProgress FProgress;
};

// Deflates the whole of `source` (from its start) into `target` at the target's current
// position, in 131072-byte chunks, pumping the window messages before each. `crc` receives
// the CRC-32 of the source's bytes. False when the cancel mark was set. A caller may lend the
// input chunk (InputChunkSize bytes) and the output block, as for the stream.
bool DeflateFile(TStream& source, TStream& target, TDeflateType type, uint32_t& crc,
                 int64_t& bytesToDo, const bool& cancel, const TCompressProgress& progress,
                 unsigned char* chunk = nullptr, unsigned char* outputBuffer = nullptr);

// One piece of a file deflated on its own as part of one raw Deflate stream: primed with the
// input just before it, ended with a sync flush so that the next piece starts on a byte, or
// with the stream's end when it is the last. Pieces joined in order form a valid stream.
struct TDeflatePiece {
  std::vector<unsigned char> Input; // DictSize bytes of what came before, then the piece
  size_t DictSize = 0;
  bool Last = false;
  TDeflateType Type = dtDeflateN;
  // Filled in by the worker.
  std::vector<unsigned char> Output;
  uint32_t CRC = 0; // of the piece alone (without the primer)
  std::string Error;
  bool Done = false;
  int64_t Size() const { return static_cast<int64_t>(Input.size() - DictSize); }
};

// Deflates a piece on the calling thread with the piece engine (UDeflateEngine.h), or writes it
// as stored blocks when the probe finds it incompressible; raises ECompressionError when the
// engine fails. Gives up early, with the piece unfinished, once `stop` is set. Only zlib uses
// the primer, and dtDeflateX always goes through zlib; the pieces join all the same.
void DeflatePiece(TDeflatePiece& piece, const std::atomic<bool>* stop = nullptr);

// Worker threads that deflate pieces in the order they are handed in. The owner waits for
// each piece with a timeout, so that it can keep its window alive meanwhile.
class TDeflatePool {
public:
  explicit TDeflatePool(unsigned threads); // at least one
  ~TDeflatePool();                         // drops what is queued and joins the workers
  TDeflatePool(const TDeflatePool&) = delete;
  TDeflatePool& operator=(const TDeflatePool&) = delete;

  unsigned Threads() const { return static_cast<unsigned>(FWorkers.size()); }
  void Submit(std::shared_ptr<TDeflatePiece> piece);
  // True when the piece is done within the timeout; raises ECompressionError when its
  // deflating failed.
  bool Wait(const TDeflatePiece& piece, std::chrono::milliseconds timeout);
  // Forgets the queued pieces and has those being deflated given up: the run is over.
  void Drop();

private:
  void Work();

  std::mutex FLock;
  std::condition_variable FQueued, FFinished;
  std::deque<std::shared_ptr<TDeflatePiece>> FQueue;
  bool FStop = false;
  std::atomic<bool> FGiveUp{false};
  std::vector<std::thread> FWorkers;
};
