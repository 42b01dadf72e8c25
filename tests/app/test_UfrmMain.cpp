// The main window offscreen, with the real server controller. The tests count the svnserve
// processes they started; another's server on the machine is neither touched nor counted.
#include "app/UfrmMain.h"

#include "app/UfrmAbout.h"
#include "platform/UfnPlatform.h"
#include "server/UclsSVN.h"
#include "settings/UclsBasicSetting.h"
#include "support/GuiTestApp.h"
#include "support/ServerProcesses.h"
#include "support/SvnServe.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"

#include <QAction>
#include <QClipboard>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSysInfo>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// The window as it behaves on a desktop that has a notification area.
class TTrayMain : public TfrmMain {
protected:
  bool TrayAvailable() const override { return true; }
};

class MainWindow : public ::testing::Test {
protected:
  void SetUp() override {
    SetApplicationTitle("Orlenway");
    BasicSetting->SVNPath = "/usr";
    Port = FreeLoopbackPort();
    BasicSetting->SetPort(Port);
    ASSERT_EQ(Shell("svnadmin create " + Quote(Root / "proj")).ExitCode, 0);
    Globals.MakeServerController();
  }
  void TearDown() override {
    delete Window;
    SetApplicationTitle("Orlenway");
  }

  template <typename T = TfrmMain> T* Open() {
    auto* w = new T;
    Window = w;
    w->show();
    QCoreApplication::processEvents();
    return w;
  }

  // The enabled state of an action as each control bound to it shows it; all must agree.
  bool Shown(QAction* action) {
    bool enabled = action->isEnabled();
    for (QMenu* m : {Window->tiFile, Window->tiTools, Window->tiHelp, Window->pmTray}) {
      for (QAction* a : m->actions()) {
        if (a == action) {
          EXPECT_EQ(a->isEnabled(), enabled) << m->objectName().toStdString();
        }
      }
    }
    for (QToolButton* b : Window->pnlBackground->findChildren<QToolButton*>()) {
      if (b->defaultAction() == action) {
        EXPECT_EQ(b->isEnabled(), enabled) << b->objectName().toStdString();
      }
    }
    return enabled;
  }

  void ExpectStopped() {
    EXPECT_TRUE(Shown(Window->acStartServer));
    EXPECT_TRUE(Shown(Window->acBasicSetting));
    EXPECT_FALSE(Shown(Window->acStopServer));
    ExpectAlwaysEnabled();
  }
  void ExpectRunning() {
    EXPECT_FALSE(Shown(Window->acStartServer));
    EXPECT_FALSE(Shown(Window->acBasicSetting));
    EXPECT_TRUE(Shown(Window->acStopServer));
    ExpectAlwaysEnabled();
  }
  void ExpectAlwaysEnabled() {
    for (QAction* a : {Window->acExit, Window->acUserMgr, Window->acProjectMgr, Window->acAbout})
      EXPECT_TRUE(Shown(a)) << a->objectName().toStdString();
  }

  std::string QuestionText() {
    return "Orlenway를 종료하시겠습니까?\r\n\r\n실행중인 SVN Server 도 종료됩니다.";
  }

  TempDir Root{"repos"};
  TScriptedPrompt Prompt;
  TfrmMain* Window = nullptr;
  int Port = 0;
  TGlobals Globals{Root.Path()};
};

} // namespace

