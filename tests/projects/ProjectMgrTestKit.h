// The project manager under test: the globals it works through, bound to the test's own
// folders, a way to drive the modal dialog, and the real svnadmin behind a logging wrapper.
#pragma once

#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfrmProjectMgr.h"
#include "settings/UclsBasicSetting.h"
#include "support/GuiTestApp.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"
#include "users/UclsUserMgr.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>

namespace projmgr_kit {

using namespace testing_support;
using Lines = std::vector<std::string>;

class ProjectMgrDialog : public ::testing::Test {
protected:
  ProjectMgrDialog() {
    // svnadmin as the dialog's command line finds it: a wrapper that notes its folder and its
    // arguments, one per line, and hands over to the real program.
    RealSvnadmin = Shell("command -v svnadmin").Output;
    if (!RealSvnadmin.empty() && RealSvnadmin.back() == '\n') RealSvnadmin.pop_back();
    SvnadminLog = Bin / "svnadmin.log";
    WriteFile(Bin / "svnadmin", "#!/bin/sh\nprintf '%s\\n' \"[$PWD]\" \"$@\" >> " +
                                    Quote(SvnadminLog) + "\nexec " + Quote(RealSvnadmin) +
                                    " \"$@\"\n");
    Shell("chmod +x " + Quote(Bin / "svnadmin"));
    SavedPath = platform::GetEnv("PATH");
    platform::SetEnv("PATH", Bin.Path() + ":" + SavedPath);
  }
  ~ProjectMgrDialog() override { platform::SetEnv("PATH", SavedPath); }

  // Opens the dialog through ShowProjectMgr and runs `act` inside its modal loop.
  void Show(const std::function<void(TfrmProjectMgr&)>& act) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      auto* f = qobject_cast<TfrmProjectMgr*>(QApplication::activeModalWidget());
      if (f) {
        act(*f);
        ran = true;
        f->close();
      }
    });
    ShowProjectMgr();
    EXPECT_TRUE(ran) << "the dialog was not shown";
  }

  void Create(const std::string& project) {
    RunResult r = Shell(Quote(RealSvnadmin) + " create " + Quote(Root / project));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
  }
  std::string Conf(const std::string& project) const {
    return Root / (project + "/conf/svnserve.conf");
  }
  // What the wrapper noted, "" when svnadmin never ran.
  std::string Ran() const { return Exists(SvnadminLog) ? ReadFile(SvnadminLog) : ""; }

  static Lines Rows(const QTreeWidget* lv) {
    Lines rows;
    for (int i = 0; i < lv->topLevelItemCount(); ++i)
      rows.push_back(lv->topLevelItem(i)->text(0).toStdString());
    return rows;
  }
  // Clicks the row with that caption, as a person would (Ctrl adds it to a multiple selection).
  static void Click(QTreeWidget* lv, const std::string& caption,
                    Qt::KeyboardModifiers keys = Qt::NoModifier) {
    const auto found = lv->findItems(QString::fromStdString(caption), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << caption;
    QTest::mouseClick(lv->viewport(), Qt::LeftButton, keys,
                      lv->visualItemRect(found.first()).center());
  }
  // In the open dialog: makes `project` through 추가 (`prompt` gives the name), shuts out
  // anonymous users, lets signed-in ones write and registers `user`.
  static void AddPrivateProject(TfrmProjectMgr& f, TScriptedPrompt& prompt,
                                const std::string& project, const std::string& user) {
    prompt.AnswerInput(project);
    f.btnAdd->click();
    Click(f.lvProject, project);
    TfrmProjectMgr::SetItemIndex(f.rgAnonAccess, 0);
    TfrmProjectMgr::SetItemIndex(f.rgAuthAccess, 2);
    f.btnApplyAuth->click();
    Click(f.lvUnregUser, user);
    f.sbtnReg->click();
  }
  static void ClickEmpty(QTreeWidget* lv) {
    QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, QPoint(10, lv->viewport()->height() - 5));
  }

  TempDir Root{"repos"};
  TempDir State{"state"};
  TempDir Bin{"bin"};
  std::string RealSvnadmin;
  std::string SvnadminLog;
  std::string SavedPath;
  TGlobals Globals{Root.Path(), State.Path()};
  TclsBasicSetting& Settings = Globals.Settings;
  TclsUserMgr& Users = Globals.Users;
};

} // namespace projmgr_kit
