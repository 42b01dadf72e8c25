#include "projects/UfnProfileText.h"
#include "base/UfnText.h"

#include "platform/UfnPlatform.h"

namespace profile_text {

namespace {

const std::string Bom = "\xEF\xBB\xBF";

struct Line {
  std::string Text; // without its line end
  std::string Eol;  // "\n", "\r\n", "\r", or "" for a last line without one
};

struct Document {
  std::string Bom;
  std::vector<Line> Lines;
};

enum class Kind { Blank, Comment, Section, Key, Other };

struct Info {
  Kind Type = Kind::Other;
  std::string Name; // section name or key
  std::string Value;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b]))
    ++b;
  while (e > b && IsBlank(s[e - 1]))
    --e;
  return s.substr(b, e - b);
}

// svnserve strips blanks from the ends of a name or a value, and a CR that it reads as part
// of the line too.
std::string ServerTrim(const std::string& s) {
  const char* const space = " \t\r";
  const size_t b = s.find_first_not_of(space);
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(space) + 1 - b);
}

bool SameName(const std::string& a, const std::string& b) {
  return text::SameAsciiIgnoreCase(a, b);
}

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

bool WrappedInQuotes(const std::string& s) {
  return s.size() >= 2 && IsQuote(s.front()) && s.back() == s.front();
}

// `loneCr`: whether a CR without an LF ends a line. The system's profile functions take it
// for one; svnserve does not, it reads the CR as part of the line.
Document Split(const std::string& text, bool loneCr = true) {
  Document d;
  size_t i = 0;
  if (text.compare(0, Bom.size(), Bom) == 0) {
    d.Bom = Bom;
    i = Bom.size();
  }
  size_t start = i;
  while (i < text.size()) {
    char c = text[i];
    const bool crlf = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    if (c == '\n' || crlf || (c == '\r' && loneCr)) {
      Line l{text.substr(start, i - start), crlf ? "\r\n" : std::string(1, c)};
      i += crlf ? 2 : 1;
      d.Lines.push_back(std::move(l));
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) d.Lines.push_back({text.substr(start), ""});
  return d;
}

std::string Join(const Document& d) {
  std::string out = d.Bom;
  for (const Line& l : d.Lines) {
    // A line that went may leave a lone CR right before an empty line's LF: read back, the
    // two would be one CR LF and the blank line gone.
    if (l.Text.empty() && l.Eol == "\n" && !out.empty() && out.back() == '\r')
      out += "\r\n";
    else
      out += l.Text + l.Eol;
  }
  return out;
}

Info Classify(const std::string& raw) {
  Info info;
  std::string t = Trim(raw);
  if (t.empty()) {
    info.Type = Kind::Blank;
  } else if (t[0] == '[') {
    info.Type = Kind::Section;
    size_t close = t.find(']');
    info.Name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  } else if (t[0] == ';' || t[0] == '#') {
    info.Type = Kind::Comment;
  } else {
    size_t eq = t.find('=');
    if (eq == std::string::npos) return info;
    info.Name = Trim(t.substr(0, eq));
    if (info.Name.empty()) return info;
    info.Type = Kind::Key;
    info.Value = Trim(t.substr(eq + 1));
    if (WrappedInQuotes(info.Value)) info.Value = info.Value.substr(1, info.Value.size() - 2);
  }
  return info;
}

// The option name svnserve reads from a line: it needs column 0, takes "#" there for a
// comment and an indented line for a continuation, and splits at the first "=" or ":".
bool ServerKey(const std::string& raw, std::string& key) {
  if (raw.empty() || IsBlank(raw[0]) || raw[0] == '#' || raw[0] == '[') return false;
  size_t sep = raw.find_first_of("=:");
  if (sep == std::string::npos) return false;
  key = ServerTrim(raw.substr(0, sep));
  return true;
}

// The lines of one parsed file with what each one is and where it stands.
struct Layout {
  Document Doc;
  std::vector<Info> Infos;
  std::vector<int> Section; // index of the header a line belongs to; -1 before the first
  // svnserve reads an indented line right after an option as more of that option's value.
  std::vector<bool> Continues;
  int First = -1; // the first header of the wanted name, -1 when none

  Layout(const std::string& text, const std::string& section, bool loneCr = true)
      : Doc(Split(text, loneCr)) {
    int current = -1;
    bool inValue = false;
    for (size_t i = 0; i < Doc.Lines.size(); ++i) {
      const std::string& raw = Doc.Lines[i].Text;
      Infos.push_back(Classify(raw));
      if (Infos[i].Type == Kind::Section) {
        current = static_cast<int>(i);
        if (First < 0 && SameName(Infos[i].Name, section)) First = current;
      }
      Section.push_back(current);
      const bool more = inValue && Indented(i);
      Continues.push_back(more);
      std::string key;
      inValue = more || ServerKey(raw, key);
    }
  }

  // A line that begins with a blank and holds more than blanks.
  bool Indented(size_t i) const {
    const std::string& raw = Doc.Lines[i].Text;
    return !raw.empty() && IsBlank(raw[0]) && Infos[i].Type != Kind::Blank;
  }

  // Marks the lines that carry on the value of line i, so that they go with it. A line that
  // reads as a section header stays.
  void DropContinuation(size_t i, std::vector<bool>& drop) const {
    for (size_t j = i + 1; j < Continues.size() && Continues[j] && Infos[j].Type != Kind::Section;
         ++j)
      drop[j] = true;
  }

  // Where a new line after line i goes: past the indented lines that follow it, which would
  // otherwise carry on the new value (or leave the value they belong to).
  size_t PastIndented(size_t i) const {
    size_t j = i;
    while (j + 1 < Doc.Lines.size() && Indented(j + 1) && Infos[j + 1].Type != Kind::Section)
      ++j;
    return j;
  }

  // In the first section of the wanted name.
  bool InFirst(size_t i) const { return First >= 0 && Section[i] == First; }

  // In any section of the wanted name (svnserve reads them all).
  bool InNamed(size_t i, const std::string& section) const {
    int h = Section[i];
    return h >= 0 && static_cast<size_t>(h) != i &&
           SameName(Infos[static_cast<size_t>(h)].Name, section);
  }

  bool IsKeyLine(size_t i, const std::string& key) const {
    return Infos[i].Type == Kind::Key && SameName(Infos[i].Name, key);
  }

  // A line that either reader takes for the key.
  bool Holds(size_t i, const std::string& key) const {
    if (key.empty()) return false;
    std::string server;
    return IsKeyLine(i, key) || (ServerKey(Doc.Lines[i].Text, server) && SameName(server, key));
  }

  std::string LineEnd() const {
    for (const Line& l : Doc.Lines)
      if (!l.Eol.empty()) return l.Eol;
    return NewFileLineEnd;
  }
};

} // namespace

