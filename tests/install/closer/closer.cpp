// Stands in for the person at the desktop while the installed program runs offscreen, where
// no window manager can close a window: once the main window is up it closes it as the title
// bar's close box does, and answers the closing question with "&Yes". Any other message box
// is answered with its default button, so that the program cannot hang; the test reads the
// steps this reports on standard error and fails on any it did not expect.
//
// Loaded into the program with LD_PRELOAD; it uses only Qt's public interface.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>

namespace {

void Report(const QString& step) {
  // One line per step; line ends inside texts are shown as \r and \n.
  QString line = step;
  line.replace("\r", "\\r").replace("\n", "\\n");
  std::fprintf(stderr, "closer: %s\n", line.toUtf8().constData());
  std::fflush(stderr);
}

class TDesktopCloser : public QObject {
public:
  using QObject::QObject;

  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() != QEvent::Show || !object->isWidgetType()) return false;
    auto* window = static_cast<QWidget*>(object);
    if (!window->isWindow()) return false;
    if (auto* box = qobject_cast<QMessageBox*>(window))
      Answer(box);
    else if (window->objectName() == "frmMain" && !FClosing)
      Close(window);
    return false;
  }

private:
  void Close(QWidget* window) {
    FClosing = true;
    Report("shown: " + window->windowTitle());
    QPointer<QWidget> target(window);
    // A moment for the first show to finish, as a person would take.
    QTimer::singleShot(300, this, [target]() {
      if (!target) return;
      Report("close");
      // The window system's close request, as the close box sends it.
      if (QWindow* handle = target->windowHandle())
        handle->close();
      else
        target->close();
    });
  }

  void Answer(QMessageBox* box) {
    Report("message: " + box->windowTitle() + " | " + box->text());
    QPointer<QMessageBox> target(box);
    QTimer::singleShot(100, this, [target]() {
      if (!target) return;
      QAbstractButton* press = target->defaultButton();
      for (QAbstractButton* b : target->buttons())
        if (b->text() == "&Yes") press = b;
      if (!press) {
        Report("no button to press");
        return;
      }
      Report("press: " + press->text());
      press->click();
    });
  }

  bool FClosing = false;
};

void InstallCloser() {
  auto* closer = new TDesktopCloser(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(closer);
  Report("loaded");
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallCloser)
