#include "server/UfnAPI.h"

#include "platform/UfnPlatform.h"

bool RunCommand(const std::string& commandLine, bool wait) {
  try {
    return platform::RunShellCommand(commandLine, wait);
  } catch (...) {
    return false;
  }
}

int RunCommandOutput(const std::string& commandLine, std::string& output) {
  output.clear();
  try {
    platform::TProgramResult r = platform::RunShellProgram(commandLine);
    output = r.Output;
    if (!r.Started) output = platform::ErrorMessage(r.StartError);
    return r.Started ? r.ExitCode : -1;
  } catch (...) {
    return -1;
  }
}

std::string QuotedPath(const std::string& path) {
  return platform::InterpreterQuote(path);
}
