#include "projects/UfnListJob.h"

#include "base/UfnPaths.h"
#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnProfileFile.h"

namespace {

// One of the three levels the dialog offers, or "-" when the file holds another value.
std::string Level(const std::string& value) {
  for (const char* level : {"none", "read", "write"})
    if (value == level) return value;
  return "-";
}

} // namespace

bool IsRepositoryFolder(const std::string& folder) {
  return platform::FileExists(JoinPath(folder, "format")) &&
         platform::DirectoryExists(JoinPath(folder, "db"));
}

std::vector<TProjectListing> ListProjects(TclsProjectMgr& projects, const std::string& repoPath) {
  projects.Refresh();
  std::vector<TProjectListing> list;
  for (const std::string& project : projects.Projects) {
    TProjectListing p;
    p.Name = project;
    p.Repository = IsRepositoryFolder(JoinPath(repoPath, project));
    if (!p.Repository) {
      list.push_back(p);
      continue;
    }
    ProfileFile conf(TclsProjectMgr::ConfigFile(project));
    p.AnonAccess = Level(conf.ReadValue("general", "anon-access", "read"));
    p.AuthAccess = Level(conf.ReadValue("general", "auth-access", "write"));
    try {
      std::vector<std::string> lines;
      projects.ReadUsers(project, lines);
      for (const std::string& line : lines)
        p.Users.push_back(line.substr(0, line.find('=')));
    } catch (const EPasswordDbOutside& e) {
      p.UsersNotManaged = e.File;
    }
    list.push_back(p);
  }
  return list;
}
