#include "projects/UclsProjectMgr.h"

#include "platform/UfnPlatform.h"
#include "projects/UfnProfileFile.h"
#include "server/UfnShell.h"
#include "settings/UclsBasicSetting.h"

#include <cstring>

TclsProjectMgr* ProjectMgr = nullptr;

namespace {

const char* const UsersSection = "users";
const char* const GeneralSection = "general";
const char* const PasswordDb = "password-db";
// No value read from a file holds a line break: the key is absent.
const char* const Absent = "\n";
// passwd holds the passwords in clear text: owner-only whenever this program writes it.
const int PasswdMode = 0600;

std::string ConfPath(const std::string& project, const std::string& name) {
  const std::string d(1, platform::PathDelimiter());
  return AddPathDelimiter(BasicSetting->RepoPath) + project + d + "conf" + d + name;
}

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

std::string RepositoryFolder(const std::string& project) {
  return AddPathDelimiter(BasicSetting->RepoPath) + project;
}

// The project's password file, refused unless svnserve finds it inside the project's folder
// (password-db as written: another project's or the system's file is not this project's to
// change) and the file it opens lies under the repository root (a link in conf/ may share
// another project's passwd, and writes go through it, but none leads out of the root).
std::string ManagedPasswordDb(const std::string& project) {
  const std::string file = TclsProjectMgr::PasswordDbFile(project);
  const std::string folder = RepositoryFolder(project);
  const bool named = platform::PathWithin(folder, file, false);
  if (named && platform::PathWithin(BasicSetting->RepoPath, file, true)) return file;
  const std::string value =
      ProfileFile(TclsProjectMgr::ConfigFile(project)).ReadValue(GeneralSection, PasswordDb, "");
  const std::string resolved = platform::ResolvedPath(file);
  std::string reason = named ? "저장소 경로 밖으로 이어지는 링크라 사용자를 관리하지 않습니다"
                             : "프로젝트 폴더 밖에 있는 파일이라 사용자를 관리하지 않습니다";
  if (!value.empty()) reason += " (svnserve.conf의 password-db = " + value + ")";
  if (resolved != file) reason += "\r\n실제 위치: " + resolved;
  throw EPasswordDbOutside("이 프로젝트의 암호 파일은 이 프로그램이 관리하지 않습니다.\r\n\r\n" +
                               file + "\r\n" + reason + ".",
                           file);
}

} // namespace

TProjectNameCheck CheckNewProjectName(const std::string& root, const std::string& name) {
  if (name.empty()) return TProjectNameCheck::Empty;
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

std::string TclsProjectMgr::PasswdFile(const std::string& project) {
  return ConfPath(project, "passwd");
}

std::string TclsProjectMgr::PasswordDbFile(const std::string& project) {
  const std::string value =
      ProfileFile(ConfigFile(project)).ReadValue(GeneralSection, PasswordDb, Absent);
  if (value == Absent) return PasswdFile(project);
  // svnserve takes a relative name from the folder that holds svnserve.conf.
  if (platform::IsAbsolutePath(value)) return value;
  return ConfPath(project, value);
}

std::string TclsProjectMgr::ConfigFile(const std::string& project) {
  return ConfPath(project, "svnserve.conf");
}

void TclsProjectMgr::ReadUsers(const std::string& project, std::vector<std::string>& list) const {
  list.clear();
  ProfileFile(ManagedPasswordDb(project)).ReadPairs(UsersSection, list);
}

void TclsProjectMgr::WriteUser(const std::string& project, const std::string& id,
                               const std::string& password) {
  ProfileFile(ManagedPasswordDb(project), PasswdMode).WriteValue(UsersSection, id, password);
  ProfileFile conf(ConfigFile(project));
  if (platform::FileExists(conf.FileName()) &&
      conf.ReadValue(GeneralSection, PasswordDb, Absent) == Absent)
    conf.WriteValue(GeneralSection, PasswordDb, "passwd");
}

void TclsProjectMgr::DeleteUser(const std::string& project, const std::string& id) {
  ProfileFile(ManagedPasswordDb(project), PasswdMode).DeleteValue(UsersSection, id);
}

bool TclsProjectMgr::HasUser(const std::string& project, const std::string& id) const {
  std::vector<std::string> lines;
  ReadUsers(project, lines);
  for (const std::string& line : lines)
    if (line.substr(0, line.find('=')) == id) return true;
  return false;
}

void InitProjectMgr() {
  ProjectMgr = new TclsProjectMgr;
}

void DoneProjectMgr() {
  delete ProjectMgr;
  ProjectMgr = nullptr;
}
