// The profile file on Windows: the system's profile functions. What they would write so that
// it reads back otherwise, or that svnserve would read otherwise, is refused as on POSIX.
#include "base/UfnText.h"
#include "projects/UfnProfileFile.h"

#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnProfileText.h"

#include <cstring>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

const DWORD ValueBufferSize = 2048;
const DWORD KeyListBufferSize = 16384;

bool SameName(const std::string& a, const std::string& b) {
  return text::SameAsciiIgnoreCase(a, b);
}

// The profile functions look for a bare name in the Windows folder: always give a full path.
std::string FullPath(const std::string& fileName) {
  char buf[MAX_PATH + 1];
  DWORD n = ::GetFullPathNameA(fileName.c_str(), sizeof buf, buf, nullptr);
  if (n == 0 || n >= sizeof buf) return fileName;
  return std::string(buf, n);
}

// GetPrivateProfileStringA into a buffer that grows until the text fits: a value or key
// list longer than the first buffer is read whole instead of cut. `lost` is what the call
// returns for a text that did not fit (size - 1 for a value, size - 2 for a key list).
std::string ProfileString(const char* section, const char* key, const char* def,
                          const std::string& file, DWORD size, DWORD lost) {
  for (;;) {
    std::string buf(size, '\0');
    DWORD n = ::GetPrivateProfileStringA(section, key, def, buf.data(), size, file.c_str());
    if (n != size - lost || size >= (1u << 28)) {
      buf.resize(n);
      return buf;
    }
    size *= 2;
  }
}

// A key that the profile functions would find as a comment or a section line, or split
// elsewhere: nothing of the program's is stored under it, so nothing is removed.
bool PlainKey(const std::string& key) {
  return !key.empty() && key.find_first_of(std::string("\r\n\0=", 4)) == std::string::npos &&
         key[0] != '#' && key[0] != ';' && key[0] != '[';
}

// svnserve also reads ":" lines, later sections of the name and indented lines that carry a
// value on, none of which the system's functions see. Before their write or delete, those
// lines of the key go: the system's writer may move an indented line to column 0 (Wine does),
// and svnserve would no longer know which value it carries on. After it, whatever of the key
// svnserve would still read otherwise goes too (`value` null for a delete), so that both read
// the file alike. False when the file could not be read or rewritten.
bool LeaveTheServerNothingElse(const std::string& file, const std::string& section,
                               const std::string& key, const std::string* value, bool before) {
  ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
  std::string text;
  if (!platform::FileExists(file)) return before;
  if (!platform::ReadWholeFile(file, text)) return false;
  std::string fixed = text;
  if (before)
    profile_text::DropServerOnlyLines(fixed, section, key);
  else if (value)
    fixed = profile_text::SetValue(text, section, key, *value);
  else
    profile_text::RemoveKey(fixed, section, key);
  return fixed == text || platform::WriteFileAtomic(file, fixed);
}

} // namespace

ProfileFile::ProfileFile(const std::string& fileName, int mode)
    : FFileName(fileName), FMode(mode) {}

// The system may cache the file: ask it to write its copy out; the answer does not matter.
ProfileFile::~ProfileFile() {
  ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, FullPath(FFileName).c_str());
}

// Not used here: every operation goes through the profile functions.
bool ProfileFile::Read(std::string&) const {
  return false;
}
bool ProfileFile::Store(const std::string&) {
  return false;
}

std::string ProfileFile::ReadValue(const std::string& section, const std::string& key,
                                   const std::string& def) const {
  return ProfileString(section.c_str(), key.c_str(), def.c_str(), FullPath(FFileName),
                       ValueBufferSize, 1);
}

void ProfileFile::WriteValue(const std::string& section, const std::string& key,
                             const std::string& value) {
  const std::string failure = Format("Unable to write to %s", FFileName.c_str());
  std::string reason = profile_text::WriteRefusal(section, key, value);
  if (!reason.empty()) throw EWriteError(failure + ": " + reason);
  const std::string file = FullPath(FFileName);
  // A read-only file is refused whoever runs the program (an administrator's writes would
  // otherwise go through).
  DWORD attributes = ::GetFileAttributesA(file.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    throw EWriteError(failure);

  if (!LeaveTheServerNothingElse(file, section, key, &value, true)) throw EWriteError(failure);
  // The profile functions change the first line of a key, svnserve reads the last: a key
  // written twice into the file loses its other lines first.
  int lines = 0;
  std::string names = ProfileString(section.c_str(), nullptr, nullptr, file, KeyListBufferSize, 2);
  for (size_t p = 0; p < names.size(); p += std::strlen(names.c_str() + p) + 1)
    if (SameName(names.c_str() + p, key)) ++lines;
  for (int i = 1; i < lines; ++i)
    if (!::WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, file.c_str()))
      throw EWriteError(failure);

  if (!::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) ||
      !LeaveTheServerNothingElse(file, section, key, &value, false))
    throw EWriteError(failure);
  if (ReadValue(section, key, value + "?") != value)
    throw EWriteError(failure + ": the value did not read back as written");
}

void ProfileFile::ReadPairs(const std::string& section, std::vector<std::string>& list) const {
  list.clear();
  const std::string file = FullPath(FFileName);
  std::string names = ProfileString(section.c_str(), nullptr, nullptr, file, KeyListBufferSize, 2);
  std::vector<std::string> seen;
  for (size_t p = 0; p < names.size(); p += std::strlen(names.c_str() + p) + 1) {
    std::string name = names.c_str() + p;
    // "# harry = harryssecret" is svnserve's comment, not a user.
    if (name.empty() || name[0] == '#') continue;
    bool dup = false;
    for (const std::string& s : seen)
      dup = dup || SameName(s, name);
    if (dup) continue;
    seen.push_back(name);
    list.push_back(name + "=" + ReadValue(section, name, ""));
  }
}

void ProfileFile::DeleteValue(const std::string& section, const std::string& key) {
  if (!PlainKey(key) || section.empty()) return;
  const std::string file = FullPath(FFileName);
  DWORD attributes = ::GetFileAttributesA(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return;
  LeaveTheServerNothingElse(file, section, key, nullptr, true);
  std::string names = ProfileString(section.c_str(), nullptr, nullptr, file, KeyListBufferSize, 2);
  // Every line of the key goes, so that no older password stays valid for svnserve; a
  // missing file is not created.
  for (size_t p = 0; p < names.size(); p += std::strlen(names.c_str() + p) + 1)
    if (SameName(names.c_str() + p, key))
      ::WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, file.c_str());
  LeaveTheServerNothingElse(file, section, key, nullptr, false);
}
