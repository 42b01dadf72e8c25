#include "projects/UfnBackupJob.h"

#include "base/UfnPaths.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnBackup.h"
#include "projects/UfnBackupFolder.h"
#include "server/UfnShell.h"
#include "server/UfnSubversion.h"

#include <ctime>
#include <filesystem>
#include <system_error>

const char* const kBackupNoProjectFolder = "백업할 프로젝트 폴더가 존재하지 않습니다.";
const char* const kBackupNoBackupFolder = "백업 폴더가 존재하지 않습니다.";
const char* const kBackupStopServer = "백업을 진행하는 도중은 서버가 잠시 중지됩니다.\r\n\r\n"
                                      "백업을 진행하시겠습니까?";
const char* const kBackupFailedHead = "프로젝트 폴더 백업에 실패하였습니다.";
const char* const kBackupCopyStep = "svnadmin hotcopy";

namespace {

const char* const kNothingRead = "읽을 수 있는 파일이 없어 압축 파일을 만들지 못했습니다.";
const char* const kUnreadable = "읽을 수 없어 빠진 파일 : ";
const char* const kLostHead = "이 압축 파일에는 링크여서 빠진 저장소 항목(";
const char* const kLostTail = ")이 없어 이 백업으로는 저장소를 복원할 수 없습니다. 링크를 따라 "
                              "복사하는 orlenway-admin backup으로 백업하세요.";
const char* const kWorkPrefix = "orlenway-admin-";

// The parts of a repository that svnadmin create makes and a restore cannot do without (a
// link elsewhere, a shared conf/passwd say, leaves a repository that still restores).
const char* const kOwnParts[] = {"format",
                                 "db",
                                 "conf",
                                 "hooks",
                                 "locks",
                                 "db/revs",
                                 "db/revprops",
                                 "db/current",
                                 "db/format",
                                 "db/uuid",
                                 "db/fs-type",
                                 "db/txn-current",
                                 "db/transactions",
                                 "db/txn-protorevs"};

// `path` below `folder` with "/" between steps, or "" when it is not below it.
std::string Below(const std::string& folder, const std::string& path) {
  if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return "";
  std::string rel = path.substr(folder.size());
  for (char& c : rel)
    if (c == platform::PathDelimiter()) c = '/';
  while (!rel.empty() && rel.back() == '/')
    rel.pop_back();
  return rel;
}

bool IsOwnPart(const std::string& rel) {
  for (const char* part : kOwnParts)
    if (rel == part) return true;
  // A shard or a revision of its own on another disk is as lost as the whole folder.
  return rel.rfind("db/revs/", 0) == 0 || rel.rfind("db/revprops/", 0) == 0;
}

// The builder's events belong to the job for one run and go back to their owner afterwards.
class TRunEvents {
public:
  explicit TRunEvents(TZip& zip)
      : FZip(zip), FBegin(zip.OnBegin), FProgress(zip.OnProgress), FError(zip.OnError) {}
  ~TRunEvents() {
    FZip.OnBegin = FBegin;
    FZip.OnProgress = FProgress;
    FZip.OnError = FError;
  }
  TRunEvents(const TRunEvents&) = delete;
  TRunEvents& operator=(const TRunEvents&) = delete;

private:
  TZip& FZip;
  decltype(TZip::OnBegin) FBegin;
  decltype(TZip::OnProgress) FProgress;
  decltype(TZip::OnError) FError;
};

TBackupResult Pack(TZip& zip, const std::string& sourceFolder, const std::string& archivePath,
                   const TBackupOptions& options, TJobObserver& observer,
                   const std::string& tempDir) {
  TBackupResult result;
  result.ArchivePath = archivePath;
  result.PackedFolder = sourceFolder;
  TRunEvents events(zip);
  ConfigureBackupZip(zip, sourceFolder, archivePath);
  if (!tempDir.empty()) zip.TempDir = tempDir;

  std::string current;
  int total = 0;
  bool failed = false;
  auto cancelIfAsked = [&] {
    if (observer.Cancelled()) zip.Cancel();
  };
  zip.OnBegin = [&](TZip&, const std::string& fileName, int, bool&) {
    current = fileName;
    observer.Progress(current, 0, total);
    cancelIfAsked();
  };
  zip.OnProgress = [&](TZip&, uint8_t byFile, uint8_t byArchive) {
    total = byArchive;
    observer.Progress(current, byFile, byArchive);
    cancelIfAsked();
  };
  zip.OnError = [&](TZip&, const std::string& fileName, const std::string& extended,
                    const std::string&, int code) {
    // A file that cannot be opened is counted below; an empty folder is no failure.
    if (code == zeOpenError || code == zeNothingToDo || failed) return;
    failed = true;
    result.Reason = TZip::ErrorText(code);
    if (result.Reason.empty()) result.Reason = "Error " + std::to_string(code);
    if (!fileName.empty()) result.Reason += ": " + fileName;
    result.ReasonDetail = extended;
  };
  cancelIfAsked();
  result.Count = zip.BuildArchive(); // reports its errors through OnError, never raises
  result.UnreadableCount = zip.UnreadableCount();
  result.UnreadableFiles = zip.UnreadableFiles();
  result.LinkCount = zip.LinkCount();
  result.SkippedLinks = zip.SkippedLinks();

  // A cancel that came after the builder's last look still leaves a complete archive.
  if (observer.Cancelled() && result.Count == 0 && !failed) {
    result.Outcome = TBackupOutcome::Cancelled;
    return result;
  }
  if (failed) return result;
  if (options.Unreadable == TUnreadablePolicy::Fails) {
    // A copy that could not be read whole is no backup: the archive goes again.
    if (result.UnreadableCount > 0) {
      platform::DeleteFile(archivePath);
      result.Count = 0;
      result.Reason = kUnreadable + std::to_string(result.UnreadableCount) + "개";
      if (!result.UnreadableFiles.empty()) result.Reason += " (" + result.UnreadableFiles[0] + ")";
      return result;
    }
    if (result.Count == 0) {
      result.Reason = TZip::ErrorText(zeNothingToDo);
      return result;
    }
  } else if (result.Count == 0 && result.UnreadableCount > 0) {
    // Nothing could be read, so no archive was made: that is no backup either.
    result.Reason = kNothingRead;
    return result;
  }
  result.Outcome = TBackupOutcome::Done;
  if (result.Count == 0) return result;
  result.LostParts = LinkedRepositoryParts(sourceFolder, result.SkippedLinks);
  if (!result.LostParts.empty()) {
    std::string names;
    for (const std::string& part : result.LostParts)
      names += (names.empty() ? "" : ", ") + part;
    result.Outcome = TBackupOutcome::Warned;
    result.Warning = kLostHead + names + kLostTail;
  }
  return result;
}

TBackupResult Refused(const std::string& reason) {
  TBackupResult r;
  r.Outcome = TBackupOutcome::Refused;
  r.Reason = reason;
  return r;
}

TBackupResult Failed(const std::string& reason) {
  TBackupResult r;
  r.Outcome = TBackupOutcome::Failed;
  r.Reason = reason;
  return r;
}

// The copy first, with svnadmin hotcopy into a private folder beside the archive, then the
// copy packed: the server goes on serving meanwhile.
TBackupResult HotcopyAndPack(const TBackupRequest& request, TJobObserver& observer) {
  TWorkFolder work(request.BackupFolder, kWorkPrefix);
  if (work.Path().empty())
    return Failed("백업 폴더에 임시 폴더를 만들지 못했습니다 (" + work.Error() + ")");
  const std::string copy = JoinPath(work.Path(), request.Project);
  observer.Progress(kBackupCopyStep, 0, 0);
  // Without a trailing delimiter: svnadmin takes none on Windows.
  const TSvnResult hotcopy = TSubversion(request.Options.SVNPath)
                                 .Hotcopy(JoinPath(request.RepoPath, request.Project), copy);
  if (!hotcopy.Ok()) return Failed("svnadmin hotcopy: " + hotcopy.Message);
  if (observer.Cancelled()) {
    TBackupResult r;
    r.Outcome = TBackupOutcome::Cancelled;
    return r;
  }
  const std::string archivePath =
      JoinPath(request.BackupFolder, BackupArchiveName(request.Project, std::time(nullptr)));
  TZip zip;
  // The builder's temporary file goes beside the copy, on the backup folder's file system.
  TBackupResult r =
      Pack(zip, AddPathDelimiter(copy), archivePath, request.Options, observer, work.Path());
  if (r.Written() && !work.Remove()) {
    TBackupResult failed = Failed("임시 폴더를 지우지 못했습니다: " + work.Path());
    failed.ArchivePath = r.ArchivePath;
    return failed;
  }
  return r;
}

} // namespace

