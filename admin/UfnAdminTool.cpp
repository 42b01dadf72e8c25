#include "admin/UfnAdminTool.h"
#include "admin/UfnAdminAccess.h"

#include "admin/UfnAdminBackupStatus.h"
#include "admin/UfnAdminMirror.h"
#include "admin/UfnAdminOverview.h"
#include "admin/UfnAdminSchedule.h"
#include "admin/UfnProgressBar.h"
#include "base/UfnDesktop.h"
#include "base/UfnJob.h"
#include "base/UfnPaths.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnBackupFolder.h"
#include "projects/UfnBackupJob.h"
#include "projects/UfnBackupRecord.h"
#include "projects/UfnListJob.h"
#include "projects/UfnVerifyJob.h"
#ifdef ORLENWAY_RESTORE
#include "projects/UfnRestoreJob.h"
#endif
#include "server/UfnShell.h"
#include "server/UfnSubversion.h"
#include "settings/UclsBasicSetting.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>

#ifndef ORLENWAY_VERSION
#define ORLENWAY_VERSION "0.0.0"
#endif

namespace {

const char* const kTool = "orlenway-admin";

// The program's own texts for the same conditions.
const char* const kNoRepoPath = "저장소 경로 설정 해주세요";
const char* const kNoSvnPath = "SVN 경로 설정 해주세요";
const char* const kNoSubversion = "SubVersion을 설치해주세요";
const char* const kAnonAccess = "Anonymous 사용자 권한";
const char* const kAuthAccess = "인증 사용자 권한";
const char* const kRegUsers = "등록된 사용자";

const char* const kNotRepository = "(저장소가 아닌 폴더입니다)";

// Where the descriptions of --help begin: the commands', the backup options' and the general
// options' columns.
constexpr int kCommandColumn = 43;
constexpr int kOptionColumn = 19;
constexpr int kGeneralColumn = 15;

// One row of --help: `left`, then `right` from `column` on, counted in terminal columns (a
// Hangul letter takes two); a longer left part puts `right` on the next line.
std::string HelpRow(const std::string& left, const std::string& right, int column) {
  const int used = DisplayColumns(left);
  if (used + 1 > column)
    return left + "\n" + std::string(static_cast<size_t>(column), ' ') + right + "\n";
  return left + std::string(static_cast<size_t>(column - used), ' ') + right + "\n";
}

std::string HelpText() {
  std::string h = "사용법: orlenway-admin 명령 [인수...]\n"
                  "\n"
                  "Orlenway의 설정 파일(저장소 경로, 백업 경로, SVN 경로)을 읽어 프로젝트를 "
                  "관리합니다.\n"
                  "설정 파일은 읽기만 하고 고치지 않습니다. 서버는 멈추지 않습니다.\n"
                  "\n"
                  "명령:\n";
  h += HelpRow("  list", "프로젝트마다 사용자 권한과 등록된 사용자를 보여줍니다", kCommandColumn);
  h += HelpRow("  backup 프로젝트... | --all [--to 폴더] [--keep N] [--max-age 일수] [--full]",
               "서버를 멈추지 않고 프로젝트를 백업합니다", kCommandColumn);
  h += std::string(kCommandColumn, ' ') + "(프로젝트_yyyymmddThhnnssZ.zip)\n";
  h += HelpRow("      --all", "저장소 경로의 모든 프로젝트", kOptionColumn);
  h += HelpRow("      --to 폴더", "백업 경로 대신 이 폴더에 저장합니다 (저장소 경로 밖)",
               kOptionColumn);
  h += HelpRow("      --keep N", "프로젝트마다 최근 백업 N개만 남기고 오래된 백업을 삭제합니다",
               kOptionColumn);
  h += HelpRow("      --max-age 일수",
               "이 일수보다 오래된 백업을 삭제합니다 (최신 백업은 남깁니다)", kOptionColumn);
  h += HelpRow("      --full", "바뀐 부분만 복사하지 않고 프로젝트 전체를 새로 복사합니다",
               kOptionColumn);
  h += HelpRow("  backup-status [--json]", "프로젝트마다 마지막 백업 결과와 최근 정상 백업",
               kCommandColumn);
#ifdef ORLENWAY_RESTORE
  h += HelpRow("  restore 압축파일 이름", "백업 압축 파일을 새 프로젝트로 복원하고 검사합니다",
               kCommandColumn);
#else
  h += "  (restore: 이 빌드에는 압축을 푸는 라이브러리가 없어 복원 명령이 빠져 있습니다)\n";
#endif
  h += HelpRow("  verify 프로젝트... | --all", "svnadmin verify로 프로젝트를 검사합니다",
               kCommandColumn);
  h += HelpRow("  access show|set|unset|check ...", "접근 권한 규칙 (orlenway-admin access)",
               kCommandColumn);
  h += HelpRow("  group list|add|remove ...", "모든 프로젝트에 쓰이는 그룹 (orlenway-admin group)",
               kCommandColumn);
  h += HelpRow("  status [--json]", "프로젝트마다 최신 리비전, 크기, 최근 백업, 주소를 보여줍니다",
               kCommandColumn);
  h += HelpRow("  log [--project P] [--user U] [--since 시각] [--json]",
               "서버 기록(svnserve.log)의 사건을 오래된 것부터 보여줍니다", kCommandColumn);
  h += AdminMirrorHelp(kCommandColumn);
  h += AdminScheduleHelp(kCommandColumn);
  h += "\n";
  h += HelpRow("  --help", "이 도움말을 보여줍니다", kGeneralColumn);
  h += HelpRow("  --version", "버전을 보여줍니다", kGeneralColumn);
  h += "\n"
       "종료 코드: 0 모두 완료, 1 실패한 프로젝트가 있음, 2 명령이나 설정이 잘못되어 아무것도 "
       "하지 않음\n";
  return h;
}

class TRefused : public std::exception {
public:
  explicit TRefused(std::string message) : FMessage(std::move(message)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

// Holds the settings for one run, as the global the core's units read; never saved.
class TSettingsScope {
public:
  TSettingsScope() {
    const std::string file = ProgramSettingsFile();
    if (!platform::FileExists(file))
      throw TRefused(std::string(kNoRepoPath) + " (설정 파일이 없습니다: " + file + ")");
    FSetting = std::make_unique<TclsBasicSetting>();
    FSetting->ConfigFile = file;
    try {
      FSetting->LoadConfig();
    } catch (const std::exception& e) {
      std::string text = ErrorReportText(e.what());
      if (text.find(file) == std::string::npos) text += " (" + file + ")";
      throw TRefused(text);
    }
    if (FSetting->SVNPath.empty()) FSetting->SVNPath = DefaultSVNPath(GetSpecialFolderPath());
    BasicSetting = FSetting.get();
  }
  ~TSettingsScope() { BasicSetting = nullptr; }
  TSettingsScope(const TSettingsScope&) = delete;
  TSettingsScope& operator=(const TSettingsScope&) = delete;

private:
  std::unique_ptr<TclsBasicSetting> FSetting;
};

void NeedRepoPath() {
  const std::string& root = BasicSetting->RepoPath;
  if (root.empty() || !platform::DirectoryExists(root))
    throw TRefused(root.empty() ? kNoRepoPath : std::string(kNoRepoPath) + " (" + root + ")");
}

void NeedSvnAdmin() {
  if (!platform::DirectoryExists(BasicSetting->SVNPath))
    throw TRefused(std::string(kNoSvnPath) + " (" + BasicSetting->SVNPath + ")");
  const std::string svnadmin = TSubversion(BasicSetting->SVNPath).Program("svnadmin");
  if (!platform::FileExists(svnadmin))
    throw TRefused(std::string(kNoSubversion) + " (" + svnadmin + ")");
}

// The observer of a command: notices are lines, progress is the terminal bar under a label
// of the project and the step.
class TAdminObserver : public TJobObserver {
public:
  TAdminObserver(std::ostream& out, TProgressBar& bar) : FOut(out), FBar(bar) {}
  std::string Label; // the project and what is done to it
  void Notify(TMsgIcon, const std::string& text) override {
    FBar.Clear();
    FOut << text << "\n" << std::flush;
  }
  void Progress(const std::string&, int, int totalPercent) override {
    FBar.Show(Label, totalPercent);
  }

private:
  std::ostream& FOut;
  TProgressBar& FBar;
};

// The command's arguments: names, flags and options with a value.
struct TArguments {
  std::vector<std::string> Names;
  bool All = false;
  std::optional<std::string> To;
  std::optional<std::string> Keep;
  std::optional<std::string> MaxAge;
  bool Full = false;
};

TArguments ParseArguments(const std::vector<std::string>& args, bool allowAll,
                          bool allowBackupOptions) {
  TArguments a;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](const std::string& option) -> std::optional<std::string> {
      if (arg == option) {
        if (i + 1 >= args.size()) throw TRefused(option + " 다음에 값을 입력해주세요");
        return args[++i];
      }
      if (arg.rfind(option + "=", 0) == 0) return arg.substr(option.size() + 1);
      return std::nullopt;
    };
    if (allowAll && arg == "--all") {
      a.All = true;
    } else if (arg == "--") {
      for (++i; i < args.size(); ++i)
        a.Names.push_back(args[i]);
    } else if (allowBackupOptions && (arg == "--to" || arg.rfind("--to=", 0) == 0)) {
      a.To = value("--to");
    } else if (allowBackupOptions && (arg == "--keep" || arg.rfind("--keep=", 0) == 0)) {
      a.Keep = value("--keep");
    } else if (allowBackupOptions && (arg == "--max-age" || arg.rfind("--max-age=", 0) == 0)) {
      a.MaxAge = value("--max-age");
    } else if (allowBackupOptions && arg == "--full") {
      a.Full = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw TRefused("알 수 없는 옵션입니다: " + arg);
    } else {
      a.Names.push_back(arg);
    }
  }
  return a;
}

// The projects a command names, checked against the repository root before any work starts.
std::vector<std::string> ChosenProjects(const TArguments& a) {
  ProjectMgr->Refresh();
  if (a.All) {
    if (!a.Names.empty()) throw TRefused("--all과 프로젝트 이름을 함께 쓸 수 없습니다");
    return ProjectMgr->Projects;
  }
  if (a.Names.empty()) throw TRefused("프로젝트 이름이나 --all을 입력해주세요");
  std::vector<std::string> chosen;
  for (const std::string& name : a.Names) {
    const auto& all = ProjectMgr->Projects;
    if (std::find(all.begin(), all.end(), name) == all.end())
      throw TRefused("프로젝트가 존재하지 않습니다: " + name);
    if (std::find(chosen.begin(), chosen.end(), name) == chosen.end()) chosen.push_back(name);
  }
  return chosen;
}

// A whole number of 1 or more for `option` (--keep, --max-age).
size_t ParsePositive(const std::string& option, const std::string& text) {
  size_t n = 0;
  if (text.empty() || text.size() > 6) throw TRefused(option + " 값이 올바르지 않습니다: " + text);
  for (char c : text) {
    if (c < '0' || c > '9') throw TRefused(option + " 값이 올바르지 않습니다: " + text);
    n = n * 10 + static_cast<size_t>(c - '0');
  }
  if (n == 0) throw TRefused(option + " 값은 1 이상이어야 합니다: " + text);
  return n;
}

// ---- list ------------------------------------------------------------------------------------

int List(const std::vector<std::string>& args, std::ostream& out) {
  const TArguments a = ParseArguments(args, false, false);
  if (!a.Names.empty()) throw TRefused("list에는 인수가 없습니다: " + a.Names.front());
  NeedRepoPath();
  const std::vector<TProjectListing> list = ListProjects(*ProjectMgr, BasicSetting->RepoPath);
  if (list.empty()) out << "프로젝트가 없습니다.\n";
  for (const TProjectListing& p : list) {
    out << p.Name << "\n";
    if (!p.Repository) {
      out << "  " << kNotRepository << "\n";
      continue;
    }
    std::string users;
    for (const std::string& id : p.Users)
      users += (users.empty() ? "" : ", ") + id;
    if (users.empty()) users = "(없음)";
    // The dialog leaves such a file alone as well.
    if (!p.UsersNotManaged.empty())
      users = "(관리하지 않음: 프로젝트 폴더 밖의 암호 파일 " + p.UsersNotManaged + ")";
    out << "  " << kAnonAccess << " : " << p.AnonAccess << "\n"
        << "  " << kAuthAccess << " : " << p.AuthAccess << "\n"
        << "  " << kRegUsers << " : " << users << "\n";
  }
  return AdminExitOk;
}

// ---- backup ----------------------------------------------------------------------------------

// What a killed run left behind and this one removed, a line each.
void ReportAbandoned(const std::vector<std::string>& folders, std::ostream& out) {
  for (const std::string& f : folders)
    out << "중단된 이전 작업이 남긴 임시 폴더를 지웠습니다: " << f << "\n";
}

// The links a backup left out, below the folder it packed, as one list.
std::string LinkList(const TBackupResult& r) {
  std::string names;
  for (const std::string& link : r.SkippedLinks) {
    const bool below = link.compare(0, r.PackedFolder.size(), r.PackedFolder) == 0;
    names += (names.empty() ? "" : ", ") + (below ? link.substr(r.PackedFolder.size()) : link);
  }
  if (r.LinkCount > r.SkippedLinks.size()) names += ", ...";
  return names;
}

// The line that tells a project's outcome.
std::string BackupLine(const std::string& project, const TBackupResult& r) {
  if (!r.Written()) {
    std::string reason = r.Reason;
    if (!r.ReasonDetail.empty()) reason += " (" + r.ReasonDetail + ")";
    return project + ": " + kBackupFailedHead + " " + reason;
  }
  std::string line =
      project + ": " + (r.Outcome == TBackupOutcome::Warned ? r.Warning + " " : std::string()) +
      "프로젝트 폴더 압축을 완료하였습니다. 총 파일 갯수 : " + std::to_string(r.Count) +
      ", 파일명 : " + ExtractFileName(r.ArchivePath);
  // The walk follows no link, so a conf/passwd shared through one is not in the archive: the
  // window's backup names such entries, and so does this line.
  if (r.LinkCount > 0)
    line += ", 링크여서 빠진 항목 : " + std::to_string(r.LinkCount) + "개 (" + LinkList(r) + ")";
  return line;
}

// A folder inside the repository root would be listed as a project, and its archives packed
// into the next backup of the root's projects.
void NeedBackupFolderOutsideRoot(const std::string& folder) {
  const std::string& root = BasicSetting->RepoPath;
  if (platform::PathWithin(root, folder) ||
      platform::ResolvedPath(folder) == platform::ResolvedPath(root))
    throw TRefused("백업 폴더가 저장소 경로 안에 있습니다: " + folder + " (저장소 경로: " + root +
                   ")");
}

// Each project's run goes into the record at once, so that a run killed later still tells
// of the projects it finished.
void NoteRun(const std::string& project, const TBackupResult& r, std::time_t start,
             std::ostream& err) {
  const std::string file = BackupRecordFile();
  std::vector<TBackupRecordEntry> entries;
  std::string error;
  // A record that cannot be read is not overwritten: the reason is told instead.
  if (ReadBackupRecord(file, entries, error)) {
    NoteBackupRun(entries, project, r, start, std::time(nullptr));
    if (WriteBackupRecord(file, entries, error)) return;
  }
  err << kTool << ": " << error << "\n";
}

// A run refused before any project (a missing root, backup folder or Subversion) is a failed
// run of every project it was for: a scheduled run has no one reading its output. Only the
// projects the record already knows are noted, so that a mistyped name adds none.
void NoteRefusedRun(const TArguments& a, const std::string& reason, std::ostream& err) {
  const std::string file = BackupRecordFile();
  std::vector<TBackupRecordEntry> entries;
  std::string error;
  if (!ReadBackupRecord(file, entries, error)) {
    err << kTool << ": " << error << "\n";
    return;
  }
  TBackupResult failed;
  failed.Reason = reason;
  const std::time_t now = std::time(nullptr);
  bool noted = false;
  for (const TBackupRecordEntry& e : std::vector<TBackupRecordEntry>(entries))
    if (a.All || std::find(a.Names.begin(), a.Names.end(), e.Name) != a.Names.end()) {
      NoteBackupRun(entries, e.Name, failed, now, now);
      noted = true;
    }
  if (noted && !WriteBackupRecord(file, entries, error)) err << kTool << ": " << error << "\n";
}

int BackupProjects(const TArguments& a, std::ostream& out, std::ostream& err, bool terminal,
                   int columns);

int Backup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool terminal, int columns) {
  const TArguments a = ParseArguments(args, true, true);
  try {
    return BackupProjects(a, out, err, terminal, columns);
  } catch (const TRefused& e) {
    NoteRefusedRun(a, e.what(), err);
    throw;
  }
}

