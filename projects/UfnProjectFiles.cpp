#include "projects/UfnProjectFiles.h"

#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnProfileFile.h"
#include "server/UfnShell.h"
#include "users/UclsUserMgr.h"

#include <utility>

namespace {

const char* const UsersSection = "users";
const char* const GeneralSection = "general";
const char* const PasswordDb = "password-db";
// No value read from a file holds a line break: the key is absent.
const char* const Absent = "\n";
// passwd holds the passwords in clear text: owner-only whenever this program writes it.
const int PasswdMode = 0600;

} // namespace

TProjectFiles::TProjectFiles(std::string root, std::string project)
    : FRoot(std::move(root)), FProject(std::move(project)) {}

std::string TProjectFiles::Folder() const {
  return AddPathDelimiter(FRoot) + FProject;
}

std::string TProjectFiles::ConfPath(const std::string& name) const {
  const std::string d(1, platform::PathDelimiter());
  return Folder() + d + "conf" + d + name;
}

std::string TProjectFiles::ConfigFile() const {
  return ConfPath("svnserve.conf");
}

std::string TProjectFiles::PasswdFile() const {
  return ConfPath("passwd");
}

std::string TProjectFiles::PasswordDbFile() const {
  const std::string value = ProfileFile(ConfigFile()).ReadValue(GeneralSection, PasswordDb, Absent);
  if (value == Absent) return PasswdFile();
  // svnserve takes a relative name from the folder that holds svnserve.conf.
  if (platform::IsAbsolutePath(value)) return value;
  return ConfPath(value);
}

// The project's password file, refused unless svnserve finds it inside the project's folder
// (password-db as written: another project's or the system's file is not this project's to
// change) and the file it opens lies under the repository root (a link in conf/ may share
// another project's passwd, and writes go through it, but none leads out of the root).
std::string TProjectFiles::ManagedPasswordDb() const {
  const std::string file = PasswordDbFile();
  const bool named = platform::PathWithin(Folder(), file, false);
  if (named && platform::PathWithin(FRoot, file, true)) return file;
  const std::string value = ProfileFile(ConfigFile()).ReadValue(GeneralSection, PasswordDb, "");
  const std::string resolved = platform::ResolvedPath(file);
  std::string reason = named ? "저장소 경로 밖으로 이어지는 링크라 사용자를 관리하지 않습니다"
                             : "프로젝트 폴더 밖에 있는 파일이라 사용자를 관리하지 않습니다";
  if (!value.empty()) reason += " (svnserve.conf의 password-db = " + value + ")";
  if (resolved != file) reason += "\r\n실제 위치: " + resolved;
  throw EPasswordDbOutside("이 프로젝트의 암호 파일은 이 프로그램이 관리하지 않습니다.\r\n\r\n" +
                               file + "\r\n" + reason + ".",
                           file);
}

void TProjectFiles::ReadUsers(std::vector<std::string>& list) const {
  list.clear();
  ProfileFile(ManagedPasswordDb()).ReadPairs(UsersSection, list);
}

void TProjectFiles::WriteUser(const std::string& id, const std::string& password) const {
  ProfileFile(ManagedPasswordDb(), PasswdMode).WriteValue(UsersSection, id, password);
  ProfileFile conf(ConfigFile());
  if (platform::FileExists(conf.FileName()) &&
      conf.ReadValue(GeneralSection, PasswordDb, Absent) == Absent)
    conf.WriteValue(GeneralSection, PasswordDb, "passwd");
}

void TProjectFiles::DeleteUser(const std::string& id) const {
  ProfileFile(ManagedPasswordDb(), PasswdMode).DeleteValue(UsersSection, id);
}

bool TProjectFiles::HasUser(const std::string& id) const {
  std::vector<std::string> lines;
  ReadUsers(lines);
  for (const std::string& line : lines)
    if (SameUserId(line.substr(0, line.find('=')), id)) return true;
  return false;
}
