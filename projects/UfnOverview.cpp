#include "projects/UfnOverview.h"

#include "base/UfnPaths.h"
#include "platform/UfnFiles.h"
#include "projects/UfnAccessJobs.h"
#include "projects/UfnBackupFolder.h"
#include "projects/UfnListJob.h"
#include "server/UclsSVN.h"
#include "server/UfnSubversion.h"

#include <cstdlib>
#include <map>

namespace {

std::string FirstLine(const std::string& s) {
  size_t end = s.find_first_of("\r\n");
  return end == std::string::npos ? s : s.substr(0, end);
}

// Revision properties as FSFS writes them unpacked: "K n\nname\nV n\nvalue\n" ... "END\n".
bool ParseRevprops(const std::string& data, std::map<std::string, std::string>& props) {
  size_t pos = 0;
  auto counted = [&](char tag, std::string& out) {
    if (pos + 2 > data.size() || data[pos] != tag || data[pos + 1] != ' ') return false;
    size_t nl = data.find('\n', pos);
    if (nl == std::string::npos) return false;
    char* end = nullptr;
    unsigned long long n = std::strtoull(data.c_str() + pos + 2, &end, 10);
    if (end != data.c_str() + nl || nl + 1 + n > data.size()) return false;
    out.assign(data, nl + 1, n);
    pos = nl + 1 + n + 1;
    return true;
  };
  for (;;) {
    if (data.compare(pos, 3, "END") == 0) return true;
    std::string key, value;
    if (!counted('K', key) || !counted('V', value)) return false;
    props[key] = value;
  }
}

int ShardSize(const std::string& repository) {
  std::string format;
  if (!platform::ReadWholeFile(JoinPath(JoinPath(repository, "db"), "format"), format)) return 0;
  size_t at = format.find("layout sharded ");
  return at == std::string::npos ? 0 : std::atoi(format.c_str() + at + 15);
}

uint64_t TreeSize(const std::string& folder) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectoryNoFollow(folder, entries);
  uint64_t total = 0;
  for (const auto& e : entries) {
    if (e.link || e.special) continue;
    total += e.IsDirectory() ? TreeSize(JoinPath(folder, e.name)) : e.size;
  }
  return total;
}

// The folder of revision properties that holds revision `rev` unpacked.
std::string RevpropsFolder(const std::string& repository, long long rev) {
  const int shard = ShardSize(repository);
  std::string revprops = JoinPath(JoinPath(repository, "db"), "revprops");
  return shard > 0 ? JoinPath(revprops, std::to_string(rev / shard)) : revprops;
}

// The mirror's record from revision 0's properties, which FSFS never packs: 1 for a mirror,
// 0 for none, -1 when the file could not be read.
int ReadMirrorRecord(const std::string& repository, TMirrorStatus& status) {
  std::string data;
  std::map<std::string, std::string> props;
  if (!platform::ReadWholeFile(JoinPath(RevpropsFolder(repository, 0), "0"), data) ||
      !ParseRevprops(data, props))
    return -1;
  return MirrorRecordOf(props, status) ? 1 : 0;
}

// Rules apply when svnserve.conf names a rules file that holds an entry for this project; an
// invalid file applies too (svnserve then refuses every client).
bool RulesApply(const std::string& root, const std::string& name) {
  const TProjectRules rules = ReadProjectRules(root, name);
  if (!rules.Enabled || !rules.Exists) return false;
  if (!rules.Rules.Valid()) return true;
  for (const TAuthzSection& s : rules.Rules.Sections)
    if (!s.IsGroups && !s.IsAliases && !s.Entries.empty() && (s.Repo.empty() || s.Repo == name))
      return true;
  return false;
}

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
    s.pop_back();
  return s;
}

} // namespace

long long YoungestRevision(const std::string& repository) {
  std::string current;
  if (!platform::ReadWholeFile(JoinPath(JoinPath(repository, "db"), "current"), current)) return -1;
  size_t digits = 0;
  while (digits < current.size() && digits < 15 && current[digits] >= '0' && current[digits] <= '9')
    ++digits;
  return digits == 0 ? -1 : std::atoll(current.substr(0, digits).c_str());
}

std::time_t BackupArchiveTime(const std::string& name) {
  // ..._yyyymmddThhnnssZ.zip
  if (name.size() < 21) return -1;
  const std::string s = name.substr(name.size() - 20, 16);
  for (size_t i = 0; i < s.size(); ++i)
    if (i != 8 && i != 15 && (s[i] < '0' || s[i] > '9')) return -1;
  std::tm t{};
  t.tm_year = std::atoi(s.substr(0, 4).c_str()) - 1900;
  t.tm_mon = std::atoi(s.substr(4, 2).c_str()) - 1;
  t.tm_mday = std::atoi(s.substr(6, 2).c_str());
  t.tm_hour = std::atoi(s.substr(9, 2).c_str());
  t.tm_min = std::atoi(s.substr(11, 2).c_str());
  t.tm_sec = std::atoi(s.substr(13, 2).c_str());
  t.tm_isdst = -1;
  // The name is written from local time, whatever its "Z" says.
  return std::mktime(&t);
}

