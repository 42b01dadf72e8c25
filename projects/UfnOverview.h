// The overview of the projects under the repository root: newest revision and its author,
// date and message, size on disk, the newest backup archive and its age, the client address.
// The cheap part (the folder listing, db/current, the backup folder) is read first; the rest
// (revision properties, sizes) by a second pass that a window runs in the background.
#pragma once

#include "base/UfnJob.h"
#include "projects/UfnMirrorJob.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

struct TProjectOverview {
  std::string Name;
  long long Youngest = -1; // -1 when db/current could not be read
  std::string Url;         // svn://host[:port]/project
  std::string LastBackup;  // archive file name, "" when there is none
  long long LastBackupAgeS = -1;
  // The access rules apply: svnserve.conf names an authz-db and the file holds rules.
  bool Rules = false;
  // The mirror's record from revision 0; Source is "" when the project is no mirror. The
  // source's newest revision is a network call and comes with the second pass.
  TMirrorStatus Mirror;
  // The second pass:
  bool Detailed = false;
  std::string Author;  // "" when the revision has none
  std::string Date;    // ISO 8601 as Subversion keeps it, "" when unknown
  std::string Message; // its first line
  uint64_t SizeBytes = 0;
  std::string Error; // why the details could not be read
};

struct TOverviewOptions {
  std::string RepoPath;
  std::string BackupPath; // "" for none
  std::string SvnPath;    // the Subversion installation, for packed revision properties
  std::string Host = "localhost";
  int Port = 3690;
  std::time_t Now = 0;          // 0: the clock's
  bool AskMirrorSources = true; // the second pass asks a mirror's source for its newest
};

// The cheap part for every repository folder under the root, by name.
std::vector<TProjectOverview> ReadOverview(const TOverviewOptions& options,
                                           TJobObserver& observer = SilentObserver());
// The second pass for one project.
void ReadOverviewDetails(const TOverviewOptions& options, TProjectOverview& project);

// The newest revision as db/current holds it; -1 when it cannot be read.
long long YoungestRevision(const std::string& repository);
// The stamp of a backup archive's name (made from local time) as seconds since the epoch;
// -1 when the name has none.
std::time_t BackupArchiveTime(const std::string& fileName);
