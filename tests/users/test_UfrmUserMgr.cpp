// The user manager offscreen: the list, the selection, saving with its checks and messages,
// deleting, and what reaches User.Dat.
#include "support/GuiTestApp.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"
#include "users/UclsUserMgr.h"
#include "users/UfrmUserMgr.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const char* const kEmpty = "UserID와 Password를 입력해주세요.";
const char* const kBadID = "UserID 형식이 잘못되었습니다.\r\n다시 입력해주세요.";
const char* const kBadPassword = "Password 형식이 잘못되었습니다.\r\n다시 입력해주세요";

class UserMgrDialog : public ::testing::Test {
protected:
  void Show(const std::function<void(TfrmUserMgr&)>& act) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      auto* f = qobject_cast<TfrmUserMgr*>(QApplication::activeModalWidget());
      ASSERT_NE(f, nullptr);
      act(*f);
      ran = true;
      f->close();
    });
    ShowUserMgr();
    EXPECT_TRUE(ran);
  }

  static std::vector<std::string> Rows(TfrmUserMgr& f) {
    std::vector<std::string> rows;
    for (int i = 0; i < f.lvUser->topLevelItemCount(); ++i)
      rows.push_back(f.lvUser->topLevelItem(i)->text(0).toStdString() + "=" +
                     f.lvUser->topLevelItem(i)->text(1).toStdString());
    return rows;
  }

  static void Click(TfrmUserMgr& f, int row) {
    QRect r = f.lvUser->visualItemRect(f.lvUser->topLevelItem(row));
    QTest::mouseClick(f.lvUser->viewport(), Qt::LeftButton, {}, r.center());
  }

  static void Save(TfrmUserMgr& f, const char* id, const char* password) {
    f.edtUserID->setText(QString::fromUtf8(id));
    f.edtPassword->setText(QString::fromUtf8(password));
    f.btnAdd->click();
  }

  TempDir dir;
  // The registry on dir/User.Dat.
  TGlobals globals{"", dir.Path()};
  TclsUserMgr& users = globals.Users;
};

} // namespace

TEST_F(UserMgrDialog, ListsTheRegistryAndAClickedRowFillsBothEdits) {
  users.Users = {"alice=secret", "bob=pw2"};
  Show([](TfrmUserMgr& f) {
    EXPECT_EQ(f.windowTitle(), QString::fromUtf8("사용자 관리"));
    EXPECT_EQ(f.size(), QSize(260, 295));
    EXPECT_EQ(f.lvUser->headerItem()->text(0), "UserID");
    EXPECT_EQ(f.lvUser->headerItem()->text(1), "Password");
    EXPECT_EQ(f.lvUser->columnWidth(0), 120);
    EXPECT_EQ(Rows(f), (std::vector<std::string>{"alice=secret", "bob=pw2"}));
    EXPECT_TRUE(f.lvUser->selectedItems().isEmpty());
    EXPECT_TRUE(f.edtUserID->text().isEmpty());
    Click(f, 1);
    EXPECT_EQ(f.edtUserID->text(), "bob");
    EXPECT_EQ(f.edtPassword->text(), "pw2");
    Click(f, 0); // single selection: moves to alice
    EXPECT_EQ(f.edtUserID->text(), "alice");
    f.lvUser->clearSelection(); // the deselected account stays in the edits
    EXPECT_EQ(f.edtUserID->text(), "alice");
    EXPECT_EQ(f.edtPassword->text(), "secret");
  });
}

// Trimming and the checks are the save job's (tests of the registry).
TEST_F(UserMgrDialog, SavingReplacesInPlaceAndWritesUserDat) {
  users.Users = {"Alice=old", "bob=pw2"};
  TScriptedPrompt prompt;
  Show([](TfrmUserMgr& f) {
    Save(f, "carol", "pw3");
    Save(f, "ALICE", "new");
    EXPECT_EQ(Rows(f), (std::vector<std::string>{"ALICE=new", "bob=pw2", "carol=pw3"}));
    EXPECT_EQ(f.edtUserID->text(), "ALICE"); // the edits keep their text
  });
  EXPECT_TRUE(prompt.Calls.empty());
  EXPECT_EQ(ReadFile(dir / "User.Dat"), "ALICE=new\r\nbob=pw2\r\ncarol=pw3\r\n");
}

