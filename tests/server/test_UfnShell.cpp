#include "server/UfnShell.h"

#include "platform/UfnPlatform.h"
#include "support/TestSupport.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace testing_support;

namespace {

// A copy of sleep under a name of the test's own, so that only its processes match.
std::string MakeSleeper(const TempDir& t, const std::string& name) {
  std::string path = t / name;
  EXPECT_EQ(Shell("cp /bin/sleep " + Quote(path)).ExitCode, 0);
  return path;
}

pid_t Spawn(const std::string& program) {
  std::string arg = "30";
  char* argv[] = {const_cast<char*>(program.c_str()), arg.data(), nullptr};
  pid_t pid = -1;
  EXPECT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
  return pid;
}

// Alive a while after the kill: a signal sent to it would have ended it by then.
// Running or asleep are both fine; the child may not have reached its sleep yet.
bool StillAlive(pid_t pid) {
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  char state = ProcessState(pid);
  return state != 'Z' && state != 'X' && state != '?';
}

bool WaitUntilExited(pid_t pid) {
  for (int i = 0; i < 500 && ProcessState(pid) != 'Z'; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return ProcessState(pid) == 'Z';
}

// Reaps the child; true when SIGTERM ended it.
bool EndedByTerm(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return false;
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
}

} // namespace

TEST(KillProcessByName, EndsEveryMatchIgnoringCaseAndOnlyWholeNames) {
  TempDir t;
  std::string name = UniqueName("OrlSleeper");
  std::string upper = name;
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  pid_t a = Spawn(MakeSleeper(t, name));
  pid_t b = Spawn(t / name);
  pid_t longer = Spawn(MakeSleeper(t, name + "x")); // same prefix, another name
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  ASSERT_GT(longer, 0);

  EXPECT_TRUE(KillProcessByName(upper));
  EXPECT_TRUE(EndedByTerm(a));
  EXPECT_TRUE(EndedByTerm(b));
  EXPECT_TRUE(StillAlive(longer));

  EXPECT_FALSE(KillProcessByName(UniqueName("NobodyIsCalled")));
  EXPECT_TRUE(StillAlive(longer));
  EXPECT_TRUE(KillProcessByName(name + "X"));
  EXPECT_TRUE(EndedByTerm(longer));
}

TEST(KillProcessByName, AProcessThatHasEndedIsNotFoundAgain) {
  TempDir t;
  std::string name = UniqueName("OrlZombie");
  pid_t p = Spawn(MakeSleeper(t, name));
  ASSERT_GT(p, 0);
  ASSERT_TRUE(KillProcessByName(name));
  // Until its parent reaps it the process lingers in /proc; it is no longer running.
  ASSERT_TRUE(WaitUntilExited(p));
  EXPECT_FALSE(KillProcessByName(name));
  EXPECT_TRUE(EndedByTerm(p));
}

TEST(KillProcessByName, FindsAProgramWhoseFileWasReplaced) {
  TempDir t;
  std::string name = UniqueName("OrlUpgraded");
  std::string path = MakeSleeper(t, name);
  pid_t p = Spawn(path);
  ASSERT_GT(p, 0);
  // As after a package upgrade: the running image's file is gone.
  ASSERT_TRUE(platform::DeleteFile(path));
  EXPECT_TRUE(KillProcessByName(name));
  EXPECT_TRUE(EndedByTerm(p));
}

class RecycleBin : public ::testing::Test {
protected:
  std::string TrashFiles() { return platform::GetEnv("XDG_DATA_HOME") + "/Trash/files/"; }
};

TEST_F(RecycleBin, MovesFilesAndFoldersWithTheirContentsIntoTheTrash) {
  TempDir t;
  WriteFile(t / "single.txt", "one");
  MakeDirs(t / "project/db/revs");
  WriteFile(t / "project/db/revs/0", "rev zero");
  MakeDirs(t / "other");
  WriteFile(t / "other/file", "x");

  EXPECT_TRUE(DeleteToRecycleBin(t / "single.txt"));
  EXPECT_FALSE(Exists(t / "single.txt"));
  EXPECT_EQ(ReadFile(TrashFiles() + "single.txt"), "one");

  // A trailing delimiter names the folder itself.
  EXPECT_TRUE(DeleteToRecycleBin(t / "project/"));
  EXPECT_FALSE(Exists(t / "project"));
  EXPECT_EQ(ReadFile(TrashFiles() + "project/db/revs/0"), "rev zero");

  EXPECT_TRUE(DeleteToRecycleBin(t / "other"));
  EXPECT_EQ(ReadFile(TrashFiles() + "other/file"), "x");
  EXPECT_TRUE(Exists(platform::GetEnv("XDG_DATA_HOME") + "/Trash/info/other.trashinfo"));
}

TEST_F(RecycleBin, FailuresGiveFalseAndTouchNothing) {
  TempDir t;
  EXPECT_FALSE(DeleteToRecycleBin(t / "missing"));
  EXPECT_FALSE(DeleteToRecycleBin(t / "missing/"));

  // The empty path and the lone delimiter would otherwise name the current folder.
  std::string before = platform::GetCurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(t.Path()));
  WriteFile(t / "keep", "k");
  EXPECT_FALSE(DeleteToRecycleBin(""));
  EXPECT_FALSE(DeleteToRecycleBin("/"));
  platform::SetCurrentDir(before);
  EXPECT_EQ(ReadFile(t / "keep"), "k");
  EXPECT_TRUE(platform::DirectoryExists(t.Path()));
}
