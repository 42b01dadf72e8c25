#include "projects/UfnBackupJob.h"

#include "base/UfnPaths.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnBackup.h"
#include "projects/UfnBackupFolder.h"
#include "server/UfnShell.h"
#include "server/UfnSubversion.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

const char* const kBackupNoProjectFolder = "백업할 프로젝트 폴더가 존재하지 않습니다.";
const char* const kBackupNoBackupFolder = "백업 폴더가 존재하지 않습니다.";
const char* const kBackupStopServer = "백업을 진행하는 도중은 서버가 잠시 중지됩니다.\r\n\r\n"
                                      "백업을 진행하시겠습니까?";
const char* const kBackupFailedHead = "프로젝트 폴더 백업에 실패하였습니다.";
const char* const kBackupCopyStep = "svnadmin hotcopy";
const char* const kBackupVerifyStep = "svnadmin verify";

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

const char* const kStagingPrefix = ".orlenway-staging-";

// What the staging copy held when it was last packed, and into which archive. The file is
// there only while the copy is exactly that: it goes before the copy is touched, and comes
// back once the new archive is written, so a run that was killed leaves no file and the next
// one starts the copy anew.
struct TStagingState {
  std::string Revision;
  std::string Archive; // file name in the backup folder
  std::string Uuid;
};

bool ReadStagingState(const std::string& file, TStagingState& state) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::getline(in, state.Revision);
  std::getline(in, state.Archive);
  std::getline(in, state.Uuid);
  return in && !state.Revision.empty() && !state.Archive.empty() && !state.Uuid.empty();
}

bool WriteStagingState(const std::string& file, const TStagingState& state) {
  const std::string temp = file + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << state.Revision << "\n" << state.Archive << "\n" << state.Uuid << "\n";
    out.flush();
    if (!out) {
      platform::DeleteFile(temp);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, file, ec);
  if (ec) platform::DeleteFile(temp);
  return !ec;
}

bool IsRevision(const std::string& s) {
  if (s.empty() || s.size() > 10) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// svnlook's one-line answer, or "" when it failed.
std::string LookUp(const TSubversion& svn, const std::string& what, const std::string& repo) {
  const TSvnResult r = svn.Run("svnlook", {what, repo});
  return r.Ok() ? text::Trim(r.Output) : std::string();
}

TBackupResult StagedBackup(const TBackupRequest& request, TJobObserver& observer) {
  const TSubversion svn(request.Options.SVNPath);
  const std::string source = JoinPath(request.RepoPath, request.Project);
  const std::string staging = BackupStagingFolder(request.BackupFolder, request.Project);
  const std::string stateFile = BackupStagingStateFile(request.BackupFolder, request.Project);
  const std::string youngest = LookUp(svn, "youngest", source);
  const std::string uuid = LookUp(svn, "uuid", source);
  if (!IsRevision(youngest) || uuid.empty())
    return Failed("svnlook: " + svn.Youngest(source).Message);

  // A copy of another repository, one that changed behind the state's back, or one a killed
  // run left half updated is never packed: it is made anew.
  TStagingState state;
  const bool usable = ReadStagingState(stateFile, state) && state.Uuid == uuid &&
                      IsRevision(state.Revision) && platform::DirectoryExists(staging) &&
                      LookUp(svn, "uuid", staging) == uuid &&
                      LookUp(svn, "youngest", staging) == state.Revision &&
                      std::stoull(state.Revision) <= std::stoull(youngest);
  if (usable && !request.Options.Full && state.Revision == youngest &&
      platform::FileExists(JoinPath(request.BackupFolder, state.Archive))) {
    TBackupResult r;
    r.Outcome = TBackupOutcome::Done;
    r.Skipped = true;
    r.ArchivePath = JoinPath(request.BackupFolder, state.Archive);
    r.Revision = youngest;
    return r;
  }
  platform::DeleteFile(stateFile);
  if (platform::FileExists(stateFile))
    return Failed("백업 상태 파일을 지우지 못했습니다: " + stateFile);
  // From here a run that ends without a new archive leaves a copy no later run can build on:
  // it goes, and gives the backup folder's space back (a full disk is a common cause).
  struct TDiscard {
    const std::string& Folder;
    bool Keep = false;
    ~TDiscard() {
      if (!Keep && platform::DirectoryExists(Folder)) RemoveTree(Folder);
    }
  } discard{staging};

  observer.Progress(kBackupCopyStep, 0, 0);
  bool incremental = usable && !request.Options.Full;
  TSvnResult copy;
  if (incremental) {
    copy = svn.Hotcopy(source, staging, true);
    incremental = copy.Ok();
  }
  if (!incremental) {
    if (platform::DirectoryExists(staging) && !RemoveTree(staging))
      return Failed("이전 백업 사본을 지우지 못했습니다: " + staging);
    copy = svn.Hotcopy(source, staging);
    if (!copy.Ok()) {
      return Failed("svnadmin hotcopy: " + copy.Message);
    }
  }
  // The source may have moved on while it was copied: the copy says what it holds.
  const std::string copied = LookUp(svn, "youngest", staging);
  if (!IsRevision(copied)) {
    return Failed("svnlook youngest: " + svn.Youngest(staging).Message);
  }
  std::string range;
  if (incremental && copied != state.Revision)
    range = std::to_string(std::stoull(state.Revision) + 1) + ":" + copied;
  if (!incremental || !range.empty()) {
    observer.Progress(kBackupVerifyStep, 0, 0);
    const TSvnResult verify = svn.Verify(staging, range);
    if (!verify.Ok()) {
      return Failed("svnadmin verify: " + verify.Message);
    }
  }
  if (observer.Cancelled()) {
    TBackupResult r;
    r.Outcome = TBackupOutcome::Cancelled;
    return r;
  }

  TWorkFolder work(request.BackupFolder, kWorkPrefix);
  if (work.Path().empty())
    return Failed("백업 폴더에 임시 폴더를 만들지 못했습니다 (" + work.Error() + ")");
  const std::string archivePath =
      JoinPath(request.BackupFolder, BackupArchiveName(request.Project, std::time(nullptr)));
  TZip zip;
  TBackupResult r =
      Pack(zip, AddPathDelimiter(staging), archivePath, request.Options, observer, work.Path());
  r.Revision = copied;
  r.NewRevisions = incremental ? range : (copied == "0" ? "0" : "0:" + copied);
  if (r.Outcome != TBackupOutcome::Done) return r;
  discard.Keep = true;
  if (!WriteStagingState(stateFile, {copied, ExtractFileName(archivePath), uuid})) {
    // The archive is good; only the next run cannot build on this copy and starts anew.
    observer.Notify(TMsgIcon::Warning, "백업 상태 파일을 쓰지 못했습니다: " + stateFile);
  }
  return r;
}

} // namespace

std::string BackupStagingFolder(const std::string& backupFolder, const std::string& project) {
  return JoinPath(backupFolder, kStagingPrefix + project);
}

std::string BackupStagingStateFile(const std::string& backupFolder, const std::string& project) {
  return BackupStagingFolder(backupFolder, project) + ".state";
}

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
  if (request.Options.Hotcopy && request.Options.Incremental)
    return StagedBackup(request, observer);
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
