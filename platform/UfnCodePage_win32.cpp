// Windows code pages: the process's ANSI and OEM code pages through the system's conversions.
#include "platform/UfnCodePage.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <vector>

namespace platform {

// ---- the system code page ----------------------------------------------------------------

std::u16string AnsiToWide(const std::string& s) {
  if (s.empty()) return {};
  int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return std::u16string(w.begin(), w.end());
}

std::string WideToAnsi(const std::u16string& s) {
  if (s.empty()) return {};
  std::wstring w(s.begin(), s.end());
  // A lone surrogate has no character in any code page: the default character, "?".
  for (size_t i = 0; i < w.size(); ++i) {
    bool high = w[i] >= 0xD800 && w[i] <= 0xDBFF, low = w[i] >= 0xDC00 && w[i] <= 0xDFFF;
    if (high && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF)
      ++i;
    else if (high || low)
      w[i] = L'?';
  }
  int n = ::WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        nullptr);
  return out;
}

bool CodePageMayHoldRawBytes() {
  return false;
}

// ---- text comparison (user registry) -----------------------------------------------------

bool SameTextIgnoreCase(const std::string& a, const std::string& b) {
  if (a == b) return true;
  if (a.empty() || b.empty()) return false;
  // The comparison of CompareStringA, but with the texts converted by the process's own code
  // page: the A form converts by the locale's, which is not UTF-8 when the program's is.
  std::u16string x = AnsiToWide(a), y = AnsiToWide(b);
  std::wstring wx(x.begin(), x.end()), wy(y.begin(), y.end());
  return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wx.data(),
                          static_cast<int>(wx.size()), wy.data(),
                          static_cast<int>(wy.size())) == CSTR_EQUAL;
}

// ---- archive entry names (archive writer) --------------------------------------------------

std::string ToOemCodePage(const std::string& s) {
  if (s.empty()) return s;
  // The OEM form is never longer than the ANSI one; the room to spare costs nothing.
  std::vector<char> out(s.size() * 3 + 1, '\0');
  if (!::CharToOemA(s.c_str(), out.data())) return s;
  return std::string(out.data());
}

bool CodePageIsUtf8(bool oem) {
  return (oem ? ::GetOEMCP() : ::GetACP()) == CP_UTF8;
}

} // namespace platform
