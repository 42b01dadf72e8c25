#include "support/TestGlobals.h"

#include "server/UclsSVN.h"

namespace testing_support {

TGlobals::TGlobals(const std::string& repoRoot, const std::string& stateFolder)
    : FOldSettings(BasicSetting), FOldUsers(UserMgr), FOldProjects(ProjectMgr), FOldSVN(SVN) {
  Settings.RepoPath = repoRoot;
  Users.FileName = stateFolder;
  if (!stateFolder.empty() && stateFolder.back() != '/' &&
      stateFolder.back() != platform::PathDelimiter())
    Users.FileName += platform::PathDelimiter();
  Users.FileName += "User.Dat";
  BasicSetting = &Settings;
  UserMgr = &Users;
  // The catalogue scans BasicSetting's root as it is made; should that fail, no global is
  // left pointing at this half-made fixture.
  try {
    Projects = std::make_unique<TclsProjectMgr>();
  } catch (...) {
    UserMgr = FOldUsers;
    BasicSetting = FOldSettings;
    throw;
  }
  ProjectMgr = Projects.get();
}

TGlobals::~TGlobals() {
  // The reverse order of making: a controller, made last (here or by the test), goes first.
  if (SVN != FOldSVN) DoneSVN();
  SVN = FOldSVN;
  ProjectMgr = FOldProjects;
  Projects.reset();
  UserMgr = FOldUsers;
  BasicSetting = FOldSettings;
}

void TGlobals::MakeServerController() {
  InitSVN();
}

} // namespace testing_support
