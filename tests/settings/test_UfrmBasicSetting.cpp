// The settings dialog offscreen: what it shows, what confirming and cancelling store, the
// port field's range, the folder pickers, and a save that fails.
#include "platform/UfnPlatform.h"
#include "settings/UclsBasicSetting.h"
#include "settings/UfrmBasicSetting.h"
#include "settings/UfrmFolderEdit.h"
#include "settings/UfrmPortSpinEdit.h"
#include "support/GuiTestApp.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class BasicSettingDialog : public ::testing::Test {
protected:
  void SetUp() override {
    settings.ConfigFile = dir / "orlenway.ini";
    settings.SVNPath = "/usr";
  }

  // Opens the dialog as ShowBasicSetting does and runs `act` inside its modal loop.
  void Show(const std::function<void(TfrmBasicSetting&)>& act) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      ASSERT_NE(frmBasicSetting, nullptr);
      act(*frmBasicSetting);
      ran = true;
      // Whatever the test did not close is closed through the close box.
      if (frmBasicSetting && frmBasicSetting->isVisible()) frmBasicSetting->close();
    });
    ShowBasicSetting();
    EXPECT_TRUE(ran);
    EXPECT_EQ(frmBasicSetting, nullptr);
  }

  void TypePort(TfrmBasicSetting& f, const QString& text) {
    auto* edit = f.sedtPort->findChild<QLineEdit*>();
    edit->clear();
    QTest::keyClicks(edit, text);
  }

  TempDir dir;
  // No repository root yet.
  TGlobals globals{"", dir.Path()};
  TclsBasicSetting& settings = globals.Settings;
};

} // namespace

TEST_F(BasicSettingDialog, ShowsTheSettingsAndConfirmingWithoutChangesKeepsTheBytes) {
  settings.RepoPath = dir / "저장소";
  settings.BackupPath = "E:\\Admin's Backup";
  settings.SetPort(3691);
  settings.SaveConfig();
  const std::string before = ReadFile(settings.ConfigFile);
  Show([&](TfrmBasicSetting& f) {
    EXPECT_EQ(f.windowTitle(), QString::fromUtf8("기본 설정"));
    EXPECT_EQ(f.size(), QSize(313, 250));
    EXPECT_EQ(f.edtSVNPath->text(), "/usr");
    EXPECT_EQ(f.edtRepoPath->text().toStdString(), dir / "저장소");
    EXPECT_EQ(f.edtBackupPath->text(), "E:\\Admin's Backup");
    EXPECT_EQ(f.sedtPort->Value(), 3691);
    EXPECT_EQ(f.lblPort->buddy(), f.sedtPort);
    EXPECT_EQ(f.lblBackupPath->buddy(), f.edtBackupPath);
    EXPECT_FALSE(f.btnOk->isDefault() || f.btnOk->autoDefault());
    EXPECT_FALSE(f.btnCancel->isDefault() || f.btnCancel->autoDefault());
    f.btnOk->click();
    EXPECT_FALSE(f.isVisible());
  });
  EXPECT_EQ(ReadFile(settings.ConfigFile), before);
}

TEST_F(BasicSettingDialog, AStoredPortOutOfRangeShowsAtTheBound) {
  settings.SetPort(70000);
  Show([](TfrmBasicSetting& f) {
    EXPECT_EQ(f.sedtPort->Text(), "65535");
    f.btnCancel->click();
  });
  EXPECT_EQ(settings.GetPort(), 70000);
  EXPECT_FALSE(Exists(settings.ConfigFile));
  Show([](TfrmBasicSetting& f) { f.close(); }); // the close box is 취소 too
  EXPECT_EQ(settings.GetPort(), 70000);
  Show([](TfrmBasicSetting& f) { f.btnOk->click(); });
  EXPECT_EQ(settings.GetPort(), 65535);
  EXPECT_NE(ReadFile(settings.ConfigFile).find("  Port = 65535\r\n"), std::string::npos);
}

TEST_F(BasicSettingDialog, TypedPortsAreBroughtIntoRange) {
  struct {
    const char* typed;
    int stored;
  } const cases[] = {{"99999", 65535}, {"0", 1}, {"", 1}, {"+8080", 8080}, {"3690abc", 3690}};
  for (const auto& c : cases) {
    Show([&](TfrmBasicSetting& f) {
      f.sedtPort->setFocus();
      TypePort(f, c.typed);
      f.btnOk->click();
    });
    EXPECT_EQ(settings.GetPort(), c.stored) << "typed " << c.typed;
  }
}

