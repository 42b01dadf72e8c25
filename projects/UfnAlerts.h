// What the administrator must hear about without asking: the project whose newest good archive
// is the oldest, the projects whose last backup run failed (from the backup record) and the
// projects an error in the server's log shuts every client out of. Each failure and each
// error is told once, also across restarts of the window: what was told, and how far the log
// was read, are kept in a small file in the state folder. Cheap enough for a timer: folder
// listings, the record, and only the part of the log written since the last look.
#pragma once

#include <ctime>
#include <string>
#include <vector>

struct TAlertOptions {
  std::string RepoPath;
  std::string BackupPath; // "" when none is set: no backups are made, no age is judged
  std::string StateFolder;
  std::string LogPath;    // "" for the server's log in the state folder
  std::string RecordFile; // "" for the backup record in the state folder
  int LimitDays = 7;
  std::time_t Now = 0; // 0: the clock's
};

struct TBackupFailure {
  std::string Project;
  std::string Reason;
  std::time_t When = 0; // the failed run's start
};

struct TUnreachableProject {
  std::string Project;
  std::string Reason; // svnserve's message
};

struct TAlerts {
  // The project whose newest good archive is the oldest; a project without any archive comes
  // first. "" when the root holds no project or no backup folder is set.
  std::string OldestProject;
  long long OldestAgeS = -1;                    // -1: OldestProject has no archive at all
  bool BackupTooOld = false;                    // older than the limit, or no archive
  std::vector<TBackupFailure> Failures;         // every last run that failed
  std::vector<TUnreachableProject> Unreachable; // every project shut out now
  // Of the above, those not told before (marked told by this check).
  std::vector<TBackupFailure> NewFailures;
  std::vector<TUnreachableProject> NewUnreachable;
  // What went wrong on the way (a damaged record or state file), each told once as well.
  std::vector<std::string> NewProblems;
};

// <state folder>/alerts-state.json
std::string AlertStateFile(const std::string& stateFolder);

// Looks at the root, the backup folder, the record and the new part of the log, and brings
// the state file up to date. A damaged state file is kept beside as ".damaged", told, and
// taken as empty.
TAlerts CheckAlerts(const TAlertOptions& options);

// "가장 오래된 최근 백업: 3일 전 (proj)" and the warnings after it; "" when there is no project
// and nothing is unreachable.
std::string AlertStatusText(const TAlerts& alerts, int limitDays = 7);
// The notice for what is new: one line each; "" when nothing is.
std::string AlertNoticeText(const TAlerts& alerts);
// An age as "방금", "12분 전", "5시간 전", "3일 전".
std::string AgeText(long long seconds);