TEST_F(MainWindow, PicturesCaptionsAndTheFixedCentredWindow) {
  auto* w = new TfrmMain;
  Window = w;
  EXPECT_EQ(frmMain, w);
  EXPECT_EQ(w->windowTitle(), "Orlenway");
  for (QAction* a : w->acMain) {
    SCOPED_TRACE(a->objectName().toStdString());
    EXPECT_TRUE(a->isEnabled()); // all seven until the first show
    // Both sizes come from the program's resources.
    EXPECT_EQ(a->icon().availableSizes(), (QList<QSize>{QSize(16, 16), QSize(24, 24)}));
  }
  // The notification-area menu offers the same commands as the window.
  QList<QAction*> tray;
  for (QAction* a : w->pmTray->actions())
    if (!a->isSeparator()) tray.append(a);
  EXPECT_EQ(tray, (QList<QAction*>{w->acStartServer, w->acStopServer, w->acBasicSetting,
                                   w->acUserMgr, w->acProjectMgr, w->acAbout, w->acExit}));
  // The Korean captions land on a font that has Hangul, never on empty boxes.
  for (QWidget* c : {static_cast<QWidget*>(w), static_cast<QWidget*>(w->btnStartServer)})
    EXPECT_TRUE(QFontMetrics(c->font()).inFontUcs4(U'서'))
        << QFontInfo(c->font()).family().toStdString();

  w->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(w->size(), QSize(398, 179));
  EXPECT_EQ(w->minimumSize(), w->maximumSize());
  EXPECT_EQ(w->pnlBackground->geometry(), QRect(0, 19, 398, 160));
  QRect screen = w->screen()->availableGeometry();
  EXPECT_LE((w->frameGeometry().center() - screen.center()).manhattanLength(), 2);
  // All three entries fit the low bar with picture and caption; none is pushed to the overflow.
  int right = 0;
  for (QAction* a : w->mmMain->actions()) {
    QRect r = w->mmMain->actionGeometry(a);
    EXPECT_LE(r.bottom(), w->mmMain->height() - 1);
    EXPECT_GE(r.width(), 16 + w->mmMain->fontMetrics().horizontalAdvance(a->text()));
    EXPECT_GT(r.left(), right - 1);
    right = r.right();
  }
  EXPECT_LE(right, w->mmMain->width());

  delete w;
  Window = nullptr;
  EXPECT_EQ(frmMain, nullptr);
}

TEST_F(MainWindow, FirstShowEndsOnlyTheServerAnEarlierRunLeftBehind) {
  TempDir otherRoot{"other"};
  TSvnServe other(otherRoot.Path());
  ASSERT_GT(other.Pid, 0);
  // An earlier run that ended without its stop (a crash) left its server and the record.
  ASSERT_TRUE(SVN->StartServer());
  ASSERT_EQ(ServerPids().size(), 2u);
  auto* w = new TfrmMain;
  Window = w;
  EXPECT_TRUE(PortAccepts(Port)); // still running before the show
  w->show();
  EXPECT_TRUE(WaitPortClosed(Port));
  EXPECT_EQ(ServerPids(), std::vector<pid_t>{other.Pid});
  EXPECT_TRUE(PortAccepts(other.Port));
  EXPECT_FALSE(Exists(ServerRecordPath()));
  ExpectStopped();

  // Hiding and showing again is no first show: a server started since keeps running.
  w->acStartServer->trigger();
  ExpectRunning();
  w->hide();
  w->show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(PortAccepts(Port));
  ExpectRunning();
}

TEST_F(MainWindow, StartAndStopCommandsSwitchEveryControl) {
  auto* w = Open();
  ExpectStopped();
  QTest::mouseClick(w->btnStartServer, Qt::LeftButton);
  ExpectRunning();
  EXPECT_TRUE(Prompt.Messages().empty());
  EXPECT_EQ(Shell("svn info --non-interactive svn://127.0.0.1:" + std::to_string(Port) + "/proj")
                .ExitCode,
            0);
  // A disabled command does nothing: no second server, no message.
  w->acStartServer->trigger();
  EXPECT_EQ(ServerPids().size(), 1u);
  EXPECT_TRUE(Prompt.Messages().empty());

  w->acStopServer->trigger();
  ExpectStopped();
  EXPECT_TRUE(WaitPortClosed(Port));
}

