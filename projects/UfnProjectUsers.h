// A project's users: who its password file lets in, which users of the registry it lacks,
// taking its users into the registry, granting and withdrawing. Done once here for the
// project manager and orlenway-admin. User IDs are compared by SameUserId everywhere, so a
// front end and the core agree on whether "Alice" is "alice".
#pragma once

#include "base/UfnJob.h"

#include <string>
#include <vector>

class TclsUserMgr;

struct TProjectUser {
  std::string Id;
  std::string Password;
  bool operator==(const TProjectUser&) const = default;
};

// The users of the project's password file as svnserve reads it, in file order, each with the
// password svnserve takes for that line's key. EPasswordDbOutside when the file is not the
// project's own.
std::vector<TProjectUser> ListProjectUsers(const std::string& root, const std::string& project);

// The registry's IDs that are none of `users`, in registry order; a line without an ID is no
// account a project could be given.
std::vector<std::string> UnregisteredUsers(const TclsUserMgr& registry,
                                           const std::vector<TProjectUser>& users);

// Adds to the registry, with the project's password, every user it lacks; each addition
// writes User.Dat. Passed over: a user that User.Dat cannot hold (a line break or a NUL byte
// in the ID or the password; svnserve reads a lone CR as part of the line), and a second user whose
// ID is the same as one already taken. Returns the IDs added.
std::vector<std::string> ImportProjectUsers(TclsUserMgr& registry,
                                            const std::vector<TProjectUser>& users);

// Writes each ID into the project's password file with the registry's password for it. The
// first error ends the job: the users before it are granted, the rest are not.
void GrantProjectUsers(const std::string& root, const std::string& project,
                       const TclsUserMgr& registry, const std::vector<std::string>& ids);

// Removes each ID from the project's password file, with every key of the file that is the
// same user (SameUserId). Returns the IDs the file still lets in because it refused the
// change, and tells them to the observer as an error.
std::vector<std::string> WithdrawProjectUsers(const std::string& root, const std::string& project,
                                              const std::vector<std::string>& ids,
                                              TJobObserver& observer);
