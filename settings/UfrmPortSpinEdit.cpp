#include "settings/UfrmPortSpinEdit.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

// Qt's own interface for spin boxes reads a value that only QSpinBox keeps, so a screen
// reader heard 0 in a range 0..0: this one tells the field's own number and range.
class TPortSpinAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
  explicit TPortSpinAccessible(TPortSpinEdit* w) : QAccessibleWidget(w, QAccessible::SpinBox) {}
  TPortSpinEdit* Edit() const { return static_cast<TPortSpinEdit*>(widget()); }

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return Edit()->Text();
    return QAccessibleWidget::text(t);
  }
  QVariant currentValue() const override { return Edit()->Value(); }
  void setCurrentValue(const QVariant& value) override { Edit()->SetValue(value.toInt()); }
  QVariant maximumValue() const override { return Edit()->Maximum(); }
  QVariant minimumValue() const override { return Edit()->Minimum(); }
  QVariant minimumStepSize() const override { return 1; }
};

QAccessibleInterface* PortSpinAccessible(const QString& className, QObject* object) {
  if (className == QLatin1String("TPortSpinEdit") && object && object->isWidgetType())
    return new TPortSpinAccessible(static_cast<TPortSpinEdit*>(object));
  return nullptr;
}

} // namespace

TPortSpinEdit::TPortSpinEdit(QWidget* parent, int minValue, int maxValue)
    : QAbstractSpinBox(parent), FMin(minValue), FMax(maxValue) {
  static const bool installed = (QAccessible::installFactory(PortSpinAccessible), true);
  (void)installed;
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  setKeyboardTracking(true);
  SetValue(minValue);
  connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
    if (!QAccessible::isActive()) return;
    QAccessibleValueChangeEvent ev(this, Value());
    QAccessible::updateAccessibility(&ev);
  });
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
