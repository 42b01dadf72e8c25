#include "admin/UfnAdminOverview.h"

#include "admin/UfnAdminTool.h"
#include "base/UfnErrors.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnOverview.h"
#include "server/UfnServerLog.h"
#include "settings/UclsBasicSetting.h"

#include <nlohmann/json.hpp>

namespace {

const char* const kTool = "orlenway-admin";

int Refuse(std::ostream& err, const std::string& text) {
  err << kTool << ": " << text << "\n";
  return AdminExitRefused;
}

nlohmann::json TextOrNull(const std::string& s) {
  return s.empty() ? nlohmann::json(nullptr) : nlohmann::json(s);
}

std::string Age(long long seconds) {
  if (seconds < 0) return "";
  if (seconds < 3600) return std::to_string(seconds / 60) + "분 전";
  if (seconds < 86400 * 2) return std::to_string(seconds / 3600) + "시간 전";
  return std::to_string(seconds / 86400) + "일 전";
}

// Where there is no value a table shows "-".
std::string Cell(const std::string& s) {
  return s.empty() ? "-" : s;
}

nlohmann::json RevisionOrNull(long r) {
  return r < 0 ? nlohmann::json(nullptr) : nlohmann::json(r);
}

nlohmann::json MirrorJson(const TMirrorStatus& m) {
  if (m.Source.empty()) return nullptr;
  return {{"source", m.Source},
          {"last_merged", RevisionOrNull(m.LastMerged)},
          {"source_youngest", RevisionOrNull(m.SourceYoungest)},
          {"last_sync_time", TextOrNull(m.LastSyncTime)},
          {"source_error", TextOrNull(m.SourceError)}};
}

std::string Revision(long r) {
  return r < 0 ? "?" : std::to_string(r);
}

} // namespace

int AdminStatus(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool json = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--json")
      json = true;
    else
      return Refuse(err, "알 수 없는 인수입니다: " + args[i]);
  }
  const std::string& root = BasicSetting->RepoPath;
  if (root.empty() || !platform::DirectoryExists(root))
    return Refuse(err, root.empty() ? "저장소 경로 설정 해주세요"
                                    : "저장소 경로 설정 해주세요 (" + root + ")");
  TOverviewOptions o;
  o.RepoPath = root;
  o.BackupPath = BasicSetting->BackupPath;
  o.SvnPath = BasicSetting->SVNPath;
  o.Host = platform::HostName();
  o.Port = BasicSetting->GetPort();
  std::vector<TProjectOverview> list = ReadOverview(o);
  const auto down = UnreachableProjects(ReadServerLog(ServerLogPath()));
  auto unreachable = [&](const std::string& name) {
    for (const auto& d : down)
      if (d.first == name) return d.second;
    return std::string();
  };
  bool failed = false;
  for (auto& p : list) {
    ReadOverviewDetails(o, p);
    failed = failed || !p.Error.empty();
  }
  if (json) {
    nlohmann::json a = nlohmann::json::array();
    for (const auto& p : list)
      a.push_back(
          {{"name", p.Name},
           {"youngest", p.Youngest < 0 ? nlohmann::json(nullptr) : nlohmann::json(p.Youngest)},
           {"author", TextOrNull(p.Author)},
           {"date", TextOrNull(p.Date)},
           {"message", p.Message},
           {"size_bytes", p.SizeBytes},
           {"url", p.Url},
           {"last_backup", TextOrNull(p.LastBackup)},
           {"last_backup_age_s",
            p.LastBackupAgeS < 0 ? nlohmann::json(nullptr) : nlohmann::json(p.LastBackupAgeS)},
           {"rules", p.Rules},
           {"mirror", MirrorJson(p.Mirror)},
           {"error", TextOrNull(p.Error)},
           {"unreachable", TextOrNull(unreachable(p.Name))}});
    out << a.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return failed ? AdminExitFailed : AdminExitOk;
  }
  if (list.empty()) out << "프로젝트가 없습니다.\n";
  for (const auto& p : list) {
    out << p.Name << "\n";
    if (!p.Error.empty()) out << "  오류 : " << p.Error << "\n";
    if (!unreachable(p.Name).empty()) out << "  접속 불가 : " << unreachable(p.Name) << "\n";
    out << "  최신 리비전 : " << (p.Youngest < 0 ? "-" : std::to_string(p.Youngest)) << " ("
        << Cell(p.Author) << ", " << Cell(p.Date) << ") " << p.Message << "\n"
        << "  크기 : " << text::SizeText(p.SizeBytes) << "\n"
        << "  최근 백업 : "
        << (p.LastBackup.empty() ? "(없음)" : p.LastBackup + " (" + Age(p.LastBackupAgeS) + ")")
        << "\n"
        << "  주소 : " << p.Url << "\n"
        << "  접근 규칙 : " << (p.Rules ? "있음" : "없음") << "\n";
    if (!p.Mirror.Source.empty())
      out << "  미러 : " << p.Mirror.Source << " (r" << Revision(p.Mirror.LastMerged) << " / r"
          << Revision(p.Mirror.SourceYoungest) << ", 마지막 동기화 " << Cell(p.Mirror.LastSyncTime)
          << ")" << (p.Mirror.SourceError.empty() ? "" : " " + p.Mirror.SourceError) << "\n";
  }
  return failed ? AdminExitFailed : AdminExitOk;
}

