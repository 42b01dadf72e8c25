// The profile files through the system's profile functions, on copies of the files that
// svnadmin create writes, and the project catalogue over Windows attributes.
#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "projects/UclsProjectMgr.h"
#include "projects/UfnProfileFile.h"
#include "projects/UfnProfileText.h"
#include "settings/UclsBasicSetting.h"
#include "support/TestGlobals.h"
#include "support/TestSupport.h"

#include "WinApi.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const std::string TemplateFolder = ORLENWAY_SVN_CONF;

// The lines of a text with what the system's profile writer may change about a line it does
// not own taken away: its line end, blanks, and empty lines.
std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text + "\n") {
    if (c == '\n' || c == '\r') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else if (c != ' ' && c != '\t') {
      line += c;
    }
  }
  return lines;
}

// The lines of `after` that are not in `owned`, which must be `before`'s lines in order.
std::string OtherLinesKept(const std::string& before, const std::string& after,
                           const std::vector<std::string>& owned) {
  std::vector<std::string> rest;
  for (const std::string& l : Words(after)) {
    bool mine = false;
    for (const std::string& o : owned)
      mine = mine || l == o;
    if (!mine) rest.push_back(l);
  }
  std::vector<std::string> want = Words(before);
  if (rest == want) return "";
  return "expected\n" + ::testing::PrintToString(want) + "\ngot\n" + ::testing::PrintToString(rest);
}

class WinProfileOnSvnFiles : public ::testing::Test {
protected:
  void SetUp() override {
    if (!platform::FileExists(TemplateFolder + "\\svnserve.conf"))
      GTEST_SKIP() << "no svnadmin on the build machine: " << TemplateFolder;
    Conf = T / "svnserve.conf";
    Passwd = T / "passwd";
    ASSERT_TRUE(::CopyFileA((TemplateFolder + "\\svnserve.conf").c_str(), Conf.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA((TemplateFolder + "\\passwd").c_str(), Passwd.c_str(), FALSE));
    OriginalConf = ReadFile(Conf);
    OriginalPasswd = ReadFile(Passwd);
  }
  TempDir T;
  std::string Conf, Passwd, OriginalConf, OriginalPasswd;
};

} // namespace

TEST_F(WinProfileOnSvnFiles, AFreshPasswdListsNobodyAndTheCommentedDefaultsReadAsMissing) {
  std::vector<std::string> users{"stale"};
  ProfileFile(Passwd).ReadPairs("users", users);
  EXPECT_TRUE(users.empty()) << ::testing::PrintToString(users);
  EXPECT_EQ(ProfileFile(Conf).ReadValue("general", "anon-access", "none"), "none");
  EXPECT_EQ(ProfileFile(Conf).ReadValue("general", "password-db", ""), "");
  EXPECT_EQ(ReadFile(Passwd), OriginalPasswd) << "reading writes nothing";
}

TEST_F(WinProfileOnSvnFiles, TheProgramsKeysAreWrittenAndEveryOtherLineIsKept) {
  {
    ProfileFile conf(Conf);
    conf.WriteValue("general", "password-db", "passwd");
    conf.WriteValue("general", "anon-access", "none");
    conf.WriteValue("general", "auth-access", "write");
    conf.WriteValue("general", "anon-access", "read");
  }
  ProfileFile(Passwd).WriteValue("users", "alice", "wonder land");
  ProfileFile(Passwd).WriteValue("users", "bob", "b");
  ProfileFile(Passwd).WriteValue("users", "alice", "new");
  ProfileFile(Passwd).DeleteValue("users", "bob");

  ProfileFile conf(Conf);
  EXPECT_EQ(conf.ReadValue("general", "password-db", ""), "passwd");
  EXPECT_EQ(conf.ReadValue("general", "anon-access", ""), "read");
  EXPECT_EQ(conf.ReadValue("general", "auth-access", ""), "write");
  std::vector<std::string> users;
  ProfileFile(Passwd).ReadPairs("users", users);
  EXPECT_EQ(users, std::vector<std::string>{"alice=new"});

  const std::string after = ReadFile(Conf), afterPasswd = ReadFile(Passwd);
  EXPECT_EQ(OtherLinesKept(OriginalConf, after,
                           {"password-db=passwd", "anon-access=read", "auth-access=write"}),
            "");
  EXPECT_EQ(OtherLinesKept(OriginalPasswd, afterPasswd, {"alice=new"}), "");
  // Each key has one line, in the section it belongs to.
  auto general = after.find("[general]"), sasl = after.find("[sasl]");
  for (const char* key : {"password-db=", "anon-access=", "auth-access="}) {
    auto at = after.find(std::string("\n") + key);
    EXPECT_NE(at, std::string::npos) << key;
    EXPECT_EQ(after.find(std::string("\n") + key, at + 1), std::string::npos) << key;
    EXPECT_TRUE(at > general && at < sasl) << key;
  }
}

