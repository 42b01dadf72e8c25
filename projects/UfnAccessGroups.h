// Groups of users, defined once for the whole repository root (Groups.Dat in the state folder,
// one "group=user,user" line each) and written into the [groups] section of every project's
// rules that uses them, so that each project and its backup stand alone.
#pragma once

#include "base/UfnJob.h"
#include "projects/UfnAccessJobs.h"

#include <string>
#include <vector>

class TSubversion;

// The head of the refusal to delete a group that rules still name; the rules follow.
extern const char* const kGroupNamedByRules;

// Groups.Dat in the state folder.
std::string GroupsFile();
// Lines that are not "name=members" with a valid name are passed over; a missing file is empty.
TAccessGroups LoadGroups(const std::string& file);
bool SaveGroups(const std::string& file, const TAccessGroups& groups);
// A group's name as [groups] takes it: no blank, "=", ":", ",", "@", "&", "~", "$", "#", "["
// or control character.
bool ValidGroupName(const std::string& name);

struct TGroupChange {
  bool Done = false;
  std::string Message; // why it was refused, or what was done
};

// Adds `users` to `group` (made when missing) and rewrites the group in every project under
// `root` whose rules define or name it.
TGroupChange AddGroupMembers(const TSubversion& svn, const std::string& root,
                             const std::string& file, const std::string& group,
                             const std::vector<std::string>& users, TJobObserver& observer);
// Removes `users` from the group, or the whole group when `users` is empty: refused while a
// rule of a project names it, with the rules listed.
TGroupChange RemoveGroupMembers(const TSubversion& svn, const std::string& root,
                                const std::string& file, const std::string& group,
                                const std::vector<std::string>& users, TJobObserver& observer);
