// The project jobs without a window: access levels, create with the real svnadmin, delete
// into the test's own Trash, and a project's users against a registry of the test's own.
#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnProfileFile.h"
#include "projects/UfnProjectJobs.h"
#include "projects/UfnProjectUsers.h"
#include "support/TestSupport.h"
#include "users/UclsUserMgr.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace testing_support;
using Lines = std::vector<std::string>;

namespace {

const char* const kBadName = "프로젝트 이름이 올바르지 않습니다.";
const char* const kProjectExists = "같은 이름의 프로젝트나 파일이 이미 있습니다.";

// Records what a job tells and asks; questions get `Answer`.
struct TRecorder : TJobObserver {
  std::vector<std::pair<TMsgIcon, std::string>> Told;
  Lines Asked;
  TMsgButton Answer = mbNo;
  void Notify(TMsgIcon kind, const std::string& text) override { Told.push_back({kind, text}); }
  TMsgButton Ask(const std::string& text, TMsgIcon, TMsgButtons) override {
    Asked.push_back(text);
    return Answer;
  }
};

class ProjectJobs : public ::testing::Test {
protected:
  TempDir Root{"repos"};
  TRecorder Observer;

  void Create(const std::string& project) {
    RunResult r = Shell("svnadmin create " + Quote(Root / project));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
  }
  std::string Conf(const std::string& project) const {
    return Root / (project + "/conf/svnserve.conf");
  }
  std::string Passwd(const std::string& project) const { return Root / (project + "/conf/passwd"); }
  std::string Value(const std::string& project, const std::string& key) const {
    return ProfileFile(Conf(project)).ReadValue("general", key, "(absent)");
  }
};

using L = TAccessLevel;

} // namespace

TEST_F(ProjectJobs, AccessShowsWhatSvnserveGrantsAndOnlyKnownLevelsAreWritten) {
  Create("defaults"); // svnadmin's file: every key commented out
  Create("explicit");
  Create("capital");
  MakeDirs(Root / "noconf/conf");
  ProfileFile(Conf("explicit")).WriteValue("general", "anon-access", "none");
  ProfileFile(Conf("explicit")).WriteValue("general", "auth-access", "read");
  ProfileFile(Conf("capital")).WriteValue("general", "anon-access", "Read");
  const std::string root = Root.Path();
  EXPECT_EQ(ReadProjectAccess(root, "defaults"), (TProjectAccess{L::Read, L::Write}));
  EXPECT_EQ(ReadProjectAccess(root, "explicit"), (TProjectAccess{L::None, L::Read}));
  EXPECT_EQ(ReadProjectAccess(root, "capital"), (TProjectAccess{L::Other, L::Write}));
  EXPECT_EQ(ReadProjectAccess(root, "noconf"), (TProjectAccess{L::Read, L::Write}));

  // Other leaves its key as it was; a project without svnserve.conf gets none.
  EXPECT_TRUE(SetProjectAccess(root, "capital", {L::Other, L::None}));
  EXPECT_EQ(Value("capital", "anon-access"), "Read");
  EXPECT_EQ(Value("capital", "auth-access"), "none");
  EXPECT_TRUE(SetProjectAccess(root + "/", "defaults", {L::Write, L::Read}));
  EXPECT_EQ(ReadProjectAccess(root, "defaults"), (TProjectAccess{L::Write, L::Read}));
  EXPECT_FALSE(SetProjectAccess(root, "noconf", {L::None, L::None}));
  EXPECT_FALSE(Exists(Conf("noconf")));
  EXPECT_EQ(AccessLevelName(L::Other), std::string());
}

TEST_F(ProjectJobs, CreateChecksTheRootAndTheNameBeforeSvnadminRuns) {
  Create("taken");
  WriteFile(Root / "file", "x");
  Lines ran;
  const TSvnadminCreate svnadmin = [&](const std::string&, const std::string& name) {
    ran.push_back(name);
    return TProgramRun{0, ""};
  };
  for (const std::string& root : {std::string(), Root / "missing", Root / "file"}) {
    std::string name = "alpha";
    EXPECT_EQ(CreateProject(root, name, svnadmin, Observer), TCreateProject::NoRoot) << root;
  }
  std::string name = " \t ";
  EXPECT_EQ(CreateProject(Root.Path(), name, svnadmin, Observer), TCreateProject::Empty);
  name = " a/b ";
  EXPECT_EQ(CreateProject(Root.Path(), name, svnadmin, Observer), TCreateProject::NotPlain);
  name = "taken\t";
  EXPECT_EQ(CreateProject(Root.Path(), name, svnadmin, Observer), TCreateProject::Taken);
  EXPECT_EQ(ran, Lines{});
  using Told = std::vector<std::pair<TMsgIcon, std::string>>;
  EXPECT_EQ(Observer.Told, (Told{{TMsgIcon::None, kBadName}, {TMsgIcon::None, kProjectExists}}));
  EXPECT_EQ(FolderNames(Root.Path()), (Lines{"file", "taken"}));
}