std::vector<TProjectOverview> ReadOverview(const TOverviewOptions& options,
                                           TJobObserver& observer) {
  std::vector<TProjectOverview> result;
  std::vector<platform::DirEntry> folders, archives;
  if (!platform::ListDirectory(options.RepoPath, folders)) {
    observer.Notify(TMsgIcon::Error, "저장소 폴더를 읽을 수 없습니다: " + options.RepoPath);
    return result;
  }
  if (!options.BackupPath.empty()) platform::ListDirectory(options.BackupPath, archives);
  const std::time_t now = options.Now != 0 ? options.Now : std::time(nullptr);
  const std::string address = ServerAddress(options.Host, options.Port);
  for (const auto& f : folders) {
    if (!f.IsDirectory() || f.name.empty() || f.name[0] == '.') continue;
    const std::string folder = JoinPath(options.RepoPath, f.name);
    if (!IsRepositoryFolder(folder)) continue;
    TProjectOverview p;
    p.Name = f.name;
    p.Youngest = YoungestRevision(folder);
    p.Url = address + f.name;
    p.Rules = RulesApply(options.RepoPath, f.name);
    ReadMirrorRecord(folder, p.Mirror);
    p.Mirror.Name = f.name;
    for (const auto& a : archives)
      if (!a.IsDirectory() && IsBackupArchiveOf(f.name, a.name) &&
          BackupArchiveTime(a.name) > BackupArchiveTime(p.LastBackup))
        p.LastBackup = a.name;
    if (!p.LastBackup.empty()) {
      const std::time_t made = BackupArchiveTime(p.LastBackup);
      p.LastBackupAgeS = now > made ? static_cast<long long>(now - made) : 0;
    }
    result.push_back(std::move(p));
  }
  return result;
}

namespace {

// The source's newest revision for a mirror (a network call), or the whole record through
// svnlook where revision 0's properties could not be read as a file.
void ReadMirrorDetails(const TOverviewOptions& options, TProjectOverview& p) {
  const std::string repository = JoinPath(options.RepoPath, p.Name);
  TMirrorStatus record;
  const int found = ReadMirrorRecord(repository, record);
  if (found == 0) {
    p.Mirror = TMirrorStatus();
    p.Mirror.Name = p.Name;
    return;
  }
  if (found < 0) {
    TMirrorStatus status;
    if (ReadMirrorStatus(options.SvnPath, options.RepoPath, p.Name, options.AskMirrorSources,
                         status))
      p.Mirror = status;
    return;
  }
  record.Name = p.Name;
  if (options.AskMirrorSources) AskMirrorSource(options.SvnPath, options.RepoPath, record);
  p.Mirror = record;
}

} // namespace

void ReadOverviewDetails(const TOverviewOptions& options, TProjectOverview& p) {
  const std::string repository = JoinPath(options.RepoPath, p.Name);
  p.Detailed = true;
  p.SizeBytes = TreeSize(repository);
  ReadMirrorDetails(options, p);
  if (p.Youngest < 0) {
    p.Error = "db/current를 읽을 수 없습니다";
    return;
  }
  const std::string rev = std::to_string(p.Youngest);
  std::string data;
  std::map<std::string, std::string> props;
  if (platform::ReadWholeFile(JoinPath(RevpropsFolder(repository, p.Youngest), rev), data) &&
      ParseRevprops(data, props)) {
    p.Author = props["svn:author"];
    p.Date = props["svn:date"];
    p.Message = FirstLine(props["svn:log"]);
    return;
  }
  // Packed (or of a format this does not read): svnlook knows.
  const TSubversion svn(options.SvnPath);
  TSvnResult author = svn.Run("svnlook", {"author", "-r", rev, repository});
  TSvnResult date = svn.Run("svnlook", {"propget", "--revprop", "-r", rev, repository, "svn:date"});
  TSvnResult message = svn.Run("svnlook", {"log", "-r", rev, repository});
  if (!author.Ok() || !message.Ok()) {
    p.Error = author.Ok() ? message.Message : author.Message;
    return;
  }
  p.Author = Trimmed(author.Output);
  p.Date = date.Ok() ? Trimmed(date.Output) : "";
  p.Message = FirstLine(message.Output);
}