int AdminLog(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TServerLogFilter filter;
  bool json = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      json = true;
      continue;
    }
    std::string option = a, value;
    const size_t eq = a.find('=');
    if (eq != std::string::npos && a.rfind("--", 0) == 0) {
      option = a.substr(0, eq);
      value = a.substr(eq + 1);
    } else if (a == "--project" || a == "--user" || a == "--since") {
      if (i + 1 >= args.size()) return Refuse(err, a + " 다음에 값을 입력해주세요");
      value = args[++i];
    }
    if (option == "--project")
      filter.Project = value;
    else if (option == "--user")
      filter.User = value;
    else if (option == "--since") {
      if (!ParseIsoTime(value, filter.Since) || filter.Since == 0)
        return Refuse(err, "--since 값이 올바른 시각(ISO 8601, UTC)이 아닙니다: " + value);
    } else
      return Refuse(err, "알 수 없는 인수입니다: " + a);
  }
  const std::vector<TServerEvent> events = ReadServerLog(ServerLogPath(), filter);
  if (json) {
    nlohmann::json a = nlohmann::json::array();
    for (const auto& e : events) {
      const char* kind = e.Kind == TServerEventKind::Commit    ? "commit"
                         : e.Kind == TServerEventKind::Refusal ? "refusal"
                         : e.Kind == TServerEventKind::Error   ? "error"
                                                               : "request";
      a.push_back(
          {{"time", e.Time},
           {"pid", e.Pid},
           {"ip", e.Ip},
           {"user", TextOrNull(e.User)},
           {"project", TextOrNull(e.Project)},
           {"action", e.Action},
           {"kind", kind},
           {"revision", e.Revision < 0 ? nlohmann::json(nullptr) : nlohmann::json(e.Revision)},
           {"path", TextOrNull(e.Path)},
           {"error", e.Kind == TServerEventKind::Error || e.ErrorCode != 0
                         ? nlohmann::json(e.Error)
                         : nlohmann::json(nullptr)},
           {"error_code",
            e.ErrorCode == 0 ? nlohmann::json(nullptr) : nlohmann::json(e.ErrorCode)}});
    }
    // A log line is not checked to be UTF-8: replace what is not rather than fail.
    out << a.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return AdminExitOk;
  }
  if (events.empty()) out << "기록된 사건이 없습니다.\n";
  for (const auto& e : events) {
    out << e.Time << " " << Cell(e.Ip) << " " << Cell(e.User) << " " << Cell(e.Project) << " "
        << e.Action;
    if (!e.Error.empty())
      out << " " << e.Error;
    else if (!e.Detail.empty())
      out << " " << e.Detail;
    out << "\n";
  }
  return AdminExitOk;
}
