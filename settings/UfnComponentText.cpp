#include "settings/UfnComponentText.h"
#include "base/UfnText.h"

#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <vector>

// ---- streams -------------------------------------------------------------------------------

size_t TStringInput::Read(char* buffer, size_t count) {
  size_t n = std::min(count, FData.size() - FPosition);
  if (n) std::memcpy(buffer, FData.data() + FPosition, n);
  FPosition += n;
  return n;
}

size_t TStringOutput::Write(const char* buffer, size_t count) {
  size_t n = count;
  if (FLimited) n = std::min(count, FCapacity - std::min(FCapacity, FData.size()));
  FData.append(buffer, n);
  return n;
}

namespace {

// ---- shared helpers --------------------------------------------------------------------------

void WriteBuffer(TTextOutput& stream, const std::string& text) {
  if (text.empty()) return;
  if (stream.Write(text.data(), text.size()) != text.size())
    throw EWriteError("Stream write error");
}

// ---- the writer ------------------------------------------------------------------------------

constexpr size_t LineLength = 64;

bool IsPlainUnit(char16_t u) {
  return u >= 32 && u <= 127 && u != 39;
}

// Appends the encoded value of a string property whose line is at nesting level 1.
void AppendStringValue(std::string& out, const std::string& value) {
  bool ascii = true;
  for (char c : value)
    if (static_cast<unsigned char>(c) >= 128) ascii = false;
  std::u16string units;
  if (ascii)
    units.assign(value.begin(), value.end());
  else
    units = platform::AnsiToWide(value);
  const size_t L = units.size();
  if (L == 0) {
    out += "''";
    return;
  }
  const char* continuation = "\r\n    "; // line break, then level 2
  if (L > LineLength) out += continuation;
  size_t i = 0, k = 0; // k: where the current output line's units began
  do {
    bool lineBreak = false;
    if (IsPlainUnit(units[i])) {
      size_t j = i;
      do
        ++i;
      while (i < L && IsPlainUnit(units[i]) && i - k < LineLength);
      if (i - k >= LineLength) lineBreak = true;
      out += '\'';
      for (; j < i; ++j)
        out += static_cast<char>(units[j]);
      out += '\'';
    } else {
      out += '#';
      out += std::to_string(static_cast<unsigned>(units[i]));
      ++i;
      if (i - k >= LineLength) lineBreak = true;
    }
    if (lineBreak && i < L) {
      out += " +";
      out += continuation;
      k = i;
    }
  } while (i < L);
}

// Appends a value as its bytes in hexadecimal, 32 bytes to a line: a value of more than 32
// bytes starts on a line of its own at level 2, and the closing brace ends the last line.
void AppendBinaryValue(std::string& out, const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  constexpr size_t perLine = LineLength / 2;
  out += '{';
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i % perLine == 0 && bytes.size() > perLine) out += "\r\n    ";
    const auto b = static_cast<unsigned char>(bytes[i]);
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  out += '}';
}

bool LeftOut(TComponent& object, const TPropertyInfo& p, std::string& value) {
  if (p.Kind == TPropertyKind::String) {
    std::string s = p.GetString(object);
    if (s.empty()) return true;
    value.clear();
    // A folder name that is no UTF-8 would come back as other bytes through UTF-16, so it is
    // kept as bytes; a reader that knows no bytes for a string refuses it rather than taking
    // some other folder.
    if (platform::CodePageMayHoldRawBytes() && !text::IsValidUtf8(s))
      AppendBinaryValue(value, s);
    else
      AppendStringValue(value, s);
    return false;
  }
  int32_t v = p.GetInteger(object);
  if (p.Default && *p.Default == v) return true;
  value = std::to_string(v);
  return false;
}

// ---- the parser (phase 1) --------------------------------------------------------------------

