#include "app/UfrmAbout.h"

#include "app/UfrmMain.h"
#include "base/UfnDesktop.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

const char* const ContactAddress = "support@orlenway.example";

// Enter presses the default button and Escape closes, as in any dialog; the caption comes
// with the application's title in FormCreate.
TfrmAbout::TfrmAbout(QWidget* parent)
    : TFixedDialog(parent, "frmAbout", nullptr, {409, 192}, TKeys::Standard, GulimFont(9),
                   Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  lblTitle = new QLabel(this);
  lblTitle->setObjectName("lblTitle");
  lblTitle->setFont(GulimFont(18, true));
  lblTitle->move(49, 36);

  lblVersion = new QLabel(Q("버전 " ORLENWAY_VERSION), this);
  lblVersion->setObjectName("lblVersion");
  lblVersion->adjustSize();
  lblVersion->move(152, 76);

  lblEMail = new QLabel(Q(ContactAddress), this);
  lblEMail->setObjectName("lblEMail");
  QFont link = font();
  link.setUnderline(true);
  lblEMail->setFont(link);
  QPalette blue = lblEMail->palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  lblEMail->setPalette(blue);
  lblEMail->setCursor(Qt::PointingHandCursor);
  // Keyboard users reach the link with Tab and open it with Space.
  lblEMail->setFocusPolicy(Qt::TabFocus);
  lblEMail->adjustSize();
  lblEMail->move(152, 100);
  lblEMail->installEventFilter(this);

  btnOk = new QPushButton(Q("확인"), this);
  btnOk->setObjectName("btnOk");
  btnOk->setGeometry(168, 149, 75, 25);
  btnOk->setDefault(true);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

  FormCreate();
}

void TfrmAbout::FormCreate() {
  const QString title = Q(ApplicationTitle());
  setWindowTitle(title + Q(" 에 대하여..."));
  lblTitle->setText(title);
  lblTitle->adjustSize();
}

void TfrmAbout::lblEMailClick() {
  // Whether a mail program opened is not reported.
  QDesktopServices::openUrl(QUrl(QString("mailto:") + ContactAddress));
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lblEMail) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        lblEMail->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
      lblEMailClick();
      return true;
    }
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
      lblEMailClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void ShowAbout() {
  TfrmAbout about;
  if (frmMain) {
    QRect owner = frmMain->frameGeometry();
    about.move(owner.center() - QPoint(about.width() / 2, about.height() / 2));
  }
  about.exec();
}
