// Restoring a backup archive as a new project: the name checked, the archive unpacked and
// checked with svnadmin verify out of sight (a hidden folder under the repository root), and
// moved into place only when all of that passed. On any failure nothing is left.
#pragma once

#include "base/UfnJob.h"

#include <cstddef>
#include <string>

struct TRestoreRequest {
  std::string RepoPath; // the repository root
  std::string SVNPath;  // the Subversion installation that verifies the result
  std::string Archive;  // the archive's path
  std::string Name;     // the new project's name
};

enum class TRestoreOutcome {
  Done,
  Failed, // the archive or the check failed; nothing is left
  Refused // nothing was done: the name or the archive is wrong
};

struct TRestoreResult {
  TRestoreOutcome Outcome = TRestoreOutcome::Failed;
  std::string Reason; // one line
  size_t Files = 0;
  bool Cancelled = false; // Failed because the observer asked to stop; nothing is left
};

// The observer hears of work folders that killed runs left behind and were removed, follows
// the progress (unpacking up to 50, the check up to 100) and may stop the job between entries
// and before the new project is moved into place.
TRestoreResult RestoreProject(const TRestoreRequest& request, TJobObserver& observer);
