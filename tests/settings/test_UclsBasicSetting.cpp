// TclsBasicSetting, the port rule, the settings file name, InitBasicSetting and
// DoneBasicSetting (a file that fails to load is left as it was).
#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "server/UfnShell.h"
#include "settings/UclsBasicSetting.h"
#include "settings/UfnComponentText.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace testing_support;

namespace {

const std::string FirstStartFile = "object TclsBasicSetting\r\n"
                                   "  SVNPath = '/usr'\r\n"
                                   "  Port = 3690\r\n"
                                   "end\r\n";

// Each test starts and ends without the state folder and without the global.
class BasicSettingTest : public ::testing::Test {
protected:
  void SetUp() override {
    RemoveTree(platform::StateFolder());
    ASSERT_EQ(BasicSetting, nullptr);
  }
  void TearDown() override {
    delete BasicSetting;
    BasicSetting = nullptr;
    RemoveTree(platform::StateFolder());
  }
  static std::string File() { return SettingsFileName(platform::ProgramPath()); }
  static void Write(const std::string& text) {
    MakeDirs(platform::StateFolder());
    WriteFile(File(), text);
  }
};

} // namespace

// ---- the object ----------------------------------------------------------------------------

TEST(BasicSettingObject, ThePortRule) {
  TclsBasicSetting s;
  EXPECT_EQ(s.GetPort(), 3690);
  s.SetPort(0);
  EXPECT_EQ(s.GetPort(), 3690);
  s.SetPort(70000);
  EXPECT_EQ(s.GetPort(), 70000);
  s.SetPort(-1);
  EXPECT_EQ(s.GetPort(), -1);
  s.SetPort(3691);
  EXPECT_EQ(s.GetPort(), 3691);
}

TEST(BasicSettingObject, FoldersAreKeptExactlyAsSet) {
  TclsBasicSetting s;
  EXPECT_EQ(s.SVNPath, "");
  EXPECT_EQ(s.RepoPath, "");
  EXPECT_EQ(s.BackupPath, "");
  EXPECT_EQ(s.ConfigFile, "");
  EXPECT_EQ(s.GetName(), "");
  EXPECT_EQ(s.GetOwner(), nullptr);
  s.RepoPath = " /srv/svn/ ";
  s.BackupPath = "/backup";
  s.SVNPath = "/usr//";
  EXPECT_EQ(s.RepoPath, " /srv/svn/ ");
  ReadComponentText(WriteComponentText(s), s);
  EXPECT_EQ(s.RepoPath, " /srv/svn/ ");
  EXPECT_EQ(s.BackupPath, "/backup");
  EXPECT_EQ(s.SVNPath, "/usr//");
}

TEST(BasicSettingObject, SettingsFileNameRule) {
  EXPECT_EQ(SettingsFileName("/opt/tools/orlenway"), "/opt/tools/orlenway.ini");
  EXPECT_EQ(SettingsFileName("/opt/tools/orlenway.exe"), "/opt/tools/orlenway.ini");
  EXPECT_EQ(SettingsFileName("/opt/my.tools/orlenway"), "/opt/my.tools/orlenway.ini");
  EXPECT_EQ(SettingsFileName("/opt/my.tools/orlenway.bin"), "/opt/my.tools/orlenway.ini");
  EXPECT_EQ(SettingsFileName("/opt/tools/orlenway.tar.gz"), "/opt/tools/orlenway.tar.ini");
  EXPECT_EQ(SettingsFileName("/opt/tools/orlenway."), "/opt/tools/orlenway.ini");
  EXPECT_EQ(SettingsFileName("/home/u/.orlenway"), "/home/u/.ini");
  EXPECT_EQ(SettingsFileName("orlenway"), "orlenway.ini");
  EXPECT_EQ(SettingsFileName("orlenway.exe"), "orlenway.ini");
  EXPECT_EQ(SettingsFileName("/"), "/.ini");
  EXPECT_EQ(SettingsFileName(""), ".ini");
  // On POSIX a colon is an ordinary character of a name, not a drive.
  EXPECT_EQ(SettingsFileName("/opt/a.b:c"), "/opt/a.ini");
}

TEST(BasicSettingObject, DefaultSubversionFolder) {
  EXPECT_EQ(GetSpecialFolderPath(), "/usr");
  EXPECT_EQ(DefaultSVNPath(GetSpecialFolderPath()), "/usr");
  EXPECT_EQ(DefaultSVNPath("/opt/subversion"), "/opt/subversion");
  // No Program Files folder: Windows gives "\SubVersion" (the root of the current drive);
  // here the root, whose bin folder is /bin.
  EXPECT_EQ(DefaultSVNPath(""), "/");
}

// ---- InitBasicSetting and DoneBasicSetting --------------------------------------------------

