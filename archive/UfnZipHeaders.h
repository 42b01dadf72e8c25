// The byte layout of ZIP archives: local headers, central directory headers and the end
// records, with the ZIP64 extension where a count, size or offset outgrows the classic fields.
#pragma once

#include <cstdint>
#include <string>

namespace zipfmt {

constexpr uint32_t LocalSignature = 0x04034B50;
constexpr uint32_t CentralSignature = 0x02014B50;
constexpr uint32_t EndSignature = 0x06054B50;
constexpr uint32_t Zip64EndSignature = 0x06064B50;
constexpr uint32_t Zip64LocatorSignature = 0x07064B50;
constexpr uint16_t Zip64ExtraId = 0x0001;
// A size or offset at or above this needs ZIP64 (the classic field's all-ones means "see
// the extra field").
constexpr uint64_t Limit32 = 0xFFFFFFFFull;
constexpr uint64_t EntryLimit16 = 0xFFFF;

constexpr uint16_t FlagUtf8Name = 0x0800;
constexpr uint16_t MethodStored = 0;
constexpr uint16_t MethodDeflated = 8;

struct THeaderInfo {
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint32_t DosDateTime = 0; // date in the high half, time in the low half
  uint32_t CRC = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
  uint64_t Offset = 0; // of the local header
  uint32_t ExternalAttributes = 0;
  bool Zip64Local = false; // the local header carries both sizes in a ZIP64 extra field
};

// 20, or 45 when the entry needs ZIP64 anywhere.
uint16_t VersionNeeded(const THeaderInfo& h);
// The bytes of the local header before the name: 30, plus 20 with the ZIP64 extra field.
size_t LocalHeaderLength(const THeaderInfo& h, size_t nameLength);

void AppendLocalHeader(std::string& out, const THeaderInfo& h, const std::string& name);
void AppendCentralHeader(std::string& out, const THeaderInfo& h, const std::string& name);
// The end of central directory record, preceded by the ZIP64 end record and its locator
// when more than 65535 entries were written or the directory lies at or beyond 4 GiB.
void AppendEndRecords(std::string& out, uint64_t entries, uint64_t directorySize,
                      uint64_t directoryOffset);

} // namespace zipfmt
