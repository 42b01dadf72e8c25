// File masks against a plain table-driven matcher: "*" any run, "?" any one, ASCII case folded.
#include "archive/UfnFolderScan.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

char Fold(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// match[i][j]: the first i characters of the name match the first j of the mask. A table
// rather than plain recursion, which takes exponential time on masks like "a*a*a*a*b".
bool Reference(const std::string& n, const std::string& m) {
  std::vector<std::vector<char>> match(n.size() + 1, std::vector<char>(m.size() + 1, 0));
  match[0][0] = 1;
  for (size_t j = 1; j <= m.size(); ++j)
    match[0][j] = m[j - 1] == '*' && match[0][j - 1];
  for (size_t i = 1; i <= n.size(); ++i)
    for (size_t j = 1; j <= m.size(); ++j) {
      char c = m[j - 1];
      if (c == '*')
        match[i][j] = match[i][j - 1] || match[i - 1][j];
      else if (c == '?' || Fold(c) == Fold(n[i - 1]))
        match[i][j] = match[i - 1][j - 1];
    }
  return match[n.size()][m.size()];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string s(reinterpret_cast<const char*>(data), size);
  size_t cut = s.find('\n');
  if (cut == std::string::npos || s.find('\0') != std::string::npos) return 0;
  std::string mask = s.substr(0, cut), name = s.substr(cut + 1);
  if (mask.size() > 64 || name.size() > 256) return 0;
  bool want = mask == "*.*" ? true : Reference(name, mask);
  if (MatchesMask(name, mask) != want) std::abort();
  return 0;
}
