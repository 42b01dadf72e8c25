// The project manager offscreen over repositories of the real svnadmin: creating with its
// checks, deleting into the Trash, the access levels, the registry sync, and registering and
// withdrawing users.
#include "ProjectMgrTestKit.h"

#include "projects/UfnProfileFile.h"
#include "support/UfnScriptedPrompt.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

using namespace projmgr_kit;

namespace {

const char* const kBadName = "프로젝트 이름이 올바르지 않습니다.";
const char* const kNoRepoPath = "저장소 경로 설정 해주세요";
const char* const kProjectExists = "같은 이름의 프로젝트나 파일이 이미 있습니다.";

using Levels = std::pair<int, int>;
Levels Chosen(const TfrmProjectMgr& f) {
  return {TfrmProjectMgr::ItemIndex(f.rgAnonAccess), TfrmProjectMgr::ItemIndex(f.rgAuthAccess)};
}

// Every path below the test process's private root.
std::string Snapshot() {
  return Shell("cd " + Quote(PrivateRoot()) + " && find . | sort").Output;
}

std::vector<std::string> Texts(const TScriptedPrompt& prompt) {
  std::vector<std::string> texts;
  for (const TPromptCall& m : prompt.Messages())
    texts.push_back(m.Text);
  return texts;
}

} // namespace

TEST_F(ProjectMgrDialog, OpensOnAFreshScanAndDoesNothingBeforeAProjectIsSelected) {
  Create("beta");
  MakeDirs(Root / "Alpha");
  MakeDirs(Root / ".hidden");
  WriteFile(Root / "notes.txt", "x");
  Users.Users = {"alice=a1"};
  const std::string conf = ReadFile(Conf("beta"));
  Show([&](TfrmProjectMgr& f) {
    EXPECT_EQ(f.windowTitle(), QString::fromUtf8("프로젝트 관리"));
    EXPECT_EQ(f.size(), QSize(630, 301));
    EXPECT_EQ(f.lvProject->headerItem()->text(0), "Project List");
    EXPECT_GE(f.lvProject->columnWidth(0), 230); // and up to the list's width
    EXPECT_EQ(Rows(f.lvProject), (Lines{"Alpha", "beta"}));
    EXPECT_TRUE(f.lvProject->selectedItems().isEmpty());
    EXPECT_EQ(f.lvRegUser->topLevelItemCount() + f.lvUnregUser->topLevelItemCount(), 0);
    EXPECT_EQ(Chosen(f), Levels(-1, -1));

    TfrmProjectMgr::SetItemIndex(f.rgAnonAccess, 0);
    f.btnApplyAuth->click();
    f.sbtnReg->click();
    f.sbtnUnreg->click();
    f.btnDelete->click();
    TfrmProjectMgr::SetItemIndex(f.rgAnonAccess, -1);
    EXPECT_EQ(Chosen(f), Levels(-1, -1));
  });
  EXPECT_EQ(ReadFile(Conf("beta")), conf);
  EXPECT_TRUE(Exists(Root / "Alpha"));
  EXPECT_FALSE(Exists(Users.FileName));
}

TEST_F(ProjectMgrDialog, CancelBlanksAndNamesThatAreNoPlainFolderNameRunNothing) {
  TScriptedPrompt prompt;
  // Which names are plain is the create job's rule (tests of the catalogue); a few of each
  // kind show that the window asks it and shows its answer.
  const std::vector<std::optional<std::string>> inputs = {
      std::nullopt, "", " \t ", "a/b", "..", "--help", "x$(touch pwned)", "x`touch pwned`"};
  Show([&](TfrmProjectMgr& f) {
    const std::string before = Snapshot();
    for (const auto& input : inputs) {
      prompt.AnswerInput(input);
      f.btnAdd->click();
    }
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(f.lvProject->topLevelItemCount(), 0);
  });
  EXPECT_EQ(Ran(), "");
  EXPECT_EQ(prompt.Pending(), 0u);
  // Three inputs end silently; every other one gets the message.
  EXPECT_EQ(Texts(prompt), std::vector<std::string>(inputs.size() - 3, kBadName));
  const TPromptCall& box = prompt.Calls.front();
  EXPECT_EQ(box.Kind, TPromptCall::Input);
  EXPECT_EQ(box.Caption, "프로젝트 생성");
  EXPECT_EQ(box.Text, "생성할 프로젝트 이름을 입력하세요");
  EXPECT_EQ(box.Value, "");
  EXPECT_EQ(box.MaxLength, 255);
}

