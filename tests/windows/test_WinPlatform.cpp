// The Windows OS layer and what lives next to the executable: the single instance, the
// settings file and User.Dat, paths, listings, code pages and file handles.
#include "WinTestKit.h"
#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "server/UfnShell.h"
#include "settings/UclsBasicSetting.h"
#include "settings/dxConfigManager.h"
#include "support/TestSupport.h"
#include "users/UclsUserMgr.h"

#include "WinApi.h"

#include <gtest/gtest.h>

using namespace testing_support;
using namespace wintest;

namespace {

std::string Folder() {
  return platform::StateFolder();
}

// A handle that holds a file open with the given sharing until the object goes.
struct THeld {
  HANDLE H;
  THeld(const std::string& path, DWORD share)
      : H(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~THeld() {
    if (H != INVALID_HANDLE_VALUE) ::CloseHandle(H);
  }
};

} // namespace

// ---- single instance ----------------------------------------------------------------------

TEST(WinInstance, ASecondProcessEndsAtOnceUntilTheFirstHasGone) {
  TempDir t;
  const std::string name = "NoDuplicate_OrlenwayTest" + std::to_string(::GetCurrentProcessId());
  const std::string helper = "\"" + HelperPath() + "\" lock " + name + " ";
  TProcess first(helper + "\"" + (t / "stop1") + "\"");
  ASSERT_TRUE(first.Started());
  ASSERT_TRUE(WaitForFile(t / "stop1.held"));

  DWORD start = ::GetTickCount();
  TProcess second(helper + "\"" + (t / "stop2") + "\"");
  EXPECT_EQ(second.WaitForExit(5000), 3);
  EXPECT_LT(::GetTickCount() - start, 3000u) << "the second instance must not wait";
  EXPECT_FALSE(Exists(t / "stop2.held"));
  // This process is refused as well, and gets the name once the holder has ended.
  EXPECT_EQ(platform::AcquireInstanceLock(name), nullptr);
  WriteFile(t / "stop1", "");
  EXPECT_EQ(first.WaitForExit(5000), 0);
  auto mine = platform::AcquireInstanceLock(name);
  EXPECT_NE(mine, nullptr);
  TProcess third(helper + "\"" + (t / "stop3") + "\"");
  EXPECT_EQ(third.WaitForExit(5000), 3);
  mine.reset();
  EXPECT_NE(platform::AcquireInstanceLock(name), nullptr);
}

TEST(WinInstance, ACommandTheHolderStartedDoesNotKeepTheName) {
  TempDir t;
  const std::string name = "NoDuplicate_OrlenwayChild" + std::to_string(::GetCurrentProcessId());
  auto lock = platform::AcquireInstanceLock(name);
  ASSERT_NE(lock, nullptr);
  // Handles are inherited by what RunCommand starts; the mutex handle must not be among them.
  // The command holds a name of its own and says so, so it is known to run meanwhile.
  ASSERT_TRUE(platform::RunShellCommand(
      "call \"" + HelperPath() + "\" lock " + name + "x \"" + (t / "stop") + "\"", false));
  ASSERT_TRUE(WaitForFile(t / "stop.held"));
  lock.reset();
  EXPECT_NE(platform::AcquireInstanceLock(name), nullptr);
  WriteFile(t / "stop", "");
}

// ---- paths --------------------------------------------------------------------------------

TEST(WinPaths, ProgramFilesTheExecutablesFolderAndTheDelimiter) {
  EXPECT_EQ(platform::PathDelimiter(), '\\');
  EXPECT_EQ(AddPathDelimiter("C:\\Repos"), "C:\\Repos\\");
  EXPECT_EQ(AddPathDelimiter("C:\\Repos\\"), "C:\\Repos\\");
  EXPECT_EQ(AddPathDelimiter(""), "\\");
  std::string exe = platform::ExecutablePath();
  EXPECT_EQ(platform::ProgramPath(), exe);
  EXPECT_EQ(Folder(), exe.substr(0, exe.rfind('\\') + 1));
  EXPECT_TRUE(platform::FileExists(exe));

  // The shell's Program Files folder, as the system's environment also names it.
  std::string pf = GetSpecialFolderPath();
  EXPECT_FALSE(pf.empty());
  EXPECT_NE(pf.back(), '\\');
  EXPECT_TRUE(platform::DirectoryExists(pf));
  EXPECT_EQ(pf, platform::GetEnv("ProgramFiles"));
  EXPECT_EQ(DefaultSVNPath(pf), pf + "\\SubVersion");
  EXPECT_EQ(DefaultSVNPath(""), "\\SubVersion");
}

TEST(WinPaths, SettingsFileNameAndExpandedNames) {
  EXPECT_EQ(SettingsFileName("D:\\Tools\\Orlenway.exe"), "D:\\Tools\\Orlenway.ini");
  EXPECT_EQ(SettingsFileName("D:\\Tools\\Orlenway"), "D:\\Tools\\Orlenway.ini");
  EXPECT_EQ(SettingsFileName("D:\\my.tools\\Orlenway"), "D:\\my.tools\\Orlenway.ini");
  EXPECT_EQ(SettingsFileName("D:Orlenway"), "D:Orlenway.ini");

  EXPECT_EQ(ExpandFileName("D:\\a\\.\\b\\..\\c.ini"), "D:\\a\\c.ini");
  EXPECT_EQ(ExpandFileName("D:/a//b/"), "D:\\a\\b\\");
  EXPECT_EQ(ExpandFileName("D:\\..\\x"), "D:\\x");
  EXPECT_EQ(ExpandFileName("\\\\server\\share\\x\\..\\y.ini"), "\\\\server\\share\\y.ini");
  TempDir t;
  std::string before = platform::GetCurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(t.Path()));
  EXPECT_EQ(ExpandFileName("x.ini"), t / "x.ini");
  EXPECT_EQ(ExpandFileName("sub\\..\\x.ini"), t / "x.ini");
  EXPECT_EQ(ExpandFileName("\\x.ini"), t.Path().substr(0, 3) + "x.ini");
  platform::SetCurrentDir(before);
}