TEST_F(MainWindow, DuringAStartNeitherAnotherStartNorTheSettingsAreOffered) {
  TempDir t;
  std::string bin = t / "slow/bin";
  MakeDirs(bin);
  ASSERT_EQ(Shell("ln -s /usr/bin/svnadmin " + Quote(bin + "/svnadmin")).ExitCode, 0);
  WriteFile(bin + "/svnserve", "#!/bin/sh\n/bin/sleep 0.5\nexec /usr/bin/svnserve \"$@\"\n");
  ASSERT_EQ(Shell("chmod +x " + Quote(bin + "/svnserve")).ExitCode, 0);
  BasicSetting->SVNPath = t / "slow";
  std::string path = platform::GetEnv("PATH");
  platform::SetEnv("PATH", "/nonexistent-orlenway");

  auto* w = Open();
  int offered = 0;
  Prompt.OnProcessMessages = [&]() {
    if (w->acStartServer->isEnabled() || w->acBasicSetting->isEnabled()) ++offered;
  };
  w->acStartServer->trigger();
  platform::SetEnv("PATH", path);
  EXPECT_GT(Prompt.Pumps, 0);
  EXPECT_EQ(offered, 0);
  ExpectRunning();
}

TEST_F(MainWindow, AFailedStartLeavesTheStoppedState) {
  auto* w = Open();
  BasicSetting->SVNPath = Root / "nowhere";
  w->acStartServer->trigger();
  ASSERT_EQ(Prompt.Messages().size(), 1u);
  EXPECT_EQ(Prompt.Messages()[0].Text, "SVN 경로 설정 해주세요");
  ExpectStopped();

  ExpectStopped();
}

TEST_F(MainWindow, AStopThatFindsNoServerTakesTheStoppedState) {
  auto* w = Open();
  w->acStartServer->trigger();
  ExpectRunning();
  auto pids = ServerPids();
  ASSERT_EQ(pids.size(), 1u);
  ::kill(pids[0], SIGTERM); // the server ends by itself
  ASSERT_TRUE(WaitPortClosed(Port));
  // The port closes a moment before the server, or a connection child of the probes, is gone.
  ASSERT_TRUE(WaitNoServerRuns());
  w->acStopServer->trigger();
  ExpectStopped();
  EXPECT_TRUE(Prompt.Messages().empty());
  w->acStartServer->trigger();
  ExpectRunning();
  EXPECT_TRUE(PortAccepts(Port));
}

TEST_F(MainWindow, ClosingAsksEvenWhenStoppedAndNoKeepsEverything) {
  auto* w = Open();
  ExpectStopped();
  Prompt.Answer(mbNo);
  EXPECT_FALSE(w->close());
  ASSERT_EQ(Prompt.Messages().size(), 1u);
  const TPromptCall q = Prompt.Messages()[0];
  EXPECT_EQ(q.Caption, "Warning");
  EXPECT_EQ(q.Text, QuestionText());
  EXPECT_EQ(q.Icon, TMsgIcon::Warning);
  EXPECT_EQ(q.Buttons, static_cast<TMsgButtons>(mbYes | mbNo));
  EXPECT_TRUE(w->isVisible());
  ExpectStopped();

  // The exit command and the window menu's Close ask the same question.
  w->acStartServer->trigger();
  Prompt.Answer(mbNo);
  w->acExit->trigger();
  Prompt.Answer(mbNo);
  w->acClose->trigger();
  EXPECT_EQ(Prompt.Messages().size(), 3u);
  EXPECT_TRUE(w->isVisible());
  ExpectRunning();
  EXPECT_TRUE(PortAccepts(Port));

  Prompt.Answer(mbYes);
  w->acExit->trigger();
  EXPECT_EQ(Prompt.Messages().size(), 4u);
  EXPECT_FALSE(w->isVisible());
}

TEST_F(MainWindow, TheEndOfTheSessionClosesWithoutAQuestion) {
  auto* w = Open<TTrayMain>();
  w->acStartServer->trigger();
  w->MinimizeToTray();
  ASSERT_TRUE(w->tiTrayIcon->isVisible());
  EXPECT_TRUE(w->WMQueryEndSession());
  EXPECT_TRUE(w->FEndSession);
  EXPECT_TRUE(Prompt.Messages().empty());
  EXPECT_FALSE(w->tiTrayIcon->isVisible());
  EXPECT_FALSE(w->isVisible());
  // The shutdown that follows stops the server.
  delete w;
  Window = nullptr;
  DoneSVN();
  EXPECT_TRUE(WaitPortClosed(Port));
  EXPECT_TRUE(ServerPids().empty());
}