TEST_F(ProjectJobs, CreateRunsSvnadminOnTheTrimmedNameAndTellsItsFailureInItsOwnWords) {
  const TSvnadminCreate real = [](const std::string& root, const std::string& name) {
    RunResult r = Shell("svnadmin create " + Quote(root + "/" + name));
    return TProgramRun{r.ExitCode, r.Output};
  };
  std::string name = "  my proj \t";
  ASSERT_EQ(CreateProject(Root.Path(), name, real, Observer), TCreateProject::Created);
  EXPECT_EQ(name, "my proj");
  EXPECT_TRUE(Exists(Root / "my proj/format"));
  EXPECT_EQ(Value("my proj", "password-db"), "passwd");

  for (const TProgramRun& failed :
       {TProgramRun{1, "svnadmin: E000001: boom\n"}, TProgramRun{3, ""}}) {
    name = "broken";
    EXPECT_EQ(CreateProject(
                  Root.Path(), name, [&](const std::string&, const std::string&) { return failed; },
                  Observer),
              TCreateProject::Failed);
  }
  EXPECT_FALSE(Exists(Root / "broken")); // no svnserve.conf written where there is no repository
  ASSERT_EQ(Observer.Told.size(), 2u);
  const std::string head = "프로젝트를 만들지 못했습니다.\r\n\r\n" + Root / "broken" + "\r\n";
  EXPECT_EQ(Observer.Told[0], std::make_pair(TMsgIcon::Error, head + "svnadmin: E000001: boom"));
  EXPECT_EQ(Observer.Told[1].second, head + "svnadmin 종료 코드 3");
}

TEST_F(ProjectJobs, DeleteAsksThenTrashesOnlyAFolderDirectlyUnderTheRoot) {
  Create("gone");
  const std::string trash = platform::GetEnv("XDG_DATA_HOME") + "/Trash/files/gone";
  EXPECT_EQ(DeleteProject(Root.Path(), "gone", Observer), TDeleteProject::Declined);
  EXPECT_TRUE(Exists(Root / "gone/format"));
  ASSERT_EQ(Observer.Asked, Lines{"저장소 폴더를 휴지통으로 보냅니다.\r\n\r\n삭제하시겠습니까?"});

  // Nothing that leads to the root itself or elsewhere is asked about or moved.
  Observer.Answer = mbYes;
  for (const char* project : {"", ".", "..", "gone/conf", "../repos"})
    EXPECT_EQ(DeleteProject(Root.Path(), project, Observer), TDeleteProject::Failed) << project;
  EXPECT_EQ(DeleteProject("", "gone", Observer), TDeleteProject::Failed);
  EXPECT_EQ(Observer.Asked.size(), 1u);
  EXPECT_TRUE(Exists(Root / "gone/conf"));

  EXPECT_EQ(DeleteProject(Root.Path(), "gone", Observer), TDeleteProject::Deleted);
  EXPECT_FALSE(Exists(Root / "gone"));
  EXPECT_TRUE(Exists(trash + "/format"));
  Observer.Told.clear();
  EXPECT_EQ(DeleteProject(Root.Path(), "gone", Observer), TDeleteProject::Failed);
  ASSERT_EQ(Observer.Told.size(), 1u);
  EXPECT_EQ(Observer.Told[0].first, TMsgIcon::Error);
  EXPECT_NE(Observer.Told[0].second.find(Root / "gone"), std::string::npos);
}