std::string BackupProjectFolder(const std::string& repoPath, const std::string& project) {
  return AddPathDelimiter(AddPathDelimiter(repoPath) + project);
}

std::string CheckBackup(const std::string& repoPath, const std::string& project,
                        const std::string& backupFolder) {
  if (!platform::DirectoryExists(BackupProjectFolder(repoPath, project)))
    return kBackupNoProjectFolder;
  if (backupFolder.empty() || !platform::DirectoryExists(backupFolder))
    return kBackupNoBackupFolder;
  return "";
}

TBackupResult BackupProject(const TBackupRequest& request, TJobObserver& observer) {
  const std::string check = CheckBackup(request.RepoPath, request.Project, request.BackupFolder);
  if (!check.empty()) return Refused(check);
  if (request.Options.Hotcopy) return HotcopyAndPack(request, observer);
  const std::string folder = BackupProjectFolder(request.RepoPath, request.Project);

  // The server must not write into the repository while it is packed.
  const bool running = request.ServerRunning && request.ServerRunning();
  if (running) {
    if (observer.Ask(kBackupStopServer, TMsgIcon::Warning, mbYes | mbNo) != mbYes)
      return Refused("");
    if (request.StopServer) request.StopServer();
  }
  // Whatever the run ends with, a server that ran is started again as soon as the archive
  // is built.
  struct TRestart {
    bool Running;
    const std::function<void()>& Start;
    ~TRestart() {
      if (Running && Start) Start();
    }
  } restart{running, request.StartServer};
  // Named now, after the stop.
  const std::string archivePath =
      JoinPath(request.BackupFolder, BackupArchiveName(request.Project, std::time(nullptr)));
  TZip zip;
  return Pack(zip, folder, archivePath, request.Options, observer, "");
}

TBackupResult PackBackup(TZip& zip, const std::string& sourceFolder, const std::string& archivePath,
                         const TBackupOptions& options, TJobObserver& observer) {
  return Pack(zip, sourceFolder, archivePath, options, observer, "");
}

std::vector<std::string> LinkedRepositoryParts(const std::string& folder,
                                               const std::vector<std::string>& links) {
  std::vector<std::string> parts;
  auto add = [&parts](const std::string& rel) {
    for (const std::string& p : parts)
      if (p == rel) return;
    parts.push_back(rel);
  };
  for (const std::string& link : links) {
    const std::string rel = Below(folder, link);
    if (!rel.empty() && IsOwnPart(rel)) add(rel);
  }
  // The builder names only the first few links: the usual places are looked at as well.
  for (const char* part : kOwnParts) {
    std::string path = folder + part;
    for (char& c : path)
      if (c == '/') c = platform::PathDelimiter();
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) add(part);
  }
  return parts;
}
