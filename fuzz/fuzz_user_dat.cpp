// The User.Dat loader on arbitrary bytes: what it loads must save and load back the same,
// every account line must be found by its own ID, and lookups must hold whatever the bytes.
#include "platform/UfnPlatform.h"
#include "users/UclsUserMgr.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// One file per process, removed when it ends.
struct Scratch {
  std::string Path =
      platform::TempFolder() + "fuzz_user_dat." + std::to_string(::getpid()) + ".dat";
  ~Scratch() { ::unlink(Path.c_str()); }
};

const std::string& ScratchFile() {
  static const Scratch scratch;
  return scratch.Path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  TclsUserMgr mgr;
  mgr.FileName = ScratchFile();
  Check(platform::WriteFileAtomic(mgr.FileName, bytes));
  mgr.Load();
  Check(mgr.Users == TclsUserMgr::SplitLines(bytes));

  const std::string saved = TclsUserMgr::JoinLines(mgr.Users);
  Check(TclsUserMgr::SplitLines(saved) == mgr.Users);
  Check(saved.empty() == mgr.Users.empty());

  for (int32_t i = 0; i < mgr.Count(); ++i) {
    const std::string& line = mgr.Users[static_cast<size_t>(i)];
    Check(line.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    std::string id, password;
    mgr.GetUser(i, id, password);
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      Check(id.empty());
      continue;
    }
    Check(id == line.substr(0, eq));
    Check(mgr.Exists(id));
    Check(platform::SameTextIgnoreCase(id, id));
  }
  if (mgr.Count() > 0) {
    mgr.Delete(mgr.Count() - 1);
    mgr.Save();
    std::string back;
    Check(platform::ReadWholeFile(mgr.FileName, back) && back == TclsUserMgr::JoinLines(mgr.Users));
  }
  return 0;
}
