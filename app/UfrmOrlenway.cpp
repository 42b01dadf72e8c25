#include "app/UfrmOrlenway.h"

#include "app/UfrmApplication.h"
#include "app/UfrmMain.h"
#include "app/UfrmQtPrompt.h"
#include "base/UfnDesktop.h"
#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "server/UclsSVN.h"
#include "settings/UclsBasicSetting.h"
#include "users/UclsUserMgr.h"

#include <QCoreApplication>
#include <QIcon>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QSessionManager>
#ifndef _WIN32
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif
#include <cstdio>
#include <exception>
#include <iterator>
#include <string>
#include <vector>

namespace {

const char* const kInstanceName = "NoDuplicate_Orlenway";
const char* const kTitle = "Orlenway";
// The running instance listens here for later launches that ask for its window.
const char* const kShowChannel = "NoDuplicate_Orlenway.show";
const char kShowRequest[] = "show\n";

// A later launch asks the running instance to show its window; whether it could is not its
// concern, it ends either way.
void AskRunningInstanceToShow(int argc, char** argv) {
  const std::string channel = platform::InstanceChannel(kShowChannel);
  if (channel.empty()) return;
  std::unique_ptr<QCoreApplication> app;
  if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(channel), QIODevice::WriteOnly);
  if (!socket.waitForConnected(1000)) return;
  socket.write(kShowRequest, sizeof kShowRequest - 1);
  socket.waitForBytesWritten(1000);
  socket.disconnectFromServer();
}

// The running instance's end of that channel: a socket only its user can reach.
class TShowChannel {
public:
  TShowChannel() {
    const std::string channel = platform::InstanceChannel(kShowChannel);
    if (channel.empty()) return;
    const QString name = QString::fromStdString(channel);
    // We hold the instance lock: a socket left there by a crashed run is ours to replace.
    QLocalServer::removeServer(name);
    FServer.setSocketOptions(QLocalServer::UserAccessOption);
    if (!FServer.listen(name)) return;
    QObject::connect(&FServer, &QLocalServer::newConnection, [this] {
      while (QLocalSocket* client = FServer.nextPendingConnection()) {
        QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        auto read = [client] {
          if (client->bytesAvailable() < qint64(sizeof kShowRequest - 1)) return;
          if (client->read(sizeof kShowRequest - 1) == kShowRequest && frmMain)
            frmMain->ShowFromOtherLaunch();
          client->disconnectFromServer();
        };
        QObject::connect(client, &QLocalSocket::readyRead, client, read);
        read();
      }
    });
  }

private:
  QLocalServer FServer;
};

// Runs one step of the shutdown; a failure is kept for the report and does not keep the
// later steps from running.
void Release(void (*step)(), std::vector<std::string>& failures) {
  try {
    step();
  } catch (const std::exception& e) {
    failures.push_back(e.what());
  }
}

// Keeps the Qt prompt installed for the run unless a test installed its own.
class TPromptScope {
public:
  TPromptScope() : installed_(!PromptInstalled()) {
    if (installed_) SetPrompt(&qt_);
  }
  ~TPromptScope() {
    if (installed_) SetPrompt(nullptr);
  }

private:
  TQtPrompt qt_;
  bool installed_;
};

// Set once the session ends: from then on nothing waits for a person.
bool GEndingSession = false;

// The end of the session ends the program within moments, whatever is open: the window
// closes without its question, and every event loop ends, that of an open dialog as well
// (the closing question too, whose close in progress would swallow a second close). A dialog
// opened after this returns at once. The shutdown then writes what it can.
void EndSession() {
  GEndingSession = true;
  if (frmMain) frmMain->WMQueryEndSession();
  QCoreApplication::exit(0);
}

