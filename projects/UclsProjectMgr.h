// The projects: the direct subfolders of the repository root, and the users section of each
// project's password file.
#pragma once

#include "base/UfnErrors.h"

#include <cstdint>
#include <string>
#include <vector>

// The project's password file lies outside its folder (password-db, or a link, leads there):
// the program does not manage such a file. The message names the file and the reason.
class EPasswordDbOutside : public Exception {
public:
  EPasswordDbOutside(const std::string& message, const std::string& file)
      : Exception(message), File(file) {}
  std::string File;
};

class TclsProjectMgr {
public:
  // Scans the repository root.
  TclsProjectMgr();

  // Folder names in the order of the last scan, not sorted.
  std::vector<std::string> Projects;

  // Scans BasicSetting->RepoPath again: every direct subfolder that is not hidden.
  void Refresh();
  int32_t Count() const;
  // "" for an index outside the list.
  std::string GetProject(int32_t index) const;
  // The users below live in the password file that the project's svnserve.conf names
  // (PasswordDbFile). Each raises EPasswordDbOutside, reading or changing nothing, when that
  // file lies outside the project's folder.

  // Clears `list`, then "ID=password" for each user of the project's password file, in file
  // order.
  void ReadUsers(const std::string& project, std::vector<std::string>& list) const;
  // Adds the user to the project's password file or replaces the password; EWriteError
  // "Unable to write to <path>" when the file cannot be written (no conf folder). A
  // svnserve.conf without password-db then gets "passwd", or svnserve would let nobody in.
  void WriteUser(const std::string& project, const std::string& id, const std::string& password);
  // Removes the user from the project's password file; a file that refuses is not reported
  // (HasUser tells).
  void DeleteUser(const std::string& project, const std::string& id);
  // The project's password file still has a line for exactly this ID (svnserve's keys are
  // exact).
  bool HasUser(const std::string& project, const std::string& id) const;

  // The password file svnserve reads for the project: password-db of [general] in its
  // svnserve.conf, taken from the conf folder or, when absolute, as it stands; PasswdFile
  // when the key is absent.
  static std::string PasswordDbFile(const std::string& project);
  // <root><project>/conf/passwd for the current repository root.
  static std::string PasswdFile(const std::string& project);
  // <root><project>/conf/svnserve.conf for the current repository root.
  static std::string ConfigFile(const std::string& project);
};

// Whether `name`, already trimmed, may become a new project under the repository root `root`.
// The name becomes one word of the command line and one folder under the root: NotPlain for
// anything that names another folder, that the interpreter would expand inside double quotes
// ("$", "`", "%" for cmd.exe), that svnadmin would take for an option, or that the scan would
// hide (a leading "."). Taken for a file, or a folder that is not empty (or cannot be listed),
// already under that name: svnadmin fills only a new or empty folder.
enum class TProjectNameCheck { Ok, Empty, NotPlain, Taken };
TProjectNameCheck CheckNewProjectName(const std::string& root, const std::string& name);

extern TclsProjectMgr* ProjectMgr;
// Needs BasicSetting.
void InitProjectMgr();
void DoneProjectMgr();
