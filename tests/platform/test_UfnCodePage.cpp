#include "platform/UfnCodePage.h"

#include <gtest/gtest.h>

TEST(Platform, CodePageConversionRoundTripsAndReplacesWhatItLacks) {
  std::string hangul = "D:\\\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C"; // D:\저장소
  std::u16string w = platform::AnsiToWide(hangul);
  EXPECT_EQ(w, u"D:\\\uC800\uC7A5\uC18C");
  EXPECT_EQ(platform::WideToAnsi(w), hangul);
  EXPECT_EQ(platform::AnsiToWide("\xF0\x9F\x98\x80"), u"\U0001F600"); // two units
  EXPECT_EQ(platform::WideToAnsi(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(platform::AnsiToWide("a\xFF"
                                 "b"),
            u"a\uFFFDb");
  EXPECT_EQ(platform::AnsiToWide("\xE0\x80\x80"), u"\uFFFD\uFFFD\uFFFD"); // overlong
  EXPECT_EQ(platform::WideToAnsi(std::u16string(1, char16_t(0xD800)) + u"x"), "?x");
}
