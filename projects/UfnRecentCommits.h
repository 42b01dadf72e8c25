// A project's recent commits as svnlook reads them from the repository: revision, author,
// date, message and the paths each one changed. The overview window shows them for the
// selected project; the reading runs on a worker.
#pragma once

#include "base/UfnJob.h"

#include <string>
#include <vector>

struct TCommitInfo {
  long long Revision = -1;
  std::string Author;  // "" when the revision has none
  std::string Date;    // as svnlook gives it: "2026-12-10 16:44:11 +0000 (Thu, 10 Dec 2026)"
  std::string Message; // whole, its last line end dropped
  std::vector<std::string> Changes; // "A   trunk/a.txt", "U   b/", as svnlook changed writes them
};

struct TRecentCommits {
  std::vector<TCommitInfo> Commits; // newest first
  std::string Error;                // why reading stopped; what was read before stays
};

// The newest `count` commits of `repository`, newest first. The observer's Cancelled() is
// asked between revisions.
TRecentCommits ReadRecentCommits(const std::string& svnPath, const std::string& repository,
                                 int count, TJobObserver& observer = SilentObserver());