TEST_F(WinProfileOnSvnFiles, RefusedValuesAndAMissingFolderLeaveTheFilesAlone) {
  ProfileFile p(Passwd);
  for (const std::string& bad :
       {std::string("two\nlines"), std::string(" padded"), std::string("\"quoted\"")}) {
    try {
      p.WriteValue("users", "alice", bad);
      ADD_FAILURE() << "written: " << bad;
    } catch (const EWriteError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Unable to write to " + Passwd + ": ", 0), 0u);
    }
  }
  EXPECT_THROW(p.WriteValue("users", "# harry", "x"), EWriteError);
  EXPECT_THROW(p.WriteValue("users", "al:ice", "x"), EWriteError);
  // A comment is not a key: deleting by its name removes nothing.
  p.DeleteValue("users", "# harry");
  EXPECT_EQ(ReadFile(Passwd), OriginalPasswd);

  ProfileFile lost(T / "gone\\conf\\passwd");
  try {
    lost.WriteValue("users", "alice", "a");
    ADD_FAILURE() << "written without a conf folder";
  } catch (const EWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + (T / "gone\\conf\\passwd"));
  }
  lost.DeleteValue("users", "alice");
  EXPECT_FALSE(platform::DirectoryExists(T / "gone"));
}

// ---- the system's own reading rules -------------------------------------------------------

TEST(WinProfile, TheSystemsReadingRules) {
  TempDir t;
  const std::string f = t / "p.ini";
  WriteFile(f, "; comment = x\r\n[Users]\r\n  Alice  =  \"quoted value\"  \r\nbob='b'\r\n"
               "; carol=c\r\n# dave=d\r\nnoequals\r\n[users]\r\nerin=e\r\n");
  ProfileFile p(f);
  EXPECT_EQ(p.ReadValue("USERS", "alice", "?"), "quoted value");
  EXPECT_EQ(p.ReadValue("users", "bob", "?"), "b");
  EXPECT_EQ(p.ReadValue("users", "carol", "?"), "?") << "; starts a comment";
  EXPECT_EQ(p.ReadValue("users", "erin", "?"), "?") << "only the first section counts";
  EXPECT_EQ(p.ReadValue("nosuch", "alice", "def"), "def");
  EXPECT_EQ(ProfileFile(t / "missing.ini").ReadValue("users", "alice", "def"), "def");
  std::vector<std::string> pairs;
  p.ReadPairs("users", pairs);
  EXPECT_EQ(pairs, (std::vector<std::string>{"Alice=quoted value", "bob=b"}));
}

TEST(WinProfile, DuplicateKeysEndAsOneLineAndLongTextsAreReadWhole) {
  TempDir t;
  const std::string f = t / "passwd";
  WriteFile(f, "[users]\r\nalice=one\r\nbob=b\r\nALICE=two\r\n");
  ProfileFile p(f);
  p.WriteValue("users", "alice", "three");
  std::vector<std::string> pairs;
  p.ReadPairs("users", pairs);
  // The line left is the key's last, in its own spelling.
  EXPECT_EQ(pairs, (std::vector<std::string>{"bob=b", "ALICE=three"}))
      << "svnserve reads the last line of a key, so no older one may stay";
  WriteFile(f, "[users]\r\nalice=one\r\nbob=b\r\nalice=two\r\n");
  p.DeleteValue("users", "alice");
  EXPECT_EQ(p.ReadValue("users", "alice", "gone"), "gone");
  EXPECT_EQ(p.ReadValue("users", "bob", ""), "b");

  std::string longValue(5000, 'v');
  p.WriteValue("users", "long", longValue);
  EXPECT_EQ(p.ReadValue("users", "long", ""), longValue);
  std::string many = "[many]\r\n";
  for (int i = 0; i < 800; ++i)
    many += "a_rather_long_user_name_" + std::to_string(1000 + i) + "=p\r\n";
  WriteFile(t / "many", many);
  ProfileFile(t / "many").ReadPairs("many", pairs);
  ASSERT_EQ(pairs.size(), 800u) << "the key list outgrows 16384 bytes";
  EXPECT_EQ(pairs.back(), "a_rather_long_user_name_1799=p");
}

// The system's functions see neither ":" lines, nor a second [users] section, nor indented
// lines that carry a value on; svnserve does. A grant and a withdraw leave svnserve nothing
// else of the user.
TEST(WinProfile, AGrantAndAWithdrawLeaveSvnserveNothingElseOfTheKey) {
  TempDir t;
  const std::string f = t / "passwd";
  const std::string others = "[users]\r\nalice=one\r\nbob=b\r\nalice: two\r\n  more\r\n"
                             "[groups]\r\n[users]\r\nALICE = three\r\ncarol=c\r\n";
  WriteFile(f, others);
  ProfileFile(f).WriteValue("users", "alice", "four");
  std::string value;
  EXPECT_TRUE(profile_text::FindServerValue(ReadFile(f), "users", "alice", value));
  EXPECT_EQ(value, "four");
  EXPECT_EQ(ReadFile(f), "[users]\r\nalice=four\r\nbob=b\r\n[groups]\r\n[users]\r\ncarol=c\r\n");

  WriteFile(f, others);
  ProfileFile(f).DeleteValue("users", "alice");
  EXPECT_FALSE(profile_text::FindServerValue(ReadFile(f), "users", "alice", value)) << ReadFile(f);
  EXPECT_EQ(ReadFile(f), "[users]\r\nbob=b\r\n[groups]\r\n[users]\r\ncarol=c\r\n");
}

