// A small, strict ZIP reader for the archive tests: it parses the end records (ZIP64
// included), every central directory header and the local header each one points at, and
// checks that the entries lie back to back with the directory right after the last one.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ziptest {

struct TEntryView {
  // central directory header
  uint16_t VersionMadeBy = 0, VersionNeeded = 0, Flags = 0, Method = 0, Time = 0, Date = 0;
  uint32_t CRC = 0;
  uint32_t Compressed32 = 0, Uncompressed32 = 0, Offset32 = 0;
  uint64_t CompressedSize = 0, UncompressedSize = 0, Offset = 0; // ZIP64 applied
  uint16_t CommentLength = 0, DiskStart = 0, Internal = 0;
  uint32_t External = 0;
  std::string Name, Extra;
  // local header
  uint16_t LocalVersion = 0, LocalFlags = 0, LocalMethod = 0, LocalTime = 0, LocalDate = 0;
  uint32_t LocalCRC = 0, LocalCompressed32 = 0, LocalUncompressed32 = 0;
  std::string LocalName, LocalExtra;
  uint64_t DataOffset = 0; // first byte of the entry's data
};

struct TArchiveView {
  std::vector<TEntryView> Entries;
  bool Zip64 = false; // ZIP64 end record and locator present
  uint16_t EndEntries16 = 0, EndTotal16 = 0;
  uint32_t EndSize32 = 0, EndOffset32 = 0;
  uint64_t DirectoryOffset = 0, DirectorySize = 0, TotalEntries = 0;
  uint64_t FileSize = 0;
};

// Throws std::runtime_error with the reason when the archive is malformed.
TArchiveView ReadArchive(const std::string& path);
// The entry's uncompressed bytes (stored or inflated); throws when the CRC-32 or the size
// does not match the headers.
std::string EntryData(const std::string& path, const TEntryView& e);
// The raw stored bytes of the entry's data.
std::string RawData(const std::string& path, const TEntryView& e);
// Inflates a raw Deflate stream; throws unless it ends in a final block exactly at the end.
std::string Inflate(const std::string& raw);

// The entry of that name; throws when there is none.
const TEntryView& Entry(const TArchiveView& a, const std::string& name);
// The entries' names in directory order.
std::vector<std::string> EntryNames(const TArchiveView& a);

} // namespace ziptest
