#include "projects/UfnAccessJobs.h"

#include "base/UfnPaths.h"
#include "base/UfnText.h"
#include "platform/UfnFiles.h"
#include "platform/UfnSystemErrors.h"
#include "projects/UfnProfileFile.h"
#include "projects/UfnProjectFiles.h"
#include "projects/UfnProjectJobs.h"
#include "server/UfnSubversion.h"

#include <algorithm>

const char* const kAccessAnonymous = "익명 사용자";
const char* const kAccessNotInPasswd = "이 프로젝트의 암호 파일에 없는 사용자입니다";
const char* const kAccessNoRules = "이 프로젝트에는 접근 권한 규칙이 없습니다 (authz-db 없음)";
const char* const kAccessInvalidResult =
    "바꾸면 접근 권한 파일이 올바르지 않게 되어 저장하지 않았습니다.";
const char* const kAccessUnionHint =
    "한 구역의 항목은 서로 더해집니다. 그 항목을 지우거나, 규칙을 하위 경로에 두십시오 "
    "(하위 경로에서는 그 구역에 적힌 사람이 그 구역의 권한만 받습니다).";

namespace {

const char* const General = "general";
const char* const AuthzDb = "authz-db";
const char* const LastGoodSuffix = ".orlenway-last-good";
// Marks the [/] section the program adds when it turns the rules on, so that removing the last
// rule can take it away again.
const char* const Marker = "# Orlenway: everyone keeps what anon-access and auth-access give.";
// Stands for "any signed-in user the rules do not name" when a change is checked.
const char* const SomeUser = "\x01";

std::string ConfFolder(const TProjectFiles& files) {
  return ExtractFilePath(files.ConfigFile());
}

std::string Who(const std::string& user) {
  if (user.empty()) return kAccessAnonymous;
  if (user == SomeUser) return "로그인한 사용자";
  return user;
}

TRuleChange Refuse(TJobObserver& observer, const std::string& why) {
  TRuleChange change;
  change.Refused = true;
  change.Message = why;
  observer.Notify(TMsgIcon::Error, why);
  return change;
}

// The people an entry for `who` stands for, to check what the rules give them afterwards.
std::vector<std::string> Subjects(const TAuthzFile& file, const std::string& who) {
  if (who == "*") return {"", SomeUser};
  if (who == "$anonymous") return {""};
  if (who == "$authenticated") return {SomeUser};
  if (who.size() > 1 && who[0] == '@') return GroupUsers(file, who.substr(1));
  if (who.size() > 1 && who[0] == '&') {
    if (const TAuthzSection* aliases = file.Find("aliases"))
      for (const TAuthzEntry& e : aliases->Entries)
        if (e.Who == who.substr(1)) return {e.Value};
    return {};
  }
  return {who};
}

// Validates and writes `text` as the project's rules; a refusal writes nothing.
TRuleChange Commit(const TSubversion& svn, const TProjectRules& rules, const std::string& text,
                   TJobObserver& observer) {
  TAuthzFile parsed = ParseAuthz(text);
  if (!parsed.Valid())
    return Refuse(observer, std::string(kAccessInvalidResult) + " (" +
                                std::to_string(parsed.ErrorLine) + "번째 줄: " + parsed.Error +
                                ")");
  const std::string probe = ExtractFilePath(rules.File) + ".authz.orlenway-check";
  if (platform::WriteFileAtomic(probe, text, 0600)) {
    TSvnResult r = svn.AuthzValidate(probe);
    platform::DeleteFile(probe);
    if (r.Started && !r.Ok())
      return Refuse(observer, std::string(kAccessInvalidResult) + " (svnauthz: " + r.Message + ")");
  }
  if (!platform::WriteFileAtomic(rules.File, text, 0644))
    return Refuse(observer,
                  rules.File + " 파일을 저장하지 못했습니다 : " + platform::LastErrorMessage());
  platform::WriteFileAtomic(rules.File + LastGoodSuffix, text, 0644);
  TRuleChange change;
  change.Done = true;
  return change;
}

} // namespace

TProjectRules ReadProjectRules(const std::string& root, const std::string& project) {
  TProjectRules rules;
  TProjectFiles files(root, project);
  std::string db = ProfileFile(files.ConfigFile()).ReadValue(General, AuthzDb, "");
  rules.Enabled = !db.empty();
  if (db.empty()) db = "authz";
  rules.File = platform::IsAbsolutePath(db) ? db : ConfFolder(files) + db;
  rules.Exists = platform::ReadWholeFile(rules.File, rules.Text);
  rules.Rules = ParseAuthz(rules.Text);
  if (platform::FileExists(rules.File + LastGoodSuffix))
    rules.LastGood = rules.File + LastGoodSuffix;
  return rules;
}