TEST_F(ProjectMgrDialog, AnAcceptedNameMakesExactlyThatRepositoryInTheRoot) {
  TempDir reference("ref");
  ASSERT_EQ(Shell(Quote(RealSvnadmin) + " create " + Quote(reference / "r")).ExitCode, 0);
  const std::string svnadminConf = ReadFile(reference / "r/conf/svnserve.conf");
  const std::string cwd = platform::GetCurrentDir();
  TScriptedPrompt prompt;
  Show([&](TfrmProjectMgr& f) {
    for (const char* name : {"  alpha \t", "my proj", "x; touch pwned", "저장소 하나"}) {
      prompt.AnswerInput(name);
      f.btnAdd->click();
    }
    EXPECT_EQ(Rows(f.lvProject), (Lines{"alpha", "my proj", "x; touch pwned", "저장소 하나"}));
    EXPECT_TRUE(f.lvProject->selectedItems().isEmpty());
  });
  EXPECT_TRUE(prompt.Messages().empty()) << Texts(prompt).front();
  EXPECT_EQ(platform::GetCurrentDir(), cwd);
  const std::string at = "[" + Root.Path() + "]\ncreate\n";
  EXPECT_EQ(Ran(),
            at + "alpha\n" + at + "my proj\n" + at + "x; touch pwned\n" + at + "저장소 하나\n");
  EXPECT_EQ(Shell("find " + Quote(PrivateRoot()) + " -name pwned").Output, "");

  // The one line added right after the header; every other line as svnadmin wrote it.
  WriteFile(reference / "svnadmin.conf", svnadminConf);
  const std::string header = "[general]\n";
  const size_t pos = svnadminConf.find(header);
  ASSERT_NE(pos, std::string::npos);
  std::string expected = svnadminConf;
  expected.insert(pos + header.size(), "password-db=passwd\n");
  for (const char* name : {"alpha", "my proj", "x; touch pwned", "저장소 하나"}) {
    EXPECT_TRUE(Exists(Root / (std::string(name) + "/format"))) << name;
    EXPECT_EQ(ReadFile(Conf(name)), expected) << name;
  }
}

TEST_F(ProjectMgrDialog, WithoutAnExistingRepositoryRootNothingIsCreated) {
  WriteFile(Root / "file", "x");
  TScriptedPrompt prompt;
  TempDir cwd("cwd");
  const std::string saved = platform::GetCurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(cwd.Path()));
  for (const std::string& repoPath : {std::string(), Root / "missing", Root / "file"}) {
    Settings.RepoPath = repoPath;
    prompt.AnswerInput("alpha"); // would make a repository if the name were asked for
    Show([](TfrmProjectMgr& f) { f.btnAdd->click(); });
  }
  platform::SetCurrentDir(saved);
  EXPECT_EQ(Texts(prompt), std::vector<std::string>(3, kNoRepoPath));
  EXPECT_EQ(prompt.Calls.front().Caption, "에라~");
  EXPECT_EQ(prompt.Calls.front().Icon, TMsgIcon::Warning);
  EXPECT_EQ(prompt.Pending(), 3u);
  EXPECT_EQ(Ran(), "");
  EXPECT_EQ(Shell("ls -A " + Quote(cwd.Path())).Output, "");
  EXPECT_EQ(Shell("ls -A " + Quote(Root.Path())).Output, "file\n");
}