int BackupProjects(const TArguments& a, std::ostream& out, std::ostream& err, bool terminal,
                   int columns) {
  const size_t keep = a.Keep ? ParsePositive("--keep", *a.Keep) : 0;
  const int maxAge = a.MaxAge ? static_cast<int>(ParsePositive("--max-age", *a.MaxAge)) : 0;
  NeedRepoPath();
  NeedSvnAdmin();
  const std::string folder = a.To ? *a.To : BasicSetting->BackupPath;
  if (folder.empty() || !platform::DirectoryExists(folder))
    throw TRefused(std::string(kBackupNoBackupFolder) + " (" + folder + ")");
  NeedBackupFolderOutsideRoot(folder);
  const std::vector<std::string> projects = ChosenProjects(a);
  ReportAbandoned(RemoveAbandonedWorkFolders(folder, "orlenway-admin-"), out);
  {
    // Refused before any project is copied, rather than once for each.
    TWorkFolder probe(folder, "orlenway-admin-");
    if (probe.Path().empty())
      throw TRefused("백업 폴더에 쓸 수 없습니다: " + folder + " (" + probe.Error() + ")");
  }
  if (projects.empty()) {
    out << "백업할 프로젝트가 없습니다.\n";
    return AdminExitOk;
  }

  TProgressBar bar(out, terminal, columns);
  struct TBackupObserver : TAdminObserver {
    using TAdminObserver::TAdminObserver;
    std::string Project;
    void Progress(const std::string& item, int itemPercent, int totalPercent) override {
      Label = Project + (item == kBackupCopyStep     ? " 복사 중"
                         : item == kBackupVerifyStep ? " 검사 중"
                                                     : " 압축 중");
      TAdminObserver::Progress(item, itemPercent, totalPercent);
    }
  } observer(out, bar);
  int status = AdminExitOk;
  for (const std::string& project : projects) {
    TBackupRequest request;
    request.RepoPath = BasicSetting->RepoPath;
    request.Project = project;
    request.BackupFolder = folder;
    request.Options.Hotcopy = true;
    request.Options.SVNPath = BasicSetting->SVNPath;
    request.Options.Unreadable = TUnreadablePolicy::Fails;
    request.Options.Incremental = true;
    request.Options.Full = a.Full;
    observer.Project = project;
    const std::time_t start = std::time(nullptr);
    const TBackupResult r = BackupProject(request, observer);
    bar.Clear();
    NoteRun(project, r, start, err);
    if (r.Skipped) {
      out << project << ": 마지막 백업 이후 바뀐 것이 없어 건너뜁니다 (리비전 " << r.Revision
          << ", " << ExtractFileName(r.ArchivePath) << ")\n";
      continue;
    }
    if (r.Outcome == TBackupOutcome::Refused) {
      out << project << ": " << r.Reason << "\n";
      status = AdminExitFailed;
      continue;
    }
    std::string line = BackupLine(project, r);
    // An archive that cannot restore the repository is no backup to count on.
    if (!r.Written() || r.Outcome == TBackupOutcome::Warned) status = AdminExitFailed;
    // Only after a new good archive: a run that was skipped, failed or warned removes nothing.
    if (r.Outcome == TBackupOutcome::Done && (keep > 0 || maxAge > 0)) {
      const TPruneResult pruned =
          PruneBackups(folder, project, keep, ExtractFileName(r.ArchivePath), maxAge);
      if (!pruned.Removed.empty())
        line += ", 오래된 백업 " + std::to_string(pruned.Removed.size()) + "개 삭제";
      for (const std::string& f : pruned.Failed) {
        err << kTool << ": " << project << ": 오래된 백업을 지우지 못했습니다: " << f << "\n";
        status = AdminExitFailed;
      }
    }
    out << line << "\n" << std::flush;
  }
  return status;
}

