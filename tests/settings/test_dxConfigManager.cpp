// TCustomConfigManager's LoadConfig and SaveConfig, with the atomic save.
#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "settings/UclsBasicSetting.h"
#include "settings/dxConfigManager.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing_support;

namespace {

const std::string Example156 = "object TclsBasicSetting\r\n"
                               "  SVNPath = 'C:\\Program Files\\SubVersion'\r\n"
                               "  RepoPath = 'D:\\SVN\\Repositories'\r\n"
                               "  BackupPath = 'E:\\Backup\\SVN'\r\n"
                               "  Port = 3690\r\n"
                               "end\r\n";

void Fill156(TclsBasicSetting& s) {
  s.SVNPath = "C:\\Program Files\\SubVersion";
  s.RepoPath = "D:\\SVN\\Repositories";
  s.BackupPath = "E:\\Backup\\SVN";
  s.SetPort(3690);
}

// A Unix domain socket bound at `path`: it exists and is no folder, but no one, root included,
// can open it as a file (ENXIO).
class TSocketFile {
public:
  explicit TSocketFile(const std::string& path) {
    FFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) throw std::runtime_error("socket path too long");
    std::copy(path.begin(), path.end(), addr.sun_path);
    if (FFd < 0 || ::bind(FFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
      throw std::runtime_error("cannot bind " + path);
  }
  ~TSocketFile() { ::close(FFd); }

private:
  int FFd = -1;
};

// Sets or clears the immutable attribute of a folder (chattr +i): then no one, root included,
// can create, rename or remove an entry in it. False where the file system or the process
// cannot do that.
bool SetImmutable(const std::string& folder, bool on) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (ok) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return ok;
}

std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "none";
}

} // namespace

// ---- LoadConfig ----------------------------------------------------------------------------

TEST(ConfigManager, LoadConfigReadsTheFile) {
  TempDir t;
  WriteFile(t / "s.ini", Example156);
  TclsBasicSetting s;
  s.ConfigFile = t / "s.ini";
  s.LoadConfig();
  EXPECT_EQ(s.SVNPath, "C:\\Program Files\\SubVersion");
  EXPECT_EQ(s.RepoPath, "D:\\SVN\\Repositories");
  EXPECT_EQ(s.BackupPath, "E:\\Backup\\SVN");
  EXPECT_EQ(s.GetPort(), 3690);
}

TEST(ConfigManager, LoadConfigWithoutAFileKeepsTheValues) {
  TempDir t;
  TclsBasicSetting s;
  s.SVNPath = "kept";
  s.SetPort(1);
  s.ConfigFile = t / "missing.ini";
  s.LoadConfig();
  MakeDirs(t / "folder.ini"); // a folder is no file either
  s.ConfigFile = t / "folder.ini";
  s.LoadConfig();
  s.ConfigFile = "";
  s.LoadConfig();
  EXPECT_EQ(s.SVNPath, "kept");
  EXPECT_EQ(s.GetPort(), 1);
}

TEST(ConfigManager, AFileThatCannotBeOpenedIsEFOpenError) {
  TempDir t;
  TSocketFile sock(t / "s.ini");
  TclsBasicSetting s;
  s.SVNPath = "kept";
  s.ConfigFile = t / "s.ini";
  try {
    s.LoadConfig();
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + t / "s.ini" + "\". " + platform::ErrorMessage(ENXIO));
  }
  EXPECT_EQ(s.SVNPath, "kept");
}

TEST(ConfigManager, TheOpenErrorNamesTheExpandedFullPath) {
  TempDir t;
  MakeDirs(t / "sub");
  TSocketFile sock(t / "s.ini");
  std::string cwd = platform::GetCurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(t / "sub"));
  TclsBasicSetting s;
  s.ConfigFile = "./../sub/../s.ini";
  std::string msg = Message([&] { s.LoadConfig(); });
  platform::SetCurrentDir(cwd);
  EXPECT_EQ(msg, "Cannot open file \"" + t / "s.ini" + "\". " + platform::ErrorMessage(ENXIO));
}

TEST(ConfigManager, AnUnreadableFileForAnOrdinaryUser) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file whatever its mode";
  TempDir t;
  WriteFile(t / "s.ini", Example156);
  ::chmod((t / "s.ini").c_str(), 0);
  TclsBasicSetting s;
  s.ConfigFile = t / "s.ini";
  EXPECT_EQ(Message([&] { s.LoadConfig(); }),
            "Cannot open file \"" + t / "s.ini" + "\". " + platform::ErrorMessage(EACCES));
}

