// Read-only mirrors: a project of this root that follows a repository elsewhere through
// svnsync. The mirror's revision-0 properties are its record (where it follows from, how far
// it got, when it last caught up); its hooks admit only its own sync, so nobody commits to it
// by mistake. Promoting a mirror ends the record and opens it for commits under the source's
// UUID, so that working copies of the lost source relocate to it.
#pragma once

#include "base/UfnJob.h"

#include <map>
#include <string>
#include <vector>

// The account name the mirror's sync writes under; its hooks let no other one change it.
extern const char* const MirrorSyncUser;

struct TMirrorSource {
  std::string Url; // svn://host[:port]/project or file:///path
  std::string User, Password;
};

enum class TMirrorOutcome {
  Done,
  Refused, // nothing was done: a bad name, a taken name, a bad URL, not a mirror, busy
  Failed   // tried and failed (the source is down, svnsync refused); Reason says why
};
struct TMirrorResult {
  TMirrorOutcome Outcome = TMirrorOutcome::Failed;
  std::string Reason;
  long LastMerged = -1; // the mirror's last merged revision after the job
  bool Ok() const { return Outcome == TMirrorOutcome::Done; }
};

struct TMirrorStatus {
  std::string Name;
  std::string Source;
  long LastMerged = -1;
  long SourceYoungest = -1; // -1: the source could not be asked
  std::string LastSyncTime; // UTC, ISO 8601; "" before the first successful sync
  std::string SourceError;  // why the source could not be asked
};

// file:// URL of a local folder.
std::string LocalRepositoryUrl(const std::string& folder);

// Writes the mirror's hooks into <root><name>/hooks (".bat" files on Windows): a
// pre-revprop-change and a start-commit that admit only MirrorSyncUser and refuse everyone
// else with a message naming `source`. False when a file cannot be written.
bool WriteMirrorHooks(const std::string& root, const std::string& name, const std::string& source);

// Makes `name` under `root` a mirror of `source`: a new repository (a hotcopy of the source
// when it is a file:// URL), the hooks, svnsync init and the first sync. Credentials are kept
// in the mirror's private Subversion configuration for later syncs. A mirror whose first sync
// failed stays, recorded, for the next sync.
TMirrorResult AddMirror(const std::string& svnPath, const std::string& root, std::string name,
                        const TMirrorSource& source, TJobObserver& observer);
// Brings the mirror up to the source's newest revision. A lock left by a sync that was killed
// is taken over; while another sync of this mirror runs, Refused.
TMirrorResult SyncMirror(const std::string& svnPath, const std::string& root,
                         const std::string& name, TJobObserver& observer);
// Whether the project is a mirror (its record is there).
bool IsMirror(const std::string& svnPath, const std::string& root, const std::string& name);
// The record, and the source's newest revision when `askSource`.
bool ReadMirrorStatus(const std::string& svnPath, const std::string& root, const std::string& name,
                      bool askSource, TMirrorStatus& status);
// The record as revision 0's properties (name -> value) hold it; false when they hold none.
bool MirrorRecordOf(const std::map<std::string, std::string>& revprops, TMirrorStatus& status);
// Asks the source of the mirror `status` names for its newest revision (a network call).
void AskMirrorSource(const std::string& svnPath, const std::string& root, TMirrorStatus& status);
// The mirrors among `projects`.
std::vector<std::string> ListMirrors(const std::string& svnPath, const std::string& root,
                                     const std::vector<std::string>& projects);
// Ends the record and removes the hooks that refuse commits; `promote` also gives the project
// the source's UUID so that the source's working copies relocate to it.
TMirrorResult StopMirror(const std::string& svnPath, const std::string& root,
                         const std::string& name, bool promote, TJobObserver& observer);
