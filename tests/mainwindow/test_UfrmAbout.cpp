#include "app/UfrmAbout.h"

#include "app/UfnDesktop.h"
#include "app/UfrmApplication.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

// One application for the test process, made before the first test and destroyed after the
// last one while the program still runs (QTest's input device must go with it, not later).
class TAppEnvironment : public ::testing::Environment {
public:
  void SetUp() override { FApp = new TApplication(FArgc, FArgv); }
  void TearDown() override {
    delete FApp;
    FApp = nullptr;
  }

private:
  int FArgc = 1;
  char FName[32] = "test_about";
  char* FArgv[2] = {FName, nullptr};
  TApplication* FApp = nullptr;
};
const auto* const AppEnvironment = ::testing::AddGlobalTestEnvironment(new TAppEnvironment);

// Stands in for the desktop's mail program.
class TMailProgram : public QObject {
  Q_OBJECT

public:
  QList<QUrl> Opened;
public slots:
  void open(const QUrl& url) { Opened.append(url); }
};

} // namespace

TEST(About, CaptionTitleAndLayout) {
  SetApplicationTitle("Orlenway");
  TfrmAbout about;
  EXPECT_EQ(about.objectName(), "frmAbout");
  EXPECT_EQ(about.windowTitle(), QString::fromUtf8("Orlenway 에 대하여..."));
  EXPECT_EQ(about.lblTitle->text(), "Orlenway");
  EXPECT_EQ(about.lblTitle->pos(), QPoint(49, 36));
  EXPECT_EQ(about.lblTitle->font().pointSize(), 18);
  EXPECT_TRUE(about.lblTitle->font().bold());
  EXPECT_EQ(about.size(), QSize(409, 192));
  EXPECT_EQ(about.minimumSize(), about.maximumSize());
  EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(about.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(about.lblEMail->pos(), QPoint(152, 100));
  EXPECT_EQ(about.lblEMail->text(), ContactAddress);
  EXPECT_TRUE(about.lblEMail->font().underline());
  EXPECT_EQ(about.lblEMail->palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_EQ(about.lblEMail->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(about.btnOk->text(), QString::fromUtf8("확인"));
  EXPECT_EQ(about.btnOk->geometry(), QRect(168, 149, 75, 25));

  // Another title shows in both places.
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

TEST(About, ShowAboutIsModalAndOkClosesIt) {
  QString seen;
  bool modal = false;
  QTimer::singleShot(50, [&]() {
    auto* box = qobject_cast<TfrmAbout*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen = box->windowTitle();
    modal = box->isModal();
    QTest::mouseClick(box->btnOk, Qt::LeftButton);
  });
  QTimer::singleShot(3000, []() { // never hang the run
    if (QWidget* w = QApplication::activeModalWidget()) w->close();
  });
  ShowAbout();
  EXPECT_EQ(seen, QString::fromUtf8("Orlenway 에 대하여..."));
  EXPECT_TRUE(modal);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

#include "test_UfrmAbout.moc"
