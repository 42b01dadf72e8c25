#include "admin/UfnAdminAccess.h"

#include "admin/UfnAdminTool.h"
#include "platform/UfnFiles.h"
#include "projects/UfnAccessGroups.h"
#include "projects/UfnAccessJobs.h"
#include "server/UfnShell.h"
#include "server/UfnSubversion.h"

namespace {

const char* const kAdminAccessInvalid = "올바르지 않은 접근 권한 파일입니다";
const char* const kUsage = "orlenway-admin access show PROJECT[:/PATH]\n"
                           "orlenway-admin access set PROJECT[:/PATH] WHO rw|r|none\n"
                           "orlenway-admin access unset PROJECT[:/PATH] WHO\n"
                           "orlenway-admin access check USER PROJECT[:/PATH]\n"
                           "orlenway-admin access restore PROJECT\n";

// Prints what the job told, so that a refusal reaches the terminal once.
struct TLineObserver : TJobObserver {
  std::ostream& Err;
  explicit TLineObserver(std::ostream& err) : Err(err) {}
  void Notify(TMsgIcon, const std::string& text) override {
    Err << "orlenway-admin: " << text << "\n";
  }
};

bool Below(const std::string& path, const std::string& top) {
  return top == "/" || path == top || path.rfind(top + "/", 0) == 0;
}

int Show(const TProjectRules& rules, const std::string& project, const std::string& path,
         std::ostream& out) {
  out << rules.File << (rules.Enabled ? "" : " (사용 안 함: svnserve.conf에 authz-db가 없습니다)")
      << "\n";
  if (!rules.Rules.Valid()) {
    out << kAdminAccessInvalid << " (" << rules.Rules.ErrorLine << "번째 줄: " << rules.Rules.Error
        << ")\n"
        << "파일을 고치";
    if (!rules.LastGood.empty())
      out << "거나 마지막으로 저장한 파일로 되돌리기(orlenway-admin access restore " << project
          << ") ";
    out << "전까지는 svnserve가 " << project << " 프로젝트의 모든 접속을 거부합니다.\n";
    return AdminExitFailed;
  }
  for (const TAuthzSection& s : rules.Rules.Sections) {
    if (s.Path.empty() || (!s.Repo.empty() && s.Repo != project) || !Below(s.Path, path)) continue;
    out << "[" << s.Name << "]\n";
    for (const TAuthzEntry& e : s.Entries)
      out << "  " << e.Who << " = " << (e.Value.empty() ? "none" : e.Value) << "\n";
  }
  return AdminExitOk;
}

} // namespace

int AdminAccess(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const std::string& root, const std::string& svnPath) {
  const std::string verb = args.size() > 1 ? args[1] : "";
  const size_t need = verb == "set" ? 5 : verb == "unset" || verb == "check" ? 4 : 3;
  if ((verb != "show" && verb != "set" && verb != "unset" && verb != "check" &&
       verb != "restore") ||
      args.size() != need) {
    err << "orlenway-admin: 사용법:\n" << kUsage;
    return AdminExitRefused;
  }
  std::string project, path;
  SplitProjectPath(verb == "check" ? args[3] : args[2], project, path);
  if (project.empty() || project.find_first_of("/\\") != std::string::npos ||
      !platform::DirectoryExists(AddPathDelimiter(root) + project)) {
    err << "orlenway-admin: 프로젝트가 없습니다 : " << project << "\n";
    return AdminExitRefused;
  }
  TLineObserver observer(err);
  const TSubversion svn(svnPath);
  if (verb == "show") return Show(ReadProjectRules(root, project), project, path, out);
  if (verb == "check") {
    TAccessExplained e = ExplainAccess(root, project, path, args[2]);
    out << RightsName(e.Rights) << "\n";
    for (const std::string& line : e.Why)
      out << line << "\n";
    return AdminExitOk;
  }
  TRuleChange change;
  if (verb == "restore")
    change = RestoreLastGoodRules(root, project, observer);
  else {
    const std::string& who = args[3];
    if (!ValidRuleWho(who)) {
      err << "orlenway-admin: WHO는 사용자 ID, @그룹, *, $authenticated, $anonymous 중 하나입니다 "
             ": "
          << who << "\n";
      return AdminExitRefused;
    }
    TRights rights = TRights::None;
    if (verb == "set" && !RightsOf(args[4], rights)) {
      err << "orlenway-admin: RIGHTS는 rw, r, none 중 하나입니다 : " << args[4] << "\n";
      return AdminExitRefused;
    }
    change = verb == "set" ? SetAccessRule(svn, root, project, path, who, rights, observer,
                                           LoadGroups(GroupsFile()))
                           : UnsetAccessRule(svn, root, project, path, who, observer);
  }
  if (!change.Done) return AdminExitFailed;
  out << project << ": " << change.Message << "\n";
  return AdminExitOk;
}

int AdminGroup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const std::string& root, const std::string& svnPath) {
  const std::string verb = args.size() > 1 ? args[1] : "";
  if (!((verb == "list" && args.size() == 2) || (verb == "add" && args.size() >= 4) ||
        (verb == "remove" && args.size() >= 3))) {
    err << "orlenway-admin: 사용법:\n"
        << "orlenway-admin group list\n"
        << "orlenway-admin group add GROUP USER...\n"
        << "orlenway-admin group remove GROUP [USER...]\n";
    return AdminExitRefused;
  }
  if (verb == "list") {
    for (const auto& [name, members] : LoadGroups(GroupsFile()))
      out << "@" << name << " = " << GroupValue(members) << "\n";
    return AdminExitOk;
  }
  std::string group = args[2];
  if (!group.empty() && group[0] == '@') group = group.substr(1);
  if (!ValidGroupName(group)) {
    err << "orlenway-admin: 올바르지 않은 그룹 이름입니다 : " << args[2] << "\n";
    return AdminExitRefused;
  }
  const std::vector<std::string> users(args.begin() + 3, args.end());
  TLineObserver observer(err);
  const TSubversion svn(svnPath);
  TGroupChange change = verb == "add"
                            ? AddGroupMembers(svn, root, GroupsFile(), group, users, observer)
                            : RemoveGroupMembers(svn, root, GroupsFile(), group, users, observer);
  if (!change.Done) return AdminExitFailed;
  out << change.Message << "\n";
  return AdminExitOk;
}
