#include "server/UfnAPI.h"

#include "platform/UfnPlatform.h"
#include "support/TestSupport.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace testing_support;

TEST(RunCommand, WaitingIsTrueWhateverTheExitCodeAndFalseWhenKilled) {
  TempDir t;
  EXPECT_TRUE(RunCommand("echo ran > " + Quote(t / "out") + "; exit 1", true));
  EXPECT_EQ(ReadFile(t / "out"), "ran\n"); // it had ended before the return
  EXPECT_TRUE(RunCommand("exit 0", true));
  // An interpreter ended by a signal did not end in an orderly way.
  EXPECT_FALSE(RunCommand("kill -9 $$", true));
}

TEST(RunCommand, ChildRunsInTheCurrentFolderWithTheEnvironmentAndNullHandles) {
  TempDir t;
  std::string before = platform::GetCurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(t.Path()));
  platform::SetEnv("ORLENWAY_PROBE", "value with blanks");
  // A descriptor the program holds without close-on-exec must not reach the child.
  int leaky = ::open("/dev/zero", O_RDONLY);
  ASSERT_GE(leaky, 3);
  // The interpreter looks at its own descriptors before any redirection opens new ones.
  std::string fd = std::to_string(leaky);
  bool ok = RunCommand("o=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2); "
                       "if [ -e /proc/$$/fd/" +
                           fd +
                           " ]; then l=leaked; else l=clean; fi; "
                           "echo \"$o\" > std; echo $l > fds; pwd > here; "
                           "echo \"$ORLENWAY_PROBE\" > env",
                       true);
  ::close(leaky);
  platform::SetCurrentDir(before);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ReadFile(t / "here"), t.Path() + "\n");
  EXPECT_EQ(ReadFile(t / "env"), "value with blanks\n");
  EXPECT_EQ(ReadFile(t / "fds"), "clean\n");
  EXPECT_EQ(ReadFile(t / "std"), "/dev/null\n/dev/null\n/dev/null\n");
}

TEST(RunCommand, NotWaitingReturnsAtOnceAndLeavesNothingBehind) {
  TempDir t;
  std::string cwd = platform::GetCurrentDir();
  int fds = OpenDescriptorCount();

  // The interpreter itself starts, so a program that does not exist still gives true.
  EXPECT_TRUE(RunCommand("/nonexistent/program-of-nobody --flag", false));
  EXPECT_TRUE(RunCommand("no-such-program-anywhere", false));

  // The command goes on until the test opens its gate: a run that waited for it would return
  // only after the command gave up and wrote "late".
  EXPECT_TRUE(RunCommand("i=0; while [ ! -e " + Quote(t / "gate") +
                             " ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done; echo late > " +
                             Quote(t / "late"),
                         false));
  EXPECT_FALSE(Exists(t / "late"));
  WriteFile(t / "gate", "");
  ASSERT_TRUE(WaitForFile(t / "late"));

  // The interpreter may still be ending after its last write.
  for (int i = 0; i < 250 && ZombieChildCount() != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ZombieChildCount(), 0);
  EXPECT_EQ(OpenDescriptorCount(), fds);
  EXPECT_EQ(platform::GetCurrentDir(), cwd);
}

TEST(RunCommand, WaitingLeavesNoDescriptorOrZombie) {
  int fds = OpenDescriptorCount();
  for (int i = 0; i < 20; ++i)
    ASSERT_TRUE(RunCommand("exit 3", i % 2 == 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(OpenDescriptorCount(), fds);
  EXPECT_EQ(ZombieChildCount(), 0);
}

TEST(QuotedPath, KeepsBlanksAndShellCharactersLiteral) {
  TempDir t;
  // Every character that means something inside double quotes, and a would-be command.
  std::string name = t / "a b $HOME `touch pwned` \"q\" back\\slash $(touch pwned2)";
  ASSERT_TRUE(RunCommand("cd " + Quote(t.Path()) + " && touch " + QuotedPath(name), true));
  EXPECT_TRUE(Exists(name));
  EXPECT_FALSE(Exists(t / "pwned"));
  EXPECT_FALSE(Exists(t / "pwned2"));
  EXPECT_EQ(QuotedPath("/srv/My Repos"), "\"/srv/My Repos\"");
}
