// The writer of the component text format (declared in UfnComponentText.h).
#include "settings/UfnComponentText.h"

#include "base/UfnErrors.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"

#include <string>

namespace {

void WriteBuffer(TTextOutput& stream, const std::string& text) {
  if (text.empty()) return;
  if (stream.Write(text.data(), text.size()) != text.size())
    throw EWriteError("Stream write error");
}

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

} // namespace

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
