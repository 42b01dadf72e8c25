#include "settings/dxConfigManager.h"

#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "settings/UfnComponentText.h"

#include <cctype>
#include <cerrno>
#include <vector>

namespace {

// Error codes of the OS layer that mean the text could not be written (no room left, a size
// limit, a device fault), as opposed to the file not being creatable.
bool IsWriteFault(int code) {
#ifdef _WIN32
  // System error codes: the disk-full family, and ERROR_WRITE_FAULT (29).
  return platform::IsDiskFullError(code) || code == 29;
#else
  switch (code) {
  case ENOSPC:
#ifdef EDQUOT
  case EDQUOT:
#endif
  case EFBIG:
  case EIO:
    return true;
  default:
    return false;
  }
#endif
}

} // namespace

TCustomConfigManager::TCustomConfigManager(TComponent* owner) : TComponent(owner) {}

#ifdef _WIN32
// The root of a Windows path: "C:\", "\\server\share\", or "\" (of the current drive); and
// where the rest begins. Both delimiters are read, "\" is written.
static std::string WindowsRoot(const std::string& path, size_t& rest) {
  auto delim = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 2 && path[1] == ':') {
    rest = path.size() >= 3 && delim(path[2]) ? 3 : 2;
    return path.substr(0, 2) + "\\";
  }
  if (path.size() >= 2 && delim(path[0]) && delim(path[1])) {
    size_t server = path.find_first_of("\\/", 2);
    size_t share = server == std::string::npos ? server : path.find_first_of("\\/", server + 1);
    rest = share == std::string::npos ? path.size() : share + 1;
    std::string root = path.substr(0, rest);
    for (char& c : root)
      if (c == '/') c = '\\';
    if (root.back() != '\\') root += '\\';
    return root;
  }
  rest = 0;
  return "";
}
#endif

std::string ExpandFileName(const std::string& fileName) {
  if (fileName.empty()) return fileName;
  const char d = platform::PathDelimiter();
  std::string path = fileName;
#ifdef _WIN32
  for (char& c : path)
    if (c == '/') c = d;
  size_t rest = 0;
  std::string root = WindowsRoot(path, rest);
  std::string cwd = platform::GetCurrentDir();
  if (root.empty() || (rest == 2 && path.size() > 2)) {
    size_t cwdRest = 0;
    std::string cwdRoot = WindowsRoot(cwd, cwdRest);
    if (!root.empty()) {
      // "C:x" is relative to the current folder when that is on drive C:, else to C:\.
      bool same = !cwdRoot.empty() && std::toupper(static_cast<unsigned char>(cwdRoot[0])) ==
                                          std::toupper(static_cast<unsigned char>(root[0]));
      path = (same ? cwd + d : root) + path.substr(2);
    } else if (!path.empty() && path[0] == d) {
      path = cwdRoot + path.substr(1);
    } else {
      path = cwd + d + path;
    }
    root = WindowsRoot(path, rest);
  }
  std::vector<std::string> parts;
  size_t start = rest;
#else
  if (path.empty() || path[0] != d) {
    std::string cwd = platform::GetCurrentDir();
    if (cwd.empty() || cwd.back() != d) cwd += d;
    path = cwd + path;
  }
  const std::string root(1, d);
  std::vector<std::string> parts;
  size_t start = 1;
#endif
  while (start <= path.size()) {
    size_t end = path.find(d, start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (part != "." && !part.empty()) {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out = root;
  for (size_t i = 0; i < parts.size(); ++i)
    out += (i ? std::string(1, d) : "") + parts[i];
  if (!parts.empty() && !path.empty() && path.back() == d) out += d;
  return out;
}

void TCustomConfigManager::LoadConfig() {
  if (!platform::FileExists(ConfigFile)) return;
  std::string text;
  if (!platform::ReadWholeFile(ConfigFile, text))
    throw EFOpenError(Format("Cannot open file \"%s\". %s", ExpandFileName(ConfigFile).c_str(),
                             platform::LastErrorMessage().c_str()));
  ReadComponentText(text, *this);
}

void TCustomConfigManager::SaveConfig() {
  const std::string text = WriteComponentText(*this);
  // On a fresh account the state folder does not exist yet.
  const auto slash = ConfigFile.rfind(platform::PathDelimiter());
  if (slash != std::string::npos) platform::ForceDirectories(ConfigFile.substr(0, slash + 1));
  if (platform::WriteFileAtomic(ConfigFile, text)) return;
  const int code = platform::LastErrorCode();
  if (IsWriteFault(code)) throw EWriteError("Stream write error");
  throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(ConfigFile).c_str(),
                             platform::ErrorMessage(code).c_str()));
}
