// The program's global objects for one test, bound to the test's own folders.
#pragma once

#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "settings/UclsBasicSetting.h"
#include "users/UclsUserMgr.h"

#include <memory>
#include <string>

class TclsSVN;

namespace testing_support {

// While it lives, BasicSetting, UserMgr and ProjectMgr point at its own objects: settings
// whose repository root is `repoRoot`, a registry on User.Dat in `stateFolder` (not read), and
// a catalogue that scanned the root. The server controller comes only on request. At the end
// SVN, ProjectMgr, UserMgr and BasicSetting get back what they held before, in that order.
class TGlobals {
public:
  explicit TGlobals(const std::string& repoRoot,
                    const std::string& stateFolder = platform::StateFolder());
  ~TGlobals();
  TGlobals(const TGlobals&) = delete;
  TGlobals& operator=(const TGlobals&) = delete;

  // Makes SVN. Freeing it stops the server it recorded.
  void MakeServerController();

  TclsBasicSetting Settings;
  TclsUserMgr Users;
  std::unique_ptr<TclsProjectMgr> Projects;

private:
  TclsBasicSetting* FOldSettings;
  TclsUserMgr* FOldUsers;
  TclsProjectMgr* FOldProjects;
  TclsSVN* FOldSVN;
};

} // namespace testing_support
