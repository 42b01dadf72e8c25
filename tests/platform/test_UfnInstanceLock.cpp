#include "platform/UfnInstanceLock.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
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
