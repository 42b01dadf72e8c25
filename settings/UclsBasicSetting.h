// The settings object: the four server settings, stored in the settings file in
// the component text format, and the start and end steps that create and release the global.
#pragma once

#include "settings/dxConfigManager.h"

#include <cstdint>
#include <string>

class TclsBasicSetting : public TCustomConfigManager {
public:
  TclsBasicSetting(); // no owner, no name
  explicit TclsBasicSetting(TComponent* owner);

  std::string ClassName() const override { return "TclsBasicSetting"; }

  // Folder values are kept exactly as set: no delimiter added or removed, nothing trimmed.
  std::string SVNPath;    // the Subversion installation folder (its bin folder holds svnserve)
  std::string RepoPath;   // the repository root: each direct subfolder is a project
  std::string BackupPath; // the folder that receives the backup archives

  // The server's TCP port. GetPort: a stored 0 becomes 3690 (the Subversion port), then the
  // stored value is returned, so a read never yields 0. SetPort: 0 stores 3690; any other
  // value, negative or above 65535 included, is stored unchanged.
  int32_t GetPort();
  void SetPort(int32_t value);

  static constexpr int32_t DefaultPort = 3690;

protected:
  // SVNPath, RepoPath, BackupPath (strings, left out when empty), then Port (no default:
  // always written).
  void DeclareProperties(TPropertyList& list) override;

private:
  int32_t FPort = 0;
};

// The global settings object: nullptr outside InitBasicSetting .. DoneBasicSetting.
extern TclsBasicSetting* BasicSetting;

// Creates BasicSetting, binds it to SettingsFileName(platform::ProgramPath()), loads that file
// when it exists, and gives an empty SVNPath its default (DefaultSVNPath). When the load
// fails, the object is freed, the global cleared and the error re-raised: the program then
// ends without DoneBasicSetting, and the unreadable file is left as it was.
void InitBasicSetting();

// Creates the folder of ConfigFile with its missing parents, saves, frees the object and
// clears the global (also when the save fails; its error is then re-raised). Does nothing
// when there is no object.
void DoneBasicSetting();

// The settings file for a program path: the extension (the part from the last full stop that
// follows the last path delimiter, or on Windows a drive colon) replaced by ".ini"; a name
// without extension gets ".ini" appended.
std::string SettingsFileName(const std::string& programPath);

// The default SVNPath for a Program Files folder (GetSpecialFolderPath()).
// Windows: AddPathDelimiter(folder) + "SubVersion" ("\\SubVersion" for an empty folder).
// POSIX: the folder itself, where Debian's subversion has bin/svnserve ("/usr"); for an empty
// folder the root "/", whose bin folder is the same on a merged-/usr system.
std::string DefaultSVNPath(const std::string& programFilesFolder);
