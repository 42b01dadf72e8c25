// orlenway-admin access ...: a project's access rules shown, set, removed and explained;
// orlenway-admin group ...: the groups of the repository root.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// `args` starts with "access". `root` and `svnPath` are the settings' RepoPath and SVNPath.
int AdminAccess(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const std::string& root, const std::string& svnPath);
// `args` starts with "group".
int AdminGroup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const std::string& root, const std::string& svnPath);
