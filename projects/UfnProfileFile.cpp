// The profile file on POSIX: the project's own reader and writer (projects/UfnProfileText),
// writing each change atomically.
#include "projects/UfnProfileFile.h"

#include "base/UfnErrors.h"
#include "base/UfnPaths.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnProfileText.h"

namespace {

bool HoldsLoneCr(const std::string& text) {
  for (size_t i = text.find('\r'); i != std::string::npos; i = text.find('\r', i + 1))
    if (i + 1 == text.size() || text[i + 1] != '\n') return true;
  return false;
}

} // namespace

ProfileFile::ProfileFile(const std::string& fileName, int mode)
    : FFileName(fileName), FMode(mode) {}

// Nothing is cached between operations, so there is nothing to flush.
ProfileFile::~ProfileFile() = default;

bool ProfileFile::Read(std::string& text) const {
  return platform::FileExists(FFileName) && platform::ReadWholeFile(FFileName, text);
}

bool ProfileFile::Store(const std::string& text) {
  // A mode without bits for others is a file of passwords: it never keeps such bits.
  if (FMode >= 0 && (FMode & 07) == 0)
    return platform::WritePrivateFileAtomic(FFileName, text, FMode);
  return platform::WriteFileAtomic(FFileName, text, FMode);
}

std::string ProfileFile::ReadValue(const std::string& section, const std::string& key,
                                   const std::string& def) const {
  std::string text, value;
  if (Read(text) && profile_text::FindServerValue(text, section, key, value)) return value;
  return def;
}

void ProfileFile::WriteValue(const std::string& section, const std::string& key,
                             const std::string& value) {
  const std::string failure = Format("Unable to write to %s", FFileName.c_str());
  std::string reason = profile_text::WriteRefusal(section, key, value);
  if (!reason.empty()) throw EWriteError(failure + ": " + reason);

  std::string text;
  platform::DirEntry entry;
  if (platform::GetEntry(FFileName, entry)) {
    // A file that cannot be read cannot be rewritten without losing it; a read-only one
    // is refused as the Windows profile functions refuse it.
    if (entry.IsDirectory() || (entry.attributes & platform::FILE_ATTR_READONLY) != 0 ||
        !platform::ReadWholeFile(FFileName, text))
      throw EWriteError(failure);
  } else if (!platform::DirectoryExists(FolderOf(FFileName))) {
    throw EWriteError(failure);
  }
  const std::string written = profile_text::SetValue(text, section, key, value);
  // What svnserve would not read back (lines that end in a lone CR are one line to it) is
  // refused: the value would be shown as set while the server goes on without it.
  std::string back;
  if (!profile_text::FindServerValue(written, section, key, back) || back != value) {
    reason = "svnserve would not read the value back";
    if (HoldsLoneCr(written)) reason += " (a lone CR ends no line for it)";
    throw EWriteError(failure + ": " + reason);
  }
  if (!Store(written)) throw EWriteError(failure);
}

void ProfileFile::ReadPairs(const std::string& section, std::vector<std::string>& list) const {
  list.clear();
  std::string text;
  if (Read(text)) profile_text::ListServerPairs(text, section, list);
}

void ProfileFile::DeleteValue(const std::string& section, const std::string& key) {
  platform::DirEntry entry;
  if (!platform::GetEntry(FFileName, entry) || entry.IsDirectory() ||
      (entry.attributes & platform::FILE_ATTR_READONLY) != 0)
    return;
  std::string text;
  if (!platform::ReadWholeFile(FFileName, text)) return;
  if (profile_text::RemoveKey(text, section, key)) Store(text);
}
