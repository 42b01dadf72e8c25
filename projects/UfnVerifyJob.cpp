#include "projects/UfnVerifyJob.h"

#include "base/UfnPaths.h"
#include "server/UfnSubversion.h"

TVerifyResult VerifyProject(const std::string& svnPath, const std::string& repoPath,
                            const std::string& project, TJobObserver& observer) {
  observer.Progress(project, 0, 0);
  const TSvnResult r = TSubversion(svnPath).Verify(JoinPath(repoPath, project));
  observer.Progress(project, 100, 100);
  return {r.Ok(), r.Message};
}
