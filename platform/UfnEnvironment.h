// The program's environment variables, and the environment its children get.
#pragma once

#include <string>
#include <vector>

namespace platform {

std::string GetEnv(const std::string& name);
bool SetEnv(const std::string& name, const std::string& value);
// Whether the variable exists at all (GetEnv gives "" for both unset and empty).
bool HasEnv(const std::string& name);
bool UnsetEnv(const std::string& name);
// The search-path list separator (":" on POSIX, ";" on Windows).
char SearchPathSeparator();
// The environment for the programs this one runs: its own, except that where it gives the
// C or POSIX character type, or none, the children get C.UTF-8; in a C locale Subversion's
// programs refuse every path beyond ASCII (a Korean project name, say). Windows: not used,
// children inherit the environment.
std::vector<std::string> ChildEnvironment();
// The machine's name, as clients address it on the local network; "localhost" when the
// system gives none.
std::string HostName();

} // namespace platform
