#include "server/UfnAPI.h"

#include "platform/UfnPlatform.h"

bool RunCommand(const std::string& commandLine, bool wait) {
  try {
    return platform::RunShellCommand(commandLine, wait);
  } catch (...) {
    return false;
  }
}

std::string QuotedPath(const std::string& path) {
  return platform::InterpreterQuote(path);
}
