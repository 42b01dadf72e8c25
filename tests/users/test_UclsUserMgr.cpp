#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"
#include "users/UclsUserMgr.h"
#include "users/UfnUserJobs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_support;
using Lines = std::vector<std::string>;

namespace {

struct Account {
  std::string Id, Password;
  bool operator==(const Account&) const = default;
};

Account User(const TclsUserMgr& m, int i) {
  Account a{"stale", "stale"};
  m.GetUser(i, a.Id, a.Password);
  return a;
}

// A registry on a file of its own in a fresh folder.
struct Registry {
  TempDir Dir;
  TclsUserMgr Mgr;
  Registry() { Mgr.FileName = Dir / "User.Dat"; }
  Registry& Given(const std::string& data) {
    WriteFile(Mgr.FileName, data);
    Mgr.Load();
    return *this;
  }
  std::string File() const { return ReadFile(Mgr.FileName); }
};

} // namespace

TEST(UserMgr, LookupIgnoresLetterCaseOfEveryCasedLetter) {
  Registry r;
  r.Given("alice=a1\r\nbob=b1\r\nÄrger=u1\r\nΣοφία=g1\r\nЖеня=c1\r\n홍길동=h1\r\n");
  EXPECT_TRUE(r.Mgr.Exists("BOB"));
  EXPECT_EQ(r.Mgr.GetPassword("BOB"), "b1");
  EXPECT_EQ(r.Mgr.GetPassword("äRGER"), "u1");
  EXPECT_EQ(r.Mgr.GetPassword("ΣΟΦΊΑ"), "g1");
  EXPECT_EQ(r.Mgr.GetPassword("жЕНЯ"), "c1");
  EXPECT_EQ(r.Mgr.GetPassword("홍길동"), "h1");
  EXPECT_FALSE(r.Mgr.Exists("홍길"));
  EXPECT_FALSE(r.Mgr.Exists("alic"));
  EXPECT_FALSE(r.Mgr.Exists("alice "));
  EXPECT_EQ(r.Mgr.GetPassword("carol"), "");
  // The registry's comparison is the one every front end asks. Malformed bytes compare as
  // themselves, never as each other.
  EXPECT_TRUE(SameUserId("Émile", "éMILE"));
  EXPECT_FALSE(SameUserId("alice", "alice "));
  EXPECT_TRUE(SameUserId("\xFF", "\xFF"));
  EXPECT_FALSE(SameUserId("\xFF", "\xFE"));
  EXPECT_FALSE(SameUserId("\xC3", "\xC3\xA4"));
  EXPECT_TRUE(SameUserId("Straße", "STRAẞE"));
}

TEST(UserMgr, SaveTrimsChecksAndWritesOnlyWhatPasses) {
  Registry r;
  r.Mgr.Users = {"Alice=old"};
  EXPECT_EQ(SaveRegistryUser(r.Mgr, " \t", "pw"), TUserCheck::Empty);
  EXPECT_EQ(SaveRegistryUser(r.Mgr, "a b", "p=w"), TUserCheck::BadID);
  EXPECT_EQ(SaveRegistryUser(r.Mgr, "carol", "p w"), TUserCheck::BadPassword);
  EXPECT_FALSE(Exists(r.Mgr.FileName));
  EXPECT_EQ(SaveRegistryUser(r.Mgr, "  carol\t", " pw3  "), TUserCheck::Ok);
  EXPECT_EQ(SaveRegistryUser(r.Mgr, "\tALICE ", "new"), TUserCheck::Ok);
  EXPECT_EQ(r.File(), "ALICE=new\r\ncarol=pw3\r\n");
}

