// The application object: owns the windows, runs the message loop, and reports any error
// that no handler caught, after which the program goes on running.
#pragma once

#include <QApplication>

class TApplication : public QApplication {
public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