TEST_F(ProjectMgrDialog, ANameThatIsTakenIsRefusedAndWhatIsThereIsLeftAsItWas) {
  Create("alpha");
  // A repository whose server takes its users from elsewhere keeps doing so.
  WriteFile(Conf("alpha"), "[general]\nauth-access = write\n[sasl]\nuse-sasl = true\n");
  WriteFile(Root / "notes", "x");
  MakeDirs(Root / "empty");
  const std::string conf = ReadFile(Conf("alpha"));
  TScriptedPrompt prompt;
  Show([&](TfrmProjectMgr& f) {
    for (const char* name : {"alpha", " notes ", "empty"}) {
      prompt.AnswerInput(name);
      f.btnAdd->click();
    }
    EXPECT_EQ(Rows(f.lvProject), (Lines{"alpha", "empty"}));
  });
  EXPECT_EQ(Texts(prompt), (Lines{kProjectExists, kProjectExists}));
  EXPECT_EQ(ReadFile(Conf("alpha")), conf);
  EXPECT_EQ(ReadFile(Root / "notes"), "x");
  // An empty folder is what svnadmin fills.
  EXPECT_EQ(Ran(), "[" + Root.Path() + "]\ncreate\nempty\n");
  EXPECT_TRUE(Exists(Root / "empty/format"));
  EXPECT_NE(ReadFile(Conf("empty")).find("password-db=passwd\n"), std::string::npos);
}

TEST_F(ProjectMgrDialog, DeleteAsksFirstThenMovesTheFolderToTheTrash) {
  Create("gone");
  Create("keep");
  ProjectMgr->WriteUser("gone", "alice", "a1");
  TScriptedPrompt prompt;
  const std::string trash = platform::GetEnv("XDG_DATA_HOME") + "/Trash/files/gone";
  Show([&](TfrmProjectMgr& f) {
    Click(f.lvProject, "gone");
    ASSERT_EQ(Rows(f.lvRegUser), (Lines{"alice"}));
    prompt.Answer(mbNo);
    f.btnDelete->click();
    f.btnDelete->click(); // unanswered: Escape, which is "&No"
    EXPECT_TRUE(Exists(Root / "gone/format"));
    EXPECT_EQ(Rows(f.lvProject), (Lines{"gone", "keep"}));

    prompt.Answer(mbYes);
    f.btnDelete->click();
    EXPECT_EQ(Rows(f.lvProject), (Lines{"keep"}));
    EXPECT_TRUE(f.lvProject->selectedItems().isEmpty());
    // The right half no longer shows the deleted project: empty, unnamed and disabled.
    EXPECT_EQ(Rows(f.lvRegUser), Lines{});
    EXPECT_EQ(Rows(f.lvUnregUser), Lines{});
    EXPECT_EQ(Chosen(f), Levels(-1, -1));
    EXPECT_TRUE(f.lblProject->text().isEmpty());
    EXPECT_FALSE(f.pnlClient->isEnabled());
  });
  EXPECT_FALSE(Exists(Root / "gone"));
  EXPECT_TRUE(Exists(trash + "/format"));
  EXPECT_NE(ReadFile(trash + "/conf/passwd").find("alice=a1"), std::string::npos);
  const auto asked = prompt.Messages();
  ASSERT_EQ(asked.size(), 3u);
  for (const TPromptCall& m : asked) {
    EXPECT_EQ(m.Caption, "Information");
    EXPECT_EQ(m.Text, "저장소 폴더를 휴지통으로 보냅니다.\r\n\r\n삭제하시겠습니까?");
    EXPECT_EQ(m.Icon, TMsgIcon::Information);
    EXPECT_EQ(m.Buttons, static_cast<TMsgButtons>(mbYes | mbNo));
  }
  EXPECT_EQ(asked[1].Answer, mbNo);
}

// What the levels mean is the access job's (tests of the project jobs); the window shows
// what it reads and writes what is chosen, for the selected project only.
TEST_F(ProjectMgrDialog, SelectingShowsTheAccessLevelsAndApplyWritesTheChosenOnes) {
  Create("defaults");
  Create("capital");
  ProfileFile(Conf("capital")).WriteValue("general", "anon-access", "Read");
  const std::string capital = ReadFile(Conf("capital"));
  Show([&](TfrmProjectMgr& f) {
    Click(f.lvProject, "capital");
    EXPECT_EQ(Chosen(f), Levels(-1, 2));
    ClickEmpty(f.lvProject); // no project selected: apply does nothing
    EXPECT_TRUE(f.lvProject->selectedItems().isEmpty());
    TfrmProjectMgr::SetItemIndex(f.rgAnonAccess, 2);
    f.btnApplyAuth->click();

    Click(f.lvProject, "defaults");
    EXPECT_EQ(Chosen(f), Levels(1, 2));
    TfrmProjectMgr::SetItemIndex(f.rgAnonAccess, 0);
    TfrmProjectMgr::SetItemIndex(f.rgAuthAccess, 1);
    f.btnApplyAuth->click();
  });
  EXPECT_EQ(ReadFile(Conf("capital")), capital);
  ProfileFile conf(Conf("defaults"));
  EXPECT_EQ(conf.ReadValue("general", "anon-access", ""), "none");
  EXPECT_EQ(conf.ReadValue("general", "auth-access", ""), "read");
}