TEST_F(MainWindow, TheNotificationAreaHidesAndRestoresTheWindow) {
  auto* w = Open<TTrayMain>();
  w->acStartServer->trigger();
  w->move(100, 120);
  QCoreApplication::processEvents();
  QPoint at = w->pos();

  // The title bar's minimise button.
  w->setWindowState(Qt::WindowMinimized);
  QTest::qWait(50);
  EXPECT_TRUE(w->InTray());
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(w->tiTrayIcon->isVisible());
  EXPECT_EQ(w->tiTrayIcon->toolTip(),
            QString::fromUtf8("Orlenway\n서버 실행 중 · ") + TfrmMain::ServerAddress());
  EXPECT_EQ(w->tiTrayIcon->contextMenu(), w->pmTray);
  EXPECT_FALSE(w->tiTrayIcon->icon().isNull());

  // Exit from the tray menu asks; No leaves the icon in place and the window hidden.
  Prompt.Answer(mbNo);
  w->acExit->trigger();
  EXPECT_EQ(Prompt.Messages().size(), 1u);
  EXPECT_TRUE(w->InTray());
  EXPECT_TRUE(w->tiTrayIcon->isVisible());
  EXPECT_FALSE(w->isVisible());

  // A middle click does nothing; a single click restores (some trays pass single clicks only),
  // as a double click does below. The server still runs and the state is kept.
  emit w->tiTrayIcon->activated(QSystemTrayIcon::MiddleClick);
  EXPECT_TRUE(w->InTray());
  emit w->tiTrayIcon->activated(QSystemTrayIcon::Trigger);
  QCoreApplication::processEvents();
  EXPECT_FALSE(w->InTray());
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->pos(), at);
  w->acMinimizeToTray->trigger();
  EXPECT_TRUE(w->InTray());
  emit w->tiTrayIcon->activated(QSystemTrayIcon::DoubleClick);
  QCoreApplication::processEvents();
  EXPECT_FALSE(w->InTray());
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(w->isMinimized());
  EXPECT_FALSE(w->tiTrayIcon->isVisible());
  EXPECT_EQ(w->pos(), at);
  EXPECT_TRUE(PortAccepts(Port));
  ExpectRunning();

  // The window menu, from the background, offers the same.
  emit w->pnlBackground->customContextMenuRequested(QPoint(5, 5));
  EXPECT_TRUE(w->pmWindow->isVisible());
  w->pmWindow->hide();
  w->acMinimizeToTray->trigger();
  EXPECT_TRUE(w->InTray());
  w->RestoreFromTray();
  EXPECT_TRUE(w->isVisible());
}

TEST_F(MainWindow, TheTooltipIsTheTitleCutTo63Characters) {
  std::string title = "Orlenway " + std::string(60, 'x') + "-tail";
  SetApplicationTitle(title);
  auto* w = Open<TTrayMain>();
  EXPECT_EQ(w->windowTitle().toStdString(), title);
  w->MinimizeToTray();
  // The title, cut, then the server's state and address.
  EXPECT_EQ(w->tiTrayIcon->toolTip().section('\n', 0, 0).toStdString(), title.substr(0, 63));
  EXPECT_EQ(TfrmMain::TrayTip().size(), 63);
  SetApplicationTitle("서버 관리 " + std::string(70, 'y'));
  EXPECT_EQ(TfrmMain::TrayTip(), QString::fromUtf8("서버 관리 ") + QString(57, 'y'));
}

TEST_F(MainWindow, WithoutANotificationAreaTheWindowMinimisesInstead) {
  auto* w = Open(); // the offscreen desktop has no notification area
  ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
  w->acMinimizeToTray->trigger();
  QCoreApplication::processEvents();
  EXPECT_FALSE(w->InTray());
  EXPECT_TRUE(w->isMinimized());
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(w->tiTrayIcon->isVisible());
}

