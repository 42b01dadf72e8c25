#include "projects/UfnBackupFolder.h"

#include "platform/UfnPlatform.h"
#include "server/UfnShell.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string RandomSuffix() {
  static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device device;
  std::string s;
  for (int i = 0; i < 8; ++i)
    s += digits[device() % 36];
  return s;
}

bool AllDigits(const std::string& s, size_t from, size_t count) {
  if (from + count > s.size()) return false;
  for (size_t i = from; i < from + count; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

} // namespace

TWorkFolder::TWorkFolder(const std::string& parent, const std::string& prefix) {
  const std::string base = AddPathDelimiter(parent) + "." + prefix;
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string path = base + RandomSuffix();
    std::error_code ec;
    if (fs::create_directory(fs::path(path), ec)) {
      fs::permissions(fs::path(path), fs::perms::owner_all, fs::perm_options::replace, ec);
      FPath = path;
      FHold = platform::FileHoldExclusive(AddPathDelimiter(path) + HoldFileName);
      return;
    }
    if (ec) {
      FError = ec.message();
      if (ec != std::errc::file_exists) return;
    }
  }
}

TWorkFolder::~TWorkFolder() {
  Remove();
}

bool TWorkFolder::Remove() {
  if (FPath.empty()) return true;
  // Windows deletes no file that is open.
  if (FHold != platform::InvalidFileHandle) {
    platform::FileClose(FHold);
    FHold = platform::InvalidFileHandle;
  }
  const bool removed = RemoveTree(FPath);
  if (removed) FPath.clear();
  return removed;
}

bool RemoveTree(const std::string& path) {
  std::error_code ec;
  const fs::path root(path);
  if (!fs::exists(fs::symlink_status(root, ec))) return true;
  // Windows refuses to delete a read-only file, and revision files are read-only.
  if (fs::is_directory(fs::symlink_status(root, ec))) {
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
      if (it->is_regular_file(ec) && !it->is_symlink(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(root, ec);
  return !ec && !fs::exists(fs::symlink_status(root, ec));
}

std::vector<std::string> RemoveAbandonedWorkFolders(const std::string& parent,
                                                    const std::string& prefix, std::time_t now) {
  std::vector<std::string> removed;
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectoryNoFollow(AddPathDelimiter(parent), entries)) return removed;
  const std::string start = "." + prefix;
  for (const platform::DirEntry& e : entries) {
    if (e.link || !e.IsDirectory() || e.name.compare(0, start.size(), start) != 0) continue;
    const std::string folder = AddPathDelimiter(parent) + e.name;
    const std::string hold = AddPathDelimiter(folder) + TWorkFolder::HoldFileName;
    // A run makes its folder and takes the hold at once; the minute spares one caught between.
    bool abandoned = false;
    if (platform::FileExists(hold)) {
      if (now - e.mtime < 60) continue;
      const platform::FileHandle h = platform::FileHoldExclusive(hold);
      if (h == platform::InvalidFileHandle) continue; // a run still at work
      platform::FileClose(h);
      abandoned = true;
    } else {
      abandoned = now - e.mtime >= 24 * 60 * 60;
    }
    if (abandoned && RemoveTree(folder)) removed.push_back(folder);
  }
  return removed;
}

bool IsBackupArchiveOf(const std::string& project, const std::string& fileName) {
  // project "_" yyyymmdd "T" hhnnss "Z" ".zip"
  const std::string prefix = project + "_";
  const size_t n = prefix.size();
  if (fileName.size() != n + 8 + 1 + 6 + 1 + 4) return false;
  if (fileName.compare(0, n, prefix) != 0) return false;
  return AllDigits(fileName, n, 8) && fileName[n + 8] == 'T' && AllDigits(fileName, n + 9, 6) &&
         fileName.compare(n + 15, 5, "Z.zip") == 0;
}

std::vector<TBackupArchive> ListBackupArchives(const std::string& folder) {
  std::vector<TBackupArchive> list;
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(folder, entries)) return list;
  const size_t stampLength = std::string("_yyyymmddThhnnssZ.zip").size();
  for (const platform::DirEntry& e : entries) {
    if (e.IsDirectory() || e.name.size() <= stampLength) continue;
    TBackupArchive a;
    a.FileName = e.name;
    a.Project = e.name.substr(0, e.name.size() - stampLength);
    if (!IsBackupArchiveOf(a.Project, e.name)) continue;
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(fs::path(AddPathDelimiter(folder) + e.name), ec)))
      continue;
    const std::string s = e.name.substr(a.Project.size() + 1);
    a.Time = s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + " " + s.substr(9, 2) +
             ":" + s.substr(11, 2) + ":" + s.substr(13, 2);
    a.Size = e.size;
    list.push_back(std::move(a));
  }
  std::sort(list.begin(), list.end(), [](const TBackupArchive& x, const TBackupArchive& y) {
    return x.Time != y.Time ? x.Time > y.Time : x.Project < y.Project;
  });
  return list;
}

// The local time in an archive's name (IsBackupArchiveOf has checked its form).
static std::time_t ArchiveTime(const std::string& project, const std::string& fileName) {
  const size_t n = project.size() + 1;
  auto number = [&](size_t from, size_t count) { return std::stoi(fileName.substr(from, count)); };
  std::tm tm{};
  tm.tm_year = number(n, 4) - 1900;
  tm.tm_mon = number(n + 4, 2) - 1;
  tm.tm_mday = number(n + 6, 2);
  tm.tm_hour = number(n + 9, 2);
  tm.tm_min = number(n + 11, 2);
  tm.tm_sec = number(n + 13, 2);
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

TPruneResult PruneBackups(const std::string& folder, const std::string& project, size_t keep,
                          const std::string& justMade, int maxAgeDays, std::time_t now) {
  TPruneResult result;
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(folder, entries);
  std::vector<std::string> archives;
  for (const platform::DirEntry& e : entries) {
    if (e.IsDirectory() || !IsBackupArchiveOf(project, e.name)) continue;
    // A link of that name is not an archive this tool made; it is left alone.
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(fs::path(AddPathDelimiter(folder) + e.name), ec)))
      continue;
    archives.push_back(e.name);
  }
  if (archives.empty()) return result;
  std::sort(archives.begin(), archives.end());
  auto made = std::find(archives.begin(), archives.end(), justMade);
  if (made != archives.end()) std::rotate(made, made + 1, archives.end());
  const std::time_t oldest = now - static_cast<std::time_t>(maxAgeDays) * 24 * 60 * 60;
  // The last one, the newest (or the one just made), is never removed.
  for (size_t i = 0; i + 1 < archives.size(); ++i) {
    const bool byCount = keep > 0 && i + keep < archives.size();
    const bool byAge = maxAgeDays > 0 && ArchiveTime(project, archives[i]) < oldest;
    if (!byCount && !byAge) continue;
    const std::string path = AddPathDelimiter(folder) + archives[i];
    if (platform::DeleteFile(path))
      result.Removed.push_back(archives[i]);
    else
      result.Failed.push_back(archives[i] + ": " + platform::LastErrorMessage());
  }
  return result;
}