std::vector<std::string> RulePaths(const TAuthzFile& file, const std::string& project) {
  std::vector<std::string> paths;
  for (const TAuthzSection& s : file.Sections)
    if (!s.Path.empty() && (s.Repo.empty() || s.Repo == project)) paths.push_back(s.Path);
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  return paths;
}

std::string RuleSection(const TAuthzFile& file, const std::string& project,
                        const std::string& path) {
  std::string own = project + ":" + path;
  return file.Find(own) ? own : path;
}

bool RepositoryFolders(const TSubversion& svn, const std::string& repository,
                       std::vector<std::string>& folders, std::string& error) {
  folders.clear();
  TSvnResult r = svn.Run("svnlook", {"tree", "--full-paths", repository});
  if (!r.Ok()) {
    error = r.Message;
    return false;
  }
  // One line per node, folders end in "/"; the root is the line "/".
  for (const std::string& line : text::SplitLines(r.Output))
    if (!line.empty() && line.back() == '/') folders.push_back(CanonicalRulePath(line));
  return true;
}

std::string InvalidRulesText(const TProjectRules& rules) {
  return "접근 권한 파일 " + rules.File + "이(가) 올바르지 않습니다 (" +
         std::to_string(rules.Rules.ErrorLine) + "번째 줄: " + rules.Rules.Error +
         "). 파일을 고치" +
         (rules.LastGood.empty() ? std::string("기 전까지는")
                                 : "거나 마지막으로 저장한 파일로 되돌리기 전까지는") +
         " svnserve가 이 프로젝트의 모든 접속을 거부합니다.";
}

bool ValidRuleWho(const std::string& who) {
  if (who == "*" || who == "$authenticated" || who == "$anonymous") return true;
  if (who.empty() || who == "@" || who[0] == '$' || who[0] == '~' || who[0] == '&' ||
      who[0] == '[' || who[0] == '#')
    return false;
  return who.find_first_of("=:,\n\r") == std::string::npos;
}

void SplitProjectPath(const std::string& text, std::string& project, std::string& path) {
  size_t colon = text.find(":/");
  project = colon == std::string::npos ? text : text.substr(0, colon);
  path = CanonicalRulePath(colon == std::string::npos ? "/" : text.substr(colon + 1));
}

TRuleChange SetAccessRule(const TSubversion& svn, const std::string& root,
                          const std::string& project, const std::string& path,
                          const std::string& who, TRights rights, TJobObserver& observer,
                          const TAccessGroups& groups) {
  TProjectRules rules = ReadProjectRules(root, project);
  if (!platform::FileExists(TProjectFiles(root, project).ConfigFile()))
    return Refuse(observer, project + " 프로젝트에 svnserve.conf 파일이 없습니다.");
  if (!rules.Rules.Valid()) return Refuse(observer, InvalidRulesText(rules));
  const std::string at = CanonicalRulePath(path);
  std::string text = rules.Text;
  bool turnOn = !rules.Enabled;
  if (turnOn && !rules.Rules.Find("/")) {
    // "* = rw" at [/] leaves every decision to anon-access and auth-access, as before.
    if (!text.empty() && text.back() != '\n') text += "\n";
    text += std::string(text.empty() ? "" : "\n") + Marker + "\n[/]\n* = rw\n";
  }
  const std::string value = rights == TRights::ReadWrite ? "rw"
                            : rights == TRights::Read    ? "r"
                                                         : "";
  if (who.size() > 1 && who[0] == '@' && groups.count(who.substr(1)))
    text =
        EditAuthzEntry(text, "groups", who.substr(1), GroupValue(groups.at(who.substr(1))), false);
  std::string section = RuleSection(rules.Rules, project, at);
  text = EditAuthzEntry(text, section, who, value, false);
  TAuthzFile after = ParseAuthz(text);
  if (after.Valid())
    for (const std::string& person : Subjects(after, who)) {
      TRulesAnswer answer = RulesAccess(after, person, project, at);
      if (answer.Rights == rights) continue;
      std::string why = "[" + section + "] " + who + " = " + value + " 규칙을 쓰면 " + Who(person) +
                        "의 " + at + " 권한이 " + RightsName(answer.Rights) + "이(가) 됩니다 (" +
                        answer.Decided + " 때문). 저장하지 않았습니다.";
      if (answer.Rights > rights) why += std::string(" ") + kAccessUnionHint;
      return Refuse(observer, why);
    }
  TRuleChange change = Commit(svn, rules, text, observer);
  if (change.Done && turnOn)
    ProfileFile(TProjectFiles(root, project).ConfigFile()).WriteValue(General, AuthzDb, "authz");
  if (change.Done)
    change.Message = "[" + section + "] " + who + " = " + RightsName(rights) + " 저장했습니다.";
  return change;
}

