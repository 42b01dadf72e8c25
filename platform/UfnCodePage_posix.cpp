// POSIX (Linux) code page: UTF-8 throughout, compared by the C.UTF-8 locale's case mappings.
#include "platform/UfnCodePage.h"

#include "base/UfnText.h"

#include <locale.h>
#include <wctype.h>

namespace platform {

namespace {

locale_t CaseLocale() {
  static locale_t loc = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return loc;
}

// Through the upper case and back, so that forms such as final sigma meet.
char32_t Fold(char32_t c) {
  if (c > 0x10FFFF) return c;
  locale_t loc = CaseLocale();
  if (!loc) return c < 0x80 ? static_cast<char32_t>(text::UpperAscii(static_cast<char>(c))) : c;
  return static_cast<char32_t>(::towlower_l(::towupper_l(static_cast<wint_t>(c), loc), loc));
}

} // namespace

// ---- the system code page ----------------------------------------------------------------

std::u16string AnsiToWide(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  for (char32_t cp : text::DecodeUtf8(s)) {
    if (cp > 0x10FFFF) {
      out.push_back(u'\uFFFD');
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string WideToAnsi(const std::u16string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      out.push_back('?');
      continue;
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

bool CodePageMayHoldRawBytes() {
  return true;
}

// ---- text comparison (user registry) -----------------------------------------------------

bool SameTextIgnoreCase(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::u32string x = text::DecodeUtf8(a), y = text::DecodeUtf8(b);
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); ++i)
    if (x[i] != y[i] && Fold(x[i]) != Fold(y[i])) return false;
  return true;
}

// ---- archive entry names (archive writer) --------------------------------------------------

std::string ToOemCodePage(const std::string& s) {
  return s;
}

bool CodePageIsUtf8(bool) {
  return true;
}

} // namespace platform
