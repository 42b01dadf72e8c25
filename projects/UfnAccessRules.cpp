#include "projects/UfnAccessRules.h"

#include "base/UfnText.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b]))
    ++b;
  while (e > b && (IsBlank(s[e - 1]) || s[e - 1] == '\r'))
    --e;
  return s.substr(b, e - b);
}

// The option name of a line that holds one ("" otherwise): svnserve's parser takes ':' as '='.
std::string OptionName(const std::string& line) {
  if (line.empty() || line[0] == '#' || line[0] == '[' || IsBlank(line[0])) return "";
  size_t sep = line.find_first_of(":=");
  return sep == std::string::npos ? "" : Trim(line.substr(0, sep));
}

bool CanonicalPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  if (path == "/") return true;
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

struct TParser {
  TAuthzFile& F;
  void Fail(int line, const std::string& why) {
    if (F.Error.empty()) {
      F.Error = why;
      F.ErrorLine = line;
    }
  }

  const TAuthzEntry* Group(const std::string& name) const {
    const TAuthzSection* groups = F.Find("groups");
    if (groups)
      for (const TAuthzEntry& e : groups->Entries)
        if (e.Who == name) return &e;
    return nullptr;
  }
  bool Alias(const std::string& name) const {
    const TAuthzSection* aliases = F.Find("aliases");
    if (aliases)
      for (const TAuthzEntry& e : aliases->Entries)
        if (e.Who == name) return true;
    return false;
  }

  void CheckGroup(const std::string& name, std::vector<std::string>& open, int line) {
    if (std::find(open.begin(), open.end(), name) != open.end()) {
      Fail(line, "Recursive definition of group '@" + name + "'");
      return;
    }
    const TAuthzEntry* group = Group(name);
    if (!group) {
      Fail(line, "Access entry refers to undefined group '@" + name + "'");
      return;
    }
    open.push_back(name);
    size_t start = 0;
    const std::string& v = group->Value;
    while (start <= v.size() && F.Error.empty()) {
      size_t end = v.find(',', start);
      if (end == std::string::npos) end = v.size();
      std::string member = Trim(v.substr(start, end - start));
      if (member.size() > 1 && member[0] == '@')
        CheckGroup(member.substr(1), open, group->Line);
      else if (member.size() > 1 && member[0] == '&' && !Alias(member.substr(1)))
        Fail(group->Line, "Alias '" + member + "' was never defined");
      start = end + 1;
    }
    open.pop_back();
  }

  void CheckEntry(const TAuthzSection& s, const TAuthzEntry& e) {
    std::string who = e.Who;
    bool inverted = !who.empty() && who[0] == '~';
    if (inverted) who = who.substr(1);
    if (!who.empty() && who[0] == '~')
      return Fail(e.Line, "Access entry '" + e.Who +
                              "' has more than one inversion; double negatives are not permitted");
    if (inverted && who == "*")
      return Fail(e.Line, "Access entry '" + e.Who + "' will never match");
    if (!who.empty() && who[0] == '$' && who != "$anonymous" && who != "$authenticated")
      return Fail(e.Line, "Access entry token '" + e.Who +
                              "' is not valid; should be '$anonymous' or '$authenticated'");
    if (who.size() > 1 && who[0] == '@') {
      std::vector<std::string> open;
      CheckGroup(who.substr(1), open, e.Line);
    } else if (who.size() > 1 && who[0] == '&' && !Alias(who.substr(1)))
      return Fail(e.Line, "Alias '" + who + "' was never defined");
    bool read = false, write = false;
    for (char c : e.Value) {
      if (c == 'r')
        read = true;
      else if (c == 'w')
        write = true;
      else if (!IsBlank(c))
        return Fail(e.Line, "The access mode '" + e.Value + "' in access entry '" + e.Who +
                                "' of rule [" + s.Name + "] is not valid");
    }
    if (write && !read)
      Fail(e.Line, "Write-only access entry '" + e.Who + "' of rule [" + s.Name + "] is not valid");
  }
};

bool MatchesWho(const TAuthzFile& file, const std::string& written, const std::string& user) {
  std::string who = written;
  bool inverted = !who.empty() && who[0] == '~';
  if (inverted) who = who.substr(1);
  bool match;
  if (who == "*")
    match = true;
  else if (who == "$anonymous")
    match = user.empty();
  else if (who == "$authenticated")
    match = !user.empty();
  else if (user.empty())
    return false; // a named user, group or alias, inverted or not, is never anonymous
  else if (who.size() > 1 && who[0] == '@') {
    std::vector<std::string> users = GroupUsers(file, who.substr(1));
    match = std::find(users.begin(), users.end(), user) != users.end();
  } else if (who.size() > 1 && who[0] == '&') {
    match = false;
    if (const TAuthzSection* aliases = file.Find("aliases"))
      for (const TAuthzEntry& e : aliases->Entries)
        if (e.Who == who.substr(1) && e.Value == user) match = true;
  } else
    match = who == user;
  return inverted ? !match : match;
}