// Token kinds; any other value is the byte of a one-character token.
constexpr char toEOF = 0;
constexpr char toSymbol = 1;
constexpr char toString = 2;
constexpr char toInteger = 3;
constexpr char toFloat = 4;
constexpr char toWString = 5;

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

  [[noreturn]] void Error(const std::string& text) const {
    throw EParserError(Format("%s on line %d", text.c_str(), FSourceLine));
  }

  char NextToken() {
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

  // The token's text; for a real with a suffix letter, without the letter.
  std::string TokenString() const {
    size_t end = FSourcePtr;
    if (FToken == toFloat && FFloatType != 0) --end;
    return std::string(FBuffer.data() + FTokenPtr, end - FTokenPtr);
  }

  // The value of a string token (toString or toWString) in UTF-16.
  std::u16string TokenWideString() const {
    if (FToken == toWString) return FWideStr;
    return platform::AnsiToWide(FNarrowStr);
  }

  bool TokenSymbolIs(const char* s) const {
    return FToken == toSymbol && text::SameAsciiIgnoreCase(TokenString(), s);
  }

  int64_t TokenInt() const {
    std::string s = TokenString();
    int64_t value = 0;
    if (!ParseInt64(s, value))
      throw EConvertError(Format("'%s' is not a valid integer value", s.c_str()));
    return value;
  }

  long double TokenFloat() const {
    std::string s = TokenString();
    long double value = 0;
    if (!ParseFloat(s, value))
      throw EConvertError(Format("'%s' is not a valid floating point value", s.c_str()));
    return value;
  }

  char FloatType() const { return FFloatType; }

  void CheckToken(char t) const {
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

  void CheckTokenSymbol(const char* s) const {
    if (!TokenSymbolIs(s)) Error(Format("%s expected", s));
  }

  // A name value: the current identifier and, directly attached, further identifiers each
  // after a full stop.
  std::string TokenComponentIdent() {
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

  // The current token is "{": reads hexadecimal digit pairs, blanks allowed between pairs, up
  // to "}", which becomes the current token.
  std::string HexToBinary() {
    std::string bytes;
    SkipBlanks();
    while (FBuffer[FSourcePtr] != '}') {
      size_t count = 0;
      while (IsHexDigit(FBuffer[FSourcePtr]) && IsHexDigit(FBuffer[FSourcePtr + 1])) {
        bytes += static_cast<char>(HexValue(FBuffer[FSourcePtr]) << 4 |
                                   HexValue(FBuffer[FSourcePtr + 1]));
        FSourcePtr += 2;
        ++count;
      }
      if (count == 0) Error("Invalid binary value");
      SkipBlanks();
    }
    NextToken();
    return bytes;
  }

private:
  static bool ParseInt64(const std::string& s, int64_t& value) {
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

  // [-] digits [. digits] [(e|E) [+|-] digits], at least one digit before the exponent.
  static bool ParseFloat(const std::string& s, long double& value) {
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

  // Scans a string token from `p` (at "#" or an apostrophe): a first pass finds whether it is
  // wide and checks the quoted runs, a second decodes it.
  size_t ScanString(size_t start, char& result) {
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

  void SkipBlanks() {
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

  // The last line start in the buffer before `pos`: the position after the last line feed
  // among FBuffer[0 .. pos - 1], or 0 when there is none. A line feed at index 0 (an empty
  // line carried over from the previous fill) is a line end like any other.
  size_t LineStart(size_t pos) const {
    for (size_t i = pos; i-- > 0;)
      if (FBuffer[i] == '\n') return i + 1;
    return 0;
  }

  void ReadBuffer() {
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

// ---- the parsed text -------------------------------------------------------------------------

enum class TValueKind { String, Integer, Float, Name, List, Set, Collection, Binary };

struct TTextValue {
  TValueKind Kind = TValueKind::String;
  std::u16string String; // String
  int64_t Integer = 0;   // Integer
  std::string Text;      // Name: the dotted name; Binary: the bytes
};

struct TTextItem {
  std::string Key; // as the text spells it, dotted keys joined by "."
  TTextValue Value;
};

struct TTextObject {
  std::string ObjectName; // empty when the header names none
  std::string ClassName;
  std::vector<TTextItem> Items;          // the outermost object's property items
  std::vector<std::string> ChildClasses; // the class names of its direct child objects
};

// Phase 1. The grammar is run with an explicit stack, so that deep nesting of lists,
// collections and child objects cannot exhaust the machine stack; only what phase 2 needs is
// kept: the outermost object's header, its property items, and its children's class names.
class TTextParser {
public:
  explicit TTextParser(TTextInput& stream) : FParser(stream) {}

  TTextObject Parse() {
    BeginObject();
    while (!FStack.empty())
      Step();
    return std::move(FRoot);
  }

private:
  enum class TFrame { ObjectProperties, ObjectChildren, List, Collection, Item };

  // At "object", "inherited" or "inline": reads the header and opens the object.
  void BeginObject() {
    TParser& p = FParser;
    if (!p.TokenSymbolIs("INHERITED") && !p.TokenSymbolIs("INLINE")) p.CheckTokenSymbol("OBJECT");
    p.NextToken();
    // The header: [ObjectName ":"] ClassName ["[" Integer "]"]
    p.CheckToken(toSymbol);
    std::string className = p.TokenString(), objectName;
    if (p.NextToken() == ':') {
      p.NextToken();
      p.CheckToken(toSymbol);
      objectName = className;
      className = p.TokenString();
      p.NextToken();
    }
    OrderModifier();
    if (FStack.empty()) {
      FRoot.ObjectName = objectName;
      FRoot.ClassName = className;
    } else if (FStack.size() == 1) {
      FRoot.ChildClasses.push_back(className); // a direct child of the outermost object
    }
    FStack.push_back(TFrame::ObjectProperties);
  }

  // "[" Integer "]", optional.
  void OrderModifier() {
    TParser& p = FParser;
    if (p.Token() != '[') return;
    p.NextToken();
    p.CheckToken(toInteger);
    p.TokenInt();
    p.NextToken();
    p.CheckToken(']');
    p.NextToken();
  }

  bool AtObjectEnd() const {
    return FParser.TokenSymbolIs("END") || FParser.TokenSymbolIs("OBJECT") ||
           FParser.TokenSymbolIs("INHERITED") || FParser.TokenSymbolIs("INLINE");
  }

  void Step() {
    TParser& p = FParser;
    switch (FStack.back()) {
    case TFrame::ObjectProperties:
      if (AtObjectEnd())
        FStack.back() = TFrame::ObjectChildren;
      else
        Property(FStack.size() == 1 ? &FRoot : nullptr);
      break;
    case TFrame::ObjectChildren:
      if (p.TokenSymbolIs("END")) {
        FStack.pop_back();
        p.NextToken();
      } else {
        BeginObject();
      }
      break;
    case TFrame::List:
      if (p.Token() == ')') {
        FStack.pop_back();
        p.NextToken();
      } else {
        Value(nullptr);
      }
      break;
    case TFrame::Collection:
      if (p.Token() == '>') {
        FStack.pop_back();
        p.NextToken();
      } else {
        p.CheckTokenSymbol("item");
        p.NextToken();
        OrderModifier();
        FStack.push_back(TFrame::Item);
      }
      break;
    case TFrame::Item:
      if (p.TokenSymbolIs("end")) {
        FStack.pop_back();
        p.NextToken();
      } else {
        Property(nullptr);
      }
      break;
    }
  }

  // A property item; kept in `root` when given.
  void Property(TTextObject* root) {
    TParser& p = FParser;
    p.CheckToken(toSymbol);
    std::string key = p.TokenString();
    p.NextToken();
    while (p.Token() == '.') {
      p.NextToken();
      p.CheckToken(toSymbol);
      key += '.';
      key += p.TokenString();
      p.NextToken();
    }
    p.CheckToken('=');
    p.NextToken();
    if (root) {
      root->Items.push_back(TTextItem{std::move(key), {}});
      Value(&root->Items.back().Value);
    } else {
      Value(nullptr);
    }
  }

  // A value, chosen by its first token. Lists and collections push a frame; every other
  // value is read whole, and the token after it becomes the current one.
  void Value(TTextValue* out) {
    TParser& p = FParser;
    TTextValue v;
    char t = p.Token();
    if (t == toString || t == toWString) {
      v.Kind = TValueKind::String;
      v.String = p.TokenWideString();
      while (p.NextToken() == '+') {
        p.NextToken();
        if (p.Token() != toString && p.Token() != toWString) p.CheckToken(toString);
        v.String += p.TokenWideString();
      }
      if (out) *out = std::move(v);
      return;
    }
    switch (t) {
    case toSymbol:
      v.Kind = TValueKind::Name;
      v.Text = p.TokenComponentIdent();
      break;
    case toInteger:
      v.Kind = TValueKind::Integer;
      v.Integer = p.TokenInt();
      break;
    case toFloat:
      v.Kind = TValueKind::Float;
      p.TokenFloat();
      break;
    case '[':
      v.Kind = TValueKind::Set;
      p.NextToken();
      if (p.Token() != ']') {
        for (;;) {
          if (p.Token() != toInteger) p.CheckToken(toSymbol);
          if (p.NextToken() == ']') break;
          p.CheckToken(',');
          p.NextToken();
        }
      }
      break;
    case '(':
      v.Kind = TValueKind::List;
      if (out) *out = std::move(v);
      p.NextToken();
      FStack.push_back(TFrame::List);
      return;
    case '{':
      v.Kind = TValueKind::Binary;
      v.Text = p.HexToBinary();
      break;
    case '<':
      v.Kind = TValueKind::Collection;
      if (out) *out = std::move(v);
      p.NextToken();
      FStack.push_back(TFrame::Collection);
      return;
    default:
      p.Error("Invalid property value");
    }
    p.NextToken();
    if (out) *out = std::move(v);
  }

  TParser FParser;
  std::vector<TFrame> FStack;
  TTextObject FRoot;
};

// ---- phase 2 ---------------------------------------------------------------------------------

[[noreturn]] void PropertyError(TComponent& object, const std::string& key,
                                const std::string& fault) {
  std::string name = object.GetName();
  if (name.empty()) name = object.ClassName();
  throw EReadError(
      Format("Error reading %s%s%s: %s", name.c_str(), ".", key.c_str(), fault.c_str()));
}

const TPropertyInfo* FindProperty(const TPropertyList& list, const std::string& name) {
  for (const TPropertyInfo& p : list)
    if (text::SameAsciiIgnoreCase(p.Name, name)) return &p;
  return nullptr;
}

void Assign(TComponent& object, const TPropertyList& list, const TTextItem& item) {
  const std::string& key = item.Key;
  auto dot = key.find('.');
  if (dot != std::string::npos) {
    std::string first = key.substr(0, dot);
    if (FindProperty(list, first)) PropertyError(object, key, "Invalid property path");
    PropertyError(object, key, Format("Property %s does not exist", first.c_str()));
  }
  const TPropertyInfo* p = FindProperty(list, key);
  if (!p) PropertyError(object, key, Format("Property %s does not exist", key.c_str()));
  const TTextValue& v = item.Value;
  if (p->Kind == TPropertyKind::String) {
    // Bytes for a string: what the writer gives a value that is no text of the code page. A
    // zero byte would end the name at the system's door, so it is refused.
    const bool bytes = v.Kind == TValueKind::Binary && platform::CodePageMayHoldRawBytes() &&
                       v.Text.find('\0') == std::string::npos;
    if (v.Kind != TValueKind::String && !bytes)
      PropertyError(object, key, "Invalid property value");
    try {
      p->SetString(object, bytes ? v.Text : platform::WideToAnsi(v.String));
    } catch (const EReadError&) {
      throw;
    } catch (const Exception& e) {
      PropertyError(object, key, e.Message());
    }
    return;
  }
  if (v.Kind != TValueKind::Integer || v.Integer < INT32_MIN || v.Integer > INT32_MAX)
    PropertyError(object, key, "Invalid property value");
  try {
    p->SetInteger(object, static_cast<int32_t>(v.Integer));
  } catch (const EReadError&) {
    throw;
  } catch (const Exception& e) {
    PropertyError(object, key, e.Message());
  }
}

} // namespace

// ---- the interface ---------------------------------------------------------------------------

void WriteComponentText(TComponent& object, TTextOutput& stream) {
  std::string header = "object ";
  if (!object.GetName().empty()) header += object.GetName() + ": ";
  header += object.ClassName() + "\r\n";
  WriteBuffer(stream, header);
  TPropertyList list = object.PersistedProperties();
  std::string value;
  for (const TPropertyInfo& p : list) {
    if (!p.Stored || LeftOut(object, p, value)) continue;
    WriteBuffer(stream, "  " + p.Name + " = " + value + "\r\n");
  }
  WriteBuffer(stream, "end\r\n");
}

void ReadComponentText(TTextInput& stream, TComponent& object) {
  TTextObject text = TTextParser(stream).Parse(); // phase 1: nothing assigned before it ends
  object.SetName(text.ObjectName); // the header's class name is not compared with anything
  TPropertyList list = object.PersistedProperties();
  for (const TTextItem& item : text.Items)
    Assign(object, list, item);
  if (!text.ChildClasses.empty())
    throw EClassNotFound(Format("Class %s not found", text.ChildClasses.front().c_str()));
}

std::string WriteComponentText(TComponent& object) {
  TStringOutput out;
  WriteComponentText(object, out);
  return out.Data();
}

void ReadComponentText(const std::string& text, TComponent& object) {
  TStringInput in(text);
  ReadComponentText(in, object);
}
