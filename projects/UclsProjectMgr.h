// The projects: the direct subfolders of the repository root, and the users section of each
// project's password file.
#pragma once

#include "base/UfnErrors.h"
#include "projects/UfnProjectFiles.h"

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
  // The project's files under the current repository root: TProjectFiles says what each
  // of the following does.
  static TProjectFiles Files(const std::string& project);

  void ReadUsers(const std::string& project, std::vector<std::string>& list) const;
  void WriteUser(const std::string& project, const std::string& id, const std::string& password);
  void DeleteUser(const std::string& project, const std::string& id);
  bool HasUser(const std::string& project, const std::string& id) const;

  static std::string PasswordDbFile(const std::string& project);
  static std::string PasswdFile(const std::string& project);
  static std::string ConfigFile(const std::string& project);
};

// Whether `name`, already trimmed, may become a new project under the repository root `root`.
// The name becomes one word of the command line and one folder under the root: NotPlain for
// anything that names another folder, that the interpreter would expand inside double quotes
// ("$", "`", "%" for cmd.exe), that svnadmin would take for an option, or that the scan would
// hide (a leading "."). Taken for a file, or a folder that is not empty (or cannot be listed),
// already under that name: svnadmin fills only a new or empty folder.
// NotUtf8: the name's bytes are no UTF-8 text (Subversion and the catalogue could not show it).
enum class TProjectNameCheck { Ok, Empty, NotUtf8, NotPlain, Taken };
TProjectNameCheck CheckNewProjectName(const std::string& root, const std::string& name);
extern const char* const kNotUtf8Name;

extern TclsProjectMgr* ProjectMgr;
// Needs BasicSetting.
void InitProjectMgr();
void DoneProjectMgr();
