#include "archive/UfnFolderScan.h"

#include "base/UfnDesktop.h"

namespace {

char Fold(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

bool IsBlank(const std::string& s) {
  return s.find_first_not_of(" \t\r\n") == std::string::npos;
}

} // namespace

bool AttributeMatches(TScanAttribute kind, uint32_t a) {
  switch (kind) {
  case fsZeroAttr:
    return a == 0 || a == platform::FILE_ATTR_NORMAL;
  case fsReadOnly:
    return a & platform::FILE_ATTR_READONLY;
  case fsHidden:
    return a & platform::FILE_ATTR_HIDDEN;
  case fsSysFile:
    return a & platform::FILE_ATTR_SYSTEM;
  case fsVolumeID:
    return false;
  case fsDirectory:
    return a & platform::FILE_ATTR_DIRECTORY;
  case fsArchive:
    return a & platform::FILE_ATTR_ARCHIVE;
  case fsCompressed:
    return a & platform::FILE_ATTR_COMPRESSED;
  case fsEncrypted:
    return a & platform::FILE_ATTR_ENCRYPTED;
  }
  return false;
}

bool PassesAttributeFilter(uint32_t attributes, TScanAttributes include, TScanAttributes exclude) {
  bool wanted = (attributes & platform::FILE_ATTR_NOT_CONTENT_INDEXED) != 0;
  for (int k = fsZeroAttr; k <= fsEncrypted; ++k) {
    auto kind = static_cast<TScanAttribute>(k);
    if (exclude.Contains(kind) && AttributeMatches(kind, attributes)) return false;
    if (include.Contains(kind) && AttributeMatches(kind, attributes)) wanted = true;
  }
  return wanted;
}

bool MatchesMask(const std::string& name, const std::string& mask) {
  if (mask == "*" || mask == "*.*") return true;
  // Greedy matching with one backtrack point: the last "*" seen.
  size_t n = 0, m = 0, starM = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (m < mask.size() && (mask[m] == '?' || Fold(mask[m]) == Fold(name[n]))) {
      ++m;
      ++n;
    } else if (starM != std::string::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*')
    ++m;
  return m == mask.size();
}

TFolderScan::TFolderScan(const TScanSettings& settings, const bool& cancel)
    : FSettings(settings), FCancel(cancel) {}

void TFolderScan::Run() {
  FRoots.clear();
  FMasks.clear();
  FByteTotal = 0;
  FCollected = 0;
  const char delim = platform::PathDelimiter();
  for (const std::string& line : FSettings.FileSpec) {
    if (IsBlank(line)) continue;
    size_t cut = line.rfind(delim);
    std::string root = cut == std::string::npos ? std::string() : line.substr(0, cut + 1);
    std::string mask = cut == std::string::npos ? line : line.substr(cut + 1);
    if (mask.empty() || mask == "*.*") mask.assign(1, '*');
    FRoots.push_back(root);
    FMasks.push_back(mask);
  }
  for (size_t i = 0; i < FRoots.size() && !FCancel; ++i)
    Walk(FRoots[i], i, FSettings.RecurseDirs);
}

void TFolderScan::Walk(const std::string& folder, size_t line, bool recurse) {
  std::vector<platform::DirEntry> entries;
  const std::string where = folder.empty() ? std::string(".") : folder;
  if (!platform::ListDirectoryNoFollow(where, entries)) {
    if (OnUnlisted && platform::DirectoryExists(where)) OnUnlisted(folder);
    return;
  }
  const bool descend = recurse;
  for (const platform::DirEntry& e : entries) {
    if (FCancel) return;
    // A dot name is never packed, nor anything below it (.svn, .git, ...).
    if (e.name[0] != '.' && (recurse || MatchesMask(e.name, FMasks[line]))) {
      if (e.link) {
        if (OnLink && !Excluded((folder + e.name).substr(FRoots[line].size()), e.name))
          OnLink(folder + e.name);
        Desktop().ProcessMessages();
        continue;
      }
      if (e.special) {
        if (OnSpecial && MatchesMask(e.name, FMasks[line]) &&
            !Excluded((folder + e.name).substr(FRoots[line].size()), e.name))
          OnSpecial(folder + e.name);
        Desktop().ProcessMessages();
        continue;
      }
      Consider(folder, e, line);
      if (descend && e.IsDirectory() &&
          ((e.attributes & platform::FILE_ATTR_HIDDEN) == 0 || FSettings.IncludeHiddenDirs))
        Walk(folder + e.name + platform::PathDelimiter(), line, true);
    }
    Desktop().ProcessMessages();
  }
}

void TFolderScan::Consider(const std::string& folder, const platform::DirEntry& e, size_t line) {
  if (!PassesAttributeFilter(e.attributes, FSettings.Attributes, FSettings.AttributesEx)) return;
  const std::string& root = FRoots[line];
  TScanItem item;
  if (e.IsDirectory()) {
    if (!FSettings.StoreEmptySubDirs) return;
    item.FullPath = folder + e.name + platform::PathDelimiter();
    if (!IsEmptyFolder(item.FullPath)) return;
  } else {
    if (!MatchesMask(e.name, FMasks[line])) return;
    item.FullPath = folder + e.name;
  }
  if (Excluded(item.FullPath.substr(root.size()), e.name)) return;
  item.RootLength = static_cast<uint32_t>(root.size());
  item.Attributes = e.attributes;
  item.Size = e.size;
  item.MTime = e.mtime;
  item.DosDateTime = platform::ToDosDateTime(e.mtime);
  item.SpecIndex = line;
  if (!e.IsDirectory()) FByteTotal += e.size;
  ++FCollected;
  if (OnItem) OnItem(item);
}

// Empty means: the listing, "." and ".." included, shows folders with the directory
// attribute alone, and each of them that is not a dot name is empty in turn. A link inside
// is something, so the folder is not empty (and the link is not followed).
bool TFolderScan::IsEmptyFolder(const std::string& folder) {
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectoryNoFollow(folder, entries, true)) return false;
  for (const platform::DirEntry& e : entries) {
    if (e.attributes != platform::FILE_ATTR_DIRECTORY) return false;
    if (e.name[0] == '.') continue;
    if (!IsEmptyFolder(folder + e.name + platform::PathDelimiter())) return false;
  }
  return true;
}

bool TFolderScan::Excluded(const std::string& relative, const std::string& name) const {
  for (const std::string& mask : FSettings.ExcludeSpec) {
    if (IsBlank(mask)) continue;
    if (MatchesMask(name, mask) || MatchesMask(relative, mask)) return true;
  }
  return false;
}