// User IDs are the registry's: "Alice" and "ALICE" are one user, and so are "Émile" and
// "émile", which svnserve (comparing ASCII letters only) keeps as two accounts with their own
// passwords. Nothing in the password file is lost or given another's password.
TEST_F(ProjectJobs, ProjectUsersKeepTheirOwnPasswordsAndTheRegistryDecidesWhoIsWho) {
  MakeDirs(Root / "p/conf");
  const std::string passwd = "[users]\nÉmile = e1\némile = e2\nAlice = A1\nalice = a2\n"
                             "bob = b\rx\ncarol = c=1\n";
  WriteFile(Passwd("p"), passwd);
  const auto users = ListProjectUsers(Root.Path(), "p");
  // svnserve's reading: one key for Alice/alice (the last line's password), a CR kept.
  EXPECT_EQ(
      users,
      (std::vector<TProjectUser>{
          {"Émile", "e1"}, {"émile", "e2"}, {"Alice", "a2"}, {"bob", "b\rx"}, {"carol", "c=1"}}));

  TempDir state("state");
  TclsUserMgr registry;
  registry.FileName = state / "User.Dat";
  registry.Users = {"ALICE=reg", "Dave=d1", "no id line", "ÉMILE=old"};
  EXPECT_EQ(UnregisteredUsers(registry, users), Lines{"Dave"});
  // Only carol is new: the twins are known, and bob's CR has no place in User.Dat.
  EXPECT_EQ(ImportProjectUsers(registry, users), Lines{"carol"});
  EXPECT_EQ(ReadFile(registry.FileName), "ALICE=reg\r\nDave=d1\r\nno id line\r\nÉMILE=old\r\n"
                                         "carol=c=1\r\n");
  registry.Users = {"ÉMILE=old"};
  EXPECT_EQ(ImportProjectUsers(registry, {{"émile", "e2"}, {"Émile", "e1"}}), Lines{});
  registry.Users.clear();
  EXPECT_EQ(ImportProjectUsers(registry, {{"émile", "e2"}, {"Émile", "e1"}}), Lines{"émile"});
  EXPECT_EQ(registry.Users, Lines{"émile=e2"});
  EXPECT_EQ(ReadFile(Passwd("p")), passwd);
}

TEST_F(ProjectJobs, GrantWritesTheRegistryPasswordAndWithdrawTakesEverySpellingOfTheUser) {
  Create("p");
  TempDir state("state");
  TclsUserMgr registry;
  registry.FileName = state / "User.Dat";
  registry.Users = {"alice=a1", "Émile=e1", "bob=b1"};
  GrantProjectUsers(Root.Path(), "p", registry, {"Émile", "bob", "ALICE"});
  WriteFile(Passwd("p"), ReadFile(Passwd("p")) + "émile = e2\n");
  EXPECT_EQ(ListProjectUsers(Root.Path(), "p"),
            (std::vector<TProjectUser>{
                {"Émile", "e1"}, {"bob", "b1"}, {"ALICE", "a1"}, {"émile", "e2"}}));

  EXPECT_EQ(WithdrawProjectUsers(Root.Path(), "p", {"ÉMILE", "Alice", "nobody"}, Observer),
            Lines{});
  EXPECT_EQ(ListProjectUsers(Root.Path(), "p"), (std::vector<TProjectUser>{{"bob", "b1"}}));
  EXPECT_TRUE(Observer.Told.empty());
  // svnadmin's comment lines stay.
  EXPECT_NE(ReadFile(Passwd("p")).find("# harry = harryssecret"), std::string::npos);

  // A file that refuses the change: the user still gets in, and the job says so.
  ASSERT_EQ(::chmod(Passwd("p").c_str(), 0444), 0);
  EXPECT_EQ(WithdrawProjectUsers(Root.Path(), "p", {"bob"}, Observer), Lines{"bob"});
  ASSERT_EQ(Observer.Told.size(), 1u);
  EXPECT_EQ(Observer.Told[0].first, TMsgIcon::Error);
  EXPECT_NE(Observer.Told[0].second.find("bob"), std::string::npos);
  EXPECT_NE(Observer.Told[0].second.find(Passwd("p")), std::string::npos);
  ::chmod(Passwd("p").c_str(), 0600);
}

TEST_F(ProjectJobs, APasswordFileLosesTheBitsForOthersAtTheNextWrite) {
  Create("proj");
  ::chmod(Passwd("proj").c_str(), 0664); // svnadmin's file as a umask of 002 leaves it
  TProjectFiles files(Root.Path(), "proj");
  files.WriteUser("kim", "pw");
  EXPECT_EQ(FileMode(Passwd("proj")), 0660);
  ::chmod(Passwd("proj").c_str(), 0644);
  files.DeleteUser("kim");
  EXPECT_EQ(FileMode(Passwd("proj")), 0640);
  EXPECT_EQ(FileMode(Conf("proj")) & 07, 04); // svnserve.conf holds no password
}
