// Small text helpers that every core unit uses: trimming, ASCII letter case and UTF-8
// decoding. Pure functions, the same on every system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace text {

// Removes every character up to and including the blank (spaces and control characters)
// from both ends.
std::string Trim(std::string_view s);

// The lines of a program's output or a text file: split at LF, a CR before it dropped; no
// empty line after a final LF.
std::vector<std::string> SplitLines(std::string_view text);

// One argument as the C run-time's command-line parser on Windows reads it back: in double
// quotes when it holds a blank or a quote, backslashes doubled only where a quote follows them.
std::string WindowsArgument(const std::string& arg);

// A size for people: "512 B", "1.5 KiB", "3.2 GiB" (powers of 1024, one decimal).
std::string SizeText(unsigned long long bytes);

// ASCII letters only; every other byte stays as it is.
std::string UpperAscii(std::string s);
std::string LowerAscii(std::string s);
char UpperAscii(char c);

// Whether two names are equal when ASCII letters compare without regard to case and every
// other byte as it is: how profile files, the settings stream and extensions match names.
bool SameAsciiIgnoreCase(std::string_view a, std::string_view b);
// The same order as a three-way comparison: negative, 0 or positive.
int CompareAsciiIgnoreCase(std::string_view a, std::string_view b);

// The code points of UTF-8 text. A byte that starts no valid sequence stands for itself
// above the Unicode range (0x110000 + the byte), so that two different malformed texts never
// decode alike. Overlong forms, surrogates and values above U+10FFFF are malformed.
std::u32string DecodeUtf8(std::string_view s);
// Whether the text is valid UTF-8 throughout.
bool IsValidUtf8(std::string_view s);
// The first code point that does not decode; 0x110000 + byte, as above.
constexpr char32_t MalformedBase = 0x110000;

// UTF-16 and UTF-8: one code point appended as UTF-16; UTF-16 text as UTF-8, a lone
// surrogate as "?".
void AppendUtf16(std::u16string& out, char32_t cp);
std::string Utf16ToUtf8(std::u16string_view s);

// Bytes that may not be UTF-8 (a file name) in an edit field. ShownText gives the text with
// each byte that starts no valid sequence shown as U+FFFD. EditedBytes gives the bytes after
// the field's text went from ShownText(bytes) to `edited`: the unchanged beginning and end keep
// their own bytes, what was typed between them is UTF-8 (a lone surrogate as "?"). So a name
// that nobody touched, or whose malformed part nobody touched, comes back byte for byte.
std::u16string ShownText(std::string_view bytes);
std::string EditedBytes(std::string_view bytes, std::u16string_view edited);

} // namespace text