void CollectGroup(const TAuthzFile& file, const std::string& group, std::set<std::string>& seen,
                  std::vector<std::string>& users) {
  if (!seen.insert(group).second) return;
  const TAuthzSection* groups = file.Find("groups");
  if (!groups) return;
  for (const TAuthzEntry& e : groups->Entries) {
    if (e.Who != group) continue;
    size_t start = 0;
    while (start <= e.Value.size()) {
      size_t end = e.Value.find(',', start);
      if (end == std::string::npos) end = e.Value.size();
      std::string member = Trim(e.Value.substr(start, end - start));
      if (member.size() > 1 && member[0] == '@')
        CollectGroup(file, member.substr(1), seen, users);
      else if (member.size() > 1 && member[0] == '&') {
        if (const TAuthzSection* aliases = file.Find("aliases"))
          for (const TAuthzEntry& a : aliases->Entries)
            if (a.Who == member.substr(1)) users.push_back(a.Value);
      } else if (!member.empty())
        users.push_back(member);
      start = end + 1;
    }
  }
}

} // namespace

std::string GroupValue(const std::vector<std::string>& users) {
  std::string value;
  for (const std::string& u : users)
    value += (value.empty() ? "" : ", ") + u;
  return value;
}

const char* RightsName(TRights rights) {
  switch (rights) {
  case TRights::ReadWrite:
    return "rw";
  case TRights::Read:
    return "r";
  default:
    return "none";
  }
}

bool RightsOf(const std::string& text, TRights& rights) {
  if (text == "rw")
    rights = TRights::ReadWrite;
  else if (text == "r")
    rights = TRights::Read;
  else if (text == "none")
    rights = TRights::None;
  else
    return false;
  return true;
}

const TAuthzSection* TAuthzFile::Find(const std::string& name) const {
  for (const TAuthzSection& s : Sections)
    if (s.Name == name) return &s;
  return nullptr;
}

TAuthzFile ParseAuthz(const std::string& text) {
  TAuthzFile file;
  TParser parser{file};
  std::vector<std::string> lines = text::SplitLines(text);
  TAuthzEntry* last = nullptr;
  for (size_t i = 0; i < lines.size() && file.Valid(); ++i) {
    const std::string& line = lines[i];
    int number = static_cast<int>(i) + 1;
    if (Trim(line).empty() || line[0] == '#') {
      last = nullptr;
      continue;
    }
    if (IsBlank(line[0])) { // a continuation of the value above
      if (!last)
        parser.Fail(number, "line " + std::to_string(number) + ": Option expected");
      else
        last->Value = Trim(last->Value + " " + Trim(line));
      continue;
    }
    if (line[0] == '[') {
      size_t close = line.find(']');
      if (close == std::string::npos) {
        parser.Fail(number,
                    "line " + std::to_string(number) + ": Section header must end with ']'");
        continue;
      }
      TAuthzSection s;
      s.Name = line.substr(1, close - 1);
      s.Line = number;
      if (file.Find(s.Name))
        parser.Fail(number, "Section appears more than once in the authz file: [" + s.Name + "]");
      file.Sections.push_back(s);
      last = nullptr;
      continue;
    }
    size_t sep = line.find_first_of(":=");
    if (sep == std::string::npos) {
      parser.Fail(number, "line " + std::to_string(number) + ": Option must end with ':' or '='");
      continue;
    }
    if (file.Sections.empty()) {
      parser.Fail(number, "line " + std::to_string(number) + ": Section header expected");
      continue;
    }
    TAuthzEntry e;
    e.Who = Trim(line.substr(0, sep));
    e.Value = Trim(line.substr(sep + 1));
    e.Line = number;
    file.Sections.back().Entries.push_back(e);
    last = &file.Sections.back().Entries.back();
  }
  if (!file.Valid()) return file;
  for (TAuthzSection& s : file.Sections) {
    if (s.Name == "groups")
      s.IsGroups = true;
    else if (s.Name == "aliases")
      s.IsAliases = true;
    else if (s.Name.rfind(":glob:", 0) == 0)
      continue; // kept as written; not evaluated here
    else {
      size_t colon = s.Name.find(":/");
      s.Repo = colon == std::string::npos ? "" : s.Name.substr(0, colon);
      s.Path = colon == std::string::npos ? s.Name : s.Name.substr(colon + 1);
      if (s.Path.empty() || s.Path[0] != '/') {
        parser.Fail(s.Line, "Section is not valid in the authz file: [" + s.Name + "]");
        break;
      }
      if (!CanonicalPath(s.Path)) {
        parser.Fail(s.Line, "Non-canonical path '" + s.Path + "' in authz rule [" + s.Name + "]");
        break;
      }
    }
  }
  for (const TAuthzSection& s : file.Sections) {
    if (!file.Valid()) break;
    if (s.IsGroups) {
      for (const TAuthzEntry& e : s.Entries) {
        std::vector<std::string> open;
        parser.CheckGroup(e.Who, open, e.Line);
      }
    } else if (!s.IsAliases && !s.Path.empty())
      for (const TAuthzEntry& e : s.Entries)
        parser.CheckEntry(s, e);
  }
  return file;
}