// ---- verify ----------------------------------------------------------------------------------

int Verify(const std::vector<std::string>& args, std::ostream& out, bool terminal, int columns) {
  const TArguments a = ParseArguments(args, true, false);
  NeedRepoPath();
  NeedSvnAdmin();
  const std::vector<std::string> projects = ChosenProjects(a);
  if (projects.empty()) out << "검사할 프로젝트가 없습니다.\n";
  TProgressBar bar(out, terminal, columns);
  TAdminObserver observer(out, bar);
  int status = AdminExitOk;
  for (const std::string& project : projects) {
    observer.Label = project + " 검사 중";
    const TVerifyResult r =
        VerifyProject(BasicSetting->SVNPath, BasicSetting->RepoPath, project, observer);
    bar.Clear();
    if (r.Ok) {
      out << project << ": 검사를 통과하였습니다.\n";
    } else {
      out << project << ": 검사에 실패하였습니다. " << r.Reason << "\n";
      status = AdminExitFailed;
    }
    out << std::flush;
  }
  return status;
}

// ---- restore ---------------------------------------------------------------------------------

#ifdef ORLENWAY_RESTORE
int Restore(const std::vector<std::string>& args, std::ostream& out) {
  const TArguments a = ParseArguments(args, false, false);
  if (a.Names.size() != 2)
    throw TRefused("restore에는 압축 파일과 새 프로젝트 이름을 입력해주세요");
  NeedRepoPath();
  NeedSvnAdmin();
  TProgressBar bar(out, false, 80);
  TAdminObserver observer(out, bar);
  const TRestoreResult r = RestoreProject(
      {BasicSetting->RepoPath, BasicSetting->SVNPath, a.Names[0], a.Names[1]}, observer);
  const std::string name = text::Trim(a.Names[1]);
  switch (r.Outcome) {
  case TRestoreOutcome::Refused:
    throw TRefused(r.Reason);
  case TRestoreOutcome::Failed:
    out << name << ": 복원에 실패하였습니다. " << r.Reason << "\n";
    return AdminExitFailed;
  case TRestoreOutcome::Done:
    break;
  }
  out << name << ": 복원을 완료하였습니다. 총 파일 갯수 : " << r.Files
      << ", 검사를 통과하였습니다.\n";
  return AdminExitOk;
}
#endif

} // namespace

