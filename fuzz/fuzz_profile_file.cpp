// The profile reader and its edits on arbitrary text. The input is
// section NUL key NUL value NUL file-text; every write that is accepted must read back as
// written, keep the section's other keys, be repeatable and be removable again.
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnProfileText.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Next(std::string& rest) {
  size_t nul = rest.find('\0');
  std::string head = rest.substr(0, nul);
  rest = nul == std::string::npos ? "" : rest.substr(nul + 1);
  return head;
}

// Whether a key line of that name is indented: svnserve may read it as more of the value of
// the line above, and then it goes with that line.
bool OnIndentedLine(const std::string& text, const std::string& name) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      size_t b = line.find_first_not_of(" \t"), eq = line.find('=');
      if (b != std::string::npos && eq != std::string::npos && eq > b) {
        size_t e = line.find_last_not_of(" \t", eq - 1);
        if (text::SameAsciiIgnoreCase(line.substr(b, e + 1 - b), name)) return true;
      }
    }
    start = end + 1;
  }
  return false;
}

// The line of the failed check goes to stderr before the abort, for the crash report.
// Whether both readers see the same section headers: svnserve takes only a "[" in column 0
// for one (an indented one is more of a value, or an error), the system's functions take any;
// and the same lines: a lone CR ends a line for the system's functions only.
bool HeadersReadAlike(const std::string& text) {
  for (size_t cr = text.find('\r'); cr != std::string::npos; cr = text.find('\r', cr + 1))
    if (cr + 1 == text.size() || text[cr + 1] != '\n') return false;
  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t b = line.find_first_not_of(" \t");
    if (b != std::string::npos && line[b] == '[' && (b > 0 || line.find(']') == std::string::npos))
      return false;
    start = end + 1;
  }
  return true;
}

void CheckAt(bool ok, int line) {
  if (ok) return;
  std::fprintf(stderr, "check failed at line %d\n", line);
  std::abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string rest(reinterpret_cast<const char*>(data), size);
  const std::string section = Next(rest), key = Next(rest), value = Next(rest);
  const std::string& text = rest;
  const bool alike = HeadersReadAlike(text);

  std::string found;
  std::vector<std::string> before, after;
  profile_text::FindValue(text, section, key, found);
  profile_text::ListPairs(text, section, before);
  for (const std::string& p : before)
    Check(p.find_first_of("\r\n") == std::string::npos);

  std::string removed = text;
  if (profile_text::RemoveKey(removed, section, key)) {
    Check(removed.size() < text.size());
    Check(!profile_text::FindValue(removed, section, key, found));
    Check(!alike || !profile_text::FindServerValue(removed, section, key, found));
  } else {
    Check(removed == text);
  }

  if (!profile_text::WriteRefusal(section, key, value).empty()) return 0;
  std::string written = profile_text::SetValue(text, section, key, value);
  // Both readers, the system's and svnserve's, get the value written.
  Check(profile_text::FindValue(written, section, key, found) && found == value);
  Check(!alike || (profile_text::FindServerValue(written, section, key, found) && found == value));
  Check(profile_text::SetValue(written, section, key, value) == written);

  // Only lines of this key go; a key with ":" may be one svnserve reads as this key.
  profile_text::ListPairs(written, section, after);
  for (const std::string& p : before) {
    std::string name = p.substr(0, p.find('='));
    if (text::SameAsciiIgnoreCase(name, key) || name.find(':') != std::string::npos ||
        OnIndentedLine(text, name))
      continue;
    bool kept = false;
    for (const std::string& q : after)
      kept = kept || q == p;
    Check(kept);
  }

  Check(profile_text::RemoveKey(written, section, key));
  Check(!profile_text::FindValue(written, section, key, found));
  Check(!alike || !profile_text::FindServerValue(written, section, key, found));
  return 0;
}