TEST_F(BasicSettingDialog, PortKeysStepAndLeavingTheFieldClamps) {
  settings.SetPort(65530);
  Show([&](TfrmBasicSetting& f) {
    auto* edit = f.sedtPort->findChild<QLineEdit*>();
    QTest::keyClick(f.sedtPort, Qt::Key_Up);
    EXPECT_EQ(f.sedtPort->Value(), 65531);
    QTest::keyClick(f.sedtPort, Qt::Key_PageUp);
    EXPECT_EQ(f.sedtPort->Value(), 65535);
    QTest::keyClick(f.sedtPort, Qt::Key_PageDown);
    EXPECT_EQ(f.sedtPort->Value(), 65525);
    QTest::keyClick(f.sedtPort, Qt::Key_Down);
    EXPECT_EQ(f.sedtPort->Value(), 65524);
    // Letters and the minus sign cannot be typed.
    TypePort(f, "12x-3");
    EXPECT_EQ(edit->text(), "123");
    TypePort(f, "70000");
    EXPECT_EQ(edit->text(), "70000");
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(f.sedtPort, &out);
    EXPECT_EQ(edit->text(), "65535");
    TypePort(f, "");
    QApplication::sendEvent(f.sedtPort, &out);
    EXPECT_EQ(edit->text(), ""); // not a number: the text stays, the value counts as 1
    EXPECT_EQ(f.sedtPort->Value(), 1);
    // Enter and Escape close nothing.
    QTest::keyClick(&f, Qt::Key_Escape);
    QTest::keyClick(f.edtSVNPath, Qt::Key_Return);
    EXPECT_TRUE(f.isVisible());
    // A focused button takes Enter and Space as a click.
    f.btnCancel->setFocus();
    QTest::keyClick(f.btnCancel, Qt::Key_Return);
    EXPECT_FALSE(f.isVisible());
  });
  EXPECT_EQ(settings.GetPort(), 65530);
}

// A screen reader hears the port and its range, not 0 in 0..0.
TEST_F(BasicSettingDialog, ThePortFieldTellsItsValueAndRangeToAssistiveTechnology) {
  Show([&](TfrmBasicSetting& f) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(f.sedtPort);
    ASSERT_NE(a, nullptr);
    QAccessibleValueInterface* v = a->valueInterface();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(a->role(), QAccessible::SpinBox);
    EXPECT_EQ(v->currentValue().toInt(), f.sedtPort->Value());
    EXPECT_EQ(v->minimumValue().toInt(), 1);
    EXPECT_EQ(v->maximumValue().toInt(), 65535);
    v->setCurrentValue(8080);
    EXPECT_EQ(f.sedtPort->Value(), 8080);
    EXPECT_EQ(a->text(QAccessible::Value), "8080");
    f.btnCancel->click();
  });
}

TEST_F(BasicSettingDialog, FoldersAreStoredAsTypedAndAnEmptyOneLeavesNoLine) {
  settings.RepoPath = "/srv/svn";
  Show([](TfrmBasicSetting& f) {
    f.edtRepoPath->clear();
    f.edtBackupPath->setText(" /backup/ ");
    f.btnOk->click();
  });
  EXPECT_EQ(settings.RepoPath, "");
  EXPECT_EQ(settings.BackupPath, " /backup/ ");
  const std::string text = ReadFile(settings.ConfigFile);
  EXPECT_EQ(text.find("RepoPath"), std::string::npos);
  EXPECT_NE(text.find("  BackupPath = ' /backup/ '\r\n"), std::string::npos);
}

TEST_F(BasicSettingDialog, BrowseStartsAtTheFieldThenAtTheLastPickedFolder) {
  MakeDirs(dir / "repos");
  MakeDirs(dir / "picked");
  settings.RepoPath = dir / "repos";
  TScriptedPrompt prompt;
  prompt.AnswerFolder(dir / "picked");
  prompt.AnswerFolder(std::nullopt);
  prompt.AnswerFolder(std::nullopt);
  Show([&](TfrmBasicSetting& f) {
    f.edtRepoPath->BrowseAction()->trigger();
    EXPECT_EQ(f.edtRepoPath->text().toStdString(), dir / "picked");
    f.edtRepoPath->clear();
    f.edtRepoPath->BrowseAction()->trigger(); // cancelled: the text stays empty
    EXPECT_EQ(f.edtRepoPath->text(), "");
    f.edtBackupPath->setText("/no/such/folder");
    f.edtBackupPath->BrowseAction()->trigger(); // cancelled: the text stays
    EXPECT_EQ(f.edtBackupPath->text(), "/no/such/folder");
    f.btnCancel->click();
  });
  ASSERT_EQ(prompt.Calls.size(), 3u);
  EXPECT_EQ(prompt.Calls[0].Kind, TPromptCall::Folder);
  EXPECT_EQ(prompt.Calls[0].Caption, "Select Directory");
  EXPECT_EQ(prompt.Calls[0].Value, dir / "repos");
  EXPECT_EQ(prompt.Calls[1].Value, dir / "picked");
  EXPECT_EQ(prompt.Calls[2].Value, platform::GetCurrentDir()); // missing folder
  EXPECT_EQ(settings.RepoPath, dir / "repos");
}

