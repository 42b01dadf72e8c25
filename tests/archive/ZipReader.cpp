#include "ZipReader.h"

#include <cstring>
#include <fstream>
#include <zlib.h>

namespace ziptest {

namespace {

[[noreturn]] void Bad(const std::string& why) {
  throw std::runtime_error("bad archive: " + why);
}

struct TFile {
  std::ifstream In;
  uint64_t Size = 0;
  explicit TFile(const std::string& path) : In(path, std::ios::binary) {
    if (!In) Bad("cannot open " + path);
    In.seekg(0, std::ios::end);
    Size = static_cast<uint64_t>(In.tellg());
  }
  std::string At(uint64_t offset, size_t n) {
    if (offset + n > Size) Bad("read beyond the end");
    std::string s(n, '\0');
    In.seekg(static_cast<std::streamoff>(offset));
    In.read(s.data(), static_cast<std::streamsize>(n));
    if (!In) Bad("short read");
    return s;
  }
};

uint64_t Le(const std::string& s, size_t at, size_t bytes) {
  uint64_t v = 0;
  for (size_t i = bytes; i-- > 0;)
    v = v << 8 | static_cast<unsigned char>(s.at(at + i));
  return v;
}
uint16_t Le16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(Le(s, at, 2));
}
uint32_t Le32(const std::string& s, size_t at) {
  return static_cast<uint32_t>(Le(s, at, 4));
}

} // namespace

TArchiveView ReadArchive(const std::string& path) {
  TFile f(path);
  TArchiveView a;
  a.FileSize = f.Size;
  if (f.Size < 22) Bad("too short");
  // No archive comment is ever written: the end record is the last 22 bytes.
  std::string end = f.At(f.Size - 22, 22);
  if (Le(end, 0, 4) != 0x06054B50) Bad("no end record at the end");
  if (Le(end, 4, 2) != 0 || Le(end, 6, 2) != 0 || Le(end, 20, 2) != 0)
    Bad("end record disk numbers or comment");
  a.EndEntries16 = static_cast<uint16_t>(Le(end, 8, 2));
  a.EndTotal16 = static_cast<uint16_t>(Le(end, 10, 2));
  a.EndSize32 = static_cast<uint32_t>(Le(end, 12, 4));
  a.EndOffset32 = static_cast<uint32_t>(Le(end, 16, 4));
  a.TotalEntries = a.EndTotal16;
  a.DirectorySize = a.EndSize32;
  a.DirectoryOffset = a.EndOffset32;
  uint64_t directoryEnd = f.Size - 22;
  if (f.Size >= 22 + 20 && Le(f.At(f.Size - 42, 4), 0, 4) == 0x07064B50) {
    a.Zip64 = true;
    std::string loc = f.At(f.Size - 42, 20);
    uint64_t recAt = Le(loc, 8, 8);
    if (Le(loc, 4, 4) != 0 || Le(loc, 16, 4) != 1) Bad("locator disks");
    if (recAt + 56 != f.Size - 42) Bad("ZIP64 end record not right before its locator");
    std::string rec = f.At(recAt, 56);
    if (Le(rec, 0, 4) != 0x06064B50 || Le(rec, 4, 8) != 44) Bad("ZIP64 end record");
    if (Le(rec, 24, 8) != Le(rec, 32, 8)) Bad("ZIP64 entry counts differ");
    a.TotalEntries = Le(rec, 32, 8);
    a.DirectorySize = Le(rec, 40, 8);
    a.DirectoryOffset = Le(rec, 48, 8);
    directoryEnd = recAt;
  }
  if (a.DirectoryOffset + a.DirectorySize != directoryEnd)
    Bad("central directory does not end at the end records");
  std::string dir = f.At(a.DirectoryOffset, a.DirectorySize);
  size_t p = 0;
  uint64_t expectedLocal = 0;
  while (p < dir.size()) {
    TEntryView e;
    if (Le(dir, p, 4) != 0x02014B50) Bad("central header signature");
    e.VersionMadeBy = Le16(dir, p + 4);
    e.VersionNeeded = Le16(dir, p + 6);
    e.Flags = Le16(dir, p + 8);
    e.Method = Le16(dir, p + 10);
    e.Time = Le16(dir, p + 12);
    e.Date = Le16(dir, p + 14);
    e.CRC = Le32(dir, p + 16);
    e.Compressed32 = Le32(dir, p + 20);
    e.Uncompressed32 = Le32(dir, p + 24);
    size_t n = Le(dir, p + 28, 2), m = Le(dir, p + 30, 2);
    e.CommentLength = Le16(dir, p + 32);
    e.DiskStart = Le16(dir, p + 34);
    e.Internal = Le16(dir, p + 36);
    e.External = Le32(dir, p + 38);
    e.Offset32 = Le32(dir, p + 42);
    if (p + 46 + n + m + e.CommentLength > dir.size()) Bad("central header overruns");
    e.Name = dir.substr(p + 46, n);
    e.Extra = dir.substr(p + 46 + n, m);
    p += 46 + n + m + e.CommentLength;
    e.CompressedSize = e.Compressed32;
    e.UncompressedSize = e.Uncompressed32;
    e.Offset = e.Offset32;
    if (!e.Extra.empty()) {
      if (Le(e.Extra, 0, 2) != 1 || Le(e.Extra, 2, 2) + 4 != e.Extra.size())
        Bad("unexpected extra field in " + e.Name);
      size_t q = 4;
      auto take = [&](uint64_t& v) {
        if (q + 8 > e.Extra.size()) Bad("ZIP64 extra too short in " + e.Name);
        v = Le(e.Extra, q, 8);
        q += 8;
      };
      if (e.Uncompressed32 == 0xFFFFFFFF) take(e.UncompressedSize);
      if (e.Compressed32 == 0xFFFFFFFF) take(e.CompressedSize);
      if (e.Offset32 == 0xFFFFFFFF) take(e.Offset);
      if (q != e.Extra.size()) Bad("ZIP64 extra holds more than its fields in " + e.Name);
    }
    if (e.Offset != expectedLocal) Bad("gap or overlap before " + e.Name);
    std::string lh = f.At(e.Offset, 30);
    if (Le(lh, 0, 4) != 0x04034B50) Bad("local header signature of " + e.Name);
    e.LocalVersion = Le16(lh, 4);
    e.LocalFlags = Le16(lh, 6);
    e.LocalMethod = Le16(lh, 8);
    e.LocalTime = Le16(lh, 10);
    e.LocalDate = Le16(lh, 12);
    e.LocalCRC = Le32(lh, 14);
    e.LocalCompressed32 = Le32(lh, 18);
    e.LocalUncompressed32 = Le32(lh, 22);
    size_t ln = Le(lh, 26, 2), lm = Le(lh, 28, 2);
    e.LocalName = f.At(e.Offset + 30, ln);
    e.LocalExtra = f.At(e.Offset + 30 + ln, lm);
    e.DataOffset = e.Offset + 30 + ln + lm;
    uint64_t localComp = e.LocalCompressed32, localUnc = e.LocalUncompressed32;
    if (!e.LocalExtra.empty()) {
      if (Le(e.LocalExtra, 0, 2) != 1 || Le(e.LocalExtra, 2, 2) != 16 || lm != 20)
        Bad("local extra of " + e.Name);
      if (localComp != 0xFFFFFFFF || localUnc != 0xFFFFFFFF) Bad("local ZIP64 sentinels");
      localUnc = Le(e.LocalExtra, 4, 8);
      localComp = Le(e.LocalExtra, 12, 8);
    }
    if (e.LocalName != e.Name || e.LocalFlags != e.Flags || e.LocalMethod != e.Method ||
        e.LocalTime != e.Time || e.LocalDate != e.Date || e.LocalCRC != e.CRC ||
        localComp != e.CompressedSize || localUnc != e.UncompressedSize)
      Bad("local and central headers differ for " + e.Name);
    expectedLocal = e.DataOffset + e.CompressedSize;
    a.Entries.push_back(std::move(e));
  }
  if (expectedLocal != a.DirectoryOffset) Bad("gap before the central directory");
  if (a.Entries.size() != a.TotalEntries) Bad("entry count differs from the end record");
  return a;
}

