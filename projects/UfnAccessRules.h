// A project's access rules: the file that svnserve.conf's authz-db names (conf/authz), read as
// svnserve reads it, the right it gives a person at a path, and edits of single entries that
// keep every other line as a person wrote it.
#pragma once

#include <map>
#include <string>
#include <vector>

// Groups as the program keeps them for the whole root: name -> users.
using TAccessGroups = std::map<std::string, std::vector<std::string>>;
// "alice, bob": the value of a group's line in [groups].
std::string GroupValue(const std::vector<std::string>& users);

enum class TRights { None = 0, Read = 1, ReadWrite = 2 };

// "none", "r", "rw".
const char* RightsName(TRights rights);
// "rw", "r", "none"; false for anything else.
bool RightsOf(const std::string& text, TRights& rights);

struct TAuthzEntry {
  std::string Who;   // as written: "alice", "@devs", "&boss", "*", "$anonymous", "~@devs"
  std::string Value; // as written, trimmed: "", "r", "rw"
  int Line = 0;      // 1-based
};

struct TAuthzSection {
  std::string Name; // between the brackets
  std::string Repo; // "app" of [app:/x]; empty for [/x]
  std::string Path; // "/x"
  bool IsGroups = false, IsAliases = false;
  std::vector<TAuthzEntry> Entries;
  int Line = 0;
};

struct TAuthzFile {
  std::vector<TAuthzSection> Sections;
  std::string Error; // why svnserve would refuse the file; empty when valid
  int ErrorLine = 0;
  bool Valid() const { return Error.empty(); }
  const TAuthzSection* Find(const std::string& name) const;
};

TAuthzFile ParseAuthz(const std::string& text);

// The right the rules alone give `user` (empty: anonymous) at `path` of repository `repo`, and
// the entry that decides it ("@devs = r at [app:/]", or "no rule names alice").
struct TRulesAnswer {
  TRights Rights = TRights::None;
  std::string Decided;
};
TRulesAnswer RulesAccess(const TAuthzFile& file, const std::string& user, const std::string& repo,
                         const std::string& path);

// The members of a group as users, nested groups and aliases resolved.
std::vector<std::string> GroupUsers(const TAuthzFile& file, const std::string& group);

// The text with WHO's entry of [section] set to `value` (replacing every entry of WHO there) or
// removed (`remove`); a missing section is added at the end. Other lines stay as they are.
std::string EditAuthzEntry(const std::string& text, const std::string& section,
                           const std::string& who, const std::string& value, bool remove);

// A path as a section takes it: "/" for empty, a leading "/" added, a trailing one dropped.
std::string CanonicalRulePath(const std::string& path);
