// Checking projects with svnadmin verify: one verdict per project.
#pragma once

#include "base/UfnJob.h"

#include <string>

struct TVerifyResult {
  bool Ok = false;
  std::string Reason; // when it failed: svnadmin's last line, or why it could not run
};

// Verifies every revision of <repoPath>/<project>. The observer hears the project as the
// item before the check starts.
TVerifyResult VerifyProject(const std::string& svnPath, const std::string& repoPath,
                            const std::string& project, TJobObserver& observer);
