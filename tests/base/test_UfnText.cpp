#include "base/UfnText.h"

#include <gtest/gtest.h>

using namespace text;

TEST(Text, WindowsArgumentQuotesOnlyWhatTheParserWouldSplitOrEat) {
  EXPECT_EQ(WindowsArgument(R"(C:\bin\x.exe)"), R"(C:\bin\x.exe)");
  EXPECT_EQ(WindowsArgument(""), R"("")");
  EXPECT_EQ(WindowsArgument(R"(C:\Program Files\)"), R"("C:\Program Files\\")");
  EXPECT_EQ(WindowsArgument(R"(say "hi")"), R"("say \"hi\"")");
}

TEST(Text, SizeTextSwitchesUnitAtEachPowerOf1024) {
  EXPECT_EQ(SizeText(0), "0 B");
  EXPECT_EQ(SizeText(1023), "1023 B");
  EXPECT_EQ(SizeText(1024), "1.0 KiB");
  EXPECT_EQ(SizeText(1536ull << 20), "1.5 GiB");
  EXPECT_EQ(SizeText(~0ull), "16777216.0 TiB");
}

TEST(Text, TrimTakesBlanksAndControlCharactersFromBothEndsOnly) {
  EXPECT_EQ(Trim(" \t\r\n alice bob \x01\x1f "), "alice bob");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(""), "");
  // Bytes above 0x7F are text, not blanks (UTF-8 lead and continuation bytes).
  EXPECT_EQ(Trim("\xea\xb0\x80 "), "\xea\xb0\x80");
}

TEST(Text, AsciiCaseLeavesOtherBytesAlone) {
  EXPECT_EQ(UpperAscii("abz-AZ\xc3\xa9"), "ABZ-AZ\xc3\xa9");
  EXPECT_EQ(LowerAscii("ABZ-az\xc3\x89"), "abz-az\xc3\x89");
  EXPECT_TRUE(SameAsciiIgnoreCase("Anon-Access", "anon-access"));
  EXPECT_FALSE(SameAsciiIgnoreCase("anon", "anon-"));
  EXPECT_FALSE(SameAsciiIgnoreCase("\xc3\xa9", "\xc3\x89")); // é and É are not ASCII
  EXPECT_LT(CompareAsciiIgnoreCase("a", "B"), 0);
  EXPECT_GT(CompareAsciiIgnoreCase("ab", "A"), 0);
  EXPECT_EQ(CompareAsciiIgnoreCase("ABC", "abc"), 0);
}

TEST(Text, Utf8DecodingMarksEveryMalformedByteApart) {
  EXPECT_EQ(DecodeUtf8("a\xea\xb0\x80\xf0\x9f\x98\x80"), std::u32string(U"a\uAC00\U0001F600"));
  EXPECT_TRUE(IsValidUtf8("\xea\xb0\x80"));
  // A lone continuation byte, an overlong "/", a surrogate, a value beyond U+10FFFF and a
  // sequence cut short are all malformed, and each stands for its own first byte.
  for (const char* bad : {"\x80", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe0\xa0"}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
    EXPECT_EQ(DecodeUtf8(bad)[0], MalformedBase + static_cast<unsigned char>(bad[0]));
  }
  EXPECT_NE(DecodeUtf8("\xff"), DecodeUtf8("\xfe"));
}

// A folder name with stray bytes in an edit field: shown with U+FFFD, and what nobody edited
// keeps its bytes.
TEST(Text, EditedBytesKeepWhatWasNotEdited) {
  const std::string name = "/srv/caf\xe9/\xf0\x9f\x98\x80x\xff"; // é in Latin-1, an emoji, a stray
  EXPECT_EQ(ShownText(name), u"/srv/caf\uFFFD/\U0001F600x\uFFFD");
  EXPECT_EQ(ShownText("\xe0\xa0"), u"\uFFFD\uFFFD"); // cut short: one mark per byte
  const std::u16string shown = ShownText(name);
  EXPECT_EQ(EditedBytes(name, shown), name);
  EXPECT_EQ(EditedBytes(name, shown + u"/sub"), name + "/sub");
  EXPECT_EQ(EditedBytes(name, u"/new" + shown), "/new" + name);
  // The mark itself edited away: its byte goes with it.
  EXPECT_EQ(EditedBytes(name, u"/srv/caf/\U0001F600x\uFFFD"), "/srv/caf/\xf0\x9f\x98\x80x\xff");
  // Replaced whole: the typed text alone, in UTF-8.
  EXPECT_EQ(EditedBytes(name, u"/srv/\uC800"), "/srv/\xec\xa0\x80");
  EXPECT_EQ(EditedBytes(name, u""), "");
  // An emoji replaced by another that shares its high surrogate: the pair is never cut.
  EXPECT_EQ(EditedBytes(name, u"/srv/caf\uFFFD/\U0001F601x\uFFFD"),
            "/srv/caf\xe9/\xf0\x9f\x98\x81x\xff");
  EXPECT_EQ(EditedBytes("a\xf0\x9f\x98\x80", u"a\xD83D"), "a?"); // a lone surrogate typed
  // Valid UTF-8: the edited text as it stands.
  EXPECT_EQ(EditedBytes("/srv/x", u"/srv/\uC800x"), "/srv/\xec\xa0\x80x");
}
