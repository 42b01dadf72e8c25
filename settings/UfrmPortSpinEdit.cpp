#include "settings/UfrmPortSpinEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

TPortSpinEdit::TPortSpinEdit(QWidget* parent, int minValue, int maxValue)
    : QAbstractSpinBox(parent), FMin(minValue), FMax(maxValue) {
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  setKeyboardTracking(true);
  SetValue(minValue);
}

bool TPortSpinEdit::Number(const QString& text, long long& value) const {
  QString t = text.trimmed();
  if (t.startsWith('+')) t.remove(0, 1);
  if (t.isEmpty() || t.size() > 18) return false;
  for (QChar c : t)
    if (!c.isDigit() || c.unicode() > '9') return false;
  value = t.toLongLong();
  return true;
}

int TPortSpinEdit::Clamp(long long v) const {
  return static_cast<int>(v < FMin ? FMin : v > FMax ? FMax : v);
}

int TPortSpinEdit::Value() const {
  long long v;
  return Number(Text(), v) ? Clamp(v) : FMin;
}

QString TPortSpinEdit::Text() const {
  return lineEdit()->text();
}

void TPortSpinEdit::SetValue(int value) {
  lineEdit()->setText(QString::number(Clamp(value)));
}

void TPortSpinEdit::stepBy(int steps) {
  SetValue(Clamp(static_cast<long long>(Value()) + steps));
  lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled TPortSpinEdit::stepEnabled() const {
  return StepUpEnabled | StepDownEnabled;
}

QValidator::State TPortSpinEdit::validate(QString& input, int&) const {
  for (QChar c : input)
    if (c != '+' && !(c.isDigit() && c.unicode() <= '9')) return QValidator::Invalid;
  return QValidator::Acceptable;
}

void TPortSpinEdit::fixup(QString&) const {}

void TPortSpinEdit::focusOutEvent(QFocusEvent* e) {
  long long v;
  if (Number(Text(), v) && Clamp(v) != v) SetValue(Clamp(v));
  QAbstractSpinBox::focusOutEvent(e);
}

void TPortSpinEdit::keyPressEvent(QKeyEvent* e) {
  const QString t = e->text();
  bool printable = !t.isEmpty() && t.at(0).isPrint() &&
                   !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
  if (printable) {
    for (QChar c : t)
      if (c != '+' && !(c.isDigit() && c.unicode() <= '9')) {
        QApplication::beep();
        e->accept();
        return;
      }
  }
  QAbstractSpinBox::keyPressEvent(e);
}
