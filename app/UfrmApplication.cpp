#include "app/UfrmApplication.h"

#include "app/UfrmDialogKit.h"
#include "base/UfnDesktop.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setFont(GulimFont(9));
  setQuitOnLastWindowClosed(false);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowErrorReport(e.what());
  } catch (...) {
    ShowErrorReport("Unknown error");
  }
  return false;
}
