// A whole-number spin field for the port. It takes any run of digits and "+" while typing
// and brings the value into its range when it loses the focus, so a typed 99999 becomes the
// upper bound instead of being refused digit by digit. A text that is not a number counts as
// the lower bound.
#pragma once

#include <QAbstractSpinBox>

class TPortSpinEdit : public QAbstractSpinBox {
  Q_OBJECT
public:
  explicit TPortSpinEdit(QWidget* parent = nullptr, int minValue = 1, int maxValue = 65535);

  int Value() const;        // the text's number in range, or the lower bound
  void SetValue(int value); // shown at the nearer bound when out of range
  QString Text() const;
  int Minimum() const { return FMin; }
  int Maximum() const { return FMax; }

  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;

protected:
  StepEnabled stepEnabled() const override;
  void focusOutEvent(QFocusEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

private:
  bool Number(const QString& text, long long& value) const;
  int Clamp(long long v) const;
  int FMin, FMax;
};