TEST_F(MainWindow, TheSettingsOpenOnlyWhileStoppedAndAboutIsModal) {
  // Counts the dialogs that open, by their object names, and closes each.
  QStringList opened;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&]() {
    if (QWidget* m = QApplication::activeModalWidget()) {
      opened << m->objectName();
      m->close();
    }
  });
  watcher.start(10);
  auto* w = Open();
  QTest::mouseClick(w->btnBasicSetting, Qt::LeftButton);
  w->acStartServer->trigger();
  QTest::mouseClick(w->btnBasicSetting, Qt::LeftButton);
  w->acBasicSetting->trigger();
  QTest::mouseClick(w->btnUserMgr, Qt::LeftButton);
  watcher.stop();
  EXPECT_EQ(opened, (QStringList{"frmBasicSetting", "frmUserMgr"}));

  // The About box opens modally over the window.
  QString caption;
  QTimer::singleShot(50, [&]() {
    if (auto* box = qobject_cast<TfrmAbout*>(QApplication::activeModalWidget())) {
      caption = box->windowTitle();
      box->accept();
    }
  });
  QTimer::singleShot(3000, []() {
    if (QWidget* m = QApplication::activeModalWidget()) m->close();
  });
  w->acAbout->trigger();
  EXPECT_EQ(caption, QString::fromUtf8("Orlenway 에 대하여..."));
}

TEST_F(MainWindow, AServerThatEndsBehindItsBackIsNoticedOnceAndCanBeStartedAgain) {
  auto* w = Open();
  w->acStartServer->trigger();
  ExpectRunning();
  auto pids = ServerPids();
  ASSERT_EQ(pids.size(), 1u);
  ::kill(pids[0], SIGTERM);
  auto start = std::chrono::steady_clock::now();
  while (Shown(w->acStopServer) &&
         std::chrono::steady_clock::now() - start < std::chrono::milliseconds(2500))
    QTest::qWait(20);
  EXPECT_LE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  ExpectStopped();
  EXPECT_FALSE(Exists(ServerRecordPath()));
  // Without a tray that shows balloons: one box, whatever the ticks that follow.
  QTest::qWait(2200);
  ASSERT_EQ(Prompt.Messages().size(), 1u);
  const TPromptCall m = Prompt.Messages()[0];
  EXPECT_EQ(m.Caption, "Warning");
  EXPECT_EQ(m.Icon, TMsgIcon::Warning);
  EXPECT_EQ(m.Buttons, static_cast<TMsgButtons>(mbOK));
  EXPECT_EQ(m.Text,
            "SVN 서버가 종료되었습니다 (포트 " + std::to_string(Port) + "). 다시 시작해주세요");

  QTest::mouseClick(w->btnStartServer, Qt::LeftButton);
  ExpectRunning();
  EXPECT_TRUE(PortAccepts(Port));
  // A server that keeps running is not reported.
  QTest::qWait(1500);
  ExpectRunning();
  EXPECT_EQ(Prompt.Messages().size(), 1u);
}

