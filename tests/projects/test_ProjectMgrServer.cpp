// What a real svnserve makes of the dialog's work: a project created, its access applied and a
// user registered and withdrawn, all through the dialog's own buttons.
#include "ProjectMgrTestKit.h"

#include "support/SvnServe.h"
#include "support/UfnScriptedPrompt.h"

#include <QPushButton>
#include <QToolButton>
#include <csignal>
#include <unistd.h>

using namespace projmgr_kit;

TEST_F(ProjectMgrDialog, ARealServerHonoursWhatTheDialogSet) {
  Users.Users = {"alice=wonder1", "bob=b2"};
  TSvnServe server(Root.Path());
  ASSERT_GT(server.Pid, 0) << "svnserve did not start";
  const std::string url = server.Url("e2e");
  TScriptedPrompt prompt;
  Show([&](TfrmProjectMgr& f) {
    AddPrivateProject(f, prompt, "e2e", "alice");
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