TEST(UserMgr, SetUserReplacesInPlaceAppendsRemovesAndSavesEachTime) {
  Registry r;
  r.Given("alice=a1\r\nbob=b1\r\ncarol=c1\r\n");
  r.Mgr.SetUser("BOB", "b2");
  EXPECT_EQ(r.Mgr.Users, (Lines{"alice=a1", "BOB=b2", "carol=c1"}));
  EXPECT_EQ(r.File(), "alice=a1\r\nBOB=b2\r\ncarol=c1\r\n");
  r.Mgr.SetUser("dave", "x=y=z");
  EXPECT_EQ(r.File(), "alice=a1\r\nBOB=b2\r\ncarol=c1\r\ndave=x=y=z\r\n");
  EXPECT_EQ(r.Mgr.GetPassword("dave"), "x=y=z");
  r.Mgr.SetUser("Alice", "");
  EXPECT_EQ(r.File(), "BOB=b2\r\ncarol=c1\r\ndave=x=y=z\r\n");

  // Removing an ID that is not there changes nothing and still writes the file.
  WriteFile(r.Mgr.FileName, "changed behind our back");
  r.Mgr.SetUser("nobody", "");
  EXPECT_EQ(r.File(), "BOB=b2\r\ncarol=c1\r\ndave=x=y=z\r\n");
  // An existing file keeps the bits of its owner and group; a new one is owner-only, and
  // bits for others go at the next write (the passwords are in clear text).
  EXPECT_EQ(FileMode(r.Mgr.FileName), FileMode(r.Dir / "User.Dat"));
  ::chmod(r.Mgr.FileName.c_str(), 0640);
  r.Mgr.SetUser("erin", "e1");
  EXPECT_EQ(FileMode(r.Mgr.FileName), 0640);
  ::chmod(r.Mgr.FileName.c_str(), 0664);
  r.Mgr.SetUser("fred", "f1");
  EXPECT_EQ(FileMode(r.Mgr.FileName), 0660);
}

TEST(UserMgr, SetUserRefusesWhatTheFileCannotHold) {
  Registry r;
  r.Given("alice=a1\r\n");
  for (const std::string& id : Lines{"a=b", "a\rb", "a\nb", std::string("a\0b", 3)})
    EXPECT_THROW(r.Mgr.SetUser(id, "pw"), EConvertError) << id;
  for (const std::string& pw : Lines{"p\r\nbob=injected", "p\n", std::string("p\0q", 3)})
    EXPECT_THROW(r.Mgr.SetUser("alice", pw), EConvertError);
  EXPECT_EQ(r.Mgr.Users, (Lines{"alice=a1"}));
  EXPECT_EQ(r.File(), "alice=a1\r\n");
}

TEST(UserMgr, LoadSplitsLinesAndKeepsEveryLine) {
  Registry r;
  r.Given("a=1\nb=2\rc=3\r\n\n\rd=4\n\re=5");
  EXPECT_EQ(r.Mgr.Users, (Lines{"a=1", "b=2", "c=3", "", "", "d=4", "", "e=5"}));
  r.Mgr.Save();
  EXPECT_EQ(r.File(), "a=1\r\nb=2\r\nc=3\r\n\r\n\r\nd=4\r\n\r\ne=5\r\n");

  // Text after a NUL byte is gone after the next save.
  r.Given(std::string("x=1\r\ny=2\0z=3\r\n", 14));
  EXPECT_EQ(r.Mgr.Users, (Lines{"x=1", "y=2"}));
  r.Mgr.Save();
  EXPECT_EQ(r.File(), "x=1\r\ny=2\r\n");

  r.Given("");
  EXPECT_EQ(r.Mgr.Count(), 0);
  r.Given("\r\n");
  EXPECT_EQ(r.Mgr.Users, (Lines{""}));
}

TEST(UserMgr, LinesWithoutEqualsAndIdsDifferingInCase) {
  Registry r;
  r.Given("plain\r\nAlice=first\r\nalice=second\r\n");
  EXPECT_EQ(r.Mgr.Count(), 3);
  EXPECT_EQ(User(r.Mgr, 0), (Account{"", ""}));
  EXPECT_EQ(User(r.Mgr, 2), (Account{"alice", "first"}));
  EXPECT_EQ(User(r.Mgr, -1), (Account{"", ""}));
  EXPECT_EQ(User(r.Mgr, 3), (Account{"", ""}));
  EXPECT_FALSE(r.Mgr.Exists("plain"));
  // A line beginning with "=" lends its password to lines without "=".
  r.Given("plain\r\n=anon\r\n");
  EXPECT_EQ(User(r.Mgr, 0), (Account{"", "anon"}));
  r.Mgr.SetUser("bob", "b");
  EXPECT_EQ(r.File(), "plain\r\n=anon\r\nbob=b\r\n");
}

TEST(UserMgr, DeleteStaysInMemoryUntilShutdown) {
  std::string file = platform::StateFolder() + "User.Dat";
  platform::ForceDirectories(platform::StateFolder());
  WriteFile(file, "alice=a\r\nbob=b\r\n");
  InitUserMgr();
  ASSERT_NE(UserMgr, nullptr);
  EXPECT_EQ(UserMgr->FileName, file);
  EXPECT_EQ(UserMgr->Count(), 2);
  try {
    UserMgr->Delete(2);
    ADD_FAILURE() << "no error";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (2)");
  }
  EXPECT_THROW(UserMgr->Delete(-1), EListError);
  UserMgr->Delete(0);
  EXPECT_EQ(ReadFile(file), "alice=a\r\nbob=b\r\n");
  DoneUserMgr();
  EXPECT_EQ(UserMgr, nullptr);
  EXPECT_EQ(ReadFile(file), "bob=b\r\n");
  RemoveTree(platform::StateFolder());
}