TEST_F(UserMgrDialog, MalformedInputIsAnsweredAndNothingIsWritten) {
  TScriptedPrompt prompt;
  std::vector<std::pair<QString, QString>> edits;
  Show([&](TfrmUserMgr& f) {
    auto after = [&] { edits.push_back({f.edtUserID->text(), f.edtPassword->text()}); };
    Save(f, "", ""); // both empty: the first message, nothing emptied
    after();
    Save(f, "  ", "pw");
    after();
    for (const char* id : {"a b", "#a"}) {
      Save(f, id, "p=w"); // both bad: the ID's message only
      after();
    }
    Save(f, "ok", "p w");
    after();
    Save(f, "ok", "p=w");
    after();
    EXPECT_EQ(f.lvUser->topLevelItemCount(), 0);
  });
  std::vector<std::string> texts;
  for (const auto& m : prompt.Messages()) {
    texts.push_back(m.Text);
    EXPECT_EQ(m.Caption, "Orlenway");
    EXPECT_EQ(m.Icon, TMsgIcon::None);
    EXPECT_EQ(m.Buttons, static_cast<TMsgButtons>(mbOK));
  }
  std::vector<std::string> expected = {kEmpty, kEmpty};
  for (int i = 0; i < 2; ++i)
    expected.push_back(kBadID);
  expected.push_back(kBadPassword);
  expected.push_back(kBadPassword);
  EXPECT_EQ(texts, expected);
  ASSERT_EQ(edits.size(), 6u);
  EXPECT_EQ(edits[0], std::make_pair(QString(), QString()));
  EXPECT_EQ(edits[1], std::make_pair(QString("  "), QString("pw")));
  EXPECT_EQ(edits[2], std::make_pair(QString(), QString("p=w"))); // only the ID emptied
  EXPECT_EQ(edits[4], std::make_pair(QString("ok"), QString()));  // only the password
  EXPECT_EQ(users.Count(), 0);
  EXPECT_FALSE(Exists(dir / "User.Dat"));
}

TEST_F(UserMgrDialog, DeleteRemovesExactlyTheSelectedLineAndShutdownWritesIt) {
  users.Users = {"alice=1", "ALICE=2", "bob=3"};
  Show([](TfrmUserMgr& f) {
    f.btnDelete->click(); // nothing selected: nothing happens
    EXPECT_EQ(f.lvUser->topLevelItemCount(), 3);
    Click(f, 1);
    f.btnDelete->click();
    EXPECT_EQ(Rows(f), (std::vector<std::string>{"alice=1", "bob=3"}));
    EXPECT_TRUE(f.lvUser->selectedItems().isEmpty());
  });
  EXPECT_FALSE(Exists(dir / "User.Dat")); // a delete waits for the next write
  users.Save();
  EXPECT_EQ(ReadFile(dir / "User.Dat"), "alice=1\r\nbob=3\r\n");
}

TEST_F(UserMgrDialog, AFailedWriteIsReportedAndTheListIsNotRebuilt) {
  WriteFile(dir / "file", "x");
  users.FileName = dir / "file/User.Dat";
  TScriptedPrompt prompt;
  Show([](TfrmUserMgr& f) {
    Save(f, "alice", "pw");
    EXPECT_EQ(f.lvUser->topLevelItemCount(), 0);
  });
  auto m = prompt.Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].Icon, TMsgIcon::Error);
  EXPECT_EQ(m[0].Text.rfind("Cannot create file", 0), 0u) << m[0].Text;
  EXPECT_TRUE(users.Exists("alice")); // kept in memory for the next write
}
