// What the program's dialogs share: the fixed dialog frame with its font, and the bold
// buttons that are never a dialog's default button.
#pragma once

#include <QRect>

class QDialog;
class QPushButton;
class QWidget;

// Object name, caption, a fixed client size, a frame with a close box and a system menu and
// no minimise or maximise box, and the font "굴림" at `pixels` high.
void SetUpFixedDialog(QDialog& dialog, const char* objectName, const char* caption, int width,
                      int height, int pixels = 12);

// A button with a bold caption that Enter in a field does not press.
QPushButton* MakeBoldButton(QWidget* parent, const char* caption, QRect r,
                            const char* objectName = nullptr);