// ---- the settings file next to the executable ---------------------------------------------

TEST(WinSettings, FirstStartDefaultsAndTheShutdownWritesTheFileNextToTheProgram) {
  const std::string file = SettingsFileName(platform::ExecutablePath());
  ASSERT_EQ(file.substr(0, Folder().size()), Folder());
  ASSERT_FALSE(Exists(file));
  InitBasicSetting();
  ASSERT_NE(BasicSetting, nullptr);
  EXPECT_EQ(BasicSetting->ConfigFile, file);
  const std::string svn = GetSpecialFolderPath() + "\\SubVersion";
  EXPECT_EQ(BasicSetting->SVNPath, svn);
  EXPECT_EQ(BasicSetting->GetPort(), 3690);
  EXPECT_FALSE(Exists(file)) << "a start writes nothing";
  DoneBasicSetting();
  EXPECT_EQ(ReadFile(file),
            "object TclsBasicSetting\r\n  SVNPath = '" + svn + "'\r\n  Port = 3690\r\nend\r\n");

  InitBasicSetting();
  BasicSetting->RepoPath = "D:\\\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C"; // D:\저장소
  BasicSetting->SetPort(4000);
  DoneBasicSetting();
  InitBasicSetting();
  EXPECT_EQ(BasicSetting->RepoPath, "D:\\\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C");
  EXPECT_EQ(BasicSetting->GetPort(), 4000);
  DoneBasicSetting();
  // The Hangul goes through the code page as #-numbers of its UTF-16 units.
  EXPECT_NE(ReadFile(file).find("RepoPath = 'D:\\'#51200#51109#49548\r\n"), std::string::npos)
      << ReadFile(file);
  platform::DeleteFile(file);
}

