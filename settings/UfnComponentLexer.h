// The tokenizer of the component text format: symbols, strings, numbers, binary data and
// one-character tokens, with the line number for the parser's errors.
#pragma once

#include "settings/UfnComponentText.h"

#include <array>
#include <cstdint>
#include <string>

namespace component_text {

// Token kinds; any other value is the byte of a one-character token.
constexpr char toEOF = 0;
constexpr char toSymbol = 1;
constexpr char toString = 2;
constexpr char toInteger = 3;
constexpr char toFloat = 4;
constexpr char toWString = 5;

// The tokenizer. It reads its input through one buffer of ComponentTextBufferSize bytes
// that always holds whole lines: after each refill the text ends after the last line feed
// in the buffer, and a full buffer without one is "Line too long". A NUL byte ends the text.
class TParser {
public:
  explicit TParser(TTextInput& stream) : FStream(stream) {
    FBuffer[0] = 0;
    NextToken();
  }

  char Token() const { return FToken; }
  int SourceLine() const { return FSourceLine; }

  [[noreturn]] void Error(const std::string& text) const;
  char NextToken();

  // The token's text; for a real with a suffix letter, without the letter.
  std::string TokenString() const;
  // The value of a string token (toString or toWString) in UTF-16.
  std::u16string TokenWideString() const;
  bool TokenSymbolIs(const char* s) const;
  int64_t TokenInt() const;
  long double TokenFloat() const;
  char FloatType() const { return FFloatType; }
  void CheckToken(char t) const;
  void CheckTokenSymbol(const char* s) const;

  // A name value: the current identifier and, directly attached, further identifiers each
  // after a full stop.
  std::string TokenComponentIdent();
  // The current token is "{": reads hexadecimal digit pairs, blanks allowed between pairs, up
  // to "}", which becomes the current token.
  std::string HexToBinary();

private:
  static bool ParseInt64(const std::string& s, int64_t& value);
  // [-] digits [. digits] [(e|E) [+|-] digits], at least one digit before the exponent.
  static bool ParseFloat(const std::string& s, long double& value);

  // Scans a string token from `p` (at "#" or an apostrophe): a first pass finds whether it is
  // wide and checks the quoted runs, a second decodes it.
  size_t ScanString(size_t start, char& result);
  void SkipBlanks();
  // The last line start in the buffer before `pos`: the position after the last line feed
  // among FBuffer[0 .. pos - 1], or 0 when there is none. A line feed at index 0 (an empty
  // line carried over from the previous fill) is a line end like any other.
  size_t LineStart(size_t pos) const;
  void ReadBuffer();

  TTextInput& FStream;
  // One byte more than the buffer so that a look-ahead of two (hex digit pairs) at the very
  // end stays inside; it always holds 0.
  std::array<char, ComponentTextBufferSize + 1> FBuffer{};
  size_t FBufPtr = 0;    // end of the bytes read
  size_t FSourcePtr = 0; // scanning position
  size_t FSourceEnd = 0; // end of the whole lines (holds a 0 in place of FSaveChar)
  size_t FTokenPtr = 0;
  char FSaveChar = 0;
  int FSourceLine = 1;
  char FToken = toEOF;
  char FFloatType = 0;
  std::u16string FWideStr;
  std::string FNarrowStr;
};

} // namespace component_text
