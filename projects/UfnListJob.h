// The projects under the repository root as both front ends list them: each one's access
// levels and users, or why they are not shown.
#pragma once

#include <string>
#include <vector>

class TclsProjectMgr;

struct TProjectListing {
  std::string Name;
  // A folder without a repository's format file and db folder is listed, but only as that.
  bool Repository = false;
  // "none", "read" or "write"; "-" for another value. An absent key gives svnserve's
  // default ("read" for anonymous users, "write" for authenticated ones).
  std::string AnonAccess, AuthAccess;
  std::vector<std::string> Users; // IDs in file order
  // Set when the users are not the program's to show (a password file outside the project).
  std::string UsersNotManaged;
};

// Whether `folder` holds a Subversion repository: its format file and its db folder.
bool IsRepositoryFolder(const std::string& folder);

// Scans the repository root again (`projects` reads it from the settings) and describes each
// project.
std::vector<TProjectListing> ListProjects(TclsProjectMgr& projects, const std::string& repoPath);