TEST(WinSettings, AFileHeldWithoutSharingAndAFolderThatCannotBeMadeAreTheNamedErrors) {
  TempDir t;
  TclsBasicSetting s;
  s.ConfigFile = t / "s.ini";
  s.SaveConfig();
  {
    THeld held(s.ConfigFile, 0);
    ASSERT_NE(held.H, INVALID_HANDLE_VALUE);
    try {
      s.LoadConfig();
      ADD_FAILURE() << "a file another program holds without sharing was read";
    } catch (const EFOpenError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + s.ConfigFile + "\". ", 0), 0u)
          << e.what();
    }
    EXPECT_THROW(s.SaveConfig(), EFCreateError);
  }
  EXPECT_EQ(ReadFile(s.ConfigFile), "object TclsBasicSetting\r\n  Port = 3690\r\nend\r\n");
  // A missing state folder is made on the first save.
  s.ConfigFile = t / "missing\\deeper\\s.ini";
  ASSERT_NO_THROW(s.SaveConfig());
  EXPECT_EQ(ReadFile(s.ConfigFile), "object TclsBasicSetting\r\n  Port = 3690\r\nend\r\n");
  // One that cannot be made, under a plain file, is the named error.
  s.ConfigFile = t / "s.ini\\below\\s.ini";
  try {
    s.SaveConfig();
    ADD_FAILURE() << "saved below a plain file";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + s.ConfigFile + "\". ", 0), 0u)
        << e.what();
  }
}

// ---- User.Dat next to the executable ------------------------------------------------------

TEST(WinUsers, UserDatBytesNextToTheProgram) {
  const std::string file = Folder() + "User.Dat";
  ASSERT_FALSE(Exists(file));
  InitUserMgr();
  ASSERT_NE(UserMgr, nullptr);
  EXPECT_EQ(UserMgr->FileName, file);
  DoneUserMgr();
  EXPECT_EQ(ReadFile(file), "") << "a never-loaded registry leaves a zero-byte file";

  WriteFile(file, "alice=a=b\nBob=x\r\nnoequals\rcarol=c");
  InitUserMgr();
  ASSERT_EQ(UserMgr->Count(), 4);
  // IDs compare through the system's comparison, every cased letter included.
  EXPECT_TRUE(UserMgr->Exists("BOB"));
  EXPECT_EQ(UserMgr->GetPassword("ALICE"), "a=b");
  UserMgr->SetUser("\xC3\xA9lise", "1"); // élise
  EXPECT_TRUE(UserMgr->Exists("\xC3\x89LISE"));
  EXPECT_FALSE(UserMgr->Exists("\xEA\xB9\x80")) << "Hangul has no case"; // 김
  UserMgr->SetUser("bob", "y");
  UserMgr->Delete(0);
  DoneUserMgr();
  EXPECT_EQ(ReadFile(file), "bob=y\r\nnoequals\r\ncarol=c\r\n\xC3\xA9lise=1\r\n");
  platform::DeleteFile(file);
}

TEST(WinUsers, AReadOnlyUserDatRefusesTheSaveAndKeepsItsBytes) {
  TempDir t;
  TclsUserMgr m;
  m.FileName = t / "User.Dat";
  WriteFile(m.FileName, "alice=a\r\n");
  ASSERT_TRUE(::SetFileAttributesA(m.FileName.c_str(), FILE_ATTRIBUTE_READONLY));
  m.Load();
  EXPECT_THROW(m.SetUser("bob", "b"), EFCreateError);
  ::SetFileAttributesA(m.FileName.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadFile(m.FileName), "alice=a\r\n");
  EXPECT_EQ(m.Count(), 2) << "the change stays for the next save";
  m.Save();
  EXPECT_EQ(ReadFile(m.FileName), "alice=a\r\nbob=b\r\n");
  std::vector<platform::DirEntry> e;
  ASSERT_TRUE(platform::ListDirectory(t.Path(), e));
  EXPECT_EQ(e.size(), 1u) << "no temporary file left";
}

// ---- files and folders --------------------------------------------------------------------

