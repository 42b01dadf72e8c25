#include "app/UfrmAbout.h"

#include "base/UfnDesktop.h"
#include "support/GuiTestApp.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

// Stands in for the desktop's mail program.
class TMailProgram : public QObject {
  Q_OBJECT

public:
  QList<QUrl> Opened;
public slots:
  void open(const QUrl& url) { Opened.append(url); }
};

} // namespace

TEST(About, CaptionAndTitleFollowTheApplicationTitle) {
  SetApplicationTitle("Orlenway");
  TfrmAbout about;
  EXPECT_EQ(about.objectName(), "frmAbout");
  EXPECT_EQ(about.windowTitle(), QString::fromUtf8("Orlenway 에 대하여..."));
  EXPECT_EQ(about.lblTitle->text(), "Orlenway");
  EXPECT_EQ(about.lblVersion->text(), QString::fromUtf8("버전 ") + ORLENWAY_VERSION);
  EXPECT_EQ(QString(ORLENWAY_VERSION), "0.1.0");
  SetApplicationTitle("Other Title");
  TfrmAbout other;
  EXPECT_EQ(other.windowTitle(), QString::fromUtf8("Other Title 에 대하여..."));
  EXPECT_EQ(other.lblTitle->text(), "Other Title");
  SetApplicationTitle("Orlenway");
}

TEST(About, TheMailLinkOpensANewMessageToTheAddress) {
  TMailProgram mail;
  QDesktopServices::setUrlHandler("mailto", &mail, "open");
  TfrmAbout about;
  about.show();
  QTest::mouseClick(about.lblEMail, Qt::LeftButton);
  about.lblEMail->setFocus();
  QTest::keyClick(about.lblEMail, Qt::Key_Space);
  QDesktopServices::unsetUrlHandler("mailto");
  ASSERT_EQ(mail.Opened.size(), 2);
  EXPECT_EQ(mail.Opened[0].toString(), QString("mailto:") + ContactAddress);
  EXPECT_EQ(mail.Opened[1], mail.Opened[0]);
  // The title is no link.
  QTest::mouseClick(about.lblTitle, Qt::LeftButton);
  EXPECT_EQ(mail.Opened.size(), 2);
}

#include "test_UfrmAbout.moc"