TRuleChange UnsetAccessRule(const TSubversion& svn, const std::string& root,
                            const std::string& project, const std::string& path,
                            const std::string& who, TJobObserver& observer) {
  TProjectRules rules = ReadProjectRules(root, project);
  if (!rules.Rules.Valid()) return Refuse(observer, InvalidRulesText(rules));
  const std::string at = CanonicalRulePath(path);
  std::string section = RuleSection(rules.Rules, project, at);
  const TAuthzSection* s = rules.Rules.Find(section);
  if (!s || std::none_of(s->Entries.begin(), s->Entries.end(),
                         [&](const TAuthzEntry& e) { return e.Who == who; }))
    return Refuse(observer, "[" + section + "]에 " + who + " 항목이 없습니다.");
  std::string text = EditAuthzEntry(rules.Text, section, who, "", true);
  // Only the program's own "* = rw" at [/] left: the rules go off as they came on.
  TAuthzFile after = ParseAuthz(text);
  size_t entries = 0;
  for (const TAuthzSection& each : after.Sections)
    if (!each.Path.empty()) entries += each.Entries.size();
  const TAuthzSection* top = after.Find("/");
  const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  const std::string own = eol + Marker + eol + "[/]" + eol + "* = rw" + eol;
  size_t marker = text.find(own);
  bool turnOff = rules.Enabled && entries == 1 && top && top->Entries.size() == 1 &&
                 marker != std::string::npos;
  if (turnOff) text.erase(marker, own.size());
  TRuleChange change = Commit(svn, rules, text, observer);
  if (change.Done && turnOff)
    ProfileFile(TProjectFiles(root, project).ConfigFile()).DeleteValue(General, AuthzDb);
  if (change.Done) change.Message = "[" + section + "]에서 " + who + " 항목을 지웠습니다.";
  return change;
}

TRuleChange WriteProjectRules(const TSubversion& svn, const TProjectRules& rules,
                              const std::string& text, TJobObserver& observer) {
  if (!rules.Rules.Valid()) return Refuse(observer, InvalidRulesText(rules));
  return Commit(svn, rules, text, observer);
}

TRuleChange RestoreLastGoodRules(const std::string& root, const std::string& project,
                                 TJobObserver& observer) {
  TProjectRules rules = ReadProjectRules(root, project);
  if (rules.LastGood.empty())
    return Refuse(observer, "되돌릴 파일(프로그램이 마지막으로 저장한 파일)이 없습니다.");
  std::string text;
  if (!platform::ReadWholeFile(rules.LastGood, text) || !ParseAuthz(text).Valid())
    return Refuse(observer, "마지막으로 저장한 파일을 읽을 수 없습니다 : " + rules.LastGood);
  if (!platform::WriteFileAtomic(rules.File, text, 0644))
    return Refuse(observer,
                  rules.File + " 파일을 저장하지 못했습니다 : " + platform::LastErrorMessage());
  TRuleChange change;
  change.Done = true;
  change.Message = rules.LastGood + " 파일로 " + rules.File + " 파일을 되돌렸습니다.";
  return change;
}

TAccessExplained ExplainAccess(const std::string& root, const std::string& project,
                               const std::string& path, const std::string& user) {
  TAccessExplained result;
  const std::string id = user == "$anonymous" ? "" : user;
  const std::string name = Who(id);
  TProjectAccess levels = ReadProjectAccess(root, project);
  TAccessLevel level = id.empty() ? levels.Anon : levels.Auth;
  const char* key = id.empty() ? "anon-access" : "auth-access";
  if (!id.empty() && !TProjectFiles(root, project).HasUser(id)) {
    result.Why.push_back(name + ": " + kAccessNotInPasswd);
    return result;
  }
  TRights cap = level == TAccessLevel::Write  ? TRights::ReadWrite
                : level == TAccessLevel::Read ? TRights::Read
                                              : TRights::None;
  std::string levelName = level == TAccessLevel::Other ? "(올바르지 않음)" : AccessLevelName(level);
  result.Why.push_back(name + ": " + key + " = " + levelName);
  TProjectRules rules = ReadProjectRules(root, project);
  TRights granted = cap;
  if (rules.Enabled) {
    if (!rules.Rules.Valid()) {
      result.Why.push_back(name + ": 접근 권한 파일이 올바르지 않아 (" +
                           std::to_string(rules.Rules.ErrorLine) + "번째 줄: " + rules.Rules.Error +
                           ") svnserve가 모든 접속을 거부합니다");
      return result;
    }
    TRulesAnswer answer = RulesAccess(rules.Rules, id, project, CanonicalRulePath(path));
    result.Why.push_back(name + ": " + answer.Decided);
    for (const TAuthzSection& s : rules.Rules.Sections)
      if (s.Name.rfind(":glob:", 0) == 0) {
        result.Why.push_back("([" + s.Name + "] 같은 패턴 구역은 이 결과에 반영되지 않았습니다)");
        break;
      }
    granted = std::min(cap, answer.Rights);
  } else
    result.Why.push_back(name + ": " + kAccessNoRules);
  result.Rights = granted;
  return result;
}