TEST(ConfigManager, ARefusedTextKeepsWhatWasAssignedBeforeTheFault) {
  TempDir t;
  TclsBasicSetting s;
  s.ConfigFile = t / "s.ini";
  s.SVNPath = "old";
  s.RepoPath = "old";
  WriteFile(s.ConfigFile, "object TclsBasicSetting\r\n  SVNPath = 'new'\r\n  Foo = 1\r\n"
                          "  RepoPath = 'new'\r\nend\r\n");
  EXPECT_THROW(s.LoadConfig(), EReadError);
  EXPECT_EQ(s.SVNPath, "new");
  EXPECT_EQ(s.RepoPath, "old");
  WriteFile(s.ConfigFile, "object TclsBasicSetting\r\n  RepoPath = 'newer'\r\n  Port 1\r\nend\r\n");
  EXPECT_THROW(s.LoadConfig(), EParserError);
  EXPECT_EQ(s.RepoPath, "old");
}

// ---- SaveConfig ----------------------------------------------------------------------------

TEST(ConfigManager, SaveConfigWritesTheExactBytes) {
  TempDir t;
  TclsBasicSetting s;
  Fill156(s);
  s.ConfigFile = t / "s.ini";
  s.SaveConfig();
  EXPECT_EQ(ReadFile(s.ConfigFile), Example156);
  EXPECT_EQ(FileMode(s.ConfigFile), 0644);
  // A longer old file is replaced whole; its permission bits stay.
  WriteFile(s.ConfigFile, std::string(10000, 'x'));
  ::chmod(s.ConfigFile.c_str(), 0600);
  s.RepoPath = "";
  s.BackupPath = "";
  s.SVNPath = "";
  s.SaveConfig();
  EXPECT_EQ(ReadFile(s.ConfigFile), "object TclsBasicSetting\r\n  Port = 3690\r\nend\r\n");
  EXPECT_EQ(FileMode(s.ConfigFile), 0600);
  EXPECT_EQ(FolderNames(t.Path()), std::vector<std::string>{"s.ini"}) << "no temporary file left";
}

TEST(ConfigManager, SaveAndLoadRoundTrip) {
  TempDir t;
  TclsBasicSetting a;
  a.ConfigFile = t / "s.ini";
  a.SetName("Main");
  a.SVNPath = "/usr";
  a.RepoPath = "/srv/svn/\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C";
  a.BackupPath = std::string(300, 'b');
  a.SetPort(65535);
  a.SaveConfig();
  TclsBasicSetting b;
  b.ConfigFile = a.ConfigFile;
  b.LoadConfig();
  EXPECT_EQ(b.GetName(), "Main");
  EXPECT_EQ(b.SVNPath, a.SVNPath);
  EXPECT_EQ(b.RepoPath, a.RepoPath);
  EXPECT_EQ(b.BackupPath, a.BackupPath);
  EXPECT_EQ(b.GetPort(), 65535);
}

TEST(ConfigManager, AMissingFolderIsMadeBySaveConfig) {
  // The state folder of a fresh account does not exist before the first save.
  TempDir t;
  TclsBasicSetting s;
  s.ConfigFile = t / "missing/deeper/s.ini";
  s.RepoPath = "/srv/repos";
  s.SaveConfig();
  TclsBasicSetting back;
  back.ConfigFile = s.ConfigFile;
  back.LoadConfig();
  EXPECT_EQ(back.RepoPath, "/srv/repos");
}

TEST(ConfigManager, AFolderThatIsAFileIsEFCreateError) {
  TempDir t;
  WriteFile(t / "plain", "x");
  TclsBasicSetting s;
  s.ConfigFile = t / "plain/s.ini";
  EXPECT_EQ(Message([&] { s.SaveConfig(); }),
            "Cannot create file \"" + t / "plain/s.ini" + "\". " + platform::ErrorMessage(ENOTDIR));
  EXPECT_EQ(ReadFile(t / "plain"), "x");
}

TEST(ConfigManager, ASettingsFileThatIsAFolderIsEFCreateErrorAndStays) {
  TempDir t;
  MakeDirs(t / "s.ini/inside");
  TclsBasicSetting s;
  s.ConfigFile = t / "s.ini";
  EXPECT_EQ(Message([&] { s.SaveConfig(); }),
            "Cannot create file \"" + t / "s.ini" + "\". " + platform::ErrorMessage(EISDIR));
  EXPECT_TRUE(platform::DirectoryExists(t / "s.ini/inside"));
  EXPECT_EQ(FolderNames(t.Path()), std::vector<std::string>{"s.ini"}) << "no temporary file left";
}

