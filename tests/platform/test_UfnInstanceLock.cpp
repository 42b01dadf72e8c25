#include "platform/UfnInstanceLock.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
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

// A run as root with the user's environment leaves root's lock file in the user's runtime
// folder; the user's next start must not take it for a running instance and end silently.
TEST(Platform, AnotherAccountsLockFileInTheOwnFolderIsReplaced) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to leave a lock file of another account";
  const uid_t nobody = 65534;
  TempDir t;
  MakeDirs(t / "run");
  ASSERT_EQ(::chown((t / "run").c_str(), nobody, nobody), 0);
  ::chmod((t / "run").c_str(), 0700);
  WriteFile(t / "run/TestLock_Orlenway", "");
  ::chmod((t / "run/TestLock_Orlenway").c_str(), 0600);
  const std::string root = PrivateRoot(), tmp = PrivateRoot() + "/tmp";
  for (const std::string& p : {root, tmp, t.Path()})
    ::chmod(p.c_str(), 0711);
  // Root's own instance still holds its lock meanwhile.
  const int rootFd = ::open((t / "run/TestLock_Orlenway").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(rootFd, 0);
  ASSERT_EQ(::flock(rootFd, LOCK_EX | LOCK_NB), 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(2);
    ::setenv("XDG_RUNTIME_DIR", (t / "run").c_str(), 1);
    auto lock = platform::AcquireInstanceLock("TestLock_Orlenway");
    // Still one instance per account: a second holder of the user's is refused.
    ::_exit(lock && !platform::AcquireInstanceLock("TestLock_Orlenway") ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  struct stat st;
  ASSERT_EQ(::stat((t / "run/TestLock_Orlenway").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, nobody);
  ::close(rootFd);
  for (const std::string& p : {root, tmp, t.Path()})
    ::chmod(p.c_str(), 0700);
}
