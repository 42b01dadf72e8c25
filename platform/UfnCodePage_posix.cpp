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
  for (char32_t cp : text::DecodeUtf8(s))
    text::AppendUtf16(out, cp > 0x10FFFF ? U'\uFFFD' : cp);
  return out;
}

std::string WideToAnsi(const std::u16string& s) {
  return text::Utf16ToUtf8(s);
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
