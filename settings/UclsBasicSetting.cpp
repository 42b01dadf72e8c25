#include "settings/UclsBasicSetting.h"

#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "server/UfnShell.h"

TclsBasicSetting* BasicSetting = nullptr;

TclsBasicSetting::TclsBasicSetting() : TCustomConfigManager(nullptr) {}
TclsBasicSetting::TclsBasicSetting(TComponent* owner) : TCustomConfigManager(owner) {}

int32_t TclsBasicSetting::GetPort() {
  if (FPort == 0) FPort = DefaultPort;
  return FPort;
}

void TclsBasicSetting::SetPort(int32_t value) {
  FPort = value == 0 ? DefaultPort : value;
}

void TclsBasicSetting::DeclareProperties(TPropertyList& list) {
  TCustomConfigManager::DeclareProperties(list);
  list.push_back(StringField<TclsBasicSetting>("SVNPath", &TclsBasicSetting::SVNPath));
  list.push_back(StringField<TclsBasicSetting>("RepoPath", &TclsBasicSetting::RepoPath));
  list.push_back(StringField<TclsBasicSetting>("BackupPath", &TclsBasicSetting::BackupPath));
  list.push_back(IntegerProperty<TclsBasicSetting>("Port", &TclsBasicSetting::GetPort,
                                                   &TclsBasicSetting::SetPort));
}

std::string SettingsFileName(const std::string& programPath) {
#ifdef _WIN32
  const std::string delimiters = ".\\:";
#else
  const std::string delimiters = "./";
#endif
  auto i = programPath.find_last_of(delimiters);
  if (i == std::string::npos || programPath[i] != '.') return programPath + ".ini";
  return programPath.substr(0, i) + ".ini";
}

std::string DefaultSVNPath(const std::string& programFilesFolder) {
#ifdef _WIN32
  return AddPathDelimiter(programFilesFolder) + "SubVersion";
#else
  if (programFilesFolder.empty()) return AddPathDelimiter("");
  return programFilesFolder;
#endif
}

void InitBasicSetting() {
  BasicSetting = new TclsBasicSetting();
  try {
    BasicSetting->ConfigFile = SettingsFileName(platform::ProgramPath());
    if (platform::FileExists(BasicSetting->ConfigFile)) BasicSetting->LoadConfig();
  } catch (...) {
    delete BasicSetting;
    BasicSetting = nullptr;
    throw;
  }
  if (BasicSetting->SVNPath.empty()) BasicSetting->SVNPath = DefaultSVNPath(GetSpecialFolderPath());
}

void DoneBasicSetting() {
  if (!BasicSetting) return;
  TclsBasicSetting* setting = BasicSetting;
  struct Release {
    TclsBasicSetting* object;
    ~Release() {
      delete object;
      BasicSetting = nullptr;
    }
  } release{setting};
  const std::string& file = setting->ConfigFile;
  auto i = file.rfind(platform::PathDelimiter());
  if (i != std::string::npos) platform::ForceDirectories(file.substr(0, i + 1));
  setting->SaveConfig();
}
