// What a real svnserve makes of the dialog's work: a project created, its access applied and a
// user registered and withdrawn, all through the dialog's own buttons.
#include "ProjectMgrTestKit.h"

#include "app/UfnScriptedPrompt.h"

#include <QPushButton>
#include <QToolButton>
#include <csignal>
#include <unistd.h>

using namespace projmgr_kit;

namespace {

// A daemon started by the test on a loopback port of its own, stopped by the pid it wrote.
class Svnserve {
public:
  explicit Svnserve(const std::string& root) : FPidFile(root + ".pid") {
    for (int attempt = 0; attempt < 5 && Pid <= 0; ++attempt) {
      Port = FreeLoopbackPort();
      RunResult r =
          Shell("svnserve -d --listen-host 127.0.0.1 --listen-port " + std::to_string(Port) +
                " -r " + Quote(root) + " --pid-file " + Quote(FPidFile));
      if (r.ExitCode != 0) continue; // the port was taken meanwhile
      for (int i = 0; i < 200 && Pid <= 0; ++i) {
        if (Exists(FPidFile)) Pid = std::atoi(ReadFile(FPidFile).c_str());
        if (Pid <= 0) ::usleep(25000);
      }
    }
    for (int i = 0; i < 200 && Pid > 0 && !PortAccepts(Port); ++i)
      ::usleep(25000);
  }
  ~Svnserve() {
    if (Pid <= 0) return;
    ::kill(Pid, SIGTERM);
    for (int i = 0; i < 200 && ::kill(Pid, 0) == 0; ++i)
      ::usleep(25000);
    if (::kill(Pid, 0) == 0) ::kill(Pid, SIGKILL);
  }
  std::string Url(const std::string& project) const {
    return "svn://127.0.0.1:" + std::to_string(Port) + "/" + project;
  }

  int Pid = 0;
  int Port = 0;

private:
  std::string FPidFile;
};

RunResult Svn(const std::string& args, const std::string& user = "",
              const std::string& password = "") {
  std::string cmd = "svn --non-interactive --no-auth-cache";
  if (!user.empty()) cmd += " --username " + Quote(user) + " --password " + Quote(password);
  return Shell(cmd + " " + args);
}

} // namespace

TEST_F(ProjectMgrDialog, ARealServerHonoursWhatTheDialogSet) {
  Users.Users = {"alice=wonder1", "bob=b2"};
  Svnserve server(Root.Path());
  ASSERT_GT(server.Pid, 0) << "svnserve did not start";
  const std::string url = server.Url("e2e");
  TScriptedPrompt prompt;
  Show([&](TfrmProjectMgr& f) {
    prompt.AnswerInput("e2e");
    f.btnAdd->click();
    Click(f.lvProject, "e2e");
    TfrmProjectMgr::SetItemIndex(f.rgAnonAccess, 0);
    TfrmProjectMgr::SetItemIndex(f.rgAuthAccess, 2);
    f.btnApplyAuth->click();
    Click(f.lvUnregUser, "alice");
    f.sbtnReg->click();
    ASSERT_EQ(Rows(f.lvRegUser), (Lines{"alice"}));

    RunResult r = Svn("ls " + Quote(url));
    EXPECT_NE(r.ExitCode, 0) << "anonymous read passed: " << r.Output;
    r = Svn("mkdir -m first " + Quote(url + "/trunk"), "alice", "wonder1");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    r = Svn("ls " + Quote(url), "alice", "wonder1");
    EXPECT_EQ(r.Output, "trunk/\n");
    r = Svn("ls " + Quote(url), "bob", "b2");
    EXPECT_NE(r.ExitCode, 0) << "an unregistered user read: " << r.Output;

    Click(f.lvRegUser, "alice");
    f.sbtnUnreg->click();
    r = Svn("ls " + Quote(url), "alice", "wonder1");
    EXPECT_NE(r.ExitCode, 0) << "a withdrawn user still reads: " << r.Output;
  });
  EXPECT_TRUE(prompt.Messages().empty());
  // The one commit landed in the repository the dialog made.
  EXPECT_EQ(Shell("svnlook youngest " + Quote(Root / "e2e")).Output, "1\n");
}
