#include "server/UfnShell.h"

#include "platform/UfnPlatform.h"

std::string AddPathDelimiter(const std::string& path) {
  const char d = platform::PathDelimiter();
  if (!path.empty() && path.back() == d) return path;
  return path + d;
}

std::string GetSpecialFolderPath() {
  return platform::ProgramFilesFolder();
}

bool KillProcessByName(const std::string& imageName) {
  try {
    return platform::KillProcessesByName(imageName);
  } catch (...) {
    return false;
  }
}

bool DeleteToRecycleBin(const std::string& path) {
  try {
    std::string p = path;
    if (!p.empty() && p.back() == platform::PathDelimiter()) p.pop_back();
    if (p.empty()) return false;
    return platform::MoveToTrash(p);
  } catch (...) {
    return false;
  }
}
