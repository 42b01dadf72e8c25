// File masks against a plain recursive matcher: "*" any run, "?" any one, ASCII case folded.
#include "archive/UfnFolderScan.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

char Fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool Reference(const char* n, const char* m) {
  if (*m == '\0') return *n == '\0';
  if (*m == '*') return Reference(n, m + 1) || (*n != '\0' && Reference(n + 1, m));
  if (*n == '\0') return false;
  if (*m == '?' || Fold(*m) == Fold(*n)) return Reference(n + 1, m + 1);
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string s(reinterpret_cast<const char*>(data), size);
  size_t cut = s.find('\n');
  if (cut == std::string::npos || s.find('\0') != std::string::npos) return 0;
  std::string mask = s.substr(0, cut), name = s.substr(cut + 1);
  if (mask.size() > 24 || name.size() > 64) return 0;  // keep the reference fast
  bool want = mask == "*.*" ? true : Reference(name.c_str(), mask.c_str());
  if (MatchesMask(name, mask) != want) std::abort();
  return 0;
}
