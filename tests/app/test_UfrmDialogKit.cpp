// The dialog kit offscreen: the fixed frame, FormShow on each show, what Enter and Escape do
// with either key setting, the font "굴림" and its stand-in, and the builders whose placement
// or keys the dialogs rely on.
#include "app/UfrmDialogKit.h"

#include "support/GuiTestApp.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

class TCountingDialog : public TFixedDialog {
public:
  using TFixedDialog::TFixedDialog;
  int Shows = 0;
  void FormShow() override { ++Shows; }
};

using TKeys = TFixedDialog::TKeys;

} // namespace

TEST(FrmDialogKit, AFixedDialogKeepsItsFrameAndRunsFormShowOnEachShow) {
  TCountingDialog d(nullptr, "frmTest", "시험 대화상자", {200, 100}, TKeys::NoDefaultOrCancel);
  EXPECT_EQ(d.objectName(), "frmTest");
  EXPECT_EQ(d.windowTitle(), QString::fromUtf8("시험 대화상자"));
  EXPECT_EQ(d.minimumSize(), QSize(200, 100));
  EXPECT_EQ(d.maximumSize(), QSize(200, 100));
  const Qt::WindowFlags frame = d.windowFlags();
  EXPECT_TRUE(frame.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_TRUE(frame.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_FALSE(frame.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(frame.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(d.font().family(), QString::fromUtf8("굴림"));
  EXPECT_EQ(d.font().pixelSize(), 12);

  EXPECT_EQ(d.Shows, 0);
  d.show();
  d.hide();
  d.show();
  EXPECT_EQ(d.Shows, 2);
}

TEST(FrmDialogKit, EnterAndEscapeActOnlyInADialogThatKeepsThem) {
  for (TKeys keys : {TKeys::Standard, TKeys::NoDefaultOrCancel}) {
    SCOPED_TRACE(keys == TKeys::Standard ? "standard" : "no default or cancel");
    TCountingDialog d(nullptr, "frmTest", "시험", {200, 100}, keys);
    auto* edit = new QLineEdit(&d);
    auto* ok = new QPushButton("OK", &d);
    ok->setDefault(true);
    int pressed = 0;
    QObject::connect(ok, &QPushButton::clicked, [&] { ++pressed; });
    d.show();
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_EQ(pressed, keys == TKeys::Standard ? 2 : 0);
    d.show();
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(d.isVisible(), keys == TKeys::NoDefaultOrCancel);
    // Other keys still reach the fields.
    d.show();
    QTest::keyClicks(edit, "ab");
    EXPECT_EQ(edit->text(), "ab");
  }
}

TEST(FrmDialogKit, GulimIsAskedForAndFallsBackOnAFontWithHangul) {
  const QFont points = GulimFont(9, true);
  EXPECT_EQ(points.family(), QString::fromUtf8("굴림"));
  EXPECT_EQ(points.pointSize(), 9);
  EXPECT_TRUE(points.bold());
  const QFont pixels = GulimPixelFont(11);
  EXPECT_EQ(pixels.pixelSize(), 11);
  EXPECT_FALSE(pixels.bold());
  // Each call asks for the stand-in; the table holds it once.
  WindowsFont("굴림");
  EXPECT_EQ(QFont::substitutes(QString::fromUtf8("굴림"))
                .filter("nanumgothic", Qt::CaseInsensitive)
                .size(),
            1);
  EXPECT_TRUE(QFontMetrics(points).inFontUcs4(U'굴'));
  EXPECT_TRUE(QFontMetrics(WindowsFont("MS Sans Serif")).inFontUcs4(U'진'));
  // UTF-8 in, one character per syllable out.
  EXPECT_EQ(Q("굴림").size(), 2);
  EXPECT_EQ(Q(std::string("굴림")), Q("굴림"));
}

TEST(FrmDialogKit, ALabelLeftOfItsFieldNamesItAndABoldButtonIsNoDefault) {
  TCountingDialog d(nullptr, "frmTest", "시험", {260, 120}, TKeys::Standard);
  auto* panel = new QWidget(&d);
  panel->setGeometry(0, 0, 260, 120);
  auto* field = new QLineEdit(panel);
  field->setGeometry(88, 24, 149, 21);
  QLabel* label = MakeLabelLeftOf(field, "Password");
  EXPECT_EQ(label->parentWidget(), panel);
  EXPECT_EQ(label->buddy(), field);
  EXPECT_EQ(label->geometry().right() + 1, 88 - 3);
  EXPECT_LE(std::abs(label->geometry().center().y() - field->geometry().center().y()), 1);
  EXPECT_EQ(label->size(), label->sizeHint());

  QPushButton* save = MakeBoldButton(panel, "저장", {44, 60, 75, 25}, "btnSave");
  EXPECT_EQ(save->objectName(), "btnSave");
  EXPECT_EQ(save->geometry(), QRect(44, 60, 75, 25));
  EXPECT_TRUE(save->font().bold());
  int pressed = 0;
  QObject::connect(save, &QPushButton::clicked, [&] { ++pressed; });
  d.show();
  field->setFocus();
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(pressed, 0);
}
