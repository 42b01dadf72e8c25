#include "projects/UclsProjectMgr.h"

#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnProjectFiles.h"
#include "server/UfnShell.h"
#include "settings/UclsBasicSetting.h"

#include <cstring>

TclsProjectMgr* ProjectMgr = nullptr;

const char* const kNotUtf8Name = "프로젝트 이름이 올바른 UTF-8 문자열이 아닙니다.";

namespace {

bool PlainFolderName(const std::string& name) {
  if (name[0] == '-' || name[0] == '.') return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
    if (std::strchr("/\\:*?\"<>|$`%", c) != nullptr) return false;
  }
  return true;
}

// After svnadmin failed on a taken folder, the password-db line that follows the creation
// would change the access of the repository found there.
bool TakenName(const std::string& folder) {
  if (platform::FileExists(folder)) return true;
  if (!platform::DirectoryExists(folder)) return false;
  std::vector<platform::DirEntry> inside;
  return !platform::ListDirectory(folder, inside) || !inside.empty();
}

} // namespace

TProjectNameCheck CheckNewProjectName(const std::string& root, const std::string& name) {
  if (name.empty()) return TProjectNameCheck::Empty;
  if (!text::IsValidUtf8(name)) return TProjectNameCheck::NotUtf8;
  if (!PlainFolderName(name)) return TProjectNameCheck::NotPlain;
  if (TakenName(AddPathDelimiter(root) + name)) return TProjectNameCheck::Taken;
  return TProjectNameCheck::Ok;
}

TclsProjectMgr::TclsProjectMgr() {
  Refresh();
}

void TclsProjectMgr::Refresh() {
  Projects.clear();
  const std::string& root = BasicSetting->RepoPath;
  platform::DirEntry self;
  if (root.empty() || !platform::GetEntry(root, self) || !self.IsDirectory()) return;
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(AddPathDelimiter(root), entries, true)) return;
  for (const platform::DirEntry& e : entries) {
    if ((e.attributes & (platform::FILE_ATTR_HIDDEN | platform::FILE_ATTR_SYSTEM)) != 0) continue;
    if (!e.IsDirectory()) continue;
    if (e.name == "." || e.name == "..") continue;
    Projects.push_back(e.name);
  }
}

int32_t TclsProjectMgr::Count() const {
  return static_cast<int32_t>(Projects.size());
}

std::string TclsProjectMgr::GetProject(int32_t index) const {
  if (index < 0 || index >= Count()) return "";
  return Projects[static_cast<size_t>(index)];
}

TProjectFiles TclsProjectMgr::Files(const std::string& project) {
  return TProjectFiles(BasicSetting->RepoPath, project);
}

std::string TclsProjectMgr::PasswdFile(const std::string& project) {
  return Files(project).PasswdFile();
}

std::string TclsProjectMgr::PasswordDbFile(const std::string& project) {
  return Files(project).PasswordDbFile();
}

std::string TclsProjectMgr::ConfigFile(const std::string& project) {
  return Files(project).ConfigFile();
}

void TclsProjectMgr::ReadUsers(const std::string& project, std::vector<std::string>& list) const {
  Files(project).ReadUsers(list);
}

void TclsProjectMgr::WriteUser(const std::string& project, const std::string& id,
                               const std::string& password) {
  Files(project).WriteUser(id, password);
}

void TclsProjectMgr::DeleteUser(const std::string& project, const std::string& id) {
  Files(project).DeleteUser(id);
}

bool TclsProjectMgr::HasUser(const std::string& project, const std::string& id) const {
  return Files(project).HasUser(id);
}

void InitProjectMgr() {
  ProjectMgr = new TclsProjectMgr;
}

void DoneProjectMgr() {
  delete ProjectMgr;
  ProjectMgr = nullptr;
}