// A level the dialog does not know is not shown as the previous project's, so that applying
// a change of the other group cannot carry that level over: here anonymous write access.
TEST_F(ProjectMgrDialog, AnUnknownLevelIsNotTakenFromTheProjectShownBefore) {
  Create("public");
  Create("private");
  ProfileFile(Conf("public")).WriteValue("general", "anon-access", "write");
  ProfileFile(Conf("private")).WriteValue("general", "anon-access", "Read");
  TScriptedPrompt prompt;
  Show([&](TfrmProjectMgr& f) {
    Click(f.lvProject, "public");
    EXPECT_EQ(Chosen(f), Levels(2, 2));
    Click(f.lvProject, "private");
    EXPECT_EQ(Chosen(f), Levels(-1, 2));
    TfrmProjectMgr::SetItemIndex(f.rgAuthAccess, 1);
    f.btnApplyAuth->click();
  });
  EXPECT_TRUE(prompt.Messages().empty()) << Texts(prompt).front();
  ProfileFile conf(Conf("private"));
  EXPECT_EQ(conf.ReadValue("general", "anon-access", ""), "Read");
  EXPECT_EQ(conf.ReadValue("general", "auth-access", ""), "read");
}

// Who is new to the registry and who is unregistered is the users job's to say (tests of the
// project jobs); the window lists what it says, with one comparison for both lists.
TEST_F(ProjectMgrDialog, SelectingAProjectBringsItsUsersIntoTheRegistry) {
  Create("p");
  Create("q");
  ProjectMgr->WriteUser("p", "alice", "proj");
  ProjectMgr->WriteUser("p", "carol", "c=1");
  ProjectMgr->WriteUser("q", "alice", "proj");
  Users.Users = {"Alice=reg", "bob=b1"};
  Show([&](TfrmProjectMgr& f) {
    Click(f.lvProject, "q"); // "alice" is the registry's "Alice": nobody is added or offered
    EXPECT_EQ(Rows(f.lvRegUser), (Lines{"alice"}));
    EXPECT_EQ(Rows(f.lvUnregUser), (Lines{"bob"}));
    EXPECT_FALSE(Exists(Users.FileName));

    Click(f.lvProject, "p");
    EXPECT_EQ(Rows(f.lvRegUser), (Lines{"alice", "carol"}));
    EXPECT_EQ(TfrmProjectMgr::RowPassword(f.lvRegUser->topLevelItem(1)), "c=1");
    EXPECT_EQ(Rows(f.lvUnregUser), (Lines{"bob"}));
  });
  EXPECT_EQ(ReadFile(Users.FileName), "Alice=reg\r\nbob=b1\r\ncarol=c=1\r\n");
}

