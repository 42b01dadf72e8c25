#include "app/UfrmApplication.h"

#include "base/UfnDesktop.h"

#include <QFont>
#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // Gulim is a Windows font; on Linux the Korean captions fall back to NanumGothic.
  QFont::insertSubstitution(QString::fromUtf8("굴림"), "NanumGothic");
  QFont font(QString::fromUtf8("굴림"));
  font.setPointSize(9);
  setFont(font);
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