TEST_F(MainWindow, TheStatusLineGivesStateRootAndAddressAndCopiesTheAddress) {
  auto* w = Open<TTrayMain>();
  const QString host = QSysInfo::machineHostName();
  const QString address = "svn://" + host + ":" + QString::number(Port) + "/";
  EXPECT_EQ(TfrmMain::ServerAddress(), address);
  const QString root = QString::fromStdString(BasicSetting->RepoPath);
  EXPECT_EQ(w->lblServerStatus->toolTip(),
            QString::fromUtf8("서버 중지됨 · 포트 %1 · %2 · %3").arg(Port).arg(root, address));
  EXPECT_TRUE(w->lblServerStatus->isVisible());
  const QImage stopped = w->tiTrayIcon->icon().pixmap(16, 16).toImage();
  EXPECT_TRUE(w->tiTrayIcon->toolTip().endsWith(QString::fromUtf8("서버 중지됨 · ") + address));

  w->acStartServer->trigger();
  EXPECT_EQ(w->lblServerStatus->toolTip(),
            QString::fromUtf8("서버 실행 중 · 포트 %1 · %2 · %3").arg(Port).arg(root, address));
  EXPECT_TRUE(w->tiTrayIcon->toolTip().endsWith(QString::fromUtf8("서버 실행 중 · ") + address));
  EXPECT_NE(w->tiTrayIcon->icon().pixmap(16, 16).toImage(), stopped);

  QGuiApplication::clipboard()->setText("before");
  QTest::mouseClick(w->btnCopyAddress, Qt::LeftButton);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), address);

  // The Subversion port needs no port in the address; a changed port shows at the next tick.
  w->acStopServer->trigger();
  BasicSetting->SetPort(3690);
  QTest::qWait(1200);
  EXPECT_EQ(TfrmMain::ServerAddress(), "svn://" + host + "/");
  EXPECT_TRUE(w->lblServerStatus->toolTip().endsWith(QString::fromUtf8("포트 3690 · ") + root +
                                                     " · svn://" + host + "/"));
}

TEST_F(MainWindow, ARootWithPercentSignsIsShownAsItIs) {
  // Folder names may hold "%" followed by digits (escaped names, mounted shares).
  BasicSetting->RepoPath = Root / "a%1b%2c%3";
  MakeDirs(BasicSetting->RepoPath);
  auto* w = Open();
  const QString tip = w->lblServerStatus->toolTip();
  EXPECT_EQ(tip, QString::fromUtf8("서버 중지됨 · 포트 ") + QString::number(Port) + " · " +
                     QString::fromStdString(BasicSetting->RepoPath) + " · " +
                     TfrmMain::ServerAddress())
      << tip.toStdString();
}

// No server here: the window is made but not shown, so nothing is started or stopped.
TEST(MainWindowStatus, AFolderNotSetOrNotThereIsNamedWithWhatIsWrong) {
  TempDir root{"repos"};
  TempDir svn{"svn"};
  TScriptedPrompt prompt;
  TGlobals globals{root.Path()};
  globals.MakeServerController();
  BasicSetting->SetPort(3690);
  BasicSetting->SVNPath = "/usr";
  const QString tail = " · " + TfrmMain::ServerAddress();
  auto status = [] { return TfrmMain().ServerStatusText(); };

  BasicSetting->RepoPath = "";
  EXPECT_EQ(status(), QString::fromUtf8("서버 중지됨 · 포트 3690 · 저장소 경로 미설정") + tail);
  const std::string gone = root / "gone";
  BasicSetting->RepoPath = gone;
  EXPECT_EQ(status(), QString::fromUtf8("서버 중지됨 · 포트 3690 · 저장소 경로 없음: ") +
                          QString::fromStdString(gone) + tail);

  // A Subversion folder without bin/svnserve (svnadmin alone is not enough to serve).
  BasicSetting->RepoPath = root.Path();
  MakeDirs(svn / "bin");
  WriteFile(svn / "bin/svnadmin", "");
  BasicSetting->SVNPath = svn.Path();
  const QString repo = QString::fromStdString(root.Path());
  EXPECT_EQ(status(), QString::fromUtf8("서버 중지됨 · 포트 3690 · ") + repo +
                          QString::fromUtf8(" · SVN 경로에 svnserve 없음: ") +
                          QString::fromStdString(svn.Path()) + tail);
  BasicSetting->SVNPath = "";
  EXPECT_EQ(status(), QString::fromUtf8("서버 중지됨 · 포트 3690 · ") + repo +
                          QString::fromUtf8(" · SVN 경로 미설정") + tail);
  // Both in order: fine again once svnserve is there.
  BasicSetting->SVNPath = svn.Path();
  WriteFile(svn / "bin/svnserve", "");
  EXPECT_EQ(status(), QString::fromUtf8("서버 중지됨 · 포트 3690 · ") + repo + tail);
  EXPECT_TRUE(prompt.Calls.empty());
}
