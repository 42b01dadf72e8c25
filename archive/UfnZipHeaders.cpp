#include "archive/UfnZipHeaders.h"

#include <algorithm>

namespace zipfmt {

namespace {

void Put16(std::string& out, uint64_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& out, uint64_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, (v >> 16) & 0xFFFF);
}
void Put64(std::string& out, uint64_t v) {
  Put32(out, v & 0xFFFFFFFF);
  Put32(out, v >> 32);
}

bool BigUncompressed(const THeaderInfo& h) {
  return h.Zip64Local || h.UncompressedSize >= Limit32;
}
bool BigCompressed(const THeaderInfo& h) {
  return h.Zip64Local || h.CompressedSize >= Limit32;
}
bool BigOffset(const THeaderInfo& h) {
  return h.Offset >= Limit32;
}

} // namespace

uint16_t VersionNeeded(const THeaderInfo& h) {
  return BigUncompressed(h) || BigCompressed(h) || BigOffset(h) ? 45 : 20;
}

size_t LocalHeaderLength(const THeaderInfo& h, size_t nameLength) {
  return 30 + nameLength + (h.Zip64Local ? 20 : 0);
}

void AppendLocalHeader(std::string& out, const THeaderInfo& h, const std::string& name) {
  Put32(out, LocalSignature);
  Put16(out, VersionNeeded(h));
  Put16(out, h.Flags);
  Put16(out, h.Method);
  Put16(out, h.DosDateTime & 0xFFFF);
  Put16(out, h.DosDateTime >> 16);
  Put32(out, h.CRC);
  Put32(out, h.Zip64Local ? Limit32 : h.CompressedSize);
  Put32(out, h.Zip64Local ? Limit32 : h.UncompressedSize);
  Put16(out, name.size());
  Put16(out, h.Zip64Local ? 20 : 0);
  out += name;
  if (h.Zip64Local) {
    Put16(out, Zip64ExtraId);
    Put16(out, 16);
    Put64(out, h.UncompressedSize);
    Put64(out, h.CompressedSize);
  }
}

void AppendCentralHeader(std::string& out, const THeaderInfo& h, const std::string& name) {
  const bool bigU = BigUncompressed(h), bigC = BigCompressed(h), bigO = BigOffset(h);
  const uint16_t extra = static_cast<uint16_t>((bigU + bigC + bigO) * 8);
  const uint16_t version = VersionNeeded(h);
  Put32(out, CentralSignature);
  // Made by: the same number, MS-DOS host (upper byte 0). A UTF-8 name says Windows NTFS
  // instead (same attributes), as some readers decode MS-DOS names as OEM text whatever bit
  // 11 says.
  Put16(out, version | ((h.Flags & FlagUtf8Name) ? 0x0A00 : 0));
  Put16(out, version);
  Put16(out, h.Flags);
  Put16(out, h.Method);
  Put16(out, h.DosDateTime & 0xFFFF);
  Put16(out, h.DosDateTime >> 16);
  Put32(out, h.CRC);
  Put32(out, bigC ? Limit32 : h.CompressedSize);
  Put32(out, bigU ? Limit32 : h.UncompressedSize);
  Put16(out, name.size());
  Put16(out, extra ? extra + 4 : 0);
  Put16(out, 0); // comment
  Put16(out, 0); // disk number start
  Put16(out, 1); // internal attributes
  Put32(out, h.ExternalAttributes);
  Put32(out, bigO ? Limit32 : h.Offset);
  out += name;
  if (extra) {
    Put16(out, Zip64ExtraId);
    Put16(out, extra);
    if (bigU) Put64(out, h.UncompressedSize);
    if (bigC) Put64(out, h.CompressedSize);
    if (bigO) Put64(out, h.Offset);
  }
}

void AppendEndRecords(std::string& out, uint64_t entries, uint64_t directorySize,
                      uint64_t directoryOffset) {
  if (entries > EntryLimit16 || directorySize >= Limit32 || directoryOffset >= Limit32) {
    Put32(out, Zip64EndSignature);
    Put64(out, 44); // the record's size after this field
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, entries);
    Put64(out, entries);
    Put64(out, directorySize);
    Put64(out, directoryOffset);
    Put32(out, Zip64LocatorSignature);
    Put32(out, 0);
    Put64(out, directoryOffset + directorySize);
    Put32(out, 1);
  }
  Put32(out, EndSignature);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, std::min(entries, EntryLimit16));
  Put16(out, std::min(entries, EntryLimit16));
  Put32(out, std::min(directorySize, Limit32));
  Put32(out, std::min(directoryOffset, Limit32));
  Put16(out, 0);
}

} // namespace zipfmt
