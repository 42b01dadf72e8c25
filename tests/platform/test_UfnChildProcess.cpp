// Child processes waited for: their exit codes and output, also when the program was started
// with SIGCHLD ignored, as some launchers leave it.
#include "platform/UfnChildProcess.h"

#include <csignal>
#include <gtest/gtest.h>

namespace {

// Sets SIGCHLD's disposition for one test and puts the old one back.
class TChildSignal {
public:
  explicit TChildSignal(void (*handler)(int), int flags = 0) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sa.sa_flags = flags;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGCHLD, &sa, &FOld);
  }
  ~TChildSignal() { ::sigaction(SIGCHLD, &FOld, nullptr); }

private:
  struct sigaction FOld {};
};

void Noop(int) {}

void ExpectExitCodes() {
  platform::TProgramResult ok = platform::RunProgram("/bin/sh", {"-c", "echo out; echo err >&2"});
  EXPECT_TRUE(ok.Started);
  EXPECT_EQ(ok.ExitCode, 0);
  EXPECT_EQ(ok.Output, "out\nerr\n");
  EXPECT_EQ(platform::RunProgram("/bin/sh", {"-c", "exit 3"}).ExitCode, 3);
  EXPECT_EQ(platform::RunProgram("/bin/sh", {"-c", "kill -KILL $$"}).ExitCode, -1);
  platform::TProgramResult missing = platform::RunProgram("/nonexistent/orlenway-tool", {});
  EXPECT_NE(missing.ExitCode, 0);
}

} // namespace

TEST(ChildProcess, ExitCodesComeBackWhateverSigchldWasLeftAt) {
  ExpectExitCodes();
  {
    TChildSignal ignored(SIG_IGN);
    ExpectExitCodes();
  }
  {
    TChildSignal noWait(Noop, SA_NOCLDWAIT);
    ExpectExitCodes();
  }
}
