#include "server/UfnSubversion.h"

#include "base/UfnPaths.h"
#include "base/UfnText.h"
#include "platform/UfnChildProcess.h"
#include "platform/UfnSystemErrors.h"

#include <string_view>
#include <utility>

namespace {

// The last line that says something: Subversion's programs end their complaints with the
// reason.
std::string LastLine(const std::string& output) {
  std::string last;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = text::Trim(std::string_view(output).substr(start, end - start));
    if (!line.empty()) last = line;
    start = end + 1;
  }
  return last;
}

} // namespace

TSubversion::TSubversion(std::string svnPath) : FSVNPath(std::move(svnPath)) {}

std::string TSubversion::BinFolder() const {
  return JoinPath(FSVNPath, "bin");
}

std::string TSubversion::Image(const std::string& name) {
#ifdef _WIN32
  return name + ".exe";
#else
  return name;
#endif
}

std::string TSubversion::Program(const std::string& name) const {
  return JoinPath(BinFolder(), Image(name));
}

TSvnResult TSubversion::Run(const std::string& program,
                            const std::vector<std::string>& arguments) const {
  const std::string path = Program(program);
  platform::TProgramResult r = platform::RunProgram(path, arguments);
  TSvnResult result;
  result.Started = r.Started;
  result.ExitCode = r.ExitCode;
  result.Output = std::move(r.Output);
  if (!r.Started) {
    result.Message = path + ": " + platform::ErrorMessage(r.StartError);
  } else if (r.ExitCode != 0) {
    result.Message = LastLine(result.Output);
    if (result.Message.empty())
      result.Message = program + " exit code " + std::to_string(r.ExitCode);
  }
  return result;
}

TSvnResult TSubversion::Hotcopy(const std::string& repository, const std::string& target,
                                bool incremental) const {
  if (incremental) return Run("svnadmin", {"hotcopy", "--incremental", repository, target});
  return Run("svnadmin", {"hotcopy", repository, target});
}

TSvnResult TSubversion::Verify(const std::string& repository, const std::string& revision) const {
  if (!revision.empty()) return Run("svnadmin", {"verify", "--quiet", "-r", revision, repository});
  return Run("svnadmin", {"verify", "--quiet", repository});
}

TSvnResult TSubversion::Dump(const std::string& repository, const std::string& file) const {
  return Run("svnadmin", {"dump", "--quiet", "--file", file, repository});
}

TSvnResult TSubversion::Youngest(const std::string& repository) const {
  return Run("svnlook", {"youngest", repository});
}

TSvnResult TSubversion::Info(const std::string& repository) const {
  return Run("svnlook", {"info", repository});
}

TSvnResult TSubversion::Tree(const std::string& repository, const std::string& path) const {
  if (path.empty()) return Run("svnlook", {"tree", repository});
  return Run("svnlook", {"tree", repository, path});
}

TSvnResult TSubversion::AuthzValidate(const std::string& rulesFile) const {
  return Run("svnauthz", {"validate", rulesFile});
}

TSvnResult TSubversion::AuthzAccessOf(const std::string& rulesFile, const std::string& user,
                                      const std::string& repository,
                                      const std::string& path) const {
  return Run("svnauthz", {"accessof", "--username", user, "--repository", repository, "--path",
                          path, rulesFile});
}

TSvnResult TSubversion::ServerVersion() const {
  return Run("svnserve", {"--version"});
}
