// The access dialog offscreen over repositories of the real svnadmin, checked against
// svnauthz: a rule on a sub-path, a widening rule refused, a group, the grid, and an invalid
// hand edit taken back after a yes. The project manager's mark and button come along.
#include "ProjectMgrTestKit.h"

#include "projects/UfnAccessGroups.h"
#include "projects/UfnAccessJobs.h"
#include "projects/UfrmAccessMgr.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>

using namespace projmgr_kit;

namespace {

class AccessMgrDialog : public ProjectMgrDialog {
protected:
  AccessMgrDialog() { Settings.SVNPath = "/usr"; }

  void ShowAccess(const std::string& project, const std::function<void(TfrmAccessMgr&)>& act) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      auto* f = qobject_cast<TfrmAccessMgr*>(QApplication::activeModalWidget());
      if (f) {
        Settle(*f);
        act(*f);
        ran = true;
        f->close();
      }
    });
    ShowAccessMgr(project);
    EXPECT_TRUE(ran) << "the dialog was not shown";
  }
  // Lets the workers (folders, grid) finish and their results arrive.
  static void Settle(TfrmAccessMgr& f) {
    QDeadlineTimer deadline(30000);
    while (f.Busy() && !deadline.hasExpired())
      QApplication::processEvents(QEventLoop::AllEvents, 50);
    QApplication::processEvents();
    ASSERT_FALSE(f.Busy());
  }
  std::string Accessof(const std::string& user, const std::string& path) {
    RunResult r = Shell("svnauthz accessof " + Quote(Root / "app/conf/authz") +
                        " --repository app --path " + Quote(path) + " --username " + Quote(user));
    return r.Output.substr(0, r.Output.find('\n'));
  }
  static QTableWidgetItem* Cell(const QTableWidget* t, const QString& row, const QString& column) {
    for (int r = 0; r < t->rowCount(); ++r)
      for (int c = 0; c < t->columnCount(); ++c)
        if (t->verticalHeaderItem(r)->text() == row && t->horizontalHeaderItem(c)->text() == column)
          return t->item(r, c);
    return nullptr;
  }
  static std::string LastMessage(const TScriptedPrompt& prompt) {
    return prompt.Messages().empty() ? "" : prompt.Messages().back().Text;
  }
};

} // namespace

