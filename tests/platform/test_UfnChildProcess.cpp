// Child processes waited for: their exit codes and output, also when the program was started
// with SIGCHLD ignored, as some launchers leave it.
#include "platform/UfnChildProcess.h"

#include "platform/UfnProcesses.h"
#include "support/TestSupport.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>

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

// Sets LC_ALL, LC_CTYPE and LANG for one test ("" unsets) and puts the old values back.
class TLocale {
public:
  TLocale(const char* all, const char* ctype, const char* lang) {
    for (int i = 0; i < 3; ++i) {
      const char* old = std::getenv(kNames[i]);
      FOld[i] = old ? std::make_unique<std::string>(old) : nullptr;
    }
    Set(0, all);
    Set(1, ctype);
    Set(2, lang);
  }
  ~TLocale() {
    for (int i = 0; i < 3; ++i)
      Set(i, FOld[i] ? FOld[i]->c_str() : "");
  }

private:
  static void Set(int i, const char* value) {
    if (*value)
      ::setenv(kNames[i], value, 1);
    else
      ::unsetenv(kNames[i]);
  }
  static constexpr const char* kNames[3] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::unique_ptr<std::string> FOld[3];
};

std::string ChildCharmap() {
  return platform::RunProgram("/bin/sh", {"-c", "locale charmap"}).Output;
}

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

// In a C locale svnadmin and svnserve refuse every path beyond ASCII; the children get a UTF-8
// character type then, and keep any other locale they are given.
TEST(ChildProcess, ChildrenReadUtf8PathsAlsoWhenTheProgramRunsInTheCLocale) {
  struct {
    const char *all, *ctype, *lang;
  } const plain[] = {
      {"C", "", ""}, {"POSIX", "", "ko_KR.UTF-8"}, {"", "C", ""}, {"", "", "C"}, {"", "", ""}};
  for (const auto& l : plain) {
    TLocale locale(l.all, l.ctype, l.lang);
    EXPECT_EQ(ChildCharmap(), "UTF-8\n") << l.all << "/" << l.ctype << "/" << l.lang;
  }
  {
    TLocale locale("", "", "C");
    // Only the character type changes: the messages stay those of the C locale.
    EXPECT_EQ(platform::RunProgram("/bin/sh", {"-c", "echo \"$LANG $LC_CTYPE\""}).Output,
              "C C.UTF-8\n");
  }
  {
    TLocale locale("", "", "C.UTF-8");
    EXPECT_EQ(platform::RunProgram("/bin/sh", {"-c", "echo \"$LC_CTYPE\""}).Output, "\n");
  }

  TLocale locale("C", "", "");
  testing_support::TempDir t;
  const std::string repo = t / "저장소";
  platform::TProgramResult create = platform::RunProgram("/usr/bin/svnadmin", {"create", repo});
  EXPECT_EQ(create.ExitCode, 0) << create.Output;
  platform::TProgramResult verify =
      platform::RunProgram("/usr/bin/svnadmin", {"verify", "--quiet", repo});
  EXPECT_EQ(verify.ExitCode, 0) << verify.Output;
  // The interpreter's commands get the same.
  ASSERT_TRUE(platform::RunShellCommand(
      "locale charmap > " + platform::InterpreterQuote(t / "charmap"), true));
  EXPECT_EQ(testing_support::ReadFile(t / "charmap"), "UTF-8\n");
}