TEST_F(BasicSettingTest, TheSettingsFileIsTheProgramPathWithIni) {
  std::string exe = platform::ExecutablePath();
  std::string name = exe.substr(exe.rfind('/') + 1);
  if (name.find('.') != std::string::npos) name.erase(name.rfind('.'));
  EXPECT_EQ(File(), platform::GetEnv("XDG_CONFIG_HOME") + "/orlenway/" + name + ".ini");
  InitBasicSetting();
  ASSERT_NE(BasicSetting, nullptr);
  EXPECT_EQ(BasicSetting->ConfigFile, File());
}

TEST_F(BasicSettingTest, FirstStartDefaultsAndTheFirstShutdownWritesFourLines) {
  ASSERT_FALSE(platform::DirectoryExists(platform::StateFolder()));
  InitBasicSetting();
  ASSERT_NE(BasicSetting, nullptr);
  EXPECT_EQ(BasicSetting->SVNPath, "/usr");
  EXPECT_EQ(BasicSetting->RepoPath, "");
  EXPECT_EQ(BasicSetting->BackupPath, "");
  EXPECT_EQ(BasicSetting->GetPort(), 3690);
  EXPECT_EQ(BasicSetting->GetName(), "");
  EXPECT_FALSE(platform::DirectoryExists(platform::StateFolder())) << "a start writes nothing";
  DoneBasicSetting();
  EXPECT_EQ(BasicSetting, nullptr);
  EXPECT_EQ(ReadFile(File()), FirstStartFile); // the folder was created
  // The next start reads it back.
  InitBasicSetting();
  EXPECT_EQ(BasicSetting->SVNPath, "/usr");
  EXPECT_EQ(BasicSetting->GetPort(), 3690);
  DoneBasicSetting();
  EXPECT_EQ(ReadFile(File()), FirstStartFile);
}

TEST_F(BasicSettingTest, ValuesSurviveAStartAndAShutdown) {
  InitBasicSetting();
  BasicSetting->SVNPath = "/opt/svn";
  BasicSetting->RepoPath = "/srv/\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C";
  BasicSetting->BackupPath = "/backup/it's";
  BasicSetting->SetPort(4000);
  DoneBasicSetting();
  EXPECT_EQ(ReadFile(File()), "object TclsBasicSetting\r\n"
                              "  SVNPath = '/opt/svn'\r\n"
                              "  RepoPath = '/srv/'#51200#51109#49548\r\n"
                              "  BackupPath = '/backup/it'#39's'\r\n"
                              "  Port = 4000\r\n"
                              "end\r\n");
  InitBasicSetting();
  EXPECT_EQ(BasicSetting->SVNPath, "/opt/svn");
  EXPECT_EQ(BasicSetting->RepoPath, "/srv/\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C");
  EXPECT_EQ(BasicSetting->BackupPath, "/backup/it's");
  EXPECT_EQ(BasicSetting->GetPort(), 4000);
}

// A Linux folder name may be any bytes: one that is no UTF-8 survives a start and a shutdown
// byte for byte, and so does the file.
TEST_F(BasicSettingTest, AFolderThatIsNoUtf8SurvivesAStartAndAShutdown) {
  const std::string latin1 = "/srv/caf\xE9", stray = "/backup/\xFF\xFE";
  InitBasicSetting();
  BasicSetting->RepoPath = latin1;
  BasicSetting->BackupPath = stray;
  DoneBasicSetting();
  const std::string file = "object TclsBasicSetting\r\n"
                           "  SVNPath = '/usr'\r\n"
                           "  RepoPath = {2F7372762F636166E9}\r\n"
                           "  BackupPath = {2F6261636B75702FFFFE}\r\n"
                           "  Port = 3690\r\n"
                           "end\r\n";
  EXPECT_EQ(ReadFile(File()), file);
  InitBasicSetting();
  EXPECT_EQ(BasicSetting->RepoPath, latin1);
  EXPECT_EQ(BasicSetting->BackupPath, stray);
  DoneBasicSetting();
  EXPECT_EQ(ReadFile(File()), file);
}

TEST_F(BasicSettingTest, APortOfZeroLoadsAs3690AndIsWrittenSo) {
  Write("object TclsBasicSetting\r\n  SVNPath = '/usr'\r\n  Port = 0\r\nend\r\n");
  InitBasicSetting();
  EXPECT_EQ(BasicSetting->GetPort(), 3690);
  DoneBasicSetting();
  EXPECT_EQ(ReadFile(File()), FirstStartFile);
}

