#include "settings/UfnComponentLexer.h"

#include "base/UfnErrors.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"

#include <charconv>
#include <cstring>

namespace component_text {

namespace {

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

} // namespace

void TParser::Error(const std::string& text) const {
  throw EParserError(Format("%s on line %d", text.c_str(), FSourceLine));
}

char TParser::NextToken() {
  SkipBlanks();
  size_t p = FSourcePtr;
  FTokenPtr = p;
  char result;
  char c = FBuffer[p];
  if (IsLetter(c)) {
    ++p;
    while (IsLetter(FBuffer[p]) || IsDigit(FBuffer[p]))
      ++p;
    result = toSymbol;
  } else if (c == '#' || c == '\'') {
    p = ScanString(p, result);
  } else if (c == '$') {
    ++p;
    while (IsHexDigit(FBuffer[p]))
      ++p;
    result = toInteger;
  } else if (c == '-' || IsDigit(c)) {
    ++p;
    while (IsDigit(FBuffer[p]))
      ++p;
    result = toInteger;
    while (IsDigit(FBuffer[p]) || FBuffer[p] == '.' || FBuffer[p] == 'e' || FBuffer[p] == 'E' ||
           FBuffer[p] == '+' || FBuffer[p] == '-') {
      ++p;
      result = toFloat;
    }
    char s = FBuffer[p];
    if (s == 'c' || s == 'C' || s == 'd' || s == 'D' || s == 's' || s == 'S') {
      result = toFloat;
      FFloatType = s;
      ++p;
    } else {
      FFloatType = 0;
    }
  } else {
    result = c;
    if (result != toEOF) ++p;
  }
  FSourcePtr = p;
  FToken = result;
  return result;
}

std::string TParser::TokenString() const {
  size_t end = FSourcePtr;
  if (FToken == toFloat && FFloatType != 0) --end;
  return std::string(FBuffer.data() + FTokenPtr, end - FTokenPtr);
}

std::u16string TParser::TokenWideString() const {
  if (FToken == toWString) return FWideStr;
  return platform::AnsiToWide(FNarrowStr);
}

bool TParser::TokenSymbolIs(const char* s) const {
  return FToken == toSymbol && text::SameAsciiIgnoreCase(TokenString(), s);
}

int64_t TParser::TokenInt() const {
  std::string s = TokenString();
  int64_t value = 0;
  if (!ParseInt64(s, value))
    throw EConvertError(Format("'%s' is not a valid integer value", s.c_str()));
  return value;
}

long double TParser::TokenFloat() const {
  std::string s = TokenString();
  long double value = 0;
  if (!ParseFloat(s, value))
    throw EConvertError(Format("'%s' is not a valid floating point value", s.c_str()));
  return value;
}

void TParser::CheckToken(char t) const {
  if (FToken == t) return;
  switch (t) {
  case toSymbol:
    Error("Identifier expected");
  case toString:
  case toWString:
    Error("String expected");
  case toInteger:
  case toFloat:
    Error("Number expected");
  default:
    Error(Format("''%c'' expected", t));
  }
}

void TParser::CheckTokenSymbol(const char* s) const {
  if (!TokenSymbolIs(s)) Error(Format("%s expected", s));
}

std::string TParser::TokenComponentIdent() {
  CheckToken(toSymbol);
  size_t p = FSourcePtr;
  while (FBuffer[p] == '.') {
    ++p;
    if (!IsLetter(FBuffer[p])) Error("Identifier expected");
    do
      ++p;
    while (IsLetter(FBuffer[p]) || IsDigit(FBuffer[p]));
  }
  FSourcePtr = p;
  return TokenString();
}

std::string TParser::HexToBinary() {
  std::string bytes;
  SkipBlanks();
  while (FBuffer[FSourcePtr] != '}') {
    size_t count = 0;
    while (IsHexDigit(FBuffer[FSourcePtr]) && IsHexDigit(FBuffer[FSourcePtr + 1])) {
      bytes +=
          static_cast<char>(HexValue(FBuffer[FSourcePtr]) << 4 | HexValue(FBuffer[FSourcePtr + 1]));
      FSourcePtr += 2;
      ++count;
    }
    if (count == 0) Error("Invalid binary value");
    SkipBlanks();
  }
  NextToken();
  return bytes;
}

bool TParser::ParseInt64(const std::string& s, int64_t& value) {
  if (s.empty()) return false;
  if (s[0] == '$') {
    uint64_t v = 0;
    if (s.size() == 1) return false;
    for (size_t i = 1; i < s.size(); ++i) {
      if (v > (UINT64_MAX >> 4)) return false;
      v = v << 4 | static_cast<uint64_t>(HexValue(s[i]));
    }
    if (v > static_cast<uint64_t>(INT64_MAX)) return false; // beyond the signed range
    value = static_cast<int64_t>(v);
    return true;
  }
  bool negative = s[0] == '-';
  size_t i = negative ? 1 : 0;
  if (i == s.size()) return false;
  uint64_t limit = negative ? static_cast<uint64_t>(INT64_MAX) + 1 : INT64_MAX;
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    if (!IsDigit(s[i])) return false;
    uint64_t d = static_cast<uint64_t>(s[i] - '0');
    if (v > (limit - d) / 10) return false;
    v = v * 10 + d;
  }
  value = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

bool TParser::ParseFloat(const std::string& s, long double& value) {
  size_t i = 0, n = s.size();
  if (i < n && (s[i] == '-' || s[i] == '+')) ++i;
  size_t mantissaDigits = 0;
  while (i < n && IsDigit(s[i]))
    ++i, ++mantissaDigits;
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && IsDigit(s[i]))
      ++i, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < n && IsDigit(s[i]))
      ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  // from_chars takes no leading "+" (the tokenizer never gives one; kept for safety) and
  // no "1." without fraction digits in every library: hand it a tidy copy.
  std::string t;
  for (size_t k = 0; k < n; ++k) {
    if (k == 0 && s[k] == '+') continue;
    t += s[k];
    if (s[k] == '.' && (k + 1 >= n || !IsDigit(s[k + 1]))) t += '0';
  }
  if (!t.empty() && t[0] == '.') t.insert(t.begin(), '0');
  if (t.size() > 1 && t[0] == '-' && t[1] == '.') t.insert(t.begin() + 1, '0');
  auto r = std::from_chars(t.data(), t.data() + t.size(), value);
  if (r.ptr != t.data() + t.size()) return false;
  if (r.ec == std::errc::result_out_of_range) {
    // An underflow is zero; an overflow does not form a number.
    bool tiny = false;
    for (size_t k = 0; k < t.size(); ++k)
      if ((t[k] == 'e' || t[k] == 'E') && k + 1 < t.size() && t[k + 1] == '-') tiny = true;
    if (!tiny) return false;
    value = 0;
    return true;
  }
  return r.ec == std::errc();
}