TEST(UserMgr, NeverLoadedRegistryLeavesZeroByteOwnerOnlyFile) {
  std::string folder = platform::StateFolder();
  RemoveTree(folder);
  InitUserMgr();
  EXPECT_EQ(UserMgr->Count(), 0);
  EXPECT_FALSE(Exists(folder));
  DoneUserMgr();
  EXPECT_EQ(ReadFile(folder + "User.Dat"), "");
  EXPECT_EQ(FileMode(folder + "User.Dat"), 0600);
  RemoveTree(folder);
}

TEST(UserMgr, FailedSaveKeepsTheOldFileAndTheChange) {
  Registry r;
  const std::string old = "alice=a1\r\nbob=b1\r\n";
  r.Given(old);
  {
    TFileSizeLimit limit(8);
    try {
      r.Mgr.SetUser("carol", "a password long enough to pass the size limit");
      ADD_FAILURE() << "no error";
    } catch (const EFCreateError& e) {
      EXPECT_EQ(e.Message(), "Cannot create file \"" + r.Mgr.FileName + "\". File too large");
    }
  }
  EXPECT_EQ(r.File(), old);
  EXPECT_EQ(r.Mgr.Count(), 3);
  std::vector<platform::DirEntry> left;
  platform::ListDirectory(r.Dir.Path(), left);
  EXPECT_EQ(left.size(), 1u); // no temporary file stays behind
  r.Mgr.Save();
  EXPECT_EQ(r.File(), old + "carol=a password long enough to pass the size limit\r\n");

  // A folder that cannot hold the file.
  WriteFile(r.Dir / "file", "");
  r.Mgr.FileName = r.Dir / "file/User.Dat";
  try {
    r.Mgr.Save();
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file \"" + r.Mgr.FileName + "\". Not a directory");
  }
}

TEST(UserMgr, ShutdownSaveErrorComesAfterTheObjectIsFreed) {
  std::string folder = platform::StateFolder();
  RemoveTree(folder);
  InitUserMgr();
  UserMgr->Users = {"alice=a"};
  // The state folder's place is taken by a file, so neither the folder nor User.Dat can be
  // made.
  std::string parent = folder.substr(0, folder.size() - 1);
  WriteFile(parent, "not a folder");
  EXPECT_THROW(DoneUserMgr(), EFCreateError);
  EXPECT_EQ(UserMgr, nullptr);
  EXPECT_EQ(ReadFile(parent), "not a folder");
  ::unlink(parent.c_str());
}

