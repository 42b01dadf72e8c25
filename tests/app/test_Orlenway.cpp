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
#include <QGuiApplication>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
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