TEST_F(ProjectMgrDialog, RegisterAndWithdrawSeveralSelectedUsers) {
  Create("p");
  Users.Users = {"alice=a1", "bob=b2", "carol=c3", "no id line"};
  TScriptedPrompt prompt;
  Lines passwd;
  Show([&](TfrmProjectMgr& f) {
    Click(f.lvProject, "p");
    ASSERT_EQ(Rows(f.lvUnregUser), (Lines{"alice", "bob", "carol"}));
    Click(f.lvUnregUser, "alice");
    Click(f.lvUnregUser, "carol", Qt::ControlModifier);
    f.sbtnReg->click();
    ProjectMgr->ReadUsers("p", passwd);
    EXPECT_EQ(passwd, (Lines{"alice=a1", "carol=c3"}));
    EXPECT_EQ(Rows(f.lvRegUser), (Lines{"alice", "carol"}));
    EXPECT_EQ(Rows(f.lvUnregUser), (Lines{"bob"}));

    Click(f.lvRegUser, "alice");
    Click(f.lvRegUser, "carol", Qt::ControlModifier);
    f.sbtnUnreg->click();
    ProjectMgr->ReadUsers("p", passwd);
    EXPECT_TRUE(passwd.empty());
    EXPECT_EQ(Rows(f.lvRegUser), Lines{});
    EXPECT_EQ(Rows(f.lvUnregUser), (Lines{"alice", "bob", "carol"}));

    // The project's conf folder removed behind the dialog: the write error, lists kept.
    RemoveTree(Root / "p/conf");
    Click(f.lvUnregUser, "alice");
    Click(f.lvUnregUser, "bob", Qt::ControlModifier);
    f.sbtnReg->click();
    EXPECT_EQ(Rows(f.lvUnregUser), (Lines{"alice", "bob", "carol"}));
    EXPECT_EQ(f.lvUnregUser->selectedItems().size(), 2);
  });
  EXPECT_EQ(Users.Users, (Lines{"alice=a1", "bob=b2", "carol=c3", "no id line"}));
  EXPECT_FALSE(Exists(Users.FileName));
  const auto shown = prompt.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Icon, TMsgIcon::Error);
  EXPECT_EQ(shown[0].Text, "Unable to write to " + Root / "p/conf/passwd.");
  EXPECT_FALSE(Exists(Root / "p/conf"));
}

TEST_F(ProjectMgrDialog, TheRightHalfNamesItsProjectAndAnUnappliedChangeIsNotLostUnasked) {
  Create("one");
  Create("two");
  Create("three");
  TScriptedPrompt prompt;
  Show([&](TfrmProjectMgr& f) {
    // Nothing selected: nothing to edit.
    EXPECT_FALSE(f.pnlClient->isEnabled());
    EXPECT_TRUE(f.lblProject->text().isEmpty());
    // The header spans the list.
    EXPECT_GE(f.lvProject->header()->sectionSize(0), f.lvProject->viewport()->width());
    // Every radio button lies inside its frame, below the frame's title.
    for (QGroupBox* g : {f.rgAnonAccess, f.rgAuthAccess})
      for (QRadioButton* rb : g->findChildren<QRadioButton*>())
        EXPECT_TRUE(g->contentsRect().contains(rb->geometry()))
            << rb->text().toStdString() << " at y " << rb->geometry().top() << ".."
            << rb->geometry().bottom() << " in " << g->contentsRect().top() << ".."
            << g->contentsRect().bottom();

    Click(f.lvProject, "one");
    EXPECT_TRUE(f.pnlClient->isEnabled());
    EXPECT_EQ(f.lblProject->text(), QString::fromUtf8("프로젝트: one"));
    EXPECT_EQ(Chosen(f), Levels(1, 2));

    // Moving on without a change asks nothing.
    Click(f.lvProject, "two");
    EXPECT_EQ(f.lblProject->text(), QString::fromUtf8("프로젝트: two"));
    EXPECT_TRUE(prompt.Messages().empty());

    // A change not applied: "No" drops it and moves on.
    TfrmProjectMgr::SetItemIndex(f.rgAnonAccess, 0);
    prompt.Answer(mbNo);
    Click(f.lvProject, "three");
    EXPECT_EQ(f.lblProject->text(), QString::fromUtf8("프로젝트: three"));
    EXPECT_EQ(Chosen(f), Levels(1, 2));

    // "Yes" writes it to the project it was made for, then moves on.
    TfrmProjectMgr::SetItemIndex(f.rgAnonAccess, 0);
    TfrmProjectMgr::SetItemIndex(f.rgAuthAccess, 1);
    prompt.Answer(mbYes);
    Click(f.lvProject, "one");
    EXPECT_EQ(f.lblProject->text(), QString::fromUtf8("프로젝트: one"));
    EXPECT_EQ(Chosen(f), Levels(1, 2));

    // Applied changes are not asked about again.
    TfrmProjectMgr::SetItemIndex(f.rgAuthAccess, 0);
    f.btnApplyAuth->click();
    Click(f.lvProject, "two");
  });
  EXPECT_EQ(ProfileFile(Conf("two")).ReadValue("general", "anon-access", ""), "");
  ProfileFile three(Conf("three"));
  EXPECT_EQ(three.ReadValue("general", "anon-access", ""), "none");
  EXPECT_EQ(three.ReadValue("general", "auth-access", ""), "read");
  EXPECT_EQ(ProfileFile(Conf("one")).ReadValue("general", "auth-access", ""), "none");
  const auto asked = prompt.Messages();
  ASSERT_EQ(asked.size(), 2u);
  for (const TPromptCall& m : asked) {
    EXPECT_EQ(m.Caption, "Warning");
    EXPECT_EQ(
        m.Text,
        "권한 설정이 적용되지 않았습니다.\r\n\r\n다른 프로젝트로 넘어가기 전에 적용하시겠습니까?");
    EXPECT_EQ(m.Icon, TMsgIcon::Warning);
    EXPECT_EQ(m.Buttons, static_cast<TMsgButtons>(mbYes | mbNo));
  }
}

