#include "platform/UfnInstanceLock.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing_support;

TEST(Platform, InstanceLockIsExclusiveAcrossProcessesAndNotInherited) {
  auto lock = platform::AcquireInstanceLock("TestLock_Orlenway");
  ASSERT_NE(lock, nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    auto other = platform::AcquireInstanceLock("TestLock_Orlenway");
    ::_exit(other ? 1 : 0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a second holder got the lock";

  // A child that outlives the holder must not keep the lock (close-on-exec).
  RunResult r = Shell("ls -l /proc/self/fd | grep -c TestLock_Orlenway");
  EXPECT_EQ(r.Output, "0\n");
  lock.reset();
  EXPECT_NE(platform::AcquireInstanceLock("TestLock_Orlenway"), nullptr);
}

// A runtime folder the user may not write, such as another account's that su left in the
// environment: the lock goes to the fallback folder instead of failing, which would end every
// start of the program silently.
TEST(Platform, ARuntimeFolderThatIsNotOursToWriteIsPassedOver) {
  // The child becomes another account; for an ordinary tester its fallback folder would be
  // the tester's own /tmp/orlenway-<uid>.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the child as another account";
  const uid_t nobody = 65534;
  const std::string fallback = "/tmp/orlenway-" + std::to_string(nobody);
  struct stat st;
  if (::lstat(fallback.c_str(), &st) == 0) GTEST_SKIP() << fallback << " is there already";
  TempDir t;
  MakeDirs(t / "run");
  MakeDirs(t / "config");
  ::chmod((t / "config").c_str(), 0777);
  // The other account must reach the two folders through the test's private ones.
  const std::string root = PrivateRoot(), tmp = PrivateRoot() + "/tmp";
  for (const std::string& p : {root, tmp, t.Path()})
    ::chmod(p.c_str(), 0711);
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(2);
    ::setenv("XDG_RUNTIME_DIR", (t / "run").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (t / "config").c_str(), 1);
    auto lock = platform::AcquireInstanceLock("TestLock_Orlenway");
    const std::string channel = platform::InstanceChannel("TestLock_Orlenway.show");
    ::_exit(lock && channel.rfind(fallback + "/", 0) == 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  RemoveTree(fallback);
  for (const std::string& p : {root, tmp, t.Path()})
    ::chmod(p.c_str(), 0700);
}
