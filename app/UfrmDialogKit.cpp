#include "app/UfrmDialogKit.h"

#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

namespace {

// Blocks of the bar drawn apart, the way the themed bars show progress.
const char* const kSegmentedBar =
    "QProgressBar { border: 1px solid #7f9db9; background: #ffffff; padding: 1px; }"
    "QProgressBar::chunk { background-color: #2d8ee0; width: 7px; margin-right: 2px; }";

QFont Bold(QFont f) {
  f.setBold(true);
  return f;
}

} // namespace

QFont WindowsFont(const char* family) {
  const QString name = Q(family);
  // Kept once: Qt does not list a substitute twice.
  QFont::insertSubstitution(name, "NanumGothic");
  return QFont(name);
}

QFont GulimFont(int points, bool bold) {
  QFont f = WindowsFont("굴림");
  f.setPointSize(points);
  return bold ? Bold(f) : f;
}

QFont GulimPixelFont(int pixels, bool bold) {
  QFont f = WindowsFont("굴림");
  f.setPixelSize(pixels);
  return bold ? Bold(f) : f;
}

Qt::WindowFlags TFixedDialog::FixedFrame() {
  // CustomizeWindowHint: the hints below are all the frame gets, so no window manager adds
  // minimise or maximise buttons.
  return Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
         Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
}

TFixedDialog::TFixedDialog(QWidget* parent, const char* objectName, const char* caption,
                           QSize clientSize, TKeys keys, const QFont& font, Qt::WindowFlags frame)
    : QDialog(parent, frame), FKeys(keys) {
  setObjectName(objectName);
  if (caption) setWindowTitle(Q(caption));
  setFixedSize(clientSize);
  setFont(font);
}

void TFixedDialog::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  FormShow();
}

void TFixedDialog::keyPressEvent(QKeyEvent* e) {
  // A focused button takes Enter as it takes Space, whatever the dialog does with Enter
  // elsewhere: the kit's buttons are not auto-default, so the key reaches us unhandled.
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    QWidget* w = focusWidget();
    if ((qobject_cast<QPushButton*>(w) || qobject_cast<QToolButton*>(w)) && w->isEnabled() &&
        w->isVisible() && w->window() == this) {
      e->accept();
      static_cast<QAbstractButton*>(w)->click();
      return;
    }
  }
  if (FKeys == TKeys::NoDefaultOrCancel &&
      (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape)) {
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

QLabel* MakeLabel(QWidget* parent, const char* caption, QRect r, QWidget* buddy) {
  auto* l = new QLabel(Q(caption), parent);
  l->setGeometry(r);
  if (buddy) l->setBuddy(buddy);
  return l;
}

QLabel* MakeLabel(QWidget* parent, const char* caption, QPoint at, const char* objectName) {
  auto* l = new QLabel(Q(caption), parent);
  l->setObjectName(objectName);
  l->move(at);
  return l;
}

QLabel* MakeLabelLeftOf(QWidget* field, const char* caption) {
  auto* l = new QLabel(Q(caption), field->parentWidget());
  l->adjustSize();
  const QRect r = field->geometry();
  l->move(r.left() - 3 - l->width(), r.top() + (r.height() - l->height()) / 2);
  l->setBuddy(field);
  return l;
}

QProgressBar* MakeBar(QWidget* parent, const char* objectName, const char* title, QRect r) {
  auto* b = new QProgressBar(parent);
  b->setObjectName(objectName);
  b->setGeometry(r);
  b->setRange(0, 100);
  b->setValue(0);
  b->setTextVisible(false);
  b->setStyleSheet(kSegmentedBar);
  b->setAccessibleName(Q(title));
  return b;
}

QPushButton* MakeBoldButton(QWidget* parent, const char* caption, QRect r, const char* objectName) {
  auto* b = new QPushButton(Q(caption), parent);
  if (objectName) b->setObjectName(objectName);
  b->setGeometry(r);
  b->setFont(Bold(b->font()));
  b->setAutoDefault(false);
  b->setDefault(false);
  return b;
}

QToolButton* MakeSpeedButton(QWidget* parent, const char* objectName, const char* caption,
                             QRect r) {
  auto* b = new QToolButton(parent);
  b->setObjectName(objectName);
  b->setText(Q(caption));
  b->setGeometry(r);
  b->setAutoRaise(true);
  b->setFont(Bold(b->font()));
  return b;
}
