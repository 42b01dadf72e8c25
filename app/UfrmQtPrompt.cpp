#include "app/UfrmQtPrompt.h"

#include "app/UfrmDialogKit.h"

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace {

void CentreOnScreen(QWidget& w) {
  w.adjustSize();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect r = screen->availableGeometry();
    w.move(r.center() - QPoint(w.width() / 2, w.height() / 2));
  }
}

// Keeps the dialog centred on the screen once Qt has laid it out.
class TCentreOnShow : public QObject {
public:
  using QObject::QObject;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Show) CentreOnScreen(*static_cast<QWidget*>(o));
    return false;
  }
};

} // namespace

TMsgButton TQtPrompt::MessageBox(const std::string& caption, const std::string& text, TMsgIcon icon,
                                 TMsgButtons buttons) {
  QMessageBox box;
  box.setWindowFlags(TFixedDialog::FixedFrame());
  box.setWindowTitle(Q(caption));
  box.setText(Q(text));
  switch (icon) {
  case TMsgIcon::None:
    box.setIcon(QMessageBox::NoIcon);
    break;
  case TMsgIcon::Warning:
    box.setIcon(QMessageBox::Warning);
    break;
  case TMsgIcon::Error:
    box.setIcon(QMessageBox::Critical);
    break;
  case TMsgIcon::Information:
    box.setIcon(QMessageBox::Information);
    break;
  case TMsgIcon::Question:
    box.setIcon(QMessageBox::Question);
    break;
  }
  if (buttons == 0) buttons = mbOK;
  struct {
    TMsgButton b;
    QMessageBox::StandardButton q;
    const char* caption;
  } const map[] = {{mbYes, QMessageBox::Yes, "&Yes"},
                   {mbNo, QMessageBox::No, "&No"},
                   {mbOK, QMessageBox::Ok, "OK"},
                   {mbCancel, QMessageBox::Cancel, "Cancel"}};
  QPushButton* byButton[4] = {};
  for (int i = 0; i < 4; ++i) {
    if (!(buttons & map[i].b)) continue;
    byButton[i] = box.addButton(map[i].q);
    byButton[i]->setText(map[i].caption);
  }
  auto find = [&](TMsgButton b) -> QPushButton* {
    for (int i = 0; i < 4; ++i)
      if (map[i].b == b) return byButton[i];
    return nullptr;
  };
  if (QPushButton* d = find(DefaultButton(buttons))) box.setDefaultButton(d);
  if (QPushButton* e = find(EscapeButton(buttons))) box.setEscapeButton(e);
  TCentreOnShow centre;
  box.installEventFilter(&centre);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (int i = 0; i < 4; ++i)
    if (byButton[i] && clicked == byButton[i]) return map[i].b;
  return EscapeButton(buttons) != mbNone ? EscapeButton(buttons) : DefaultButton(buttons);
}

void TQtPrompt::ProcessMessages() {
  QCoreApplication::processEvents();
}

bool TQtPrompt::InputQuery(const std::string& caption, const std::string& prompt,
                           std::string& value, int maxLength) {
  QInputDialog dlg;
  dlg.setWindowTitle(Q(caption));
  dlg.setLabelText(Q(prompt));
  dlg.setInputMode(QInputDialog::TextInput);
  dlg.setTextValue(Q(value));
  dlg.setOkButtonText("OK");
  dlg.setCancelButtonText("Cancel");
  if (auto* edit = dlg.findChild<QLineEdit*>()) edit->setMaxLength(maxLength);
  TCentreOnShow centre;
  dlg.installEventFilter(&centre);
  if (dlg.exec() != QDialog::Accepted) return false;
  value = dlg.textValue().toStdString();
  return true;
}

std::optional<std::string> TQtPrompt::SelectFolder(const std::string& caption,
                                                   const std::string& startFolder) {
  QString dir = QFileDialog::getExistingDirectory(nullptr, Q(caption), Q(startFolder));
  if (dir.isEmpty()) return std::nullopt;
  return dir.toStdString();
}
