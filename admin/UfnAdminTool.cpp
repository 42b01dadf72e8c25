#include "admin/UfnAdminTool.h"

#include "admin/UfnBackupFolder.h"
#include "admin/UfnProgressBar.h"
#include "admin/UfnSvnAdmin.h"
#ifdef ORLENWAY_ADMIN_RESTORE
#include "admin/UfnArchiveRestore.h"
#endif
#include "archive/UZip.h"
#include "base/UfnDesktop.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnBackup.h"
#include "projects/UfnProfileFile.h"
#include "server/UfnShell.h"
#include "settings/UclsBasicSetting.h"

#include <algorithm>
#include <ctime>
#include <exception>
#include <filesystem>
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
const char* const kNoBackupFolder = "백업 폴더가 존재하지 않습니다.";
const char* const kNoProjectFolder = "백업할 프로젝트 폴더가 존재하지 않습니다.";
const char* const kBackupFailed = "프로젝트 폴더 백업에 실패하였습니다.";
const char* const kBadName = "프로젝트 이름이 올바르지 않습니다.";
const char* const kNameTaken = "같은 이름의 프로젝트나 파일이 이미 있습니다.";
const char* const kEnterName = "생성할 프로젝트 이름을 입력하세요";
const char* const kAnonAccess = "Anonymous 사용자 권한";
const char* const kAuthAccess = "인증 사용자 권한";
const char* const kRegUsers = "등록된 사용자";

const char* const kHelp =
    "사용법: orlenway-admin 명령 [인수...]\n"
    "\n"
    "Orlenway의 설정 파일(저장소 경로, 백업 경로, SVN 경로)을 읽어 프로젝트를 관리합니다.\n"
    "설정 파일은 읽기만 하고 고치지 않습니다. 서버는 멈추지 않습니다.\n"
    "\n"
    "명령:\n"
    "  list                                     프로젝트마다 사용자 권한과 등록된 사용자를 "
    "보여줍니다\n"
    "  backup 프로젝트... | --all [--to 폴더] [--keep N]\n"
    "                                           서버를 멈추지 않고 프로젝트를 백업합니다\n"
    "                                           (프로젝트_yyyymmddThhnnssZ.zip)\n"
    "      --all        저장소 경로의 모든 프로젝트\n"
    "      --to 폴더    백업 경로 대신 이 폴더에 저장합니다\n"
    "      --keep N     프로젝트마다 최근 백업 N개만 남기고 오래된 백업을 삭제합니다\n"
#ifdef ORLENWAY_ADMIN_RESTORE
    "  restore 압축파일 이름                   백업 압축 파일을 새 프로젝트로 복원하고 검사합니다\n"
#else
    "  (restore: 이 빌드에는 압축을 푸는 라이브러리가 없어 복원 명령이 빠져 있습니다)\n"
#endif
    "  verify 프로젝트... | --all               svnadmin verify로 프로젝트를 검사합니다\n"
    "\n"
    "  --help       이 도움말을 보여줍니다\n"
    "  --version    버전을 보여줍니다\n"
    "\n"
    "종료 코드: 0 모두 완료, 1 실패한 프로젝트가 있음, 2 명령이나 설정이 잘못되어 아무것도 하지 "
    "않음\n";