#ifndef _WIN32
// The desktop ends a session by sending SIGTERM (SIGHUP when the terminal goes away, SIGINT
// for Ctrl+C): the program then ends as at the end of a logon session, without a question,
// and still writes the user list and the settings back. The handler only writes to a pipe;
// the message loop does the rest, also while the shutdown reports a failure.
class TEndSessionSignals {
public:
  TEndSessionSignals() {
    if (::pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    FWrite = FPipe[1];
    FNotifier = std::make_unique<QSocketNotifier>(FPipe[0], QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] {
      char buf[16];
      while (::read(FPipe[0], buf, sizeof buf) > 0) {
      }
      EndSession();
    });
    struct sigaction sa {};
    sa.sa_handler = &TEndSessionSignals::Handler;
    sigemptyset(&sa.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i)
      ::sigaction(kSignals[i], &sa, &FOld[i]);
    // A backup that meets a file-size limit must end with "Disk full", not kill the program.
    ::signal(SIGXFSZ, SIG_IGN);
  }
  ~TEndSessionSignals() {
    if (FWrite < 0) return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
      ::sigaction(kSignals[i], &FOld[i], nullptr);
    FNotifier.reset();
    FWrite = -1;
    ::close(FPipe[0]);
    ::close(FPipe[1]);
  }

private:
  static void Handler(int) {
    char c = 1;
    if (FWrite >= 0) (void)!::write(FWrite, &c, 1);
  }
  static constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
  static inline volatile int FWrite = -1;
  int FPipe[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> FNotifier;
  struct sigaction FOld[std::size(kSignals)]{};
};
#else
// Windows ends a session with WM_QUERYENDSESSION, which Qt hands to the main window as its
// commit-data request.
class TEndSessionSignals {
public:
  TEndSessionSignals() {}
};
#endif

} // namespace

int OrlenwayMain(int argc, char** argv, const std::function<void()>& onRunning) {
  // A second instance ends here: it shows nothing and reads, writes and stops nothing.
  // Before it ends it asks the running instance to show its window.
  std::unique_ptr<platform::InstanceLock> instance = platform::AcquireInstanceLock(kInstanceName);
  if (!instance) {
    AskRunningInstanceToShow(argc, argv);
    return 0;
  }

  TApplication app(argc, argv);
  app.setWindowIcon(ProgramIcon());
  TPromptScope prompt;

  // The global objects, in this order; a failure ends the start-up after its report and
  // writes nothing back, so an unreadable file is left as it was.
  try {
    InitBasicSetting();
  } catch (const std::exception& e) {
    ShowErrorReport(e.what());
    return 0;
  }
  InitSVN();
  try {
    InitUserMgr();
  } catch (const std::exception& e) {
    ShowErrorReport(e.what());
    DoneSVN();
    delete BasicSetting;
    BasicSetting = nullptr;
    return 0;
  }
  InitProjectMgr();

  SetApplicationTitle(kTitle);
  app.setApplicationName(kTitle);

  new TfrmMain();
  GEndingSession = false;
  TEndSessionSignals endSession;
  TShowChannel showChannel; // once it answers, the end of the session is heard too
  QObject::connect(&app, &QGuiApplication::commitDataRequest,
                   [](QSessionManager&) { EndSession(); });
  frmMain->show();
  if (onRunning) onRunning();
  app.exec();

  // Shutdown: a new instance may start from here on.
  instance.reset();
  delete frmMain;
  QList<QPointer<QWidget>> windows;
  for (QWidget* w : QApplication::topLevelWidgets())
    windows << w;
  for (const QPointer<QWidget>& w : windows)
    delete w.data();

  std::vector<std::string> failures;
  Release(DoneProjectMgr, failures);
  Release(DoneUserMgr, failures);
  Release(DoneSVN, failures);
  Release(DoneBasicSetting, failures);
  // A failed save is told on the terminal as well; at the end of the session only there, as
  // nobody is left to click a report away.
  for (const std::string& f : failures) {
    std::fprintf(stderr, "%s: %s\n", kTitle, ErrorReportText(f).c_str());
    std::fflush(stderr);
    if (!GEndingSession) ShowErrorReport(f);
  }
  return 0;
}