std::string WriteRefusal(const std::string& section, const std::string& key,
                         const std::string& value) {
  auto unsafe = [](const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)); };
  auto padded = [](const std::string& s) {
    return !s.empty() && (IsBlank(s.front()) || IsBlank(s.back()));
  };
  if (unsafe(section) != std::string::npos)
    return "the section name holds a line break or a NUL byte";
  if (section.empty()) return "the section name is empty";
  if (padded(section)) return "the section name begins or ends with a blank";
  if (section.find(']') != std::string::npos) return "the section name holds \"]\"";
  if (unsafe(key) != std::string::npos) return "the key holds a line break or a NUL byte";
  if (key.empty()) return "the key is empty";
  if (padded(key)) return "the key begins or ends with a blank";
  if (key[0] == '[' || key[0] == '#' || key[0] == ';')
    return "the key begins with \"[\", \"#\" or \";\"";
  if (key.find_first_of("=:") != std::string::npos) return "the key holds \"=\" or \":\"";
  if (unsafe(value) != std::string::npos) return "the value holds a line break or a NUL byte";
  if (padded(value)) return "the value begins or ends with a blank";
  if (WrappedInQuotes(value)) return "the value is wrapped in quotes";
  return "";
}

bool FindValue(const std::string& text, const std::string& section, const std::string& key,
               std::string& value) {
  Layout l(text, section);
  for (size_t i = 0; i < l.Infos.size(); ++i) {
    if (l.InFirst(i) && l.IsKeyLine(i, key)) {
      value = l.Infos[i].Value;
      return true;
    }
  }
  return false;
}

void ListPairs(const std::string& text, const std::string& section,
               std::vector<std::string>& list) {
  list.clear();
  Layout l(text, section);
  std::vector<std::string> seen;
  for (size_t i = 0; i < l.Infos.size(); ++i) {
    if (!l.InFirst(i) || l.Infos[i].Type != Kind::Key) continue;
    bool dup = false;
    for (const std::string& s : seen)
      dup = dup || SameName(s, l.Infos[i].Name);
    if (dup) continue;
    seen.push_back(l.Infos[i].Name);
    list.push_back(l.Infos[i].Name + "=" + l.Infos[i].Value);
  }
}

namespace {

// The options as svnserve reads them from every section of the name: (key, value) in the
// order of first appearance, a later line of a key replacing the value of an earlier one.
// Only a "[" in column 0 opens a section; an indented line after an option is more of its
// value, joined by one blank.
std::vector<std::pair<std::string, std::string>> ServerOptions(const std::string& text,
                                                               const std::string& section) {
  std::vector<std::pair<std::string, std::string>> options;
  Layout l(text, section, false);
  bool inNamed = false;
  for (size_t i = 0; i < l.Doc.Lines.size(); ++i) {
    const std::string& raw = l.Doc.Lines[i].Text;
    if (l.Continues[i]) continue;
    if (!raw.empty() && raw[0] == '[') {
      const size_t close = raw.find(']');
      inNamed = close != std::string::npos && SameName(Trim(raw.substr(1, close - 1)), section);
      continue;
    }
    std::string key;
    if (!inNamed || !ServerKey(raw, key) || key.empty()) continue;
    std::string value = ServerTrim(raw.substr(raw.find_first_of("=:") + 1));
    for (size_t j = i + 1; j < l.Continues.size() && l.Continues[j]; ++j)
      value = ServerTrim(value + " " + ServerTrim(l.Doc.Lines[j].Text));
    bool replaced = false;
    for (auto& o : options)
      if (SameName(o.first, key)) {
        o.second = value;
        replaced = true;
      }
    if (!replaced) options.emplace_back(key, value);
  }
  return options;
}

} // namespace

