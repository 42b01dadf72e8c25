// The desktop seams: the default error report, the Qt message box's buttons, and the
// application object's catching of errors that escape an event handler.
#include "app/UfrmApplication.h"
#include "app/UfrmQtPrompt.h"
#include "base/UfnDesktop.h"
#include "base/UfnErrors.h"
#include "support/GuiTestApp.h"
#include "support/UfnScriptedPrompt.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Runs `inspect` on the first modal dialog that opens, from inside its event loop.
template <typename T, typename F> void WhenModal(F inspect) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, inspect]() {
    if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      inspect(w);
    }
  });
  timer->start(10);
}

class Thrower : public QObject {
public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw EFOpenError("Cannot open file \"x\". Permission denied");
    if (e->type() == QEvent::User + 1) throw std::runtime_error("done.");
    return QObject::event(e);
  }
};

} // namespace

TEST(ErrorReport, FullStopAppendedOnlyAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(ErrorReportText("Stream write error"), "Stream write error.");
  EXPECT_EQ(ErrorReportText("already."), "already.");
  EXPECT_EQ(ErrorReportText("what!"), "what!");    // '!' sorts before '.'
  EXPECT_EQ(ErrorReportText("(3)"), "(3)");        // ')' too
  EXPECT_EQ(ErrorReportText("line 3"), "line 3."); // digits sort after it
  EXPECT_EQ(ErrorReportText("실패"), "실패.");     // a Hangul byte sorts after it
  EXPECT_EQ(ErrorReportText(""), "");
}

TEST(ErrorReport, ErrorsEscapingAHandlerAreReportedAndTheLoopGoesOn) {
  TScriptedPrompt prompt;
  Thrower t;
  QEvent e(QEvent::User);
  EXPECT_NO_THROW(QApplication::sendEvent(&t, &e));
  QEvent e2(static_cast<QEvent::Type>(QEvent::User + 1));
  EXPECT_NO_THROW(QApplication::sendEvent(&t, &e2));
  auto m = prompt.Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].Caption, "Orlenway");
  EXPECT_EQ(m[0].Text, "Cannot open file \"x\". Permission denied.");
  EXPECT_EQ(m[0].Icon, TMsgIcon::Error);
  EXPECT_EQ(m[0].Buttons, static_cast<TMsgButtons>(mbOK));
  EXPECT_EQ(m[1].Text, "done.");
}

TEST(Prompt, ButtonRulesAndCaptionsOfNotices) {
  EXPECT_EQ(DefaultButton(mbYes | mbNo), mbYes);
  EXPECT_EQ(DefaultButton(mbOK | mbCancel), mbOK);
  EXPECT_EQ(DefaultButton(mbYes | mbNo | mbOK), mbOK);
  EXPECT_EQ(EscapeButton(mbYes | mbNo), mbNo);
  EXPECT_EQ(EscapeButton(mbYes | mbNo | mbCancel), mbCancel);
  EXPECT_EQ(EscapeButton(mbOK), mbOK);

  TScriptedPrompt prompt;
  prompt.ShowMessage("plain");
  prompt.MessageDlg("careful", TMsgIcon::Warning, mbYes | mbNo);
  prompt.MessageDlg("sure?", TMsgIcon::Question, mbYes | mbNo);
  auto m = prompt.Messages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].Caption, "Orlenway");
  EXPECT_EQ(m[0].Icon, TMsgIcon::None);
  EXPECT_EQ(m[1].Caption, "Warning");
  EXPECT_EQ(m[2].Caption, "Confirm");
  // Unscripted questions get the cautious answer, and are counted.
  EXPECT_EQ(m[1].Answer, mbNo);
  EXPECT_EQ(prompt.Unanswered, 3);
}

TEST(QtPrompt, MessageBoxHasTheStandardCaptionsDefaultAndEscape) {
  TQtPrompt qt;
  QStringList texts;
  QString defaultText, escapeText, title;
  WhenModal<QMessageBox>([&](QMessageBox* box) {
    title = box->windowTitle();
    for (QAbstractButton* b : box->buttons())
      texts << b->text();
    defaultText = box->defaultButton() ? box->defaultButton()->text() : "";
    escapeText = box->escapeButton() ? box->escapeButton()->text() : "";
    box->escapeButton()->click();
  });
  TMsgButton r = qt.MessageBox("Warning", "종료?", TMsgIcon::Warning, mbYes | mbNo);
  EXPECT_EQ(r, mbNo);
  EXPECT_EQ(title, "Warning");
  texts.sort();
  EXPECT_EQ(texts, (QStringList{"&No", "&Yes"}));
  EXPECT_EQ(defaultText, "&Yes");
  EXPECT_EQ(escapeText, "&No");

  WhenModal<QMessageBox>([&](QMessageBox* box) {
    defaultText = box->defaultButton()->text();
    escapeText = box->escapeButton()->text();
    box->defaultButton()->click();
  });
  EXPECT_EQ(qt.MessageBox("Confirm", "?", TMsgIcon::Question, mbOK | mbCancel), mbOK);
  EXPECT_EQ(defaultText, "OK");
  EXPECT_EQ(escapeText, "Cancel");
}

TEST(QtPrompt, InputBoxLimitsTheLineAndReportsCancel) {
  TQtPrompt qt;
  int maxLength = 0;
  WhenModal<QInputDialog>([&](QInputDialog* dlg) {
    auto* edit = dlg->findChild<QLineEdit*>();
    maxLength = edit->maxLength();
    edit->setText(QString(300, 'x'));
    dlg->accept();
  });
  std::string value;
  EXPECT_TRUE(qt.InputQuery("프로젝트 생성", "이름", value, 255));
  EXPECT_EQ(maxLength, 255);
  EXPECT_EQ(value, std::string(255, 'x'));

  WhenModal<QInputDialog>([](QInputDialog* dlg) { dlg->reject(); });
  value = "kept";
  EXPECT_FALSE(qt.InputQuery("c", "p", value, 255));
  EXPECT_EQ(value, "kept");
}