TEST(UserMgr, UnreadableFileFailsLoadAndIsNeverOverwritten) {
  Registry r;
  MakeDirs(r.Dir / "User.Dat");
  try {
    r.Mgr.Load();
    ADD_FAILURE() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + r.Mgr.FileName + "\". Is a directory");
  }

  // At start-up: /proc/self/mem exists as a file but cannot be read from its start, even by
  // root. The failed load leaves no registry behind that shutdown could save over the file.
  std::string folder = platform::StateFolder();
  RemoveTree(folder);
  platform::ForceDirectories(folder);
  ASSERT_EQ(::symlink("/proc/self/mem", (folder + "User.Dat").c_str()), 0);
  EXPECT_THROW(InitUserMgr(), EFOpenError);
  EXPECT_EQ(UserMgr, nullptr);
  DoneUserMgr();
  struct stat st;
  ASSERT_EQ(::lstat((folder + "User.Dat").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  RemoveTree(folder);
}

TEST(UserMgr, CheckUserSaysEmptyFirstThenJudgesTheIdThenThePassword) {
  EXPECT_EQ(CheckUser("alice", "secret"), TUserCheck::Ok);
  for (const auto& [id, password] :
       std::vector<std::pair<std::string, std::string>>{{"", ""}, {"", "pw"}, {"alice", ""}}) {
    EXPECT_EQ(CheckUser(id, password), TUserCheck::Empty) << id << "/" << password;
  }
  // Either text empty wins over a malformed other one.
  EXPECT_EQ(CheckUser("a b", ""), TUserCheck::Empty);
  EXPECT_EQ(CheckUser("", "p=w"), TUserCheck::Empty);
  // Both malformed: the ID is named.
  EXPECT_EQ(CheckUser("a=b", "p w"), TUserCheck::BadID);
}

TEST(UserMgr, CheckUserRefusesIdsAndPasswordsThatPasswdWouldSplitOrHide) {
  // A key of passwd ends at "=", ":" or a blank; "#", ";" and "[" open comments and sections.
  for (const char* id : {"a b", "a=b", "a:b", "#a", ";a", "[a", "=", ":"})
    EXPECT_EQ(CheckUser(id, "pw"), TUserCheck::BadID) << id;
  // Only at the start do those three mean anything; letters of any script are fine.
  for (const char* id : {"a#b", "a;b", "a[b]", "ALICE", "사용자", "dev.kim-2"})
    EXPECT_EQ(CheckUser(id, "pw"), TUserCheck::Ok) << id;
  for (const char* password : {"p w", "p=w", "="})
    EXPECT_EQ(CheckUser("alice", password), TUserCheck::BadPassword) << password;
  // The value is the rest of the line after the first separator.
  for (const char* password : {"p:w", "#pw", ";pw", "[pw]", "비밀번호"})
    EXPECT_EQ(CheckUser("alice", password), TUserCheck::Ok) << password;
}

TEST(UserMgr, SaveMakesAMissingStateFolder) {
  // A fresh account: the first grant saves before the program ever shut down.
  TempDir dir;
  TclsUserMgr mgr;
  mgr.FileName = dir / "config/orlenway/User.Dat";
  mgr.SetUser("alice", "pw1");
  EXPECT_EQ(ReadFile(mgr.FileName), "alice=pw1\r\n");
  EXPECT_EQ(FileMode(mgr.FileName), 0600);
}

// A NUL byte ends what the list can hold: the accounts after it would be gone at the next
// save. The file as it was is kept aside, never overwritten, and the user is told once.
TEST(UserMgr, AFileThatLosesBytesIsKeptAsBakAndTheUserToldOnce) {
  const std::string folder = platform::StateFolder();
  const std::string file = folder + "User.Dat";
  RemoveTree(folder);
  platform::ForceDirectories(folder);
  const std::string withNul("alice=pw1\r\nbob=p\0w2\r\ncarol=pw3\r\n", 33);
  WriteFile(file, withNul);
  TScriptedPrompt prompt;
  InitUserMgr();
  ASSERT_NE(UserMgr, nullptr);
  EXPECT_EQ(UserMgr->Count(), 2); // read as before: alice, and bob up to the NUL
  ASSERT_EQ(prompt.Messages().size(), 1u);
  EXPECT_EQ(prompt.Messages()[0].Caption, "Warning");
  EXPECT_EQ(prompt.Messages()[0].Icon, TMsgIcon::Warning);
  EXPECT_NE(prompt.Messages()[0].Text.find(file + ".bak"), std::string::npos);
  EXPECT_EQ(ReadFile(file + ".bak"), withNul);
  EXPECT_EQ(FileMode(file + ".bak"), 0600);
  DoneUserMgr();
  EXPECT_EQ(ReadFile(file), "alice=pw1\r\nbob=p\r\n");

  // The saved file is good: no notice, the copy stays as it was.
  InitUserMgr();
  DoneUserMgr();
  EXPECT_EQ(prompt.Messages().size(), 1u);
  EXPECT_EQ(ReadFile(file + ".bak"), withNul);

  // Another damaged file later: a second copy, the first untouched.
  std::string binary;
  for (int i = 0; i < 5000; ++i)
    binary += static_cast<char>((i * 37 + 11) % 256);
  WriteFile(file, binary);
  InitUserMgr();
  DoneUserMgr();
  EXPECT_EQ(prompt.Messages().size(), 2u);
  EXPECT_EQ(ReadFile(file + ".bak"), withNul);
  EXPECT_EQ(ReadFile(file + ".bak.1"), binary);
  RemoveTree(folder);
}

// Without the copy nothing is loaded, so nothing is saved over the file either.
TEST(UserMgr, WhenTheCopyCannotBeMadeTheLoadFailsAndTheFileStays) {
  const std::string folder = platform::StateFolder();
  const std::string file = folder + "User.Dat";
  RemoveTree(folder);
  platform::ForceDirectories(folder);
  const std::string withNul("alice=pw1\r\nbob=p\0w2\r\n", 21);
  WriteFile(file, withNul);
  platform::ForceDirectories(file + ".bak"); // a folder where the copy would go
  TScriptedPrompt prompt;
  EXPECT_THROW(InitUserMgr(), EFCreateError);
  EXPECT_EQ(UserMgr, nullptr);
  EXPECT_TRUE(prompt.Messages().empty());
  EXPECT_EQ(ReadFile(file), withNul);
  RemoveTree(folder);
}
