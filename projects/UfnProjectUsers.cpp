#include "projects/UfnProjectUsers.h"

#include "projects/UfnProjectFiles.h"
#include "users/UclsUserMgr.h"

namespace {

bool AnyOf(const std::vector<TProjectUser>& users, const std::string& id) {
  for (const TProjectUser& u : users)
    if (SameUserId(u.Id, id)) return true;
  return false;
}

} // namespace

std::vector<TProjectUser> ListProjectUsers(const std::string& root, const std::string& project) {
  std::vector<std::string> lines;
  TProjectFiles(root, project).ReadUsers(lines);
  // Each line is its own key with its own password: a second key that is the same user for
  // the registry is another account for svnserve, whose password must not stand for it.
  std::vector<TProjectUser> users;
  users.reserve(lines.size());
  for (const std::string& line : lines) {
    const size_t eq = line.find('=');
    users.push_back({line.substr(0, eq), line.substr(eq + 1)});
  }
  return users;
}

std::vector<std::string> UnregisteredUsers(const TclsUserMgr& registry,
                                           const std::vector<TProjectUser>& users) {
  std::vector<std::string> ids;
  for (int32_t i = 0; i < registry.Count(); ++i) {
    std::string id, password;
    registry.GetUser(i, id, password);
    if (!id.empty() && !AnyOf(users, id)) ids.push_back(id);
  }
  return ids;
}

std::vector<std::string> ImportProjectUsers(TclsUserMgr& registry,
                                            const std::vector<TProjectUser>& users) {
  std::vector<std::string> added;
  for (const TProjectUser& u : users) {
    if ((u.Id + u.Password).find_first_of(std::string("\r\n\0", 3)) != std::string::npos) continue;
    if (registry.Exists(u.Id)) continue;
    registry.SetUser(u.Id, u.Password);
    if (registry.Exists(u.Id)) added.push_back(u.Id);
  }
  return added;
}

void GrantProjectUsers(const std::string& root, const std::string& project,
                       const TclsUserMgr& registry, const std::vector<std::string>& ids) {
  const TProjectFiles files(root, project);
  for (const std::string& id : ids)
    files.WriteUser(id, registry.GetPassword(id));
}

std::vector<std::string> WithdrawProjectUsers(const std::string& root, const std::string& project,
                                              const std::vector<std::string>& ids,
                                              TJobObserver& observer) {
  const TProjectFiles files(root, project);
  std::vector<std::string> kept;
  std::string told;
  for (const std::string& id : ids) {
    std::vector<std::string> lines;
    files.ReadUsers(lines);
    for (const std::string& line : lines) {
      const std::string key = line.substr(0, line.find('='));
      if (SameUserId(key, id)) files.DeleteUser(key);
    }
    // The file may refuse the change (read-only): the user still gets in, so say so.
    if (files.HasUser(id)) {
      kept.push_back(id);
      told += (told.empty() ? "" : ", ") + id;
    }
  }
  if (!kept.empty())
    observer.Notify(TMsgIcon::Error,
                    "다음 사용자의 권한을 회수하지 못했습니다: " + told + "\r\n\r\n" +
                        files.PasswordDbFile() +
                        "\r\n파일을 고칠 수 없습니다 (읽기 전용이거나 쓰기 권한이 없습니다).");
  return kept;
}
