// What the program's windows share: UTF-8 texts as Qt texts, the font "굴림" with its stand-in
// where it is missing, the fixed dialog frame, and the builders of the widgets the dialogs
// place by hand.
#pragma once

#include <QDialog>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <string>

class QKeyEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QShowEvent;
class QToolButton;
class QWidget;

// The program's texts are UTF-8: literals and the core's strings alike.
inline QString Q(const char* utf8) {
  return QString::fromUtf8(utf8);
}
inline QString Q(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

// A Windows font family. Where it is missing (every Linux desktop) Qt falls back on
// NanumGothic, so that Korean captions never show as empty boxes.
QFont WindowsFont(const char* family);
// "굴림" at `points` points or `pixels` pixels high.
QFont GulimFont(int points, bool bold = false);
QFont GulimPixelFont(int pixels, bool bold = false);

// A dialog of a fixed client size: object name, caption, a frame with a close box and a
// system menu and no minimise or maximise box, and its font ("굴림" at 12 pixels unless
// given). FormShow runs each time the dialog is shown.
class TFixedDialog : public QDialog {
  Q_OBJECT
public:
  // What Enter and Escape do: what they do in any dialog, or nothing at all (no button is
  // the dialog's default or cancel button; only the close box closes it).
  enum class TKeys { Standard, NoDefaultOrCancel };

  static Qt::WindowFlags FixedFrame();

  // `caption` may be nullptr for a dialog that sets its caption later.
  TFixedDialog(QWidget* parent, const char* objectName, const char* caption, QSize clientSize,
               TKeys keys, const QFont& font = GulimPixelFont(12),
               Qt::WindowFlags frame = FixedFrame());

  virtual void FormShow() {}

protected:
  void showEvent(QShowEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

private:
  TKeys FKeys;
};

// A label with its caption: at `r`, or at `at` in the label's own size.
QLabel* MakeLabel(QWidget* parent, const char* caption, QRect r, QWidget* buddy = nullptr);
QLabel* MakeLabel(QWidget* parent, const char* caption, QPoint at, const char* objectName);
// A label sized to its caption, 3 pixels left of `field` and centred on its height, naming
// the field for keyboard users and screen readers.
QLabel* MakeLabelLeftOf(QWidget* field, const char* caption);

// A bar from 0 to 100 without a text, its blocks drawn apart; `title` names it for screen
// readers.
QProgressBar* MakeBar(QWidget* parent, const char* objectName, const char* title, QRect r);

// A button with a bold caption that Enter in a field does not press.
QPushButton* MakeBoldButton(QWidget* parent, const char* caption, QRect r,
                            const char* objectName = nullptr);
// A flat button with a bold caption that rises under the mouse.
QToolButton* MakeSpeedButton(QWidget* parent, const char* objectName, const char* caption, QRect r);
