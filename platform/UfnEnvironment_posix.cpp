// POSIX environment: the C library's variables.
#include "platform/UfnEnvironment.h"

#include <cstdlib>
#include <unistd.h>

extern char** environ;

namespace platform {

std::string GetEnv(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  return v ? v : "";
}

bool SetEnv(const std::string& name, const std::string& value) {
  return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool HasEnv(const std::string& name) {
  return std::getenv(name.c_str()) != nullptr;
}

bool UnsetEnv(const std::string& name) {
  return ::unsetenv(name.c_str()) == 0;
}

char SearchPathSeparator() {
  return ':';
}

std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    env.emplace_back(*e);
  auto plain = [](const std::string& v) { return v == "C" || v == "POSIX"; };
  auto set = [&env](const std::string& name, const std::string& value) {
    for (std::string& e : env)
      if (e.compare(0, name.size() + 1, name + "=") == 0) {
        e = name + "=" + value;
        return;
      }
    env.push_back(name + "=" + value);
  };
  // The first of these that is set decides the character type.
  const std::string all = GetEnv("LC_ALL"), ctype = GetEnv("LC_CTYPE"), lang = GetEnv("LANG");
  if (!all.empty()) {
    if (plain(all)) set("LC_ALL", "C.UTF-8");
  } else if (!ctype.empty()) {
    if (plain(ctype)) set("LC_CTYPE", "C.UTF-8");
  } else if (lang.empty() || plain(lang)) {
    set("LC_CTYPE", "C.UTF-8");
  }
  return env;
}

std::string HostName() {
  char name[256] = "";
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

} // namespace platform