// A hand-edited port outside 1..65535 must not lock the user out: it loads as it is and is
// written back as it is; the server start refuses it.
TEST_F(BasicSettingTest, PortsOutOfRangeLoadAndAreWrittenBackUnchanged) {
  for (const char* port : {"70000", "-1", "65536", "-2147483648"}) {
    const std::string text =
        std::string("object TclsBasicSetting\r\n  SVNPath = '/usr'\r\n  Port = ") + port +
        "\r\nend\r\n";
    Write(text);
    InitBasicSetting();
    ASSERT_NE(BasicSetting, nullptr) << port;
    EXPECT_EQ(BasicSetting->GetPort(), std::stoi(port));
    DoneBasicSetting();
    EXPECT_EQ(ReadFile(File()), text);
  }
}

TEST_F(BasicSettingTest, AMissingOrEmptySVNPathGetsTheDefault) {
  for (const char* line : {"", "  SVNPath = ''\r\n"}) {
    Write(std::string("object TclsBasicSetting\r\n") + line + "  RepoPath = '/srv'\r\nend\r\n");
    InitBasicSetting();
    EXPECT_EQ(BasicSetting->SVNPath, "/usr");
    EXPECT_EQ(BasicSetting->RepoPath, "/srv");
    DoneBasicSetting();
    EXPECT_EQ(ReadFile(File()), "object TclsBasicSetting\r\n  SVNPath = '/usr'\r\n"
                                "  RepoPath = '/srv'\r\n  Port = 3690\r\nend\r\n");
  }
}

TEST_F(BasicSettingTest, AnotherClassAndAnObjectNameInTheHeader) {
  Write("object Main: Anything\r\n  Port = 1\r\nend\r\n");
  InitBasicSetting();
  EXPECT_EQ(BasicSetting->GetName(), "Main");
  DoneBasicSetting();
  EXPECT_EQ(ReadFile(File()),
            "object Main: TclsBasicSetting\r\n  SVNPath = '/usr'\r\n  Port = 1\r\nend\r\n");
}

// A file that fails to load ends the start-up and is left untouched.
TEST_F(BasicSettingTest, AFileThatFailsToLoadIsLeftUntouched) {
  struct Case {
    std::string text, fault;
  } cases[] = {
      {"object TclsBasicSetting\r\n  SVNPath = '/opt'\r\n  Port 3690\r\nend\r\n",
       "''='' expected on line 3"},
      {"object TclsBasicSetting\r\n  Port = 3691\r\n", "Identifier expected on line 3"},
      {"", "OBJECT expected on line 1"},
      {"\xEF\xBB\xBFobject TclsBasicSetting\r\nend\r\n", "OBJECT expected on line 1"},
      {"object TclsBasicSetting\r\n  Port = '3690'\r\nend\r\n",
       "Error reading TclsBasicSetting.Port: Invalid property value"},
      {"object TclsBasicSetting\r\n  SVNPath = 5\r\nend\r\n",
       "Error reading TclsBasicSetting.SVNPath: Invalid property value"},
      {"object TclsBasicSetting\r\n  SVNPath = '/a'\r\n  Port = 1\r\n  Foo = 1\r\nend\r\n",
       "Error reading TclsBasicSetting.Foo: Property Foo does not exist"},
      {"object TclsBasicSetting\r\n  Port = 99999999999\r\nend\r\n",
       "Error reading TclsBasicSetting.Port: Invalid property value"},
      {"object TclsBasicSetting\r\n  Port = 99999999999999999999\r\nend\r\n",
       "'99999999999999999999' is not a valid integer value"},
      {"object TclsBasicSetting\r\n  object Child: TButton\r\n  end\r\nend\r\n",
       "Class TButton not found"},
  };
  for (const Case& c : cases) {
    Write(c.text);
    struct stat before;
    ASSERT_EQ(::stat(File().c_str(), &before), 0);
    std::string fault = "none";
    try {
      InitBasicSetting();
    } catch (const Exception& e) {
      fault = e.what();
    }
    EXPECT_EQ(fault, c.fault);
    EXPECT_EQ(BasicSetting, nullptr) << "the object is freed and the global cleared";
    DoneBasicSetting(); // without an object: nothing happens
    EXPECT_EQ(ReadFile(File()), c.text);
    struct stat after;
    ASSERT_EQ(::stat(File().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  }
}

TEST_F(BasicSettingTest, AFailedShutdownSaveStillFreesTheObject) {
  InitBasicSetting();
  BasicSetting->ConfigFile = platform::StateFolder() + "s.ini/inner.ini";
  MakeDirs(platform::StateFolder());
  WriteFile(platform::StateFolder() + "s.ini", "a file where a folder should be");
  EXPECT_THROW(DoneBasicSetting(), EFCreateError);
  EXPECT_EQ(BasicSetting, nullptr);
}

TEST_F(BasicSettingTest, DoneCreatesMissingParentFolders) {
  InitBasicSetting();
  BasicSetting->ConfigFile = platform::StateFolder() + "a/b/c/s.ini";
  DoneBasicSetting();
  EXPECT_EQ(ReadFile(platform::StateFolder() + "a/b/c/s.ini"), FirstStartFile);
}
