#include "projects/UfnAccessGroups.h"

#include "base/UfnPaths.h"
#include "platform/UfnFiles.h"
#include "projects/UfnProjectFiles.h"
#include "server/UfnShell.h"

#include <algorithm>

const char* const kGroupNamedByRules =
    "이 그룹을 쓰는 규칙이 있어 지울 수 없습니다. 먼저 다음 규칙을 지우십시오";

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// The projects under the root: folders with a conf/svnserve.conf.
std::vector<std::string> Projects(const std::string& root) {
  std::vector<platform::DirEntry> entries;
  std::vector<std::string> names;
  platform::ListDirectory(root, entries);
  for (const platform::DirEntry& e : entries)
    if ((e.attributes & 0x10) && !e.link &&
        platform::FileExists(TProjectFiles(root, e.name).ConfigFile()))
      names.push_back(e.name);
  return names;
}

// Where a project's rules name @group: "app: [/secret] @devs = r".
std::vector<std::string> RulesNaming(const TAuthzFile& file, const std::string& project,
                                     const std::string& group) {
  std::vector<std::string> found;
  for (const TAuthzSection& s : file.Sections)
    for (const TAuthzEntry& e : s.Entries) {
      std::string who = e.Who[0] == '~' ? e.Who.substr(1) : e.Who;
      bool member = false;
      if (s.IsGroups && e.Who != group)
        for (size_t at = e.Value.find("@" + group); at != std::string::npos;
             at = e.Value.find("@" + group, at + 1)) {
          size_t end = at + 1 + group.size();
          if (end == e.Value.size() || e.Value[end] == ',' || e.Value[end] == ' ') member = true;
        }
      if (who == "@" + group || member)
        found.push_back(project + ": [" + s.Name + "] " + e.Who + " = " + e.Value);
    }
  return found;
}

TGroupChange Refused(TJobObserver& observer, const std::string& why) {
  observer.Notify(TMsgIcon::Error, why);
  return {false, why};
}

// Writes the group's new members (or removes it) in each project whose rules define it.
bool Propagate(const TSubversion& svn, const std::string& root, const std::string& group,
               const std::vector<std::string>* members, TJobObserver& observer,
               std::string& failed) {
  for (const std::string& project : Projects(root)) {
    TProjectRules rules = ReadProjectRules(root, project);
    const TAuthzSection* groups = rules.Rules.Find("groups");
    if (!groups || std::none_of(groups->Entries.begin(), groups->Entries.end(),
                                [&](const TAuthzEntry& e) { return e.Who == group; }))
      continue;
    std::string text = EditAuthzEntry(rules.Text, "groups", group,
                                      members ? GroupValue(*members) : "", members == nullptr);
    TRuleChange change = WriteProjectRules(svn, rules, text, observer);
    if (!change.Done) {
      failed += (failed.empty() ? "" : "; ") + project + ": " + change.Message;
      continue;
    }
    observer.Notify(TMsgIcon::Information,
                    project + ": [groups]의 " + group + " 그룹을 다시 썼습니다");
  }
  return failed.empty();
}

} // namespace

std::string GroupsFile() {
  return platform::StateFolder() + "Groups.Dat";
}

bool ValidGroupName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code == 0x7f || std::string(" =:,@&~$#[]").find(c) != std::string::npos)
      return false;
  }
  return true;
}

TAccessGroups LoadGroups(const std::string& file) {
  TAccessGroups groups;
  std::string data;
  if (!platform::ReadWholeFile(file, data)) return groups;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(start, end - start);
    start = end + 1;
    size_t eq = line.find('=');
    if (eq == std::string::npos || !ValidGroupName(Trim(line.substr(0, eq)))) continue;
    std::vector<std::string>& members = groups[Trim(line.substr(0, eq))];
    std::string rest = line.substr(eq + 1);
    size_t from = 0;
    while (from <= rest.size()) {
      size_t comma = rest.find(',', from);
      if (comma == std::string::npos) comma = rest.size();
      std::string user = Trim(rest.substr(from, comma - from));
      if (!user.empty() && std::find(members.begin(), members.end(), user) == members.end())
        members.push_back(user);
      from = comma + 1;
    }
  }
  return groups;
}

bool SaveGroups(const std::string& file, const TAccessGroups& groups) {
  std::string data;
  for (const auto& [name, members] : groups) {
    std::string line = name + "=";
    for (size_t i = 0; i < members.size(); ++i)
      line += (i ? "," : "") + members[i];
    data += line + "\n";
  }
  // The state folder is made on the program's first save; the first group may come before it.
  platform::ForceDirectories(ExtractFilePath(file));
  return platform::WriteFileAtomic(file, data, 0644);
}

TGroupChange AddGroupMembers(const TSubversion& svn, const std::string& root,
                             const std::string& file, const std::string& group,
                             const std::vector<std::string>& users, TJobObserver& observer) {
  if (!ValidGroupName(group)) return Refused(observer, "올바르지 않은 그룹 이름입니다 : " + group);
  for (const std::string& u : users)
    if (u.empty() || u.find_first_of(",=\n\r@&~$") != std::string::npos || u[0] == '#')
      return Refused(observer, "그룹에 넣을 수 없는 사용자 ID입니다 : " + u);
  TAccessGroups groups = LoadGroups(file);
  std::vector<std::string>& members = groups[group];
  for (const std::string& u : users)
    if (std::find(members.begin(), members.end(), u) == members.end()) members.push_back(u);
  if (!SaveGroups(file, groups)) return Refused(observer, file + " 파일을 저장하지 못했습니다.");
  std::string failed;
  if (!Propagate(svn, root, group, &members, observer, failed))
    return Refused(observer,
                   "그룹은 저장했지만 다음 프로젝트의 접근 권한 파일에는 쓰지 못했습니다 : " +
                       failed);
  return {true, "@" + group + " = " + GroupValue(members)};
}

TGroupChange RemoveGroupMembers(const TSubversion& svn, const std::string& root,
                                const std::string& file, const std::string& group,
                                const std::vector<std::string>& users, TJobObserver& observer) {
  TAccessGroups groups = LoadGroups(file);
  if (!groups.count(group)) return Refused(observer, group + " 그룹이 없습니다.");
  if (users.empty()) {
    std::vector<std::string> naming;
    for (const std::string& project : Projects(root)) {
      std::vector<std::string> found =
          RulesNaming(ReadProjectRules(root, project).Rules, project, group);
      naming.insert(naming.end(), found.begin(), found.end());
    }
    if (!naming.empty()) {
      std::string why = std::string(kGroupNamedByRules) + " (" + group + ")";
      for (const std::string& n : naming)
        why += "\n  " + n;
      return Refused(observer, why);
    }
    groups.erase(group);
  } else {
    std::vector<std::string>& members = groups[group];
    for (const std::string& u : users)
      members.erase(std::remove(members.begin(), members.end(), u), members.end());
  }
  if (!SaveGroups(file, groups)) return Refused(observer, file + " 파일을 저장하지 못했습니다.");
  std::string failed;
  const std::vector<std::string>* members = users.empty() ? nullptr : &groups[group];
  if (!Propagate(svn, root, group, members, observer, failed))
    return Refused(observer,
                   "그룹은 저장했지만 다음 프로젝트의 접근 권한 파일에는 쓰지 못했습니다 : " +
                       failed);
  return {true, users.empty() ? "@" + group + " 그룹을 지웠습니다."
                              : "@" + group + " = " + GroupValue(groups[group])};
}
