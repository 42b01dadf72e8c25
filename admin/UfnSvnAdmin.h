// The administration program of the configured Subversion installation, run directly (no
// command interpreter) so that a project or folder name is always one argument.
#pragma once

#include <string>

struct TSvnAdminResult {
  bool Ok = false;
  // The program's last line of output when it failed, or why it could not run.
  std::string Message;
};

// <SVNPath>/bin/svnadmin (svnadmin.exe on Windows) for the current settings.
std::string SvnAdminPath();
// A consistent copy of a live repository into `target`, which must not exist yet; the
// server may go on serving and committing meanwhile.
TSvnAdminResult SvnAdminHotcopy(const std::string& repository, const std::string& target);
// Checks every revision of the repository.
TSvnAdminResult SvnAdminVerify(const std::string& repository);
