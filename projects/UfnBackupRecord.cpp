#include "projects/UfnBackupRecord.h"

#include "base/UfnPaths.h"
#include "platform/UfnPlatform.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

using json = nlohmann::json;

namespace {

std::string UtcText(std::time_t when) {
  if (when == 0) return "";
  std::tm tm{};
#ifdef _WIN32
  if (::gmtime_s(&tm, &when) != 0) return "";
#else
  if (!::gmtime_r(&when, &tm)) return "";
#endif
  char text[32] = "";
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

json TimeValue(std::time_t when) {
  const std::string text = UtcText(when);
  return text.empty() ? json(nullptr) : json(text);
}

std::uint64_t FileBytes(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<std::uint64_t>(size);
}

} // namespace

std::string BackupRecordFile() {
  return platform::StateFolder() + "backup-record.json";
}

bool ReadBackupRecord(const std::string& file, std::vector<TBackupRecordEntry>& entries,
                      std::string& error) {
  entries.clear();
  if (!platform::FileExists(file)) return true;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = "백업 기록을 읽지 못했습니다: " + file;
    return false;
  }
  try {
    const json doc = json::parse(in);
    for (const json& o : doc.at("projects")) {
      TBackupRecordEntry e;
      e.Name = o.at("name").get<std::string>();
      e.Result = o.value("result", "");
      e.Start = o.value("start", std::time_t(0));
      e.End = o.value("end", std::time_t(0));
      e.Archive = o.value("archive", "");
      e.Revisions = o.value("revisions", "");
      e.Revision = o.value("revision", "");
      e.Bytes = o.value("bytes", std::uint64_t(0));
      e.Error = o.value("error", "");
      e.LastGoodArchive = o.value("last_good_archive", "");
      e.LastGoodTime = o.value("last_good_time", std::time_t(0));
      entries.push_back(std::move(e));
    }
  } catch (const json::exception&) {
    entries.clear();
    error = "백업 기록 파일이 손상되었습니다: " + file;
    return false;
  }
  return true;
}

bool WriteBackupRecord(const std::string& file, const std::vector<TBackupRecordEntry>& entries,
                       std::string& error) {
  json list = json::array();
  for (const TBackupRecordEntry& e : entries)
    list.push_back({{"name", e.Name},
                    {"result", e.Result},
                    {"start", e.Start},
                    {"end", e.End},
                    {"archive", e.Archive},
                    {"revisions", e.Revisions},
                    {"revision", e.Revision},
                    {"bytes", e.Bytes},
                    {"error", e.Error},
                    {"last_good_archive", e.LastGoodArchive},
                    {"last_good_time", e.LastGoodTime}});
  const std::string folder = FolderOf(file);
  if (!platform::DirectoryExists(folder) && !platform::ForceDirectories(folder)) {
    error = "백업 기록 폴더를 만들지 못했습니다: " + folder;
    return false;
  }
  // Invalid UTF-8 in a name or a message is replaced, not a reason to lose the record.
  const std::string text =
      json{{"projects", list}}.dump(1, '\t', false, json::error_handler_t::replace) + "\n";
  const std::string temp = file + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      platform::DeleteFile(temp);
      error = "백업 기록을 쓰지 못했습니다: " + temp;
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, file, ec);
  if (ec) {
    platform::DeleteFile(temp);
    error = "백업 기록을 쓰지 못했습니다: " + file + " (" + ec.message() + ")";
    return false;
  }
  return true;
}

void NoteBackupRun(std::vector<TBackupRecordEntry>& entries, const std::string& project,
                   const TBackupResult& result, std::time_t start, std::time_t end) {
  auto it = std::find_if(entries.begin(), entries.end(),
                         [&](const TBackupRecordEntry& e) { return e.Name == project; });
  if (it == entries.end()) {
    entries.push_back({});
    it = entries.end() - 1;
    it->Name = project;
  }
  TBackupRecordEntry& e = *it;
  e.Start = start;
  e.End = end;
  e.Error.clear();
  e.Revisions.clear();
  e.Bytes = 0;
  e.Archive = result.Skipped || result.Written() ? ExtractFileName(result.ArchivePath) : "";
  if (result.Skipped) {
    e.Result = "skipped";
    e.Revision = result.Revision;
  } else if (result.Outcome == TBackupOutcome::Done) {
    e.Result = "done";
    e.Revision = result.Revision;
    e.Revisions = result.NewRevisions;
    e.Bytes = FileBytes(result.ArchivePath);
    e.LastGoodArchive = e.Archive;
    e.LastGoodTime = end;
  } else {
    // A warned archive cannot restore the repository: no good backup either.
    e.Result = "failed";
    e.Error = result.Outcome == TBackupOutcome::Warned ? result.Warning : result.Reason;
    if (!result.ReasonDetail.empty()) e.Error += " (" + result.ReasonDetail + ")";
    if (e.Error.empty()) e.Error = "취소되었습니다";
  }
}

std::string BackupRecordJson(const std::vector<TBackupRecordEntry>& entries) {
  json list = json::array();
  for (const TBackupRecordEntry& e : entries) {
    json o = {
        {"name", e.Name},
        {"last_good_archive", e.LastGoodArchive.empty() ? json(nullptr) : json(e.LastGoodArchive)},
        {"last_good_time", TimeValue(e.LastGoodTime)},
        {"last_result", e.Result},
        {"last_error", e.Error.empty() ? json(nullptr) : json(e.Error)},
        {"start", TimeValue(e.Start)},
        {"end", TimeValue(e.End)},
        {"archive", e.Archive.empty() ? json(nullptr) : json(e.Archive)},
        {"revision", e.Revision},
        {"revisions", e.Revisions},
        {"bytes", e.Bytes}};
    list.push_back(std::move(o));
  }
  return list.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string BackupRecordLocalTime(std::time_t when) {
  if (when == 0) return "";
  std::tm tm{};
#ifdef _WIN32
  if (::localtime_s(&tm, &when) != 0) return "";
#else
  if (!::localtime_r(&when, &tm)) return "";
#endif
  char text[32] = "";
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
  return text;
}