// The folder cannot be written, for root as well: it carries the immutable attribute.
TEST(ConfigManager, AFolderThatCannotBeWrittenKeepsTheOldFile) {
  TempDir t;
  MakeDirs(t / "locked");
  const std::string file = t / "locked/s.ini";
  WriteFile(file, Example156);
  if (!SetImmutable(t / "locked", true))
    GTEST_SKIP() << "this file system or process cannot set the immutable attribute";
  struct Unlock {
    std::string folder;
    ~Unlock() { SetImmutable(folder, false); }
  } unlock{t / "locked"};
  TclsBasicSetting s;
  s.ConfigFile = file;
  s.SVNPath = "/changed";
  std::string msg;
  try {
    s.SaveConfig();
    msg = "none";
  } catch (const EFCreateError& e) {
    msg = e.what();
  }
  EXPECT_EQ(msg, "Cannot create file \"" + file + "\". " + platform::ErrorMessage(EPERM));
  EXPECT_EQ(ReadFile(file), Example156);
  EXPECT_EQ(FolderNames(t / "locked"), std::vector<std::string>{"s.ini"});
}

TEST(ConfigManager, AFolderWithoutWritePermissionForAnOrdinaryUser) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into every folder whatever its mode";
  TempDir t;
  MakeDirs(t / "ro");
  WriteFile(t / "ro/s.ini", Example156);
  ::chmod((t / "ro").c_str(), 0555);
  TclsBasicSetting s;
  s.ConfigFile = t / "ro/s.ini";
  EXPECT_EQ(Message([&] { s.SaveConfig(); }),
            "Cannot create file \"" + t / "ro/s.ini" + "\". " + platform::ErrorMessage(EACCES));
  EXPECT_EQ(ReadFile(t / "ro/s.ini"), Example156);
  ::chmod((t / "ro").c_str(), 0755);
}

// No room for the text: the file size limit (RLIMIT_FSIZE, which binds root too) stops the
// write of the temporary file after 16 bytes.
TEST(ConfigManager, AWriteThatFailsIsEWriteErrorAndKeepsTheOldFile) {
  TempDir t;
  const std::string file = t / "s.ini";
  WriteFile(file, Example156);
  TclsBasicSetting s;
  s.ConfigFile = file;
  s.SVNPath = std::string(500, 'n');
  std::string msg;
  bool writeError = false;
  {
    TFileSizeLimit limit(16);
    try {
      s.SaveConfig();
      msg = "none";
    } catch (const EWriteError& e) {
      writeError = true;
      msg = e.what();
    } catch (const std::exception& e) {
      msg = e.what();
    }
  }
  EXPECT_TRUE(writeError);
  EXPECT_EQ(msg, "Stream write error");
  EXPECT_EQ(ReadFile(file), Example156);
  EXPECT_EQ(FolderNames(t.Path()), std::vector<std::string>{"s.ini"}) << "no temporary file left";
}

// A really full disk: a 64 KiB tmpfs filled to the last block, mounted in a private mount
// namespace of a child process (root only; skipped where mounting is not allowed).
TEST(ConfigManager, AFullDiskIsEWriteErrorAndKeepsTheOldFile) {
  TempDir t;
  const std::string mnt = t / "mnt";
  MakeDirs(mnt);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::unshare(CLONE_NEWNS) != 0) ::_exit(77);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(77);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0) ::_exit(77);
    const std::string file = mnt + "/s.ini";
    {
      int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || ::write(fd, Example156.data(), Example156.size()) != 156) ::_exit(10);
      ::close(fd);
      fd = ::open((mnt + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      char block[4096] = {};
      while (::write(fd, block, sizeof block) > 0) {
      }
      if (errno != ENOSPC) ::_exit(11);
      ::close(fd);
    }
    TclsBasicSetting s;
    s.ConfigFile = file;
    s.SVNPath = "/changed";
    int code = 0;
    try {
      s.SaveConfig();
      code = 12;
    } catch (const EWriteError& e) {
      if (std::string(e.what()) != "Stream write error") code = 13;
    } catch (...) {
      code = 14;
    }
    std::string data;
    if (!platform::ReadWholeFile(file, data) || data != Example156) code = 15;
    if (FolderNames(mnt) != std::vector<std::string>{"filler", "s.ini"}) code = 16;
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot mount a tmpfs here";
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "10/11 setup, 12 no error, 13 wrong text, 14 wrong class, 15 old file changed, "
         "16 temporary file left";
}

// ---- ExpandFileName ------------------------------------------------------------------------

TEST(ConfigManager, ExpandFileName) {
  EXPECT_EQ(ExpandFileName("/a/./b/../c.ini"), "/a/c.ini");
  EXPECT_EQ(ExpandFileName("/a//b/"), "/a/b/");
  EXPECT_EQ(ExpandFileName("/../x"), "/x");
  EXPECT_EQ(ExpandFileName("/"), "/");
  EXPECT_EQ(ExpandFileName(""), "");
  std::string cwd = platform::GetCurrentDir();
  EXPECT_EQ(ExpandFileName("x.ini"), ExpandFileName(cwd + "/x.ini"));
  EXPECT_EQ(ExpandFileName("./d/../x.ini"), ExpandFileName(cwd + "/x.ini"));
}