bool FindServerValue(const std::string& text, const std::string& section, const std::string& key,
                     std::string& value) {
  for (const auto& o : ServerOptions(text, section))
    if (SameName(o.first, key)) {
      value = o.second;
      return true;
    }
  return false;
}

void ListServerPairs(const std::string& text, const std::string& section,
                     std::vector<std::string>& list) {
  list.clear();
  for (const auto& o : ServerOptions(text, section))
    list.push_back(o.first + "=" + o.second);
}

std::string SetValue(const std::string& text, const std::string& section, const std::string& key,
                     const std::string& value) {
  Layout l(text, section);
  const std::string eol = l.LineEnd();
  std::vector<Line>& lines = l.Doc.Lines;

  if (l.First < 0) {
    if (!lines.empty() && lines.back().Eol.empty()) lines.back().Eol = eol;
    lines.push_back({"[" + section + "]", eol});
    lines.push_back({key + "=" + value, eol});
    return Join(l.Doc);
  }

  int target = -1;
  for (size_t i = 0; i < lines.size() && target < 0; ++i)
    if (l.InFirst(i) && l.IsKeyLine(i, key)) target = static_cast<int>(i);

  std::vector<bool> drop(lines.size(), false);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!l.InNamed(i, section) || !l.Holds(i, key)) continue;
    if (static_cast<int>(i) == target) {
      // Rewritten from column 0, every indented line below it would run on into the new value.
      for (size_t j = i + 1; j <= l.PastIndented(i); ++j)
        drop[j] = true;
    } else {
      l.DropContinuation(i, drop);
      drop[i] = true;
    }
  }
  // The target stays even where it carried on the value of a line that goes.
  if (target >= 0) drop[static_cast<size_t>(target)] = false;

  // A new key goes after the section's last key line that stays, else after its header.
  int anchor = l.First;
  if (target >= 0) {
    const auto t = static_cast<size_t>(target);
    lines[t].Text = l.Infos[t].Name + "=" + value;
  } else {
    for (size_t i = 0; i < lines.size(); ++i)
      if (l.InFirst(i) && l.Infos[i].Type == Kind::Key && !drop[i]) anchor = static_cast<int>(i);
    anchor = static_cast<int>(l.PastIndented(static_cast<size_t>(anchor)));
  }

  Document out{l.Doc.Bom, {}};
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!drop[i]) out.Lines.push_back(lines[i]);
    if (target < 0 && static_cast<int>(i) == anchor) {
      // The line end of the line above: a lone CR before a line that starts with LF would
      // read back as one CR LF.
      const std::string end = lines[i].Eol.empty() ? eol : lines[i].Eol;
      if (!out.Lines.empty() && out.Lines.back().Eol.empty()) out.Lines.back().Eol = end;
      out.Lines.push_back({key + "=" + value, end});
    }
  }
  return Join(out);
}

bool RemoveKey(std::string& text, const std::string& section, const std::string& key) {
  Layout l(text, section);
  if (l.First < 0) return false;
  std::vector<bool> drop(l.Doc.Lines.size(), false);
  bool removed = false;
  for (size_t i = 0; i < l.Doc.Lines.size(); ++i) {
    if (!l.InNamed(i, section) || !l.Holds(i, key)) continue;
    // Left behind, its continuation would carry on the value of the line above.
    l.DropContinuation(i, drop);
    drop[i] = removed = true;
  }
  Document out{l.Doc.Bom, {}};
  for (size_t i = 0; i < l.Doc.Lines.size(); ++i)
    if (!drop[i]) out.Lines.push_back(l.Doc.Lines[i]);
  if (removed) text = Join(out);
  return removed;
}

bool DropServerOnlyLines(std::string& text, const std::string& section, const std::string& key) {
  Layout l(text, section);
  std::vector<bool> drop(l.Doc.Lines.size(), false);
  bool dropped = false;
  for (size_t i = 0; i < l.Doc.Lines.size(); ++i) {
    if (!l.InNamed(i, section) || !l.Holds(i, key)) continue;
    l.DropContinuation(i, drop);
    if (!(l.InFirst(i) && l.IsKeyLine(i, key))) drop[i] = true;
  }
  Document out{l.Doc.Bom, {}};
  for (size_t i = 0; i < l.Doc.Lines.size(); ++i) {
    if (drop[i])
      dropped = true;
    else
      out.Lines.push_back(l.Doc.Lines[i]);
  }
  if (dropped) text = Join(out);
  return dropped;
}

} // namespace profile_text
