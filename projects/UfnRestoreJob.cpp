#include "projects/UfnRestoreJob.h"

#include "base/UfnPaths.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnArchiveRestore.h"
#include "projects/UfnBackupFolder.h"
#include "server/UfnSubversion.h"

namespace {

const char* const kEnterName = "생성할 프로젝트 이름을 입력하세요";
const char* const kBadName = "프로젝트 이름이 올바르지 않습니다.";
const char* const kNameTaken = "같은 이름의 프로젝트나 파일이 이미 있습니다.";
const char* const kWorkPrefix = "orlenway-restore-";

TRestoreResult Outcome(TRestoreOutcome outcome, const std::string& reason) {
  TRestoreResult r;
  r.Outcome = outcome;
  r.Reason = reason;
  return r;
}

TRestoreResult Stopped() {
  TRestoreResult r = Outcome(TRestoreOutcome::Failed, "복원을 취소하였습니다.");
  r.Cancelled = true;
  return r;
}

// Why `name` cannot become a new project under `root`, or "".
std::string NameProblem(const std::string& root, const std::string& name) {
  switch (CheckNewProjectName(root, name)) {
  case TProjectNameCheck::Empty:
    return kEnterName;
  case TProjectNameCheck::NotUtf8:
    return kNotUtf8Name;
  case TProjectNameCheck::NotPlain:
    return std::string(kBadName) + " (" + name + ")";
  case TProjectNameCheck::Taken:
    return std::string(kNameTaken) + " (" + name + ")";
  case TProjectNameCheck::Ok:
    break;
  }
  // Even an empty folder of that name is somebody's: a restore makes a new project only.
  platform::DirEntry existing;
  if (platform::GetEntry(JoinPath(root, name), existing))
    return std::string(kNameTaken) + " (" + name + ")";
  return "";
}

} // namespace

TRestoreResult RestoreProject(const TRestoreRequest& request, TJobObserver& observer) {
  const std::string name = text::Trim(request.Name);
  const std::string& root = request.RepoPath;
  if (!platform::FileExists(request.Archive))
    return Outcome(TRestoreOutcome::Refused, "압축 파일이 존재하지 않습니다: " + request.Archive);
  const std::string problem = NameProblem(root, name);
  if (!problem.empty()) return Outcome(TRestoreOutcome::Refused, problem);

  for (const std::string& f : RemoveAbandonedWorkFolders(root, kWorkPrefix))
    observer.Notify(TMsgIcon::Information, "중단된 이전 작업이 남긴 임시 폴더를 지웠습니다: " + f);
  // Unpacked and checked out of sight, on the root's own file system, so that the move into
  // place is a rename.
  TWorkFolder work(root, kWorkPrefix);
  if (work.Path().empty())
    return Outcome(TRestoreOutcome::Failed,
                   "저장소 폴더에 임시 폴더를 만들지 못했습니다 (" + work.Error() + ")");
  const std::string unpacked = JoinPath(work.Path(), name);
  if (!platform::ForceDirectories(unpacked))
    return Outcome(TRestoreOutcome::Failed,
                   "임시 폴더를 만들지 못했습니다: " + platform::LastErrorMessage());
  observer.Progress(request.Archive, 0, 0);
  const TUnpackResult unpack = UnpackArchive(request.Archive, unpacked, &observer, 50);
  if (unpack.Cancelled) return Stopped();
  if (!unpack.Ok) return Outcome(TRestoreOutcome::Failed, unpack.Error);
  observer.Progress(unpacked, 0, 50);
  if (observer.Cancelled()) return Stopped();
  const TSvnResult verify = TSubversion(request.SVNPath).Verify(unpacked);
  if (!verify.Ok()) return Outcome(TRestoreOutcome::Failed, "svnadmin verify: " + verify.Message);
  observer.Progress(unpacked, 100, 100);
  if (observer.Cancelled()) return Stopped();
  const std::string target = JoinPath(root, name);
  platform::DirEntry existing;
  if (platform::GetEntry(target, existing))
    return Outcome(TRestoreOutcome::Failed, std::string(kNameTaken) + " (" + name + ")");
  if (!platform::RenameFile(unpacked, target))
    return Outcome(TRestoreOutcome::Failed,
                   "새 프로젝트 폴더로 옮기지 못했습니다: " + platform::LastErrorMessage());
  TRestoreResult r = Outcome(TRestoreOutcome::Done, "");
  r.Files = unpack.Files;
  return r;
}
