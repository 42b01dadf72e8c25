#include "base/UfnText.h"

#include <cstdio>
#include <vector>

namespace text {

namespace {

// Length of the sequence that a lead byte starts, 0 when it starts none.
size_t SequenceLength(unsigned char c) {
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return 2;
  if (c >= 0xE0 && c <= 0xEF) return 3;
  if (c >= 0xF0 && c <= 0xF4) return 4;
  return 0;
}

// Decodes the sequence at s[i]; false when it is malformed. `len` is its length.
bool DecodeAt(std::string_view s, size_t i, char32_t& cp, size_t& len) {
  const auto c = static_cast<unsigned char>(s[i]);
  len = SequenceLength(c);
  if (len == 0 || i + len > s.size()) return false;
  cp = len == 1 ? c : len == 2 ? (c & 0x1Fu) : len == 3 ? (c & 0x0Fu) : (c & 0x07u);
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) return false;
  if (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) return false;
  return true;
}

} // namespace

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    start = end + 1;
  }
  return lines;
}

std::string WindowsArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"')
      quoted.append(backslashes * 2 + 1, '\\');
    else
      quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

std::string SizeText(unsigned long long bytes) {
  static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double v = static_cast<double>(bytes);
  int u = 0;
  while (v >= 1024 && u < 4) {
    v /= 1024;
    ++u;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f %s", v, units[u]);
  return buf;
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
    ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
    --e;
  return std::string(s.substr(b, e - b));
}

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperAscii(std::string s) {
  for (char& c : s)
    c = UpperAscii(c);
  return s;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

int CompareAsciiIgnoreCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(UpperAscii(a[i]));
    const auto y = static_cast<unsigned char>(UpperAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return 0;
}

bool SameAsciiIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareAsciiIgnoreCase(a, b) == 0;
}

std::u32string DecodeUtf8(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    char32_t cp = 0;
    size_t len = 0;
    if (DecodeAt(s, i, cp, len)) {
      out.push_back(cp);
      i += len;
    } else {
      out.push_back(MalformedBase + static_cast<unsigned char>(s[i]));
      ++i;
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    char32_t cp = 0;
    size_t len = 0;
    if (!DecodeAt(s, i, cp, len)) return false;
    i += len;
  }
  return true;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = '?';
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

namespace {

// The shown text, and for each of its units the byte offset where it begins (a low surrogate
// gets its pair's offset); one entry more for the end.
std::u16string Shown(std::string_view bytes, std::vector<size_t>* offsets) {
  std::u16string out;
  size_t i = 0;
  while (i < bytes.size()) {
    char32_t cp = 0;
    size_t len = 0;
    if (!DecodeAt(bytes, i, cp, len)) {
      cp = 0xFFFD;
      len = 1;
    }
    const size_t before = out.size();
    AppendUtf16(out, cp);
    if (offsets) offsets->insert(offsets->end(), out.size() - before, i);
    i += len;
  }
  if (offsets) offsets->push_back(bytes.size());
  return out;
}

bool IsLowSurrogate(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

} // namespace

std::u16string ShownText(std::string_view bytes) {
  return Shown(bytes, nullptr);
}

std::string EditedBytes(std::string_view bytes, std::u16string_view edited) {
  std::vector<size_t> offsets;
  const std::u16string shown = Shown(bytes, &offsets);
  const size_t n = shown.size(), m = edited.size();
  size_t head = 0;
  while (head < n && head < m && shown[head] == edited[head])
    ++head;
  size_t tail = 0;
  while (tail < n - head && tail < m - head && shown[n - 1 - tail] == edited[m - 1 - tail])
    ++tail;
  // Never cut a surrogate pair: the byte offsets exist only where a character begins.
  if (head < n && IsLowSurrogate(shown[head])) --head;
  if (tail > 0 && tail < n && IsLowSurrogate(shown[n - tail])) --tail;
  std::string out(bytes.substr(0, offsets[head]));
  out += Utf16ToUtf8(edited.substr(head, m - head - tail));
  out += bytes.substr(offsets[n - tail]);
  return out;
}

} // namespace text
