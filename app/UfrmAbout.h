// The About box: the application title, its version and the maker's contact address as a
// mail link.
#pragma once

#include "app/UfrmDialogKit.h"

class QLabel;
class QPushButton;

// The address that the About box shows and writes to.
extern const char* const ContactAddress;

class TfrmAbout : public TFixedDialog {
  Q_OBJECT

public:
  explicit TfrmAbout(QWidget* parent = nullptr);

  QLabel* lblTitle;
  QLabel* lblEMail;
  QLabel* lblVersion;
  QPushButton* btnOk;

  void FormCreate();
  // Opens the desktop's mail program on a new message to the contact address.
  void lblEMailClick();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// Opens the About box modally, centred on the main window, and frees it when it closes.
void ShowAbout();