TEST(WinFiles, ListingGivesTheSystemsAttributesSizesAndDots) {
  TempDir t;
  WriteFile(t / "b", "12345");
  WriteFile(t / "A.txt", "1");
  WriteFile(t / "ro", "");
  WriteFile(t / "hid", "");
  MakeDirs(t / "sub");
  ASSERT_TRUE(::SetFileAttributesA((t / "ro").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(
      ::SetFileAttributesA((t / "hid").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  std::vector<platform::DirEntry> e;
  ASSERT_TRUE(platform::ListDirectory(t.Path(), e));
  std::vector<std::string> names;
  for (auto& x : e)
    names.push_back(x.name);
  EXPECT_EQ(names, (std::vector<std::string>{"A.txt", "b", "hid", "ro", "sub"}));
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[1].size, 5u);
  EXPECT_EQ(e[1].attributes & 0x37u, 0x20u);
  EXPECT_EQ(e[2].attributes & 0x07u, 0x06u);
  EXPECT_EQ(e[3].attributes & 0x01u, 0x01u);
  EXPECT_TRUE(e[4].IsDirectory());
  EXPECT_EQ(e[4].size, 0u);
  ::SetFileAttributesA((t / "ro").c_str(), FILE_ATTRIBUTE_NORMAL);

  ASSERT_TRUE(platform::ListDirectory(t / "sub", e, true));
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].name, ".");
  EXPECT_EQ(e[1].name, "..");
  EXPECT_TRUE(e[0].IsDirectory() && e[1].IsDirectory());
  EXPECT_FALSE(platform::ListDirectory(t / "missing", e));
  EXPECT_TRUE(e.empty());

  platform::DirEntry root;
  ASSERT_TRUE(platform::GetEntry("C:\\", root));
  EXPECT_TRUE(root.IsDirectory());
  ASSERT_TRUE(platform::GetEntry(t / "b", root));
  EXPECT_EQ(root.name, "b");
  EXPECT_EQ(root.size, 5u);
}

TEST(WinFiles, FoldersRenamesAndAtomicWrites) {
  TempDir t;
  EXPECT_TRUE(platform::ForceDirectories(t / "a\\b/c\\"));
  EXPECT_TRUE(platform::DirectoryExists(t / "a\\b\\c"));
  EXPECT_TRUE(platform::ForceDirectories("C:\\"));
  WriteFile(t / "file", "x");
  EXPECT_FALSE(platform::ForceDirectories(t / "file\\sub"));

  WriteFile(t / "from", "new");
  WriteFile(t / "to", "old");
  EXPECT_TRUE(platform::RenameFile(t / "from", t / "to"));
  EXPECT_EQ(ReadFile(t / "to"), "new");
  EXPECT_FALSE(platform::RenameFile(t / "from", t / "to"));
  EXPECT_EQ(platform::LastErrorCode(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(platform::LastErrorMessage().empty());

  ASSERT_TRUE(platform::WriteFileAtomic(t / "data", "one"));
  ASSERT_TRUE(platform::WriteFileAtomic(t / "data", "two"));
  EXPECT_EQ(ReadFile(t / "data"), "two");
  EXPECT_FALSE(platform::WriteFileAtomic(t / "missing\\data", "x"));
  std::vector<platform::DirEntry> e;
  platform::ListDirectory(t.Path(), e);
  EXPECT_EQ(e.size(), 4u) << "a, data, file and to; no temporary file";

  // Only a file on disk is replaced: a folder or a device in its place is refused and stays.
  MakeDirs(t / "folder");
  EXPECT_FALSE(platform::WriteFileAtomic(t / "folder", "x"));
  EXPECT_EQ(platform::LastErrorCode(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(platform::DirectoryExists(t / "folder"));
  EXPECT_FALSE(platform::WriteFileAtomic(t / "NUL", "x"));
  platform::ListDirectory(t.Path(), e);
  EXPECT_EQ(e.size(), 5u) << "the folder added; no temporary file, no file NUL";
}

TEST(WinFiles, HandlesShareAsTheArchiveWriterNeedsAndUniqueFilesAreNew) {
  TempDir t;
  WriteFile(t / "open", "abc");
  {
    // A file another program writes may still be read...
    THeld writer(t / "open", FILE_SHARE_READ | FILE_SHARE_WRITE);
    platform::FileHandle h = platform::FileOpenRead(t / "open");
    ASSERT_NE(h, platform::InvalidFileHandle);
    char buf[8];
    EXPECT_EQ(platform::FileRead(h, buf, sizeof buf), 3);
    EXPECT_TRUE(platform::FileClose(h));
  }
  {
    // ...but not one it holds without sharing.
    THeld locker(t / "open", 0);
    EXPECT_EQ(platform::FileOpenRead(t / "open"), platform::InvalidFileHandle);
    EXPECT_EQ(platform::LastErrorCode(), ERROR_SHARING_VIOLATION);
  }

  std::string p1, p2;
  platform::FileHandle a = platform::FileCreateUnique(t.Path(), "orlenway-zip-", p1);
  platform::FileHandle b = platform::FileCreateUnique(t.Path() + "\\", "orlenway-zip-", p2);
  ASSERT_NE(a, platform::InvalidFileHandle);
  ASSERT_NE(b, platform::InvalidFileHandle);
  EXPECT_NE(p1, p2);
  EXPECT_EQ(p1.substr(0, t.Path().size() + 1), t.Path() + "\\");
  EXPECT_TRUE(platform::FileWrite(a, "0123456789", 10));
  EXPECT_EQ(platform::FileSeek(a, 2, platform::fsoBeginning), 2);
  EXPECT_TRUE(platform::FileTruncate(a, 5));
  EXPECT_EQ(platform::FileSeek(a, 0, platform::fsoCurrent), 2) << "the position stays";
  EXPECT_EQ(platform::FileSeek(a, 0, platform::fsoEnd), 5);
  EXPECT_TRUE(platform::FileClose(a));
  EXPECT_TRUE(platform::FileClose(b));
  EXPECT_EQ(ReadFile(p1), "01234");
  EXPECT_EQ(platform::FileCreateUnique(t / "missing", "x", p1), platform::InvalidFileHandle);

  EXPECT_EQ(platform::TempFolder(), platform::GetEnv("TMP") + "\\");
  uint64_t total = 0, avail = 0;
  EXPECT_TRUE(platform::DiskSpace(t.Path(), total, avail));
  EXPECT_GT(total, 0u);
  EXPECT_FALSE(platform::DiskSpace("Q:\\", total, avail)) << "no such drive";
}

// ---- time and code page -------------------------------------------------------------------

TEST(WinTime, DosDateTimeIsTheLocalTimeWithHalvedSeconds) {
  // 2024-03-05 13:47:59 UTC, in this machine's local time as the C run-time sees it.
  const std::time_t t = 1709646479;
  struct tm lt;
  ASSERT_EQ(localtime_s(&lt, &t), 0);
  uint32_t v = platform::ToDosDateTime(t);
  EXPECT_EQ(v >> 16,
            static_cast<uint32_t>(((lt.tm_year - 80) << 9) | ((lt.tm_mon + 1) << 5) | lt.tm_mday));
  EXPECT_EQ(v & 0xFFFF,
            static_cast<uint32_t>((lt.tm_hour << 11) | (lt.tm_min << 5) | (lt.tm_sec / 2)));
  EXPECT_EQ(v & 0x1F, 29u);
  EXPECT_EQ(platform::ToDosDateTime(0), static_cast<uint32_t>((1 << 5 | 1) << 16));
  EXPECT_EQ(platform::ToDosDateTime(-5), static_cast<uint32_t>((1 << 5 | 1) << 16));
}

TEST(WinCodePage, TheProgramsAnsiCodePageIsUtf8) {
  EXPECT_EQ(::GetACP(), static_cast<UINT>(CP_UTF8)) << "the manifest did not take effect";
  std::string hangul = "D:\\\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C"; // D:\저장소
  EXPECT_EQ(platform::AnsiToWide(hangul), u"D:\\\uC800\uC7A5\uC18C");
  EXPECT_EQ(platform::WideToAnsi(u"D:\\\uC800\uC7A5\uC18C"), hangul);
  EXPECT_EQ(platform::AnsiToWide("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(platform::AnsiToWide("a\xFF"
                                 "b"),
            u"a\uFFFDb");
  EXPECT_EQ(platform::WideToAnsi(std::u16string(1, char16_t(0xD800)) + u"x"), "?x");
  EXPECT_EQ(platform::WideToAnsi(u"x" + std::u16string(1, char16_t(0xDC00))), "x?");
  // A file with that name can be made and listed.
  TempDir t;
  WriteFile(t / "\xEC\xA0\x80", "1");
  std::vector<platform::DirEntry> e;
  ASSERT_TRUE(platform::ListDirectory(t.Path(), e));
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].name, "\xEC\xA0\x80");
}