// Failures that used to pass without a word are told, and change nothing else.
TEST_F(ProjectMgrDialog, AWithdrawTheFileRefusesAndAFailedMoveToTheTrashAreTold) {
  Create("p");
  ProjectMgr->WriteUser("p", "alice", "a1");
  ProjectMgr->WriteUser("p", "bob", "b2");
  const std::string passwd = TclsProjectMgr::PasswdFile("p");
  ASSERT_EQ(::chmod(passwd.c_str(), 0444), 0);
  const std::string before = ReadFile(passwd);
  // A file where the Trash folder should be: the move cannot succeed.
  const std::string trash = platform::GetEnv("XDG_DATA_HOME") + "/Trash";
  RemoveTree(trash);
  WriteFile(trash, "not a folder");
  TScriptedPrompt prompt;
  Show([&](TfrmProjectMgr& f) {
    Click(f.lvProject, "p");
    Click(f.lvRegUser, "alice");
    f.sbtnUnreg->click();
    EXPECT_EQ(Rows(f.lvRegUser), (Lines{"alice", "bob"}));
    prompt.Answer(mbYes);
    f.btnDelete->click();
    EXPECT_EQ(Rows(f.lvProject), (Lines{"p"}));
  });
  EXPECT_EQ(ReadFile(passwd), before);
  EXPECT_TRUE(Exists(Root / "p/format"));
  const auto told = prompt.Messages();
  ASSERT_EQ(told.size(), 3u); // the withdraw, the delete question, the delete's failure
  EXPECT_EQ(told[0].Caption, "Error");
  EXPECT_EQ(told[0].Icon, TMsgIcon::Error);
  EXPECT_NE(told[0].Text.find("alice"), std::string::npos);
  EXPECT_NE(told[0].Text.find(passwd), std::string::npos);
  EXPECT_EQ(told[2].Caption, "Error");
  EXPECT_NE(told[2].Text.find("휴지통"), std::string::npos);
  EXPECT_NE(told[2].Text.find(Root / "p"), std::string::npos);
  ::chmod(passwd.c_str(), 0600);
  RemoveTree(trash);
}

