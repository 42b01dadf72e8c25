#include "projects/UfnProjectJobs.h"

#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnProfileFile.h"
#include "projects/UfnProjectFiles.h"
#include "server/UfnShell.h"

namespace {

const char* const kGeneral = "general";
const char* const kAnonAccess = "anon-access";
const char* const kAuthAccess = "auth-access";
const char* const kLevels[] = {"none", "read", "write"};
const char* const kBadName = "프로젝트 이름이 올바르지 않습니다.";
const char* const kProjectExists = "같은 이름의 프로젝트나 파일이 이미 있습니다.";
const char* const kNoRepoPath = "저장소 경로 설정 해주세요";
const char* const kDeleteQuestion = "저장소 폴더를 휴지통으로 보냅니다.\r\n\r\n삭제하시겠습니까?";

// A name that leads anywhere but to one folder directly under the root.
bool NamesAnotherFolder(const std::string& project) {
  return project.empty() || project == "." || project == ".." ||
         project.find_first_of("/\\") != std::string::npos;
}

} // namespace

const char* AccessLevelName(TAccessLevel level) {
  const int i = static_cast<int>(level);
  return i >= 0 && i < 3 ? kLevels[i] : "";
}

TAccessLevel AccessLevelOf(const std::string& value) {
  for (int i = 0; i < 3; ++i)
    if (value == kLevels[i]) return static_cast<TAccessLevel>(i);
  return TAccessLevel::Other;
}

TProjectAccess ReadProjectAccess(const std::string& root, const std::string& project) {
  ProfileFile conf(TProjectFiles(root, project).ConfigFile());
  return {AccessLevelOf(conf.ReadValue(kGeneral, kAnonAccess, "read")),
          AccessLevelOf(conf.ReadValue(kGeneral, kAuthAccess, "write"))};
}

bool SetProjectAccess(const std::string& root, const std::string& project,
                      const TProjectAccess& access) {
  const std::string file = TProjectFiles(root, project).ConfigFile();
  if (!platform::FileExists(file)) return false;
  const std::pair<TAccessLevel, const char*> keys[] = {{access.Anon, kAnonAccess},
                                                       {access.Auth, kAuthAccess}};
  for (const auto& [level, key] : keys)
    if (level != TAccessLevel::Other)
      ProfileFile(file).WriteValue(kGeneral, key, AccessLevelName(level));
  return true;
}

bool RepositoryRootExists(const std::string& root) {
  return !root.empty() && platform::DirectoryExists(root);
}

TCreateProject CreateProject(const std::string& root, std::string& name,
                             const TSvnadminCreate& svnadmin, TJobObserver& observer) {
  // Without the root, svnadmin would make the repository wherever the current folder is.
  if (!RepositoryRootExists(root)) return TCreateProject::NoRoot;
  name = text::Trim(name);
  switch (CheckNewProjectName(root, name)) {
  case TProjectNameCheck::Ok:
    break;
  case TProjectNameCheck::Empty:
    return TCreateProject::Empty;
  case TProjectNameCheck::NotUtf8:
    observer.Notify(TMsgIcon::None, kNotUtf8Name);
    return TCreateProject::NotPlain;
  case TProjectNameCheck::NotPlain:
    observer.Notify(TMsgIcon::None, kBadName);
    return TCreateProject::NotPlain;
  case TProjectNameCheck::Taken:
    observer.Notify(TMsgIcon::None, kProjectExists);
    return TCreateProject::Taken;
  }
  const TProjectFiles files(root, name);
  const TProgramRun run = svnadmin(root, name);
  if (run.ExitCode != 0) {
    // svnadmin's own words say why; there is no repository to configure.
    std::string why = text::Trim(run.Output);
    if (why.empty()) why = "svnadmin 종료 코드 " + std::to_string(run.ExitCode);
    observer.Notify(TMsgIcon::Error,
                    "프로젝트를 만들지 못했습니다.\r\n\r\n" + files.Folder() + "\r\n" + why);
    return TCreateProject::Failed;
  }
  ProfileFile(files.ConfigFile()).WriteValue(kGeneral, "password-db", "passwd");
  return TCreateProject::Created;
}

TDeleteProject DeleteProject(const std::string& root, const std::string& project,
                             TJobObserver& observer) {
  // An empty name would send the whole root to the Trash, an empty root a folder of "/".
  if (root.empty()) {
    observer.Notify(TMsgIcon::Error, kNoRepoPath);
    return TDeleteProject::Failed;
  }
  if (NamesAnotherFolder(project)) {
    observer.Notify(TMsgIcon::Error, std::string(kBadName) + "\r\n\r\n" + project);
    return TDeleteProject::Failed;
  }
  if (observer.Ask(kDeleteQuestion, TMsgIcon::Information, mbYes | mbNo) != mbYes)
    return TDeleteProject::Declined;
  const std::string folder = TProjectFiles(root, project).Folder();
  if (DeleteToRecycleBin(folder)) return TDeleteProject::Deleted;
  observer.Notify(TMsgIcon::Error, "프로젝트 폴더를 휴지통으로 보내지 못했습니다.\r\n\r\n" +
                                       folder + "\r\n" + platform::LastErrorMessage());
  return TDeleteProject::Failed;
}
