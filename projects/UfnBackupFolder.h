// Files and folders of the backup jobs: private working folders that are always removed
// again, and the archives of one project in the backup folder.
#pragma once

#include "platform/UfnFileHandles.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// A new folder with a name of its own in `parent` ("." + prefix + 8 letters), hidden from the
// project list, that only the owner may enter. Removed with everything in it when the object
// goes. Path() is "" when it could not be made; Error() then tells why. While it lives, its
// file HoldFileName is held (platform::FileHoldExclusive), so that a later run can tell a
// folder left by a run that was killed from one of a run still at work.
class TWorkFolder {
public:
  TWorkFolder(const std::string& parent, const std::string& prefix);
  ~TWorkFolder();
  TWorkFolder(const TWorkFolder&) = delete;
  TWorkFolder& operator=(const TWorkFolder&) = delete;

  const std::string& Path() const { return FPath; } // no trailing delimiter
  const std::string& Error() const { return FError; }
  // Removes the folder now; false when something was left.
  bool Remove();

  static constexpr const char* HoldFileName = ".held";

private:
  std::string FPath;
  std::string FError;
  platform::FileHandle FHold = platform::InvalidFileHandle;
};

// Removes the work folders ("." + prefix + ...) in `parent` that runs killed before they
// could remove them left behind: those whose hold file nobody holds and that have not changed
// for a minute, and those without one that have not changed for a day. Folders of runs still
// at work are left alone. Gives the paths removed. `now`: the time to judge the age by.
std::vector<std::string> RemoveAbandonedWorkFolders(const std::string& parent,
                                                    const std::string& prefix,
                                                    std::time_t now = std::time(nullptr));

// Removes a file or a folder tree without following links; read-only files go too. False when
// something could not be removed.
bool RemoveTree(const std::string& path);

// Whether `fileName` (no folder) is one of the project's backup archives:
// <project>_yyyymmddThhnnssZ.zip, digits where the pattern has them.
bool IsBackupArchiveOf(const std::string& project, const std::string& fileName);

struct TBackupArchive {
  std::string FileName; // no folder
  std::string Project;
  std::string Time; // "yyyy-mm-dd hh:nn:ss" as the name gives it
  std::uint64_t Size = 0;
};
// The backup archives in `folder`, of every project: regular files named as IsBackupArchiveOf
// says, newest first (ties by project).
std::vector<TBackupArchive> ListBackupArchives(const std::string& folder);

struct TPruneResult {
  std::vector<std::string> Removed; // file names, oldest first
  std::vector<std::string> Failed;  // "name: reason"
};
// Removes the project's oldest archives in `folder` so that `keep` of them remain (0: no
// limit), and those older than `maxAgeDays` days by the time in their name (0: no limit);
// nothing else in the folder is touched, and the newest archive always stays. The name's
// time stamp gives the order, but `justMade` (the archive this run wrote) counts as the
// newest: after the clock went back (the autumn hour of local time, a corrected clock) its
// name can be older than the last run's.
TPruneResult PruneBackups(const std::string& folder, const std::string& project, size_t keep,
                          const std::string& justMade = "", int maxAgeDays = 0,
                          std::time_t now = std::time(nullptr));
