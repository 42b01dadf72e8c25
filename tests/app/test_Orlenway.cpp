// The program as a whole, offscreen: the single instance, the first start and its settings
// file, the closing question, and a settings file that cannot be read.
#include "app/UfrmMain.h"
#include "app/UfrmOrlenway.h"
#include "platform/UfnPlatform.h"
#include "server/UclsSVN.h"
#include "settings/UclsBasicSetting.h"
#include "support/ServerProcesses.h"
#include "support/SvnServe.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testing_support;

namespace {

const char* const kQuestion =
    "Orlenway를 종료하시겠습니까?\r\n\r\n실행중인 SVN Server 도 종료됩니다.";

class Program : public ::testing::Test {
protected:
  void SetUp() override {
    state = platform::StateFolder();
    RemoveTree(state);
    ini = state + "orlenway.ini";
    // The settings file is named after the executable; this test binary stands in for it.
    std::string exe = platform::ExecutablePath();
    ownIni = state + exe.substr(exe.rfind('/') + 1) + ".ini";
  }

  // Runs the program in this process; `whileRunning` acts once the window is up.
  int RunProgram(const std::function<void()>& whileRunning) {
    static int argc = 1;
    static char name[] = "orlenway";
    static char* argv[] = {name, nullptr};
    return OrlenwayMain(argc, argv, [&] { QTimer::singleShot(0, whileRunning); });
  }

  std::string state, ini, ownIni;
};

} // namespace

TEST_F(Program, SecondInstanceEndsAtOnceAndTouchesNothing) {
  auto held = platform::AcquireInstanceLock("NoDuplicate_Orlenway");
  ASSERT_NE(held, nullptr);
  auto start = std::chrono::steady_clock::now();
  RunResult r = Shell(std::string("QT_QPA_PLATFORM=offscreen ") + Quote(ORLENWAY_EXE));
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_FALSE(Exists(state)) << "a second instance created its state folder";

  // In-process too: no window, no global object, no file.
  TScriptedPrompt prompt;
  bool ran = false;
  EXPECT_EQ(RunProgram([&] { ran = true; }), 0);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(prompt.Calls.empty());
  EXPECT_FALSE(Exists(state));
}

// Two processes: the program runs here with its window hidden; a second launch of the real
// executable asks it to show the window, and ends.
TEST_F(Program, ASecondLaunchShowsTheRunningInstancesWindow) {
  TScriptedPrompt prompt;
  prompt.Answer(mbYes);
  const std::string channel = platform::InstanceChannel("NoDuplicate_Orlenway.show");
  ASSERT_FALSE(channel.empty());
  bool hiddenBefore = false, shownAfter = false, minimisedAfter = true, privateSocket = false;
  RunResult second;
  RunProgram([&] {
    struct stat st {};
    privateSocket = ::lstat(channel.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) &&
                    st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
    frmMain->setWindowState(Qt::WindowMinimized);
    frmMain->hide();
    hiddenBefore = !frmMain->isVisible();
    second = Shell(std::string("QT_QPA_PLATFORM=offscreen ") + Quote(ORLENWAY_EXE));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!frmMain->isVisible() && std::chrono::steady_clock::now() < deadline)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    shownAfter = frmMain->isVisible();
    minimisedAfter = frmMain->isMinimized();
    frmMain->acExit->trigger();
  });
  EXPECT_TRUE(privateSocket) << channel;
  EXPECT_TRUE(hiddenBefore);
  EXPECT_EQ(second.ExitCode, 0) << second.Output;
  EXPECT_TRUE(shownAfter);
  EXPECT_FALSE(minimisedAfter);
  EXPECT_FALSE(Exists(channel)) << "the channel outlived the program";
  // The second launch asked nothing: only the closing question was put.
  EXPECT_EQ(prompt.Messages().size(), 1u);
}

TEST_F(Program, FirstStartEndedWithYesWritesTheDefaultSettings) {
  TScriptedPrompt prompt;
  prompt.Answer(mbYes);
  bool stoppedAtShow = false;
  int result = RunProgram([&] {
    ASSERT_NE(frmMain, nullptr);
    EXPECT_EQ(frmMain->windowTitle(), "Orlenway");
    stoppedAtShow = frmMain->acStartServer->isEnabled() && !frmMain->acStopServer->isEnabled();
    frmMain->close();
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(stoppedAtShow);
  auto m = prompt.Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].Caption, "Warning");
  EXPECT_EQ(m[0].Text, kQuestion);
  EXPECT_EQ(m[0].Icon, TMsgIcon::Warning);
  EXPECT_EQ(m[0].Buttons, static_cast<TMsgButtons>(mbYes | mbNo));
  EXPECT_EQ(ReadFile(ownIni),
            "object TclsBasicSetting\r\n  SVNPath = '/usr'\r\n  Port = 3690\r\nend\r\n");
  EXPECT_EQ(ReadFile(state + "User.Dat"), "");
  EXPECT_EQ(BasicSetting, nullptr);
  EXPECT_EQ(frmMain, nullptr);

  // The next start reads what the first one wrote and writes the same bytes back.
  prompt.Answer(mbYes);
  RunProgram([] { frmMain->close(); });
  EXPECT_EQ(ReadFile(ownIni),
            "object TclsBasicSetting\r\n  SVNPath = '/usr'\r\n  Port = 3690\r\nend\r\n");
}

