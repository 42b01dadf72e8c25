#include "base/UfnPaths.h"

#include "platform/UfnFiles.h"

std::string ExtractFilePath(const std::string& path) {
  size_t slash = path.rfind(platform::PathDelimiter());
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
  size_t slash = path.rfind(platform::PathDelimiter());
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileExt(const std::string& path) {
  size_t slash = path.rfind(platform::PathDelimiter());
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return path.substr(dot);
}

std::string FolderOf(const std::string& path) {
  size_t pos = path.rfind(platform::PathDelimiter());
  if (pos == std::string::npos) return ".";
  return pos == 0 ? path.substr(0, 1) : path.substr(0, pos);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char d = platform::PathDelimiter();
  std::string joined = folder;
  if (joined.back() != d) joined += d;
  size_t skip = 0;
  while (skip < name.size() && name[skip] == d)
    ++skip;
  return joined + name.substr(skip);
}