TEST_F(AccessMgrDialog, SetsRulesRefusesWideningEditsGroupsAndExplains) {
  Create("app");
  Create("web");
  const std::string url = "file://" + Root / "app";
  ASSERT_EQ(Shell("svn mkdir -q -m x --parents " + Quote(url + "/trunk/secret")).ExitCode, 0);
  for (const char* id : {"alice", "bob"}) {
    Users.SetUser(id, "pw");
    TProjectFiles(Root.Path(), "app").WriteUser(id, "pw");
  }
  const std::string authz = Root / "app/conf/authz";
  TScriptedPrompt prompt;
  ShowAccess("app", [&](TfrmAccessMgr& f) {
    EXPECT_EQ(f.windowTitle(), QString::fromUtf8("접근 권한"));
    EXPECT_EQ(f.SelectedProject(), "app");
    // The repository's folders, read by svnlook in the background.
    EXPECT_GE(f.cbPath->findText("/trunk/secret"), 0);

    f.cbPath->setCurrentText("/trunk/secret");
    f.cbWho->setCurrentText("alice");
    f.rbRead->setChecked(true);
    f.btnSetRule->click();
    EXPECT_NE(ReadFile(authz).find("[/trunk/secret]\nalice = r\n"), std::string::npos)
        << ReadFile(authz);
    EXPECT_EQ(Accessof("alice", "/trunk/secret"), "r");
    EXPECT_EQ(Accessof("bob", "/trunk/secret"), "rw");
    ASSERT_EQ(f.lvRule->topLevelItemCount(), 1);
    EXPECT_EQ(f.lvRule->topLevelItem(0)->text(1), QString::fromUtf8("읽기"));

    // "* = rw" at [/] already gives bob more: refused with the job's reason, nothing written.
    const std::string before = ReadFile(authz);
    f.cbPath->setCurrentText("/");
    f.cbWho->setCurrentText("bob");
    f.btnSetRule->click();
    EXPECT_NE(LastMessage(prompt).find(kAccessUnionHint), std::string::npos) << LastMessage(prompt);
    EXPECT_EQ(ReadFile(authz), before);

    // A group, then a rule naming it; the group cannot go while the rule stands.
    f.edtGroup->setText("devs");
    f.edtMembers->setText("bob, alice");
    f.btnAddMembers->click();
    ASSERT_EQ(f.lvGroup->topLevelItemCount(), 1);
    EXPECT_EQ(f.lvGroup->topLevelItem(0)->text(1).toStdString(), "bob, alice");
    f.edtMembers->setText("alice");
    f.btnRemoveMembers->click();
    EXPECT_EQ(f.lvGroup->topLevelItem(0)->text(1).toStdString(), "bob");
    f.cbPath->setCurrentText("/trunk/secret");
    f.cbWho->setCurrentText("@devs");
    f.rbNone->setChecked(true);
    f.btnSetRule->click();
    EXPECT_NE(ReadFile(authz).find("devs = bob\n"), std::string::npos) << ReadFile(authz);
    EXPECT_EQ(Accessof("bob", "/trunk/secret"), "no");
    EXPECT_EQ(Accessof("alice", "/trunk/secret"), "r");
    prompt.Answer(mbYes);
    f.btnDeleteGroup->click();
    EXPECT_NE(LastMessage(prompt).find(kGroupNamedByRules), std::string::npos);
    EXPECT_NE(LastMessage(prompt).find("@devs"), std::string::npos) << LastMessage(prompt);
    EXPECT_EQ(f.lvGroup->topLevelItemCount(), 1);

    // The grid at each project's root, recomputed after the changes.
    Settle(f);
    QTableWidgetItem* cell = Cell(f.tblGrid, "alice", "app");
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text().toStdString(), "rw");
    EXPECT_NE(cell->toolTip().toStdString().find("* = rw"), std::string::npos)
        << cell->toolTip().toStdString();
    cell = Cell(f.tblGrid, "alice", "web");
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text().toStdString(), "none");
    EXPECT_NE(cell->toolTip().toStdString().find(kAccessNotInPasswd), std::string::npos);
    cell = Cell(f.tblGrid, QString::fromUtf8(kAccessAnonymous), "web");
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text().toStdString(), "r");
  });
  EXPECT_EQ(prompt.Unanswered, 2) << "the two refusals, each told once";

  // The project manager marks where rules exist and opens them on the selected project,
  // beside its own controls.
  Show([&](TfrmProjectMgr& f) {
    // No two of the dialog's controls overlap, wherever each one's parent is.
    std::vector<QWidget*> controls;
    for (QWidget* w : std::initializer_list<QWidget*>{
             f.lvProject, f.btnAdd, f.btnBackup, f.btnDelete, f.rgAnonAccess, f.rgAuthAccess,
             f.btnApplyAuth, f.btnAccess, f.lblRules, f.lvRegUser, f.sbtnReg, f.sbtnUnreg,
             f.lvUnregUser, f.lblProject})
      controls.push_back(w);
    if (auto* restore = f.findChild<QWidget*>("btnRestore")) controls.push_back(restore);
    auto place = [&f](QWidget* w) { return QRect(w->mapTo(&f, QPoint(0, 0)), w->size()); };
    for (size_t i = 0; i < controls.size(); ++i) {
      EXPECT_TRUE(f.rect().contains(place(controls[i]))) << controls[i]->objectName().toStdString();
      for (size_t j = i + 1; j < controls.size(); ++j)
        EXPECT_FALSE(place(controls[i]).intersects(place(controls[j])))
            << controls[i]->objectName().toStdString() << " / "
            << controls[j]->objectName().toStdString();
    }
    Click(f.lvProject, "app");
    EXPECT_EQ(f.lblRules->text(), QString::fromUtf8("규칙\n있음"));
    EXPECT_TRUE(f.lblRules->toolTip().contains("/trunk/secret"));
    std::string opened;
    QTimer::singleShot(0, [&] {
      if (auto* a = qobject_cast<TfrmAccessMgr*>(QApplication::activeModalWidget())) {
        opened = a->SelectedProject();
        Settle(*a);
        a->close();
      }
    });
    f.btnAccess->click();
    EXPECT_EQ(opened, "app");
    Click(f.lvProject, "web");
    EXPECT_TRUE(f.lblRules->text().isEmpty());
  });

  // A hand edit that svnserve refuses: shown with its line, nothing editable; restored on yes.
  const std::string good = ReadFile(authz);
  WriteFile(authz, good + "[/trunk/secret]\n* = r\n");
  prompt.Answer(mbNo);
  ShowAccess("app", [&](TfrmAccessMgr& f) {
    const std::string shown = f.lblInvalid->text().toStdString();
    EXPECT_NE(shown.find(InvalidRulesText(ReadProjectRules(Root.Path(), "app"))),
              std::string::npos);
    EXPECT_NE(shown.find("번째 줄"), std::string::npos) << shown;
    EXPECT_FALSE(f.btnSetRule->isEnabled());
    EXPECT_FALSE(f.btnRestore->isHidden());
    prompt.Answer(mbYes);
    f.btnRestore->click();
    EXPECT_EQ(ReadFile(authz), good);
    EXPECT_TRUE(f.lblInvalid->text().isEmpty());
    EXPECT_TRUE(f.btnSetRule->isEnabled());
  });
  EXPECT_EQ(prompt.Pending(), 0u);
}