TEST_F(Program, AnsweringNoKeepsTheProgramRunning) {
  TScriptedPrompt prompt;
  prompt.Answer(mbNo);
  prompt.Answer(mbYes);
  bool visibleAfterNo = false, iniAfterNo = true;
  RunProgram([&] {
    frmMain->close();
    visibleAfterNo = frmMain->isVisible();
    iniAfterNo = Exists(ownIni);
    frmMain->acExit->trigger();
  });
  EXPECT_TRUE(visibleAfterNo);
  EXPECT_FALSE(iniAfterNo);
  EXPECT_EQ(prompt.Messages().size(), 2u);
  EXPECT_TRUE(Exists(ownIni));
}

// Window titles are the captions as given: the program names itself to Qt but sets no display
// name, which the platform would append to every title (" — Orlenway").
TEST_F(Program, WindowTitlesAreTheCaptionsAlone) {
  TScriptedPrompt prompt;
  prompt.Answer(mbYes);
  QString name, displayWhileRenamed, mainTitle;
  RunProgram([&] {
    name = QGuiApplication::applicationName();
    // An explicit display name would not follow the application name.
    QGuiApplication::setApplicationName("probe");
    displayWhileRenamed = QGuiApplication::applicationDisplayName();
    QGuiApplication::setApplicationName(name);
    mainTitle = frmMain->windowTitle();
    frmMain->acExit->trigger();
  });
  EXPECT_EQ(name, "Orlenway");
  EXPECT_EQ(displayWhileRenamed, "probe");
  EXPECT_EQ(mainTitle, "Orlenway");
}

TEST_F(Program, UnreadableSettingsFileIsReportedAndLeftAsItWas) {
  MakeDirs(state);
  const std::string bad = "\xEF\xBB\xBFobject TclsBasicSetting\r\n  Port = 3691\r\nend\r\n";
  WriteFile(ownIni, bad);
  TScriptedPrompt prompt;
  bool ran = false;
  EXPECT_EQ(RunProgram([&] { ran = true; }), 0);
  EXPECT_FALSE(ran);
  auto m = prompt.Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].Caption, "Orlenway");
  EXPECT_EQ(m[0].Text, "OBJECT expected on line 1.");
  EXPECT_EQ(m[0].Icon, TMsgIcon::Error);
  EXPECT_EQ(ReadFile(ownIni), bad);
  EXPECT_FALSE(Exists(state + "User.Dat"));

  // A refused value: the same, the file keeps its bytes.
  const std::string refused = "object TclsBasicSetting\r\n  Port = '3690'\r\nend\r\n";
  WriteFile(ownIni, refused);
  RunProgram([&] { ran = true; });
  EXPECT_FALSE(ran);
  ASSERT_EQ(prompt.Messages().size(), 2u);
  EXPECT_EQ(prompt.Messages()[1].Text,
            "Error reading TclsBasicSetting.Port: Invalid property value.");
  EXPECT_EQ(ReadFile(ownIni), refused);
}