size_t TParser::ScanString(size_t start, char& result) {
  bool wide = false;
  size_t p = start;
  for (;;) {
    char c = FBuffer[p];
    if (c == '#') {
      ++p;
      uint64_t v = 0;
      while (IsDigit(FBuffer[p])) {
        v = (v * 10 + static_cast<uint64_t>(FBuffer[p] - '0')) & 0xFFFFFFFFu;
        if (v > 127) wide = true;
        ++p;
      }
    } else if (c == '\'') {
      ++p;
      for (;;) {
        char q = FBuffer[p];
        if (q == 0 || q == '\n' || q == '\r') Error("Invalid string constant");
        if (q == '\'') {
          ++p;
          if (FBuffer[p] != '\'') break;
        }
        ++p;
      }
    } else {
      break;
    }
  }
  const size_t end = p;
  FWideStr.clear();
  FNarrowStr.clear();
  p = start;
  while (p < end) {
    if (FBuffer[p] == '#') {
      ++p;
      uint64_t v = 0;
      while (IsDigit(FBuffer[p])) {
        v = (v * 10 + static_cast<uint64_t>(FBuffer[p] - '0')) & 0xFFFFFFFFu;
        ++p;
      }
      if (wide)
        FWideStr += static_cast<char16_t>(v & 0xFFFFu);
      else
        FNarrowStr += static_cast<char>(v);
    } else { // a quoted run
      ++p;
      for (;;) {
        if (FBuffer[p] == '\'') {
          ++p;
          if (FBuffer[p] != '\'') break;
        }
        unsigned char b = static_cast<unsigned char>(FBuffer[p]);
        if (wide)
          FWideStr += static_cast<char16_t>(b);
        else
          FNarrowStr += static_cast<char>(b);
        ++p;
      }
    }
  }
  result = wide ? toWString : toString;
  return end;
}

void TParser::SkipBlanks() {
  for (;;) {
    unsigned char c = static_cast<unsigned char>(FBuffer[FSourcePtr]);
    if (c == 0) {
      ReadBuffer();
      if (FBuffer[FSourcePtr] == 0) return;
      continue;
    }
    if (c == '\n') ++FSourceLine;
    if (c >= 33) return;
    ++FSourcePtr;
  }
}

size_t TParser::LineStart(size_t pos) const {
  for (size_t i = pos; i-- > 0;)
    if (FBuffer[i] == '\n') return i + 1;
  return 0;
}

void TParser::ReadBuffer() {
  FBuffer[FSourceEnd] = FSaveChar;
  size_t count = FBufPtr - FSourcePtr;
  if (count) std::memmove(FBuffer.data(), FBuffer.data() + FSourcePtr, count);
  FBufPtr = count;
  // Fill the buffer: a stream may hand out fewer bytes than asked before its end.
  while (FBufPtr < ComponentTextBufferSize) {
    size_t n = FStream.Read(FBuffer.data() + FBufPtr, ComponentTextBufferSize - FBufPtr);
    if (n == 0) break;
    FBufPtr += std::min(n, ComponentTextBufferSize - FBufPtr);
  }
  FSourcePtr = 0;
  FSourceEnd = FBufPtr;
  if (FSourceEnd == ComponentTextBufferSize) {
    FSourceEnd = LineStart(FSourceEnd - 1);
    if (FSourceEnd == 0) Error("Line too long");
  }
  FSaveChar = FBuffer[FSourceEnd];
  FBuffer[FSourceEnd] = 0;
}

} // namespace component_text
