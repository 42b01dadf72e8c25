#include "server/UfnShell.h"

#include "platform/UfnPlatform.h"

std::string AddPathDelimiter(const std::string& path) {
  const char d = platform::PathDelimiter();
  if (!path.empty() && path.back() == d) return path;
  return path + d;
}

std::string GetSpecialFolderPath() { return platform::ProgramFilesFolder(); }
