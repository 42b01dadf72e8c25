#include "settings/dxConfigManager.h"

#include "app/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "settings/UfnComponentText.h"

#include <cerrno>
#include <vector>

namespace {

// Error codes of the OS layer that mean the text could not be written (no room left, a size
// limit, a device fault), as opposed to the file not being creatable. POSIX errno values; a
// Windows layer maps its codes onto these.
bool IsWriteFault(int code) {
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
}

} // namespace

TCustomConfigManager::TCustomConfigManager(TComponent* owner) : TComponent(owner) {}

std::string ExpandFileName(const std::string& fileName) {
  if (fileName.empty()) return fileName;
  const char d = platform::PathDelimiter();
  std::string path = fileName;
  if (path.empty() || path[0] != d) {
    std::string cwd = platform::GetCurrentDir();
    if (cwd.empty() || cwd.back() != d) cwd += d;
    path = cwd + path;
  }
  std::vector<std::string> parts;
  size_t start = 1;
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
  std::string out;
  for (const std::string& part : parts)
    out += d + part;
  if (out.empty() || (!path.empty() && path.back() == d)) out += d;
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
  if (platform::WriteFileAtomic(ConfigFile, text)) return;
  const int code = platform::LastErrorCode();
  if (IsWriteFault(code)) throw EWriteError("Stream write error");
  throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(ConfigFile).c_str(),
                             platform::ErrorMessage(code).c_str()));
}
