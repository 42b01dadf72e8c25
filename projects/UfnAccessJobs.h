// What a person asks of a project's access rules: read them, set or remove one entry, go back to
// the last file the program wrote, and explain what a person can do at a path. Done once here
// for the access dialog and orlenway-admin.
#pragma once

#include "base/UfnJob.h"
#include "projects/UfnAccessRules.h"

#include <string>
#include <vector>

class TSubversion;

// Texts of the access jobs that callers and tests look for.
extern const char* const kAccessAnonymous;
extern const char* const kAccessNotInPasswd;
extern const char* const kAccessNoRules;
extern const char* const kAccessInvalidResult;
extern const char* const kAccessUnionHint;

struct TProjectRules {
  bool Enabled = false; // svnserve.conf names an authz-db
  std::string File;     // the rules file: authz-db's, or conf/authz
  bool Exists = false;  // the file is there
  std::string Text;     // as it stands
  TAuthzFile Rules;     // read as svnserve reads it
  std::string LastGood; // the copy of the last file the program wrote ("" when none)
};
TProjectRules ReadProjectRules(const std::string& root, const std::string& project);

// The paths that have rules for the project: those of [/x] and [project:/x], sorted, each once.
std::vector<std::string> RulePaths(const TAuthzFile& file, const std::string& project);
// The section a rule of the project at `path` is read from and written to: the project's own
// ("app:/x") when the file has one, for svnserve lets it decide, else "/x".
std::string RuleSection(const TAuthzFile& file, const std::string& project,
                        const std::string& path);
// The repository's folders as rule paths ("/", "/trunk", "/trunk/src", ...), from svnlook tree
// at the youngest revision. False, with svnlook's reason in `error`, when it could not be read.
bool RepositoryFolders(const TSubversion& svn, const std::string& repository,
                       std::vector<std::string>& folders, std::string& error);

// WHO of a rule as a person may ask for it: a user ID, "@group", "*", "$authenticated" or
// "$anonymous".
bool ValidRuleWho(const std::string& who);
// Why svnserve refuses the project's invalid rules file, with the line, and how to get out.
std::string InvalidRulesText(const TProjectRules& rules);

// Splits "PROJECT[:/PATH]" into the project and a rule path ("/" when none).
void SplitProjectPath(const std::string& text, std::string& project, std::string& path);

struct TRuleChange {
  bool Done = false;
  bool Refused = false; // the change was refused; Message says why and nothing was written
  std::string Message;
};

// Sets WHO's entry ("alice", "@devs", "*", "$authenticated", "$anonymous") at `path` to
// `rights`. The first rule of a project turns the rules on without changing what anyone may do
// (authz-db = authz and "* = rw" at [/], which leaves the decision to anon-access and
// auth-access). Refused when the result would be invalid (by the program's reader and, where
// installed, svnauthz validate), when the file is already invalid, or when the rules would then
// not give WHO `rights` at `path` (another entry of the section grants more, or a section of
// this repository decides instead). A group of `groups` that a rule names is written into the
// project's [groups] with it.
TRuleChange SetAccessRule(const TSubversion& svn, const std::string& root,
                          const std::string& project, const std::string& path,
                          const std::string& who, TRights rights, TJobObserver& observer,
                          const TAccessGroups& groups = {});
// Removes WHO's entry at `path`. Removing the last rule after the program turned the rules on
// turns them off again.
TRuleChange UnsetAccessRule(const TSubversion& svn, const std::string& root,
                            const std::string& project, const std::string& path,
                            const std::string& who, TJobObserver& observer);
// Writes a whole new text of the project's rules after the same checks as a change.
TRuleChange WriteProjectRules(const TSubversion& svn, const TProjectRules& rules,
                              const std::string& text, TJobObserver& observer);
// Replaces an invalid rules file by the last one the program wrote.
TRuleChange RestoreLastGoodRules(const std::string& root, const std::string& project,
                                 TJobObserver& observer);

// What `user` (empty or "$anonymous": anonymous) can do at `path`, with a line for each thing
// that decides: the password file, anon-access or auth-access, and the rules.
struct TAccessExplained {
  TRights Rights = TRights::None;
  std::vector<std::string> Why;
};
TAccessExplained ExplainAccess(const std::string& root, const std::string& project,
                               const std::string& path, const std::string& user);
