#include "server/UfnServerLog.h"

#include "platform/UfnFiles.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The next space-separated word of `line` from `pos`; pos ends after the space.
bool NextWord(const std::string& line, size_t& pos, std::string& word) {
  if (pos >= line.size()) return false;
  size_t end = line.find(' ', pos);
  if (end == std::string::npos) end = line.size();
  word.assign(line, pos, end - pos);
  pos = end < line.size() ? end + 1 : end;
  return true;
}

bool AllDigits(const std::string& s, size_t from = 0) {
  if (s.size() <= from) return false;
  for (size_t i = from; i < s.size(); ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Paths are written URI-encoded ("/a%20b").
std::string Decoded(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    int hi, lo;
    if (s[i] == '%' && i + 2 < s.size() && (hi = HexValue(s[i + 1])) >= 0 &&
        (lo = HexValue(s[i + 2])) >= 0) {
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

long long Number(const std::string& s, size_t from, size_t to) {
  long long n = 0;
  for (size_t i = from; i < to; ++i) {
    if (n > 100000000000000LL) return -1;
    n = n * 10 + (s[i] - '0');
  }
  return n;
}

// The first revision ("r12", "r12:0", "/path@7") and the first path of a request's words.
void FindRevisionAndPath(const std::string& detail, TServerEvent& e) {
  size_t pos = 0;
  std::string word;
  while (NextWord(detail, pos, word)) {
    if (e.Revision < 0 && word.size() > 1 && word[0] == 'r') {
      size_t end = 1;
      while (end < word.size() && word[end] >= '0' && word[end] <= '9')
        ++end;
      if (end > 1 && (end == word.size() || word[end] == ':')) e.Revision = Number(word, 1, end);
    } else if (e.Path.empty() && word[0] == '/') {
      size_t at = word.rfind('@');
      if (at != std::string::npos && AllDigits(word, at + 1)) {
        if (e.Revision < 0) e.Revision = Number(word, at + 1, word.size());
        word.resize(at);
      }
      e.Path = Decoded(word);
    } else if (e.Path.empty() && word.size() > 1 && word[0] == '(' && word[1] == '/') {
      // log (/trunk /branches): the first of the list
      std::string first = word.substr(1);
      if (!first.empty() && first.back() == ')') first.pop_back();
      e.Path = Decoded(first);
    }
  }
}

long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool Digits(const std::string& s, size_t from, size_t count, unsigned& value) {
  if (from + count > s.size()) return false;
  value = 0;
  for (size_t i = from; i < from + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + static_cast<unsigned>(s[i] - '0');
  }
  return true;
}

} // namespace

bool ParseIsoTime(const std::string& t, std::time_t& seconds) {
  unsigned y, mo, d, h = 0, mi = 0, s = 0;
  if (!Digits(t, 0, 4, y) || t.size() < 10 || t[4] != '-' || !Digits(t, 5, 2, mo) || t[7] != '-' ||
      !Digits(t, 8, 2, d))
    return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31) return false;
  if (t.size() > 10) {
    if ((t[10] != 'T' && t[10] != ' ') || !Digits(t, 11, 2, h) || t.size() < 16 || t[13] != ':' ||
        !Digits(t, 14, 2, mi))
      return false;
    size_t rest = 16;
    if (t.size() > 16 && t[16] == ':') {
      if (!Digits(t, 17, 2, s)) return false;
      rest = 19;
      if (rest < t.size() && t[rest] == '.') {
        ++rest;
        while (rest < t.size() && t[rest] >= '0' && t[rest] <= '9')
          ++rest;
      }
    }
    if (rest != t.size() && !(rest + 1 == t.size() && t[rest] == 'Z')) return false;
    if (h > 23 || mi > 59 || s > 60) return false;
  }
  seconds = static_cast<std::time_t>(DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s);
  return true;
}

std::string ServerLogPath() {
  return platform::StateFolder() + "svnserve.log";
}

bool ParseServerLogLine(const std::string& raw, TServerEvent& e) {
  e = TServerEvent();
  if (raw.empty() || raw[0] < '0' || raw[0] > '9') return false;
  std::string line = raw;
  if (line.back() == '\r') line.pop_back();
  size_t pos = 0;
  std::string pid, ip, user, repo;
  if (!NextWord(line, pos, pid) || !AllDigits(pid) || pid.size() > 9) return false;
  if (!NextWord(line, pos, e.Time) || !NextWord(line, pos, ip) || !NextWord(line, pos, user) ||
      !NextWord(line, pos, repo) || !NextWord(line, pos, e.Action))
    return false;
  e.Pid = std::atol(pid.c_str());
  if (!ParseIsoTime(e.Time, e.Seconds)) e.Seconds = 0;
  e.Ip = ip == "-" ? "" : ip;
  e.User = user == "-" ? "" : user;
  e.Project = repo == "-" ? "" : repo;
  e.Detail = line.substr(pos);

  if (e.Action == "ERR" || e.Action == "ERR-") {
    // ERR FILE LINE CODE message
    std::string file, lineNo, code;
    size_t p = 0;
    NextWord(e.Detail, p, file);
    NextWord(e.Detail, p, lineNo);
    NextWord(e.Detail, p, code);
    e.ErrorCode = AllDigits(code) && code.size() < 10 ? std::atoi(code.c_str()) : 0;
    e.Error = e.Detail.substr(p);
    e.Kind = TServerEventKind::Error;
    // A refusal is an error of its own kind: the rules or the password said no.
    if (e.ErrorCode == 170001 || e.ErrorCode == 220001) e.Kind = TServerEventKind::Refusal;
    e.Action = e.Action == "ERR" ? "error" : "error-cont";
    return true;
  }
  if (e.Action == "Authorization" && e.Detail.compare(0, 7, "Failed ") == 0) {
    e.Kind = TServerEventKind::Refusal;
    e.Action = "authz-failed";
    e.Detail = e.Detail.substr(7);
  } else if (e.Action == "commit") {
    e.Kind = TServerEventKind::Commit;
  }
  FindRevisionAndPath(e.Detail, e);
  return true;
}

std::vector<TServerEvent> ParseServerLog(const std::string& text) {
  std::vector<TServerEvent> events;
  size_t pos = 0;
  std::string line;
  TServerEvent e;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    if (end - pos < 8 || text[pos] < '0' || text[pos] > '9') {
      pos = end + 1; // no line of the server's
      continue;
    }
    line.assign(text, pos, end - pos);
    pos = end + 1;
    if (!ParseServerLogLine(line, e)) continue;
    if (e.Action == "error-cont") {
      // The causes are written by the same process at the same moment as their error.
      if (!events.empty() && events.back().Action == "error" && events.back().Pid == e.Pid) {
        events.back().Error += "; " + e.Error;
        continue;
      }
      e.Action = "error";
    }
    events.push_back(std::move(e));
  }
  return events;
}

bool Matches(const TServerLogFilter& f, const TServerEvent& e) {
  if (!f.Project.empty() && e.Project != f.Project) return false;
  if (!f.User.empty() && e.User != f.User) return false;
  if (f.Since != 0 && e.Seconds < f.Since) return false;
  return true;
}

std::vector<TServerEvent> ReadServerLog(const std::string& path, const TServerLogFilter& filter) {
  std::vector<std::string> files;
  for (int n = 1; n <= 99 && platform::FileExists(path + "." + std::to_string(n)); ++n)
    files.insert(files.begin(), path + "." + std::to_string(n));
  files.push_back(path);
  std::vector<TServerEvent> result;
  for (const std::string& file : files) {
    std::string text;
    if (!platform::ReadWholeFile(file, text)) continue;
    for (TServerEvent& e : ParseServerLog(text))
      if (Matches(filter, e)) result.push_back(std::move(e));
  }
  return result;
}

std::vector<std::pair<std::string, std::string>>
UnreachableProjects(const std::vector<TServerEvent>& events) {
  std::vector<std::pair<std::string, std::string>> result;
  for (const TServerEvent& e : events) {
    if (e.Project.empty()) continue;
    auto it = std::find_if(result.begin(), result.end(),
                           [&](const auto& p) { return p.first == e.Project; });
    // Network errors (the 210000s) are a client going away.
    const bool shutOut = e.Kind == TServerEventKind::Error && e.ErrorCode != 0 &&
                         (e.ErrorCode < 210000 || e.ErrorCode >= 211000);
    if (shutOut) {
      if (it == result.end())
        result.emplace_back(e.Project, e.Error);
      else
        it->second = e.Error;
    } else if (it != result.end() && e.Kind != TServerEventKind::Error) {
      result.erase(it);
    }
  }
  return result;
}

bool RotateServerLog(const std::string& path, uint64_t maxBytes, int keep) {
  platform::DirEntry entry;
  if (!platform::GetEntry(path, entry) || entry.size <= maxBytes) return true;
  if (keep < 1) return platform::DeleteFile(path);
  platform::DeleteFile(path + "." + std::to_string(keep));
  for (int n = keep - 1; n >= 1; --n) {
    const std::string from = path + "." + std::to_string(n);
    if (platform::FileExists(from) &&
        !platform::RenameFile(from, path + "." + std::to_string(n + 1)))
      return false;
  }
  return platform::RenameFile(path, path + ".1");
}
