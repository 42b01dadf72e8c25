// Backing up a project: the checks, the archive's name, the server stopped for the run and
// started again, the archive built by TZip as ConfigureBackupZip sets it up, and the outcome
// with its counts, the files that could not be read and the links left out. The window and
// orlenway-admin both run it; where they differ (what an unreadable file means, whether the
// project is copied with svnadmin hotcopy first), it is an option.
#pragma once

#include "archive/UZip.h"
#include "base/UfnJob.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

enum class TUnreadablePolicy {
  Listed, // the archive holds what could be read; the outcome names the rest (the window)
  Fails   // a file that could not be read, or nothing packed, fails the project (unattended)
};

struct TBackupOptions {
  TUnreadablePolicy Unreadable = TUnreadablePolicy::Listed;
  // Copies the project with svnadmin hotcopy into a private folder in the backup folder and
  // packs the copy, so that the server may go on serving and committing. Needs SVNPath.
  bool Hotcopy = false;
  std::string SVNPath;
  // With Hotcopy: the copy is a staging copy kept in the backup folder between runs and
  // brought up to date with svnadmin hotcopy --incremental; only the new revisions are
  // verified on it. A project unchanged since its newest good archive is skipped.
  bool Incremental = false;
  // With Incremental: the staging copy is made anew and verified whole.
  bool Full = false;
};

enum class TBackupOutcome {
  Done,      // the archive is written
  Warned,    // the archive is written but cannot restore the repository (Warning)
  Failed,    // no archive; Reason tells why
  Cancelled, // no archive; the observer asked to stop
  Refused    // nothing was done: a check failed or the administrator said no; Reason tells
};

struct TBackupResult {
  TBackupOutcome Outcome = TBackupOutcome::Failed;
  std::string Reason;       // Failed, Refused: why, one line
  std::string ReasonDetail; // Failed: the system's words, when there are any
  std::string ArchivePath;  // the archive's full path, once it is named
  std::string PackedFolder; // the folder that was packed, ending with the delimiter
  int Count = 0;            // entries written
  size_t UnreadableCount = 0;
  std::vector<std::string> UnreadableFiles; // the first few, full paths
  size_t LinkCount = 0;
  std::vector<std::string> SkippedLinks; // the first few, full paths
  // The repository's own parts that were links and are not in the archive (below the
  // project folder, "/" between steps), and the Warning that says what that means.
  std::vector<std::string> LostParts;
  std::string Warning;
  // Incremental: nothing new since ArchivePath, the newest good archive (Outcome is Done, no
  // archive was written).
  bool Skipped = false;
  // Incremental: the revisions this archive added to the last one's ("" when none), and the
  // newest revision it holds.
  std::string NewRevisions;
  std::string Revision;
  bool Written() const {
    return Outcome == TBackupOutcome::Done || Outcome == TBackupOutcome::Warned;
  }
};

// What a backup needs, as values: no global object is read.
struct TBackupRequest {
  std::string RepoPath;     // the repository root
  std::string Project;      // a folder directly under it
  std::string BackupFolder; // where the archive goes
  TBackupOptions Options;
  // The server: whether it runs, and how it is stopped and started again. Left empty, it is
  // not touched (orlenway-admin's hotcopy needs no stop).
  std::function<bool()> ServerRunning;
  std::function<void()> StopServer;
  std::function<void()> StartServer;
};

// The texts of the checks, as the project manager shows them.
extern const char* const kBackupNoProjectFolder;
extern const char* const kBackupNoBackupFolder;
extern const char* const kBackupStopServer;
extern const char* const kBackupFailedHead;

// The project folder: <root>/<project>/, ending with the delimiter.
std::string BackupProjectFolder(const std::string& repoPath, const std::string& project);
// The text of the first check that fails, or "": the project folder and the backup folder
// must exist.
std::string CheckBackup(const std::string& repoPath, const std::string& project,
                        const std::string& backupFolder);

// The whole run: the checks, the question before a running server is stopped (asked through
// the observer; any answer but Yes refuses), the stop, the archive's name taken after it, the
// archive, and the start again as soon as the archive is built, whatever the outcome.
TBackupResult BackupProject(const TBackupRequest& request, TJobObserver& observer);

// Packs `sourceFolder` (ending with the delimiter) into a new archive at `archivePath` with
// `zip`, whose event handlers are the job's for the run and given back afterwards. The
// observer hears each entry and the progress (Progress: the entry's full path, its share and
// the archive's), and is asked between entries whether to stop.
TBackupResult PackBackup(TZip& zip, const std::string& sourceFolder, const std::string& archivePath,
                         const TBackupOptions& options, TJobObserver& observer);

// The repository's own parts (format, db, db/revs and what is in it, db/revprops and what is
// in it, db/current and the like, conf, hooks, locks) among
// `links` (full paths below `folder`, which ends with the delimiter) and at their usual
// places: those that are links, below `folder` with "/" between steps.
std::vector<std::string> LinkedRepositoryParts(const std::string& folder,
                                               const std::vector<std::string>& links);

// The item of the observer's Progress while svnadmin hotcopy copies the project.
extern const char* const kBackupCopyStep;
// The item of the observer's Progress while svnadmin verify checks the copy.
extern const char* const kBackupVerifyStep;

// The project's staging copy in the backup folder (hidden, never a project of the catalogue)
// and the file beside it that names the revision and the archive it was last packed into.
std::string BackupStagingFolder(const std::string& backupFolder, const std::string& project);
std::string BackupStagingStateFile(const std::string& backupFolder, const std::string& project);
