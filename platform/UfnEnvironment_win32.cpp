// Windows environment: the process's variables. Children inherit them as they are.
#include "platform/UfnEnvironment.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace platform {

std::string GetEnv(const std::string& name) {
  DWORD n = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (n == 0) return "";
  std::string buf(n, '\0');
  n = ::GetEnvironmentVariableA(name.c_str(), buf.data(), n);
  buf.resize(n < buf.size() ? n : 0);
  return buf;
}

bool SetEnv(const std::string& name, const std::string& value) {
  return ::SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
}

bool HasEnv(const std::string& name) {
  // An empty variable also gives 0: only the error code tells it from a missing one.
  ::SetLastError(ERROR_SUCCESS);
  if (::GetEnvironmentVariableA(name.c_str(), nullptr, 0) != 0) return true;
  return ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

bool UnsetEnv(const std::string& name) {
  return ::SetEnvironmentVariableA(name.c_str(), nullptr) != 0;
}

char SearchPathSeparator() {
  return ';';
}

std::vector<std::string> ChildEnvironment() {
  return {};
}

std::string HostName() {
  char name[256] = "";
  DWORD size = sizeof name;
  if (!::GetComputerNameExA(ComputerNameDnsHostname, name, &size) || name[0] == '\0')
    return "localhost";
  return name;
}

} // namespace platform
