// What a person asks of the projects under a repository root: create, delete, and the access
// levels of anonymous and signed-in users. Done once here for the project manager and
// orlenway-admin; each takes the root it works under and reports through an observer.
#pragma once

#include "base/UfnJob.h"

#include <functional>
#include <string>

// ---- access levels -----------------------------------------------------------------------

// The levels a project's svnserve.conf gives; Other for any value svnserve does not know
// (it then lets nobody in), which nothing writes.
enum class TAccessLevel { Other = -1, None = 0, Read = 1, Write = 2 };
struct TProjectAccess {
  TAccessLevel Anon = TAccessLevel::Other;
  TAccessLevel Auth = TAccessLevel::Other;
  bool operator==(const TProjectAccess&) const = default;
};

// "none", "read", "write"; "" for Other.
const char* AccessLevelName(TAccessLevel level);
// The level of a value as written (exact characters, letter case included).
TAccessLevel AccessLevelOf(const std::string& value);
// anon-access and auth-access of [general]; a key (or the file) that is absent gives what
// svnserve grants then: anonymous users read, signed-in users write.
TProjectAccess ReadProjectAccess(const std::string& root, const std::string& project);
// Writes each level that is not Other. False, writing nothing, when the project has no
// svnserve.conf; EWriteError when it cannot be written.
bool SetProjectAccess(const std::string& root, const std::string& project,
                      const TProjectAccess& access);

// ---- create ------------------------------------------------------------------------------

// How a front end runs "svnadmin create" for `name` under `root`: the window through the
// command interpreter in the root, orlenway-admin by argument vector. ExitCode -1 when it
// could not be run; Output says why.
struct TProgramRun {
  int ExitCode = -1;
  std::string Output;
};
using TSvnadminCreate =
    std::function<TProgramRun(const std::string& root, const std::string& name)>;

// Whether `root` names an existing folder: without one there is nowhere to create a project.
bool RepositoryRootExists(const std::string& root);

enum class TCreateProject { Created, Empty, NoRoot, NotPlain, Taken, Failed };
// Trims blanks and control characters from both ends of `name`, checks it
// (CheckNewProjectName), runs svnadmin and points the new repository's svnserve.conf at its
// passwd. `name` gets the trimmed name. Told through the observer as plain notices (kind
// None): a name that is no plain folder name or is taken; as an error: svnadmin's failure in
// its own words. Empty and NoRoot (the root is no folder) are not told: nothing was asked
// that the front end did not already say. EWriteError when svnserve.conf cannot be written.
TCreateProject CreateProject(const std::string& root, std::string& name,
                             const TSvnadminCreate& svnadmin, TJobObserver& observer);

// ---- delete ------------------------------------------------------------------------------

// Asks the observer, then moves the project's folder to the Trash. Declined when the answer
// was not Yes. Failed, told as an error, when `project` names no folder directly under the
// root (the root itself, "..", a path), when the root is empty, or when the move failed.
enum class TDeleteProject { Deleted, Declined, Failed };
TDeleteProject DeleteProject(const std::string& root, const std::string& project,
                             TJobObserver& observer);