TEST_F(Program, TheEndOfTheSessionClosesWithoutAQuestionAndWritesEverything) {
  TScriptedPrompt prompt;
  bool dialogWasOpen = false;
  RunProgram([&] {
    // Even with a modal dialog open, the program ends and saves.
    QTimer::singleShot(50, [&] {
      dialogWasOpen = QApplication::activeModalWidget() != nullptr;
      ::kill(::getpid(), SIGTERM);
    });
    frmMain->acBasicSetting->trigger();
  });
  EXPECT_TRUE(dialogWasOpen);
  EXPECT_TRUE(prompt.Calls.empty());
  EXPECT_EQ(ReadFile(ownIni),
            "object TclsBasicSetting\r\n  SVNPath = '/usr'\r\n  Port = 3690\r\nend\r\n");
  EXPECT_TRUE(Exists(state + "User.Dat"));

  // SIGHUP too, and the signals are the default ones again once the program has ended.
  RemoveTree(state);
  RunProgram([] { ::kill(::getpid(), SIGHUP); });
  EXPECT_TRUE(Exists(ownIni));
  struct sigaction now {};
  ::sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

namespace {

// The real executable, offscreen, with this test's state and runtime folders; its standard
// error goes to `errFile`. Returns once it answers on its show channel (its end-of-session
// signals are heard from then on), or -1 when it did not come up.
pid_t StartRealProgram(const std::string& errFile) {
  const std::string channel = platform::InstanceChannel("NoDuplicate_Orlenway.show");
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0) ::dup2(fd, 2);
    ::execl(ORLENWAY_EXE, "orlenway", static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!Exists(channel) && std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (Exists(channel)) return pid;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return -1;
}

// The child's wait status once it has ended, waiting at most `limit`; -1 when it still ran
// (it is killed then).
int WaitForEnd(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return -1;
}

} // namespace

// A logout must not wait for a click: with a folder where a file is written, the shutdown
// writes what it can, says what failed on standard error, and the program ends.
TEST_F(Program, TheEndOfTheSessionEndsTheRealProgramAlsoWhenASaveFails) {
  TempDir t;
  const std::string realIni = state + "orlenway.ini", users = state + "User.Dat";
  for (const std::string& blocked : {realIni, users}) {
    RemoveTree(state);
    MakeDirs(blocked + "/kept");
    const pid_t pid = StartRealProgram(t / "stderr");
    ASSERT_GT(pid, 0) << blocked;
    ::kill(pid, SIGTERM);
    const int status = WaitForEnd(pid, std::chrono::seconds(5));
    ASSERT_NE(status, -1) << blocked << ": still running 5 s after SIGTERM";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string err = ReadFile(t / "stderr");
    EXPECT_NE(err.find("Orlenway: Cannot create file \"" + blocked + "\". Is a directory."),
              std::string::npos)
        << err;
    EXPECT_TRUE(Exists(blocked + "/kept"));
    // The other file is written all the same.
    const std::string other = blocked == realIni ? users : realIni;
    struct stat st {};
    EXPECT_TRUE(::stat(other.c_str(), &st) == 0 && S_ISREG(st.st_mode)) << other;
  }
}

// The end of the session while the closing question is open is not lost, and neither is one
// while a failed save's report waits for its click: each such dialog ends at once.
TEST_F(Program, TheEndOfTheSessionEndsAnOpenQuestionOrReport) {
  TScriptedPrompt prompt;
  bool timedOut = false;
  // As a real message box does, each runs its own event loop, in which the signal arrives.
  prompt.OnMessage = [&](const TPromptCall&) {
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, [&] {
      timedOut = true;
      loop.quit();
    });
    ::kill(::getpid(), SIGTERM);
    loop.exec();
  };
  prompt.Answer(mbNo);
  RunProgram([&] {
    frmMain->close();
    if (timedOut) frmMain->close(); // the signal was lost: end the program another way
  });
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(prompt.Messages().size(), 1u);
  EXPECT_TRUE(Exists(ownIni));
  EXPECT_EQ(frmMain, nullptr);

  // Closed with Yes, the settings file a folder: its report gives way to the signal too.
  RemoveTree(state);
  MakeDirs(ownIni + "/kept");
  prompt.Answer(mbYes);
  prompt.Answer(mbOK);
  bool reportTimedOut = false;
  prompt.OnMessage = [&](const TPromptCall& call) {
    if (call.Caption != "Orlenway") return; // the question is answered Yes at once
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, [&] {
      reportTimedOut = true;
      loop.quit();
    });
    ::kill(::getpid(), SIGTERM);
    loop.exec();
  };
  RunProgram([] { frmMain->close(); });
  EXPECT_FALSE(reportTimedOut);
  EXPECT_TRUE(Exists(state + "User.Dat"));
}

TEST_F(Program, AServerOfAnotherOutlivesTheProgramWhichEndsOnlyItsOwn) {
  TempDir repos{"repos"};
  TempDir otherRoot{"other"};
  TSvnServe other(otherRoot.Path());
  ASSERT_GT(other.Pid, 0);
  const int port = FreeLoopbackPort();
  MakeDirs(state);
  WriteFile(ownIni, "object TclsBasicSetting\r\n  SVNPath = '/usr'\r\n  RepoPath = '" +
                        repos.Path() + "'\r\n  Port = " + std::to_string(port) + "\r\nend\r\n");
  TScriptedPrompt prompt;
  prompt.Answer(mbYes);
  bool ownRan = false, otherAtShow = false;
  RunProgram([&] {
    otherAtShow = PortAccepts(other.Port);
    frmMain->acStartServer->trigger();
    ownRan = PortAccepts(port) && frmMain->acStopServer->isEnabled();
    frmMain->close();
  });
  EXPECT_TRUE(otherAtShow);
  EXPECT_TRUE(ownRan) << ::testing::PrintToString(prompt.Messages().size());
  EXPECT_TRUE(WaitPortClosed(port));
  EXPECT_EQ(ServerPids(), std::vector<pid_t>{other.Pid});
  EXPECT_TRUE(PortAccepts(other.Port));
  EXPECT_FALSE(Exists(ServerRecordPath()));
}