std::vector<std::string> GroupUsers(const TAuthzFile& file, const std::string& group) {
  std::set<std::string> seen;
  std::vector<std::string> users;
  CollectGroup(file, group, seen, users);
  return users;
}

TRulesAnswer RulesAccess(const TAuthzFile& file, const std::string& user, const std::string& repo,
                         const std::string& path) {
  TRulesAnswer answer;
  std::string at = CanonicalRulePath(path);
  while (true) {
    // A section of this repository for the path comes before the one for every repository.
    for (const std::string& name : {repo + ":" + at, at}) {
      const TAuthzSection* s = file.Find(name);
      if (!s || s->Path.empty()) continue;
      bool any = false;
      std::string decided;
      for (const TAuthzEntry& e : s->Entries) {
        if (!MatchesWho(file, e.Who, user)) continue;
        TRights r = e.Value.find('w') != std::string::npos   ? TRights::ReadWrite
                    : e.Value.find('r') != std::string::npos ? TRights::Read
                                                             : TRights::None;
        if (!any || r > answer.Rights) {
          answer.Rights = r;
          decided = "[" + s->Name + "] " + e.Who + " = " + (e.Value.empty() ? "none" : e.Value);
        }
        any = true;
      }
      if (any) {
        answer.Decided = decided;
        return answer;
      }
    }
    if (at == "/") break;
    size_t slash = at.rfind('/');
    at = slash == 0 ? "/" : at.substr(0, slash);
  }
  answer.Rights = TRights::None;
  answer.Decided =
      (user.empty() ? std::string("익명 사용자") : user) + "에 해당하는 규칙이 없습니다";
  return answer;
}

std::string CanonicalRulePath(const std::string& path) {
  std::string p = path;
  if (p.empty() || p[0] != '/') p = "/" + p;
  while (p.size() > 1 && p.back() == '/')
    p.pop_back();
  return p;
}

std::string EditAuthzEntry(const std::string& text, const std::string& section,
                           const std::string& who, const std::string& value, bool remove) {
  std::vector<std::string> lines = text::SplitLines(text);
  std::string entry = value.empty() ? who + " =" : who + " = " + value;
  size_t header = lines.size();
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].rfind("[" + section + "]", 0) == 0) {
      header = i;
      break;
    }
  if (header == lines.size()) {
    if (!remove) {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    }
  } else {
    size_t end = header + 1;
    while (end < lines.size() && (lines[end].empty() || lines[end][0] != '['))
      ++end;
    size_t lastOption = header, placed = lines.size();
    std::vector<std::string> kept(lines.begin(), lines.begin() + static_cast<long>(header) + 1);
    bool dropping = false;
    for (size_t i = header + 1; i < end; ++i) {
      const std::string& line = lines[i];
      if (!line.empty() && IsBlank(line[0]) && !Trim(line).empty()) {
        if (!dropping) {
          kept.push_back(line);
          lastOption = kept.size() - 1;
        }
        continue;
      }
      dropping = OptionName(line) == who;
      if (dropping) {
        if (!remove && placed == lines.size()) {
          kept.push_back(entry);
          placed = kept.size() - 1;
          lastOption = placed;
        }
        continue;
      }
      kept.push_back(line);
      if (!Trim(line).empty()) // a new entry goes after the section's last line, comments too
        lastOption = kept.size() - 1;
    }
    if (!remove && placed == lines.size())
      kept.insert(kept.begin() + static_cast<long>(lastOption) + 1, entry);
    if (remove && std::all_of(kept.begin() + static_cast<long>(header) + 1, kept.end(),
                              [](const std::string& l) { return Trim(l).empty(); })) {
      // A section left empty goes, with the blank line that set it apart.
      kept.resize(header);
      if (!kept.empty() && Trim(kept.back()).empty()) kept.pop_back();
      if (end < lines.size()) kept.push_back("");
    }
    kept.insert(kept.end(), lines.begin() + static_cast<long>(end), lines.end());
    lines = kept;
  }
  // A file written on Windows keeps its CRLF line ends.
  size_t firstEnd = text.find('\n');
  const char* eol =
      firstEnd != std::string::npos && firstEnd > 0 && text[firstEnd - 1] == '\r' ? "\r\n" : "\n";
  std::string out;
  for (const std::string& line : lines)
    out += line + eol;
  return out;
}