std::string RawData(const std::string& path, const TEntryView& e) {
  TFile f(path);
  return f.At(e.DataOffset, e.CompressedSize);
}

std::string Inflate(const std::string& raw) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) throw std::runtime_error("inflateInit2");
  std::string out;
  char buf[65536];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
  z.avail_in = static_cast<uInt>(raw.size());
  int rc;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
  } while (rc == Z_OK);
  size_t left = z.avail_in;
  inflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate stream broken or unfinished");
  if (left != 0) throw std::runtime_error("bytes after the final block");
  return out;
}

std::string EntryData(const std::string& path, const TEntryView& e) {
  std::string raw = RawData(path, e);
  std::string data;
  if (e.Method == 0)
    data = raw;
  else if (e.Method == 8)
    data = Inflate(raw);
  else
    throw std::runtime_error("unknown method");
  if (data.size() != e.UncompressedSize) throw std::runtime_error("size differs: " + e.Name);
  uint32_t crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  if (crc != e.CRC) throw std::runtime_error("CRC-32 differs: " + e.Name);
  return data;
}

const TEntryView& Entry(const TArchiveView& a, const std::string& name) {
  for (const TEntryView& e : a.Entries)
    if (e.Name == name) return e;
  throw std::runtime_error("no entry " + name);
}

std::vector<std::string> EntryNames(const TArchiveView& a) {
  std::vector<std::string> n;
  for (const TEntryView& e : a.Entries)
    n.push_back(e.Name);
  return n;
}

} // namespace ziptest
