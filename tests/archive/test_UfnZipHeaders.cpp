#include "archive/UfnZipHeaders.h"

#include <gtest/gtest.h>

using namespace zipfmt;

namespace {

uint64_t Le(const std::string& s, size_t at, int bytes) {
  uint64_t v = 0;
  for (size_t i = static_cast<size_t>(bytes); i-- > 0;)
    v = v << 8 | static_cast<unsigned char>(s.at(at + i));
  return v;
}

THeaderInfo Info() {
  THeaderInfo h;
  h.Flags = 0;
  h.Method = 8;
  h.DosDateTime = 0x58BE7320; // 2024-05-30 14:25:00
  h.CRC = 0x12345678;
  h.CompressedSize = 1000;
  h.UncompressedSize = 5000;
  h.Offset = 777;
  h.ExternalAttributes = 0x20;
  return h;
}

} // namespace

TEST(ZipHeaders, BigEntriesCarryZip64FieldsOnlyForWhatOverflows) {
  THeaderInfo h = Info();
  h.Offset = 0x123456789ull; // only the offset is too big
  std::string c;
  AppendCentralHeader(c, h, "n");
  EXPECT_EQ(Le(c, 6, 2), 45u);
  EXPECT_EQ(Le(c, 20, 4), 1000u);
  EXPECT_EQ(Le(c, 24, 4), 5000u);
  EXPECT_EQ(Le(c, 42, 4), 0xFFFFFFFFu);
  ASSERT_EQ(Le(c, 30, 2), 12u);
  EXPECT_EQ(Le(c, 47, 2), 1u);
  EXPECT_EQ(Le(c, 49, 2), 8u);
  EXPECT_EQ(Le(c, 51, 8), 0x123456789ull);

  // The exact limit value is already the "see the extra field" mark.
  h = Info();
  h.UncompressedSize = 0xFFFFFFFFull;
  c.clear();
  AppendCentralHeader(c, h, "n");
  EXPECT_EQ(Le(c, 24, 4), 0xFFFFFFFFu);
  EXPECT_EQ(Le(c, 20, 4), 1000u);
  EXPECT_EQ(Le(c, 51, 8), 0xFFFFFFFFull);

  // A local header with ZIP64 sizes has both, and the central header then lists both too.
  h = Info();
  h.Zip64Local = true;
  h.UncompressedSize = 4608ull << 20;
  h.CompressedSize = 4700000;
  std::string l;
  AppendLocalHeader(l, h, "big");
  ASSERT_EQ(l.size(), LocalHeaderLength(h, 3));
  EXPECT_EQ(l.size(), 30u + 3u + 20u);
  EXPECT_EQ(Le(l, 4, 2), 45u);
  EXPECT_EQ(Le(l, 18, 4), 0xFFFFFFFFu);
  EXPECT_EQ(Le(l, 22, 4), 0xFFFFFFFFu);
  EXPECT_EQ(Le(l, 28, 2), 20u);
  EXPECT_EQ(Le(l, 33, 2), 1u);
  EXPECT_EQ(Le(l, 35, 2), 16u);
  EXPECT_EQ(Le(l, 37, 8), 4608ull << 20);
  EXPECT_EQ(Le(l, 45, 8), 4700000u);
  c.clear();
  AppendCentralHeader(c, h, "big");
  EXPECT_EQ(Le(c, 30, 2), 20u);
  EXPECT_EQ(Le(c, 53, 8), 4608ull << 20);
  EXPECT_EQ(Le(c, 61, 8), 4700000u);
}

TEST(ZipHeaders, EndRecordsTurnZip64BeyondTheClassicLimits) {
  std::string e;
  AppendEndRecords(e, 65535, 100, 200);
  ASSERT_EQ(e.size(), 22u); // 65535 entries still fit
  EXPECT_EQ(Le(e, 0, 4), 0x06054B50u);
  EXPECT_EQ(Le(e, 8, 2), 65535u);
  EXPECT_EQ(Le(e, 12, 4), 100u);
  EXPECT_EQ(Le(e, 16, 4), 200u);

  e.clear();
  AppendEndRecords(e, 70000, 5000000, 0x100000000ull);
  ASSERT_EQ(e.size(), 56u + 20u + 22u);
  EXPECT_EQ(Le(e, 0, 4), 0x06064B50u);
  EXPECT_EQ(Le(e, 4, 8), 44u);
  EXPECT_EQ(Le(e, 24, 8), 70000u);
  EXPECT_EQ(Le(e, 32, 8), 70000u);
  EXPECT_EQ(Le(e, 40, 8), 5000000u);
  EXPECT_EQ(Le(e, 48, 8), 0x100000000ull);
  EXPECT_EQ(Le(e, 56, 4), 0x07064B50u);
  EXPECT_EQ(Le(e, 64, 8), 0x100000000ull + 5000000u); // where the ZIP64 end record is
  EXPECT_EQ(Le(e, 72, 4), 1u);
  EXPECT_EQ(Le(e, 76 + 8, 2), 0xFFFFu);
  EXPECT_EQ(Le(e, 76 + 12, 4), 5000000u);
  EXPECT_EQ(Le(e, 76 + 16, 4), 0xFFFFFFFFu);
}