class TRefused : public std::exception {
public:
  explicit TRefused(std::string message) : FMessage(std::move(message)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

std::string FolderOf(const std::string& path) {
  const size_t i = path.rfind(platform::PathDelimiter());
  return i == std::string::npos ? std::string() : path.substr(0, i + 1);
}

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
  if (!platform::FileExists(SvnAdminPath()))
    throw TRefused(std::string(kNoSubversion) + " (" + SvnAdminPath() + ")");
}

std::string ProjectFolder(const std::string& project) {
  return AddPathDelimiter(BasicSetting->RepoPath) + project;
}

// The command's arguments: names, flags and options with a value.
struct TArguments {
  std::vector<std::string> Names;
  bool All = false;
  std::optional<std::string> To;
  std::optional<std::string> Keep;
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

size_t ParseKeep(const std::string& text) {
  size_t n = 0;
  if (text.empty() || text.size() > 6) throw TRefused("--keep 값이 올바르지 않습니다: " + text);
  for (char c : text) {
    if (c < '0' || c > '9') throw TRefused("--keep 값이 올바르지 않습니다: " + text);
    n = n * 10 + static_cast<size_t>(c - '0');
  }
  if (n == 0) throw TRefused("--keep 값은 1 이상이어야 합니다: " + text);
  return n;
}

// ---- list ------------------------------------------------------------------------------------

// One of the three levels the dialog offers, or "-" when the file holds another value.
std::string Level(const std::string& value) {
  for (const char* level : {"none", "read", "write"})
    if (value == level) return value;
  return "-";
}

int List(const std::vector<std::string>& args, std::ostream& out) {
  const TArguments a = ParseArguments(args, false, false);
  if (!a.Names.empty()) throw TRefused("list에는 인수가 없습니다: " + a.Names.front());
  NeedRepoPath();
  ProjectMgr->Refresh();
  if (ProjectMgr->Projects.empty()) out << "프로젝트가 없습니다.\n";
  for (const std::string& project : ProjectMgr->Projects) {
    // An absent key means svnserve's default, as the dialog shows it.
    ProfileFile conf(TclsProjectMgr::ConfigFile(project));
    std::vector<std::string> lines;
    std::string users;
    try {
      ProjectMgr->ReadUsers(project, lines);
      for (const std::string& line : lines)
        users += (users.empty() ? "" : ", ") + line.substr(0, line.find('='));
      if (users.empty()) users = "(없음)";
    } catch (const EPasswordDbOutside& e) {
      // The dialog leaves such a file alone as well.
      users = "(관리하지 않음: 프로젝트 폴더 밖의 암호 파일 " + e.File + ")";
    }
    out << project << "\n"
        << "  " << kAnonAccess << " : " << Level(conf.ReadValue("general", "anon-access", "read"))
        << "\n"
        << "  " << kAuthAccess << " : " << Level(conf.ReadValue("general", "auth-access", "write"))
        << "\n"
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

struct TBackupOutcome {
  bool Ok = false;
  std::string Line;
  std::string ArchiveName; // the file written, when Ok
};

TBackupOutcome BackupProject(const std::string& project, const std::string& backupFolder,
                             TProgressBar& bar) {
  auto failed = [&](const std::string& reason) {
    return TBackupOutcome{false, project + ": " + kBackupFailed + " " + reason, ""};
  };
  TWorkFolder work(backupFolder, "orlenway-admin-");
  if (work.Path().empty())
    return failed("백업 폴더에 임시 폴더를 만들지 못했습니다 (" + work.Error() + ")");
  const std::string copy = AddPathDelimiter(work.Path()) + project;

  bar.Show(project + " 복사 중", 0);
  const TSvnAdminResult hotcopy = SvnAdminHotcopy(ProjectFolder(project), copy);
  if (!hotcopy.Ok) {
    bar.Clear();
    return failed("svnadmin hotcopy: " + hotcopy.Message);
  }

  const std::string archiveName = BackupArchiveName(project, std::time(nullptr));
  const std::string archivePath = AddPathDelimiter(backupFolder) + archiveName;
  TZip zip;
  ConfigureBackupZip(zip, AddPathDelimiter(copy), archivePath);
  // The builder's temporary file goes beside the copy, on the backup folder's file system.
  zip.TempDir = work.Path();
  std::string error;
  zip.OnError = [&](TZip&, const std::string& fileName, const std::string& extended,
                    const std::string&, int code) {
    if (code == zeOpenError || !error.empty()) return;
    error = TZip::ErrorText(code);
    if (!fileName.empty()) error += ": " + fileName;
    if (!extended.empty()) error += " (" + extended + ")";
  };
  zip.OnProgress = [&](TZip&, uint8_t, uint8_t byArchive) {
    bar.Show(project + " 압축 중", byArchive);
  };
  const int count = zip.BuildArchive();
  bar.Clear();
  // A copy that could not be read whole is no backup: the archive goes again.
  if (error.empty() && zip.UnreadableCount() > 0) {
    platform::DeleteFile(archivePath);
    error = "읽을 수 없어 빠진 파일 : " + std::to_string(zip.UnreadableCount()) + "개";
    if (!zip.UnreadableFiles().empty()) error += " (" + zip.UnreadableFiles().front() + ")";
  }
  if (error.empty() && count == 0) error = TZip::ErrorText(zeNothingToDo);
  if (!error.empty()) return failed(error);
  if (!work.Remove()) {
    return failed("임시 폴더를 지우지 못했습니다: " + work.Path());
  }
  std::string line =
      project + ": 프로젝트 폴더 압축을 완료하였습니다. 총 파일 갯수 : " + std::to_string(count) +
      ", 파일명 : " + archiveName;
  // The walk follows no link, so a conf/passwd shared through one is not in the archive: the
  // window's backup names such entries, and so does this line.
  if (zip.LinkCount() > 0) {
    const std::string base = AddPathDelimiter(copy);
    std::string names;
    for (const std::string& link : zip.SkippedLinks())
      names += (names.empty() ? "" : ", ") +
               (link.compare(0, base.size(), base) == 0 ? link.substr(base.size()) : link);
    if (zip.LinkCount() > zip.SkippedLinks().size()) names += ", ...";
    line += ", 링크여서 빠진 항목 : " + std::to_string(zip.LinkCount()) + "개 (" + names + ")";
  }
  return {true, line, archiveName};
}

int Backup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool terminal, int columns) {
  const TArguments a = ParseArguments(args, true, true);
  const std::optional<size_t> keep =
      a.Keep ? std::optional<size_t>(ParseKeep(*a.Keep)) : std::nullopt;
  NeedRepoPath();
  NeedSvnAdmin();
  const std::string folder = a.To ? *a.To : BasicSetting->BackupPath;
  if (folder.empty() || !platform::DirectoryExists(folder))
    throw TRefused(std::string(kNoBackupFolder) + " (" + folder + ")");
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
  int status = AdminExitOk;
  for (const std::string& project : projects) {
    if (!platform::DirectoryExists(ProjectFolder(project))) {
      out << project << ": " << kNoProjectFolder << "\n";
      status = AdminExitFailed;
      continue;
    }
    TBackupOutcome outcome = BackupProject(project, folder, bar);
    if (outcome.Ok && keep) {
      const TPruneResult pruned = PruneBackups(folder, project, *keep, outcome.ArchiveName);
      if (!pruned.Removed.empty())
        outcome.Line += ", 오래된 백업 " + std::to_string(pruned.Removed.size()) + "개 삭제";
      for (const std::string& f : pruned.Failed) {
        err << kTool << ": " << project << ": 오래된 백업을 지우지 못했습니다: " << f << "\n";
        status = AdminExitFailed;
      }
    }
    out << outcome.Line << "\n" << std::flush;
    if (!outcome.Ok) status = AdminExitFailed;
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
  int status = AdminExitOk;
  for (const std::string& project : projects) {
    bar.Show(project + " 검사 중", 0);
    const TSvnAdminResult r = SvnAdminVerify(ProjectFolder(project));
    bar.Clear();
    if (r.Ok) {
      out << project << ": 검사를 통과하였습니다.\n";
    } else {
      out << project << ": 검사에 실패하였습니다. " << r.Message << "\n";
      status = AdminExitFailed;
    }
    out << std::flush;
  }
  return status;
}

// ---- restore ---------------------------------------------------------------------------------

#ifdef ORLENWAY_ADMIN_RESTORE
int Restore(const std::vector<std::string>& args, std::ostream& out) {
  const TArguments a = ParseArguments(args, false, false);
  if (a.Names.size() != 2)
    throw TRefused("restore에는 압축 파일과 새 프로젝트 이름을 입력해주세요");
  const std::string archive = a.Names[0];
  const std::string name = text::Trim(a.Names[1]);
  NeedRepoPath();
  NeedSvnAdmin();
  if (!platform::FileExists(archive)) throw TRefused("압축 파일이 존재하지 않습니다: " + archive);
  const std::string root = BasicSetting->RepoPath;
  switch (CheckNewProjectName(root, name)) {
  case TProjectNameCheck::Empty:
    throw TRefused(kEnterName);
  case TProjectNameCheck::NotPlain:
    throw TRefused(std::string(kBadName) + " (" + name + ")");
  case TProjectNameCheck::Taken:
    throw TRefused(std::string(kNameTaken) + " (" + name + ")");
  case TProjectNameCheck::Ok:
    break;
  }
  const std::string target = AddPathDelimiter(root) + name;
  // Even an empty folder of that name is somebody's: a restore makes a new project only.
  platform::DirEntry existing;
  if (platform::GetEntry(target, existing))
    throw TRefused(std::string(kNameTaken) + " (" + name + ")");

  auto failed = [&](const std::string& reason) {
    out << name << ": 복원에 실패하였습니다. " << reason << "\n";
    return AdminExitFailed;
  };
  // Unpacked and checked out of sight (a hidden folder under the root, so the same file
  // system), and moved into place only when the check has passed.
  ReportAbandoned(RemoveAbandonedWorkFolders(root, "orlenway-restore-"), out);
  TWorkFolder work(root, "orlenway-restore-");
  if (work.Path().empty())
    return failed("저장소 폴더에 임시 폴더를 만들지 못했습니다 (" + work.Error() + ")");
  const std::string unpacked = AddPathDelimiter(work.Path()) + name;
  if (!platform::ForceDirectories(unpacked))
    return failed("임시 폴더를 만들지 못했습니다: " + platform::LastErrorMessage());
  const TUnpackResult r = UnpackArchive(archive, unpacked);
  if (!r.Ok) return failed(r.Error);
  const TSvnAdminResult verify = SvnAdminVerify(unpacked);
  if (!verify.Ok) return failed("svnadmin verify: " + verify.Message);
  if (platform::GetEntry(target, existing))
    return failed(std::string(kNameTaken) + " (" + name + ")");
  if (!platform::RenameFile(unpacked, target))
    return failed("새 프로젝트 폴더로 옮기지 못했습니다: " + platform::LastErrorMessage());
  out << name << ": 복원을 완료하였습니다. 총 파일 갯수 : " << r.Files
      << ", 검사를 통과하였습니다.\n";
  return AdminExitOk;
}
#endif

} // namespace

std::string ProgramSettingsFile() {
  return SettingsFileName(FolderOf(platform::ProgramPath()) + "orlenway");
}

int AdminMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool terminal, int columns) {
  const std::string command = args.empty() ? "" : args[0];
  if (command.empty() || command == "--help" || command == "-h" || command == "help") {
    (command.empty() ? err : out) << kHelp;
    return command.empty() ? AdminExitRefused : AdminExitOk;
  }
  if (command == "--version") {
    out << kTool << " " << ORLENWAY_VERSION << "\n";
    return AdminExitOk;
  }
  try {
    if (command != "list" && command != "backup" && command != "verify"
#ifdef ORLENWAY_ADMIN_RESTORE
        && command != "restore"
#endif
    ) {
#ifndef ORLENWAY_ADMIN_RESTORE
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
    if (command == "list") return List(args, out);
    if (command == "backup") return Backup(args, out, err, terminal, columns);
    if (command == "verify") return Verify(args, out, terminal, columns);
#ifdef ORLENWAY_ADMIN_RESTORE
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