std::string ProgramSettingsFile() {
  return SettingsFileName(ExtractFilePath(platform::ProgramPath()) + "orlenway");
}

int AdminMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool terminal, int columns) {
  const std::string command = args.empty() ? "" : args[0];
  if (command.empty() || command == "--help" || command == "-h" || command == "help") {
    (command.empty() ? err : out) << HelpText();
    return command.empty() ? AdminExitRefused : AdminExitOk;
  }
  if (command == "--version") {
    out << kTool << " " << ORLENWAY_VERSION << "\n";
    return AdminExitOk;
  }
  if (command == "backup-status") return AdminBackupStatus(args, BackupRecordFile(), out, err);
  try {
    if (command != "list" && command != "backup" && command != "verify" && command != "access" &&
        command != "group" && command != "status" && command != "log" && command != "mirror" &&
        command != "schedule"
#ifdef ORLENWAY_RESTORE
        && command != "restore"
#endif
    ) {
#ifndef ORLENWAY_RESTORE
      if (command == "restore")
        throw TRefused("이 빌드에는 복원 명령이 없습니다 (orlenway-admin --help)");
#endif
      throw TRefused("알 수 없는 명령입니다: " + command + " (orlenway-admin --help)");
    }
    TSettingsScope settings;
    TclsProjectMgr projects;
    ProjectMgr = &projects;
    struct TRelease {
      ~TRelease() { ProjectMgr = nullptr; }
    } release;
    if (command == "access" || command == "group") {
      NeedRepoPath();
      return (command == "access" ? AdminAccess : AdminGroup)(
          args, out, err, BasicSetting->RepoPath, BasicSetting->SVNPath);
    }
    if (command == "list") return List(args, out);
    if (command == "backup") return Backup(args, out, err, terminal, columns);
    if (command == "verify") return Verify(args, out, terminal, columns);
    if (command == "status") return AdminStatus(args, out, err);
    if (command == "log") return AdminLog(args, out, err);
    if (command == "mirror") return AdminMirror(args, out, err, std::cin);
    if (command == "schedule") return AdminSchedule(args, out, err);
#ifdef ORLENWAY_RESTORE
    return Restore(args, out);
#endif
  } catch (const TRefused& e) {
    out << std::flush;
    err << kTool << ": " << e.what() << "\n";
    return AdminExitRefused;
  } catch (const std::exception& e) {
    out << std::flush;
    err << kTool << ": " << ErrorReportText(e.what()) << "\n";
    return AdminExitFailed;
  }
  return AdminExitRefused;
}
