// The engines behind the archive's pieces: zlib, and libdeflate where the build has it. Every
// engine writes pieces that join into one standard raw Deflate stream; data that a cheap probe
// finds incompressible is written as stored blocks instead, costing a copy and a CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum TDeflateEngine { deZlib, deLibdeflate };

// True when the engine was built in (zlib always is).
bool DeflateEngineAvailable(TDeflateEngine engine);
const char* DeflateEngineName(TDeflateEngine engine);
// The engine the pieces go through: the fastest built in, unless set. Set it only while no
// archive is being built (tests and benchmarks compare the engines with it).
TDeflateEngine PieceEngine();
void SetPieceEngine(TDeflateEngine engine);

// CRC-32 of the application note over `size` bytes, continuing `crc` (0 to start).
uint32_t PieceCRC(uint32_t crc, const unsigned char* data, size_t size);

// The share of its size that deflating the data at the fastest level saves, estimated from
// samples; 1 where the data is too short to sample or plainly compressible. It depends on the
// bytes alone, never on timing or the thread count.
double EstimatedSaving(const unsigned char* data, size_t size);
// Data that saves less than MinSaving is not worth deflating; data that saves less than
// LowSaving keeps nearly all of it at the fastest level, which costs a third less time on it.
constexpr double MinSaving = 0.02;
constexpr double LowSaving = 0.05;

// True when a sample of the data compresses so little that deflating it is wasted work.
bool LooksIncompressible(const unsigned char* data, size_t size);

// Appends `size` bytes as stored blocks, the last of them final when `last`. The stream must be
// at a byte boundary, as every piece starts.
void AppendStoredBlocks(std::vector<unsigned char>& out, const unsigned char* data, size_t size,
                        bool last);

// Deflates a piece with libdeflate at `level` into `out` (replacing it). libdeflate always ends
// with a final block: unless `last`, that block is made an ordinary one and an empty stored
// block follows, as a sync flush leaves it. Raises ECompressionError when it fails or is not
// built in. The piece is deflated without the history before it.
void LibdeflatePiece(const unsigned char* data, size_t size, int level, bool last,
                     std::vector<unsigned char>& out);

// Turns a complete raw Deflate stream into one that the next piece can follow: its final
// block becomes an ordinary one and an empty stored block ends it on a byte. `size` is what the
// stream inflates to. Raises ECompressionError when the stream is not a valid one.
void OpenFinalBlock(std::vector<unsigned char>& stream, size_t size);