TEST_F(BasicSettingDialog, AFailedSaveKeepsTheDialogOpenAndTheNewValues) {
  WriteFile(dir / "file", "not a folder");
  settings.ConfigFile = dir / "file/orlenway.ini";
  TScriptedPrompt prompt;
  bool openAfterFailure = false;
  Show([&](TfrmBasicSetting& f) {
    f.edtRepoPath->setText("/srv/new");
    f.btnOk->click();
    openAfterFailure = f.isVisible();
    f.btnCancel->click();
  });
  EXPECT_TRUE(openAfterFailure);
  auto m = prompt.Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].Caption, "Orlenway");
  EXPECT_EQ(m[0].Icon, TMsgIcon::Error);
  EXPECT_EQ(m[0].Text.rfind("Cannot create file \"" + dir / "file/orlenway.ini" + "\". ", 0), 0u)
      << m[0].Text;
  EXPECT_EQ(settings.RepoPath, "/srv/new");
  EXPECT_EQ(ReadFile(dir / "file"), "not a folder");
}

TEST_F(BasicSettingDialog, FirstRunConfirmMakesTheStateFolderAndCloses) {
  // A fresh account: neither the state folder nor its parent exists yet.
  settings.ConfigFile = dir / "config/orlenway/orlenway.ini";
  TScriptedPrompt prompt;
  Show([&](TfrmBasicSetting& f) {
    f.btnOk->click();
    EXPECT_FALSE(f.isVisible());
  });
  EXPECT_TRUE(prompt.Messages().empty());
  ASSERT_TRUE(platform::FileExists(settings.ConfigFile));
  EXPECT_NE(ReadFile(settings.ConfigFile).find("SVNPath"), std::string::npos);
}

// A folder whose name is no UTF-8 (Latin-1 "café" here): the field shows the stray byte as
// U+FFFD and says so; confirming keeps the bytes and the file, and an edit keeps the bytes it
// did not touch.
TEST_F(BasicSettingDialog, AFolderThatIsNoUtf8IsShownMarkedAndKeptByteForByte) {
  const std::string latin1 = dir / "caf\xE9";
  MakeDirs(latin1);
  settings.RepoPath = latin1;
  settings.BackupPath = latin1;
  settings.SaveConfig();
  const std::string before = ReadFile(settings.ConfigFile);
  ASSERT_NE(before.find("  RepoPath = {"), std::string::npos) << before;
  settings.LoadConfig();
  TScriptedPrompt prompt;
  prompt.AnswerFolder(std::nullopt);
  Show([&](TfrmBasicSetting& f) {
    EXPECT_EQ(f.edtRepoPath->text(), QString::fromStdString(dir / "caf") + QChar(0xFFFD));
    EXPECT_TRUE(f.edtRepoPath->toolTip().contains(QChar(0xFFFD)))
        << f.edtRepoPath->toolTip().toStdString();
    EXPECT_TRUE(f.edtSVNPath->toolTip().isEmpty());
    f.edtRepoPath->BrowseAction()->trigger(); // opens at the folder itself; cancelled
    f.btnOk->click();
    EXPECT_FALSE(f.isVisible());
  });
  ASSERT_EQ(prompt.Calls.size(), 1u);
  EXPECT_EQ(prompt.Calls[0].Value, latin1);
  EXPECT_EQ(settings.RepoPath, latin1);
  EXPECT_EQ(ReadFile(settings.ConfigFile), before);

  Show([&](TfrmBasicSetting& f) {
    f.edtRepoPath->setFocus();
    f.edtRepoPath->end(false);
    QTest::keyClicks(f.edtRepoPath, "/sub");
    f.edtBackupPath->setText("/backup"); // typed anew: the old bytes go, and so does the mark
    EXPECT_TRUE(f.edtBackupPath->toolTip().isEmpty());
    EXPECT_FALSE(f.edtRepoPath->toolTip().isEmpty());
    f.btnOk->click();
  });
  EXPECT_EQ(settings.RepoPath, latin1 + "/sub");
  EXPECT_EQ(settings.BackupPath, "/backup");
  TclsBasicSetting again;
  again.ConfigFile = settings.ConfigFile;
  again.LoadConfig();
  EXPECT_EQ(again.RepoPath, latin1 + "/sub");
}
