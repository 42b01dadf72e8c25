#include "admin/UfnSvnAdmin.h"

#include "base/UfnText.h"
#include "platform/UfnChildProcess.h"
#include "platform/UfnPlatform.h"
#include "server/UfnShell.h"
#include "settings/UclsBasicSetting.h"

#include <vector>

namespace {

#ifdef _WIN32
const char* const AdminImage = "svnadmin.exe";
#else
const char* const AdminImage = "svnadmin";
#endif

// The last line that says something: svnadmin ends its complaints with the reason.
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

TSvnAdminResult Run(const std::vector<std::string>& arguments) {
  const std::string program = SvnAdminPath();
  platform::TProgramResult r = platform::RunProgram(program, arguments);
  if (!r.Started) return {false, program + ": " + platform::ErrorMessage(r.StartError)};
  if (r.ExitCode == 0) return {true, ""};
  std::string message = LastLine(r.Output);
  if (message.empty()) message = "svnadmin exit code " + std::to_string(r.ExitCode);
  return {false, message};
}

} // namespace

std::string SvnAdminPath() {
  return AddPathDelimiter(AddPathDelimiter(BasicSetting->SVNPath) + "bin") + AdminImage;
}

TSvnAdminResult SvnAdminHotcopy(const std::string& repository, const std::string& target) {
  return Run({"hotcopy", repository, target});
}

TSvnAdminResult SvnAdminVerify(const std::string& repository) {
  return Run({"verify", "--quiet", repository});
}
