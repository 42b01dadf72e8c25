#include "projects/UfnAlerts.h"

#include "base/UfnPaths.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnBackupFolder.h"
#include "projects/UfnBackupRecord.h"
#include "projects/UfnListJob.h"
#include "projects/UfnOverview.h"
#include "server/UfnServerLog.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <set>

using json = nlohmann::json;

namespace {

// The log's first bytes tell the file we read from one that replaced it.
constexpr int64_t kHeadBytes = 256;

struct TLogMark {
  int64_t Offset = 0;
  int64_t HeadLength = 0;
  std::uint64_t HeadHash = 0;
};

struct TAlertState {
  TLogMark Log;
  std::vector<TUnreachableProject> Unreachable;
  std::set<std::string> Told;
};

std::uint64_t Fnv1a(const std::string& data) {
  std::uint64_t h = 14695981039346656037ull;
  for (char c : data) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

// `count` bytes of `path` from `offset` (fewer at its end); false when it cannot be read.
bool ReadPart(const std::string& path, int64_t offset, int64_t count, std::string& data) {
  data.clear();
  platform::FileHandle h = platform::FileOpenRead(path);
  if (h == platform::InvalidFileHandle) return false;
  bool ok = platform::FileSeek(h, offset, platform::fsoBeginning) == offset;
  char buffer[65536];
  while (ok && static_cast<int64_t>(data.size()) < count) {
    const int64_t want = std::min<int64_t>(static_cast<int64_t>(sizeof buffer),
                                           count - static_cast<int64_t>(data.size()));
    const int64_t got = platform::FileRead(h, buffer, static_cast<size_t>(want));
    if (got < 0) ok = false;
    if (got <= 0) break;
    data.append(buffer, static_cast<size_t>(got));
  }
  platform::FileClose(h);
  return ok;
}

int64_t FileSize(const std::string& path) {
  platform::DirEntry e;
  if (!platform::GetEntry(path, e) || e.IsDirectory()) return -1;
  return static_cast<int64_t>(e.size);
}

// Whether `path` is still the file `mark` was taken of (it may have grown).
bool SameLog(const std::string& path, const TLogMark& mark, int64_t size) {
  if (size < mark.Offset || size < mark.HeadLength) return false;
  if (mark.HeadLength == 0) return mark.Offset == 0;
  std::string head;
  return ReadPart(path, 0, mark.HeadLength, head) && Fnv1a(head) == mark.HeadHash;
}

// The whole lines of `path` from `from` to its end; the mark moves past the last line end,
// so a line the server is still writing is read next time.
void ReadLines(const std::string& path, int64_t from, int64_t size, std::string& text,
               TLogMark& mark) {
  std::string data;
  if (!ReadPart(path, from, size - from, data)) return;
  const size_t end = data.rfind('\n');
  const size_t whole = end == std::string::npos ? 0 : end + 1;
  text.append(data, 0, whole);
  mark.Offset = from + static_cast<int64_t>(whole);
  if (mark.HeadLength < kHeadBytes) {
    std::string head;
    if (ReadPart(path, 0, std::min(kHeadBytes, mark.Offset), head)) {
      mark.HeadLength = static_cast<int64_t>(head.size());
      mark.HeadHash = Fnv1a(head);
    }
  }
}

// The text written to the log since `mark`, following a rotation (the file we read became
// path.1, and a new one began) or a replacement (read again from its start).
std::string NewLogText(const std::string& path, TLogMark& mark) {
  std::string text;
  const int64_t size = FileSize(path);
  if (size >= 0 && SameLog(path, mark, size)) {
    ReadLines(path, mark.Offset, size, text, mark);
    return text;
  }
  const std::string previous = path + ".1";
  const int64_t previousSize = FileSize(previous);
  if ((mark.Offset > 0 || mark.HeadLength > 0) && previousSize >= 0 &&
      SameLog(previous, mark, previousSize)) {
    TLogMark old = mark;
    ReadLines(previous, mark.Offset, previousSize, text, old);
  }
  mark = TLogMark();
  if (size > 0) ReadLines(path, 0, size, text, mark);
  return text;
}

std::string FailureKey(const TBackupFailure& f) {
  return "failed\t" + f.Project + "\t" + std::to_string(static_cast<long long>(f.When));
}
std::string UnreachableKey(const TUnreachableProject& u) {
  return "unreachable\t" + u.Project + "\t" + u.Reason;
}
std::string ProblemKey(const std::string& text) {
  return "problem\t" + text;
}

// `text`: the file as read, "" when there is none.
bool ReadState(const std::string& file, TAlertState& state, std::string& text,
               std::string& problem) {
  if (!platform::FileExists(file)) return true;
  if (!platform::ReadWholeFile(file, text)) {
    problem = "알림 상태 파일을 읽지 못했습니다: " + file;
    return false;
  }
  try {
    const json doc = json::parse(text);
    const json& log = doc.at("log");
    state.Log.Offset = log.at("offset").get<int64_t>();
    state.Log.HeadLength = log.at("head_length").get<int64_t>();
    state.Log.HeadHash = log.at("head_hash").get<std::uint64_t>();
    if (state.Log.Offset < 0 || state.Log.HeadLength < 0 || state.Log.HeadLength > kHeadBytes)
      throw json::other_error::create(501, "bad log mark", nullptr);
    for (const json& u : doc.at("unreachable"))
      state.Unreachable.push_back(
          {u.at("project").get<std::string>(), u.at("reason").get<std::string>()});
    for (const json& t : doc.at("told"))
      state.Told.insert(t.get<std::string>());
  } catch (const json::exception&) {
    state = TAlertState();
    problem = "알림 상태 파일이 손상되어 새로 시작합니다 (" + file + ".damaged 에 보관)";
    return false;
  }
  return true;
}

// Written only when it changed, and not at all while there is nothing to remember: a timer
// calls this every minute.
bool WriteState(const std::string& file, const TAlertState& state, const std::string& old) {
  if (old.empty() && state.Log.Offset == 0 && state.Log.HeadLength == 0 &&
      state.Unreachable.empty() && state.Told.empty())
    return true;
  json unreachable = json::array();
  for (const auto& u : state.Unreachable)
    unreachable.push_back({{"project", u.Project}, {"reason", u.Reason}});
  json doc = {{"log",
               {{"offset", state.Log.Offset},
                {"head_length", state.Log.HeadLength},
                {"head_hash", state.Log.HeadHash}}},
              {"unreachable", unreachable},
              {"told", state.Told}};
  // A name or message that is no valid UTF-8 is kept with replacement characters: its key
  // then differs from the one read back, and it may be told once more, never lost.
  const std::string text = doc.dump(1, '\t', false, json::error_handler_t::replace) + "\n";
  if (text == old) return true;
  const std::string folder = FolderOf(file);
  if (!platform::DirectoryExists(folder) && !platform::ForceDirectories(folder)) return false;
  return platform::WriteFileAtomic(file, text, 0600);
}

// The projects shut out after the new events: a project's newest event decides, and one that
// has none keeps what it had.
void FollowUnreachable(std::vector<TUnreachableProject>& current,
                       const std::vector<TServerEvent>& events) {
  const auto now = UnreachableProjects(events);
  std::vector<TUnreachableProject> result;
  for (const auto& u : current) {
    const bool inNow =
        std::any_of(now.begin(), now.end(), [&](const auto& p) { return p.first == u.Project; });
    const bool served = std::any_of(events.begin(), events.end(), [&](const TServerEvent& e) {
      return e.Project == u.Project && e.Kind != TServerEventKind::Error;
    });
    if (!inNow && !served) result.push_back(u);
  }
  for (const auto& p : now)
    result.push_back({p.first, p.second});
  current = std::move(result);
}

// The project whose newest good archive is the oldest. An archive that the record names as
// the product of a failed run does not count as good.
void FindOldestBackup(const TAlertOptions& o, const std::vector<TBackupRecordEntry>& record,
                      std::time_t now, TAlerts& a) {
  // Without a backup folder nothing is backed up on purpose: the age would only nag.
  std::vector<platform::DirEntry> folders, archives;
  if (o.BackupPath.empty() || !platform::ListDirectory(o.RepoPath, folders)) return;
  platform::ListDirectory(o.BackupPath, archives);
  bool found = false;
  for (const auto& f : folders) {
    if (!f.IsDirectory() || f.name.empty() || f.name[0] == '.' ||
        !IsRepositoryFolder(JoinPath(o.RepoPath, f.name)))
      continue;
    std::string failedArchive;
    for (const auto& e : record)
      if (e.Name == f.name && e.Result == "failed") failedArchive = e.Archive;
    std::time_t newest = -1;
    for (const auto& x : archives)
      if (!x.IsDirectory() && x.name != failedArchive && IsBackupArchiveOf(f.name, x.name))
        newest = std::max(newest, BackupArchiveTime(x.name));
    const long long age = newest < 0 ? -1 : std::max<long long>(0, now - newest);
    const bool worse = !found || (a.OldestAgeS >= 0 && (age < 0 || age > a.OldestAgeS));
    if (worse) {
      a.OldestProject = f.name;
      a.OldestAgeS = age;
      found = true;
    }
  }
  a.BackupTooOld =
      found && (a.OldestAgeS < 0 || a.OldestAgeS > static_cast<long long>(o.LimitDays) * 86400);
}

} // namespace

std::string AlertStateFile(const std::string& stateFolder) {
  return JoinPath(stateFolder, "alerts-state.json");
}

TAlerts CheckAlerts(const TAlertOptions& o) {
  TAlerts a;
  const std::time_t now = o.Now != 0 ? o.Now : std::time(nullptr);
  const std::string stateFile = AlertStateFile(o.StateFolder);
  TAlertState state;
  std::vector<std::string> problems;
  std::string problem, stateText;
  if (!ReadState(stateFile, state, stateText, problem)) {
    stateText.clear();
    // Kept for a person to look at; the watch goes on from an empty state.
    platform::DeleteFile(stateFile + ".damaged");
    platform::RenameFile(stateFile, stateFile + ".damaged");
    problems.push_back(problem);
  }

  std::vector<TBackupRecordEntry> record;
  const std::string recordFile =
      o.RecordFile.empty() ? JoinPath(o.StateFolder, "backup-record.json") : o.RecordFile;
  if (!ReadBackupRecord(recordFile, record, problem)) problems.push_back(problem);
  for (const auto& e : record)
    if (e.Result == "failed") a.Failures.push_back({e.Name, e.Error, e.Start});

  FindOldestBackup(o, record, now, a);

  const std::string logPath =
      o.LogPath.empty() ? JoinPath(o.StateFolder, "svnserve.log") : o.LogPath;
  FollowUnreachable(state.Unreachable, ParseServerLog(NewLogText(logPath, state.Log)));
  a.Unreachable = state.Unreachable;

  // Told once: what is still the case keeps its mark, what is over loses it, so that the same
  // error coming back after a repair is told again.
  std::set<std::string> told;
  for (const auto& f : a.Failures) {
    if (!state.Told.count(FailureKey(f))) a.NewFailures.push_back(f);
    told.insert(FailureKey(f));
  }
  for (const auto& u : a.Unreachable) {
    if (!state.Told.count(UnreachableKey(u))) a.NewUnreachable.push_back(u);
    told.insert(UnreachableKey(u));
  }
  for (const auto& p : problems) {
    if (!state.Told.count(ProblemKey(p))) a.NewProblems.push_back(p);
    told.insert(ProblemKey(p));
  }
  state.Told = std::move(told);
  if (!WriteState(stateFile, state, stateText))
    a.NewProblems.push_back("알림 상태 파일을 쓰지 못했습니다: " + stateFile + " (" +
                            platform::LastErrorMessage() + ")");
  return a;
}

std::string AgeText(long long s) {
  if (s < 60) return "방금";
  if (s < 3600) return std::to_string(s / 60) + "분 전";
  if (s < 86400) return std::to_string(s / 3600) + "시간 전";
  return std::to_string(s / 86400) + "일 전";
}

std::string AlertStatusText(const TAlerts& a, int limitDays) {
  std::string text;
  if (!a.OldestProject.empty()) {
    text = "가장 오래된 최근 백업: " +
           (a.OldestAgeS < 0 ? std::string("없음") : AgeText(a.OldestAgeS)) + " (" +
           a.OldestProject + ")";
    if (a.BackupTooOld)
      text += a.OldestAgeS < 0 ? " · 경고: 백업 없음"
                               : " · 경고: " + std::to_string(limitDays) + "일 넘게 백업 없음";
  }
  if (!a.Unreachable.empty()) {
    std::string names;
    for (const auto& u : a.Unreachable)
      names += (names.empty() ? "" : ", ") + u.Project;
    text += (text.empty() ? "" : " · ") + std::string("경고: 접속 불가 ") + names;
  }
  return text;
}

std::string AlertNoticeText(const TAlerts& a) {
  std::string text;
  auto line = [&](const std::string& s) { text += (text.empty() ? "" : "\n") + s; };
  for (const auto& f : a.NewFailures)
    line("프로젝트 " + f.Project + "의 백업이 실패했습니다 (" + BackupRecordLocalTime(f.When) +
         "): " + f.Reason);
  for (const auto& u : a.NewUnreachable)
    line("프로젝트 " + u.Project + "에 접속할 수 없습니다: " + u.Reason);
  for (const auto& p : a.NewProblems)
    line(p);
  return text;
}