// A password file that lies outside the project's folder belongs to someone else: selecting
// the project says so instead of listing, a grant or withdraw says so instead of writing,
// and no file changes. One inside (password-db = users.db) is listed and written.
TEST_F(ProjectMgrDialog, APasswordDbOutsideTheProjectIsToldAndNoFileChanges) {
  Create("p");
  Create("q");
  const std::string outside = Root / "shared.db";
  WriteFile(outside, "[users]\nmallory = m1\n");
  WriteFile(Conf("p"), "[general]\npassword-db = ../../shared.db\n");
  WriteFile(Conf("q"), "[general]\npassword-db = users.db\n");
  WriteFile(Root / "q/conf/users.db", "[users]\nalice = a1\n");
  Users.Users = {"alice=a1", "bob=b2"};
  const std::string before = Snapshot(), sharedBefore = ReadFile(outside);
  const std::string passwdP = ReadFile(Root / "p/conf/passwd");
  TScriptedPrompt prompt;
  Show([&](TfrmProjectMgr& f) {
    Click(f.lvProject, "q");
    EXPECT_EQ(Rows(f.lvRegUser), (Lines{"alice"}));
    EXPECT_EQ(Rows(f.lvUnregUser), (Lines{"bob"}));
    Click(f.lvProject, "p");
    EXPECT_EQ(Rows(f.lvRegUser), Lines{});
    EXPECT_EQ(Rows(f.lvUnregUser), Lines{});
    EXPECT_TRUE(f.pnlClient->isEnabled()); // the access levels are still this program's

    // The file changes behind the dialog's back while q is shown: the grant is refused.
    Click(f.lvProject, "q");
    WriteFile(Conf("q"), "[general]\npassword-db = " + outside + "\n");
    Click(f.lvUnregUser, "bob");
    f.sbtnReg->click();
    EXPECT_EQ(Rows(f.lvRegUser), Lines{});
    WriteFile(Conf("q"), "[general]\npassword-db = users.db\n");
    Click(f.lvProject, "p");
    Click(f.lvProject, "q");
    WriteFile(Conf("q"), "[general]\npassword-db = ../../shared.db\n");
    Click(f.lvRegUser, "alice");
    f.sbtnUnreg->click();
  });
  EXPECT_EQ(ReadFile(outside), sharedBefore);
  EXPECT_EQ(ReadFile(Root / "q/conf/users.db"), "[users]\nalice = a1\n");
  EXPECT_EQ(ReadFile(Root / "p/conf/passwd"), passwdP);
  EXPECT_EQ(Snapshot(), before);
  const auto told = prompt.Messages();
  // Selecting p, the grant, selecting p again, the withdraw.
  ASSERT_EQ(told.size(), 4u) << Texts(prompt).front();
  const std::string files[] = {Root / "p/conf/../../shared.db", outside,
                               Root / "p/conf/../../shared.db", Root / "q/conf/../../shared.db"};
  for (size_t i = 0; i < told.size(); ++i) {
    EXPECT_EQ(told[i].Caption, "Warning");
    EXPECT_EQ(told[i].Icon, TMsgIcon::Warning);
    EXPECT_EQ(told[i].Buttons, static_cast<TMsgButtons>(mbOK));
    EXPECT_NE(told[i].Text.find(files[i]), std::string::npos) << told[i].Text;
    EXPECT_NE(told[i].Text.find("관리하지 않습니다"), std::string::npos) << told[i].Text;
  }
  // Where the file really is, after "..", is named as well.
  EXPECT_NE(told[0].Text.find("실제 위치: " + outside), std::string::npos) << told[0].Text;
  // The registry learnt nobody from the file it does not manage.
  EXPECT_FALSE(UserMgr->Exists("mallory"));
}

// svnadmin cannot make a folder whose name is over the file system's limit (90 Korean
// letters are 270 bytes): its own message is shown, and nothing is configured or listed.
TEST_F(ProjectMgrDialog, ASvnadminThatFailsIsToldInItsOwnWords) {
  std::string name;
  for (int i = 0; i < 90; ++i)
    name += "가";
  const std::string before = Shell("ls -A " + Quote(Root.Path())).Output;
  TScriptedPrompt prompt;
  Show([&](TfrmProjectMgr& f) {
    prompt.AnswerInput(name);
    f.btnAdd->click();
    EXPECT_EQ(Rows(f.lvProject), Lines{});
  });
  EXPECT_EQ(Ran(), "[" + Root.Path() + "]\ncreate\n" + name + "\n");
  EXPECT_EQ(Shell("ls -A " + Quote(Root.Path())).Output, before);
  const auto told = prompt.Messages();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].Caption, "Error");
  EXPECT_EQ(told[0].Icon, TMsgIcon::Error);
  EXPECT_NE(told[0].Text.find("svnadmin: E"), std::string::npos) << told[0].Text;
  EXPECT_NE(told[0].Text.find(Root / name), std::string::npos) << told[0].Text;
  EXPECT_EQ(told[0].Text.find("Unable to write"), std::string::npos) << told[0].Text;
}