TEST(WinProfile, ANewFileNeedsItsFolderAndAReadOnlyFileIsRefused) {
  TempDir t;
  ProfileFile p(t / "new.conf");
  p.WriteValue("general", "password-db", "passwd");
  EXPECT_EQ(p.ReadValue("general", "password-db", ""), "passwd");
  ASSERT_TRUE(::SetFileAttributesA((t / "new.conf").c_str(), FILE_ATTRIBUTE_READONLY));
  const std::string before = ReadFile(t / "new.conf");
  EXPECT_THROW(p.WriteValue("general", "anon-access", "none"), EWriteError);
  ::SetFileAttributesA((t / "new.conf").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadFile(t / "new.conf"), before);
}

// ---- the catalogue ------------------------------------------------------------------------

TEST(WinProjectMgr, ScanSkipsHiddenAndSystemFoldersAndPlainFiles) {
  TempDir root;
  for (const char* n : {"beta", "alpha", "hidden", "system"})
    MakeDirs(root / n);
  WriteFile(root / "file.txt", "x");
  ASSERT_TRUE(::SetFileAttributesA((root / "hidden").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(::SetFileAttributesA((root / "system").c_str(), FILE_ATTRIBUTE_SYSTEM));
  TGlobals globals(root.Path());
  std::vector<std::string> names;
  for (int i = 0; i < ProjectMgr->Count(); ++i)
    names.push_back(ProjectMgr->GetProject(i));
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "beta"}));
  EXPECT_EQ(ProjectMgr->GetProject(-1), "");
  EXPECT_EQ(ProjectMgr->GetProject(ProjectMgr->Count()), "");

  EXPECT_EQ(TclsProjectMgr::PasswdFile("alpha"), root.Path() + "\\alpha\\conf\\passwd");
  MakeDirs(root / "alpha\\conf");
  ProjectMgr->WriteUser("alpha", "alice", "a");
  std::vector<std::string> users;
  ProjectMgr->ReadUsers("alpha", users);
  EXPECT_EQ(users, std::vector<std::string>{"alice=a"});
  EXPECT_THROW(ProjectMgr->WriteUser("beta", "alice", "a"), EWriteError) << "no conf folder";
}

// password-db as svnserve resolves it on Windows: from conf\, "/" or "\\", a drive path as
// it stands; outside the project's folder nothing is read or written.
TEST(WinProjectMgr, UsersGoToThePasswordDbFileAndOneOutsideIsLeftAlone) {
  TempDir root;
  MakeDirs(root / "alpha\\conf\\sub");
  TGlobals globals(root.Path());
  const std::string conf = TclsProjectMgr::ConfigFile("alpha");
  std::vector<std::string> users;
  for (const std::string& value :
       {std::string("users.db"), std::string("sub/../sub\\users"), root / "ALPHA\\conf\\abs"}) {
    WriteFile(conf, "[general]\r\npassword-db=" + value + "\r\n");
    ProjectMgr->WriteUser("alpha", "alice", "a");
    ProjectMgr->ReadUsers("alpha", users);
    EXPECT_EQ(users, std::vector<std::string>{"alice=a"}) << value;
  }
  EXPECT_TRUE(platform::FileExists(root / "alpha\\conf\\users.db"));
  EXPECT_TRUE(platform::FileExists(root / "alpha\\conf\\sub\\users"));
  EXPECT_TRUE(platform::FileExists(root / "alpha\\conf\\abs"));
  EXPECT_FALSE(platform::FileExists(root / "alpha\\conf\\passwd"));

  WriteFile(root / "shared", "[users]\r\nmallory=m\r\n");
  for (const std::string& value : {std::string("..\\..\\shared"), root / "shared"}) {
    WriteFile(conf, "[general]\r\npassword-db=" + value + "\r\n");
    EXPECT_THROW(ProjectMgr->ReadUsers("alpha", users), EPasswordDbOutside) << value;
    EXPECT_THROW(ProjectMgr->WriteUser("alpha", "eve", "e"), EPasswordDbOutside) << value;
    EXPECT_THROW(ProjectMgr->DeleteUser("alpha", "mallory"), EPasswordDbOutside) << value;
  }
  EXPECT_EQ(ReadFile(root / "shared"), "[users]\r\nmallory=m\r\n");
}
