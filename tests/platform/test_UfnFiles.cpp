#include "platform/UfnEnvironment.h"
#include "platform/UfnFiles.h"
#include "platform/UfnSystemErrors.h"
#include "support/TestSupport.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing_support;

TEST(Platform, StateFolderFollowsXdgConfigHome) {
  std::string cfg = platform::GetEnv("XDG_CONFIG_HOME");
  EXPECT_EQ(platform::StateFolder(), cfg + "/orlenway/");
  std::string exe = platform::ExecutablePath();
  EXPECT_EQ(platform::ProgramPath(), cfg + "/orlenway/" + exe.substr(exe.rfind('/') + 1));

  std::string home = platform::GetEnv("HOME");
  platform::SetEnv("XDG_CONFIG_HOME", "");
  EXPECT_EQ(platform::StateFolder(), home + "/.config/orlenway/");
  platform::SetEnv("XDG_CONFIG_HOME", "relative/is/ignored");
  EXPECT_EQ(platform::StateFolder(), home + "/.config/orlenway/");
  platform::SetEnv("XDG_CONFIG_HOME", cfg);
}

TEST(Platform, ForceDirectoriesMakesParentsAndRefusesFiles) {
  TempDir t;
  EXPECT_TRUE(platform::ForceDirectories(t / "a/b/c/"));
  EXPECT_TRUE(platform::DirectoryExists(t / "a/b/c"));
  EXPECT_TRUE(platform::ForceDirectories(t / "a/b/c")); // already there
  WriteFile(t / "file", "x");
  EXPECT_FALSE(platform::ForceDirectories(t / "file/sub"));
  EXPECT_TRUE(platform::FileExists(t / "file"));
  EXPECT_FALSE(platform::FileExists(t / "a"));
  EXPECT_FALSE(platform::DirectoryExists(t / "file"));
  EXPECT_FALSE(platform::DirectoryExists(""));
}

TEST(Platform, ListingIsCaseInsensitiveWithSynthesisedAttributes) {
  TempDir t;
  for (const char* n : {"b", "A", "a", "C.txt", ".hidden"})
    WriteFile(t / n, "12345");
  MakeDirs(t / "sub");
  ::chmod((t / "C.txt").c_str(), 0444);
  ::symlink("nowhere", (t / "dangling").c_str());
  ::mkfifo((t / "pipe").c_str(), 0600);

  std::vector<platform::DirEntry> e;
  ASSERT_TRUE(platform::ListDirectory(t.Path(), e));
  std::vector<std::string> names;
  for (auto& x : e)
    names.push_back(x.name);
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "A", "a", "b", "C.txt", "sub"}));
  EXPECT_EQ(e[0].attributes, 0x22u);
  EXPECT_EQ(e[1].attributes, 0x20u);
  EXPECT_EQ(e[1].size, 5u);
  EXPECT_EQ(e[4].attributes, 0x21u);
  EXPECT_EQ(e[5].attributes, 0x10u);
  EXPECT_EQ(e[5].size, 0u);

  ASSERT_TRUE(platform::ListDirectory(t / "sub", e, true));
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].name, ".");
  EXPECT_EQ(e[0].attributes, 0x10u);
  EXPECT_EQ(e[1].name, "..");

  EXPECT_FALSE(platform::ListDirectory(t / "missing", e));
  EXPECT_TRUE(e.empty());
}

TEST(Platform, DosDateTimeHalvesSecondsInLocalTime) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  // 2024-03-05 13:47:59 UTC
  uint32_t v = platform::ToDosDateTime(1709646479);
  EXPECT_EQ(v >> 16, static_cast<uint32_t>((44 << 9) | (3 << 5) | 5));
  EXPECT_EQ(v & 0xFFFF, static_cast<uint32_t>((13 << 11) | (47 << 5) | 29));
  EXPECT_EQ(platform::ToDosDateTime(0), static_cast<uint32_t>((1 << 5 | 1) << 16));
  ::setenv("TZ", "Asia/Seoul", 1);
  ::tzset();
  v = platform::ToDosDateTime(1709646479); // 22:47:59 in Seoul
  EXPECT_EQ((v >> 11) & 0x1F, 22u);
  ::unsetenv("TZ");
  ::tzset();
}

TEST(Platform, AtomicWriteKeepsModeAndLeavesNoTemporaryFile) {
  TempDir t;
  std::string f = t / "data";
  ASSERT_TRUE(platform::WriteFileAtomic(f, "one", 0600));
  EXPECT_EQ(FileMode(f), 0600);
  ::chmod(f.c_str(), 0640);
  ASSERT_TRUE(platform::WriteFileAtomic(f, "two"));
  EXPECT_EQ(FileMode(f), 0640);
  EXPECT_EQ(ReadFile(f), "two");
  std::vector<platform::DirEntry> e;
  platform::ListDirectory(t.Path(), e);
  EXPECT_EQ(e.size(), 1u);

  if (::geteuid() != 0) {
    ::chmod(t.Path().c_str(), 0500);
    EXPECT_FALSE(platform::WriteFileAtomic(f, "three"));
    EXPECT_FALSE(platform::LastErrorMessage().empty());
    ::chmod(t.Path().c_str(), 0700);
    EXPECT_EQ(ReadFile(f), "two");
  }
  EXPECT_FALSE(platform::WriteFileAtomic(t / "missing/data", "x"));
}

TEST(Platform, AtomicWriteThroughALinkKeepsTheLinkAndTheOldModeOfTheTarget) {
  TempDir t;
  ::mkdir((t / "shared").c_str(), 0700);
  const std::string target = t / "shared/passwd";
  WriteFile(target, "old");
  ::chmod(target.c_str(), 0640);
  ASSERT_EQ(::symlink("shared/passwd", (t / "a").c_str()), 0);
  ::mkdir((t / "b").c_str(), 0700);
  ASSERT_EQ(::symlink("../a", (t / "b/passwd").c_str()), 0); // a link to a link
  // A given mode is for new files only: the target keeps its 0640.
  ASSERT_TRUE(platform::WriteFileAtomic(t / "b/passwd", "new", 0600));
  struct stat st;
  ASSERT_EQ(::lstat((t / "a").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::lstat((t / "b/passwd").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(FileMode(target), 0640);
  std::vector<platform::DirEntry> e;
  platform::ListDirectory(t / "shared", e);
  EXPECT_EQ(e.size(), 1u); // no temporary file left beside the target
}

namespace {

size_t EntryCount(const std::string& folder) {
  std::vector<platform::DirEntry> e;
  platform::ListDirectoryNoFollow(folder, e);
  return e.size();
}

mode_t KindOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

} // namespace

// `ln -s /dev/null User.Dat` throws the saves away, as its owner meant; the device itself is
// never replaced by a file (a device node of the test's own with /dev/null's numbers).
TEST(Platform, AtomicWriteWritesThroughALinkToACharacterDevice) {
  TempDir t;
  if (::mknod((t / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
    GTEST_SKIP() << "no device nodes here: " << std::strerror(errno);
  ::chmod((t / "null").c_str(), 0666);
  ASSERT_EQ(::symlink("null", (t / "User.Dat").c_str()), 0);
  for (const char* name : {"User.Dat", "null"}) {
    EXPECT_TRUE(platform::WriteFileAtomic(t / name, "thrown away", 0600))
        << name << ": " << platform::LastErrorMessage();
    EXPECT_EQ(KindOf(t / "User.Dat"), S_IFLNK);
    struct stat st {};
    ASSERT_EQ(::stat((t / "null").c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(st.st_rdev, ::makedev(1, 3));
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    EXPECT_EQ(EntryCount(t.Path()), 2u);
  }
  std::string data = "x";
  EXPECT_TRUE(platform::ReadWholeFile(t / "User.Dat", data));
  EXPECT_EQ(data, "");

  // A block device is no file either: refused, and not opened.
  ASSERT_EQ(::mknod((t / "disk").c_str(), S_IFBLK | 0600, ::makedev(7, 250)), 0);
  ASSERT_EQ(::symlink("disk", (t / "passwd").c_str()), 0);
  EXPECT_FALSE(platform::WriteFileAtomic(t / "passwd", "x"));
  EXPECT_EQ(platform::LastErrorCode(), EINVAL);
  EXPECT_EQ(KindOf(t / "disk"), S_IFBLK);
  EXPECT_EQ(KindOf(t / "passwd"), S_IFLNK);
}

// A FIFO, a socket or a folder in a file's place is refused at once with the system's reason,
// directly or through a link, and stays as it was; nothing is left beside it.
TEST(Platform, AtomicWriteRefusesFifosSocketsAndFolders) {
  TempDir t;
  ASSERT_EQ(::mkfifo((t / "fifo").c_str(), 0600), 0);
  MakeDirs(t / "folder");
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  const std::string sockPath = t / "sock";
  ASSERT_LT(sockPath.size(), sizeof a.sun_path);
  std::memcpy(a.sun_path, sockPath.c_str(), sockPath.size() + 1);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  for (const char* kind : {"fifo", "sock", "folder"})
    ASSERT_EQ(::symlink(kind, (t / (std::string("link-") + kind)).c_str()), 0);
  const struct {
    const char* name;
    mode_t kind;
    int code;
  } cases[] = {{"fifo", S_IFIFO, EINVAL},   {"link-fifo", S_IFIFO, EINVAL},
               {"sock", S_IFSOCK, EINVAL},  {"link-sock", S_IFSOCK, EINVAL},
               {"folder", S_IFDIR, EISDIR}, {"link-folder", S_IFDIR, EISDIR}};
  for (const auto& c : cases) {
    EXPECT_FALSE(platform::WriteFileAtomic(t / c.name, "x", 0600)) << c.name;
    EXPECT_EQ(platform::LastErrorCode(), c.code) << c.name;
    EXPECT_FALSE(platform::LastErrorMessage().empty());
    const std::string target = std::string(c.name).substr(std::string(c.name).find('-') + 1);
    EXPECT_EQ(KindOf(t / target), c.kind) << c.name;
    if (target != c.name) {
      EXPECT_EQ(KindOf(t / c.name), S_IFLNK) << c.name;
    }
  }
  EXPECT_EQ(EntryCount(t.Path()), 6u);
  EXPECT_EQ(EntryCount(t / "folder"), 0u);
  // Nor is a FIFO waited on when read.
  std::string data;
  EXPECT_FALSE(platform::ReadWholeFile(t / "link-fifo", data));
  EXPECT_EQ(platform::LastErrorCode(), EINVAL);
  ::close(sock);
}

// A save killed between its temporary file and the rename leaves ".name.XXXXXX"; the next
// save of that name removes such leftovers of this account once they are a minute old, and
// nothing else.
TEST(Platform, AtomicWriteRemovesStaleTemporariesOfTheSameName) {
  TempDir t;
  WriteFile(t / "User.Dat", "old");
  auto make = [&](const std::string& name, bool old) {
    WriteFile(t / name, "partial");
    ::chmod((t / name).c_str(), 0600);
    if (!old) return;
    const struct timespec times[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    ::utimensat(AT_FDCWD, (t / name).c_str(), times, 0);
  };
  make(".User.Dat.a1B2c3", true);  // left by a killed save
  make(".User.Dat.Zz9Yy8", false); // another process's save in progress
  make(".passwd.a1B2c3", true);    // another name's: its own save sees to it
  make(".User.Dat.bak", true);     // not the pattern
  make(".User.Dat.a1B2c3x", true); // nor this
  make("User.Dat.a1B2c3", true);   // nor this
  ASSERT_EQ(::symlink("User.Dat", (t / ".User.Dat.q1w2e3").c_str()), 0); // no plain file
  bool foreign = false;
  if (::geteuid() == 0) {
    make(".User.Dat.f0f0f0", true);
    foreign = ::chown((t / ".User.Dat.f0f0f0").c_str(), 54321, 54321) == 0;
  }
  ASSERT_TRUE(platform::WriteFileAtomic(t / "User.Dat", "new", 0600));
  EXPECT_EQ(ReadFile(t / "User.Dat"), "new");
  EXPECT_FALSE(Exists(t / ".User.Dat.a1B2c3"));
  for (const char* kept : {".User.Dat.Zz9Yy8", ".passwd.a1B2c3", ".User.Dat.bak",
                           ".User.Dat.a1B2c3x", "User.Dat.a1B2c3"})
    EXPECT_EQ(ReadFile(t / kept), "partial") << kept;
  EXPECT_EQ(KindOf(t / ".User.Dat.q1w2e3"), S_IFLNK);
  if (foreign) {
    EXPECT_TRUE(Exists(t / ".User.Dat.f0f0f0"));
  }
  EXPECT_EQ(EntryCount(t.Path()), foreign ? 8u : 7u);
}

// Where a path really leads, as the system would open it: a link followed before its "..",
// names that do not exist yet taken as written, a cycle of links not followed for ever.
TEST(Platform, ResolvedPathFollowsLinksAsFarAsThePathExists) {
  TempDir t;
  const std::string real = platform::ResolvedPath(t.Path()); // TMPDIR may itself be a link
  MakeDirs(t / "a/deep");
  MakeDirs(t / "proj");
  MakeDirs(t / "proj2");
  ASSERT_EQ(::symlink("a/deep", (t / "link").c_str()), 0);
  ASSERT_EQ(::symlink("loop2", (t / "loop1").c_str()), 0);
  ASSERT_EQ(::symlink("loop1", (t / "loop2").c_str()), 0);
  EXPECT_EQ(platform::ResolvedPath(t / "link/../x"), real + "/a/x");
  EXPECT_EQ(platform::ResolvedPath(t / "./proj/new/../../b//c"), real + "/b/c");
  EXPECT_EQ(platform::ResolvedPath(t / "link/missing/../.."), real + "/a");
  EXPECT_FALSE(platform::ResolvedPath(t / "loop1/x").empty());
  const std::string saved = platform::GetCurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(t / "proj"));
  EXPECT_EQ(platform::ResolvedPath("../link"), real + "/a/deep");
  platform::SetCurrentDir(saved);

  EXPECT_TRUE(platform::PathWithin(t / "proj", t / "proj/conf/x"));
  EXPECT_TRUE(platform::PathWithin(t / "proj/", t / "a/../proj/x"));
  EXPECT_FALSE(platform::PathWithin(t / "proj", t / "proj"));
  EXPECT_FALSE(platform::PathWithin(t / "proj", t / "proj/."));
  EXPECT_FALSE(platform::PathWithin(t / "proj", t / "proj2/x")); // a name that only begins so
  EXPECT_FALSE(platform::PathWithin(t / "a", t / "link/../../x"));
  EXPECT_TRUE(platform::PathWithin(t / "a", t / "link/x"));
  // As written: ".." takes the name before it away, links are not looked at.
  EXPECT_EQ(platform::LexicalPath(t / "link/../proj/./x"), t / "proj/x");
  EXPECT_TRUE(platform::PathWithin(t / "proj", t / "link/../proj/x", false));
  EXPECT_FALSE(platform::PathWithin(t / "proj", t / "link/../proj/x"));
  EXPECT_FALSE(platform::PathWithin(t / "a", t / "link/x", false));
  EXPECT_FALSE(platform::PathWithin(t / "proj", t / "proj/conf/../../x", false));
}

namespace {

// A folder anyone may enter, outside the test's private temporary tree, so that a child
// running as another account reaches it.
struct OpenFolder {
  std::string Path;
  OpenFolder() {
    char tmpl[] = "/tmp/orlenway-owner-XXXXXX";
    if (::mkdtemp(tmpl)) Path = tmpl;
    ::chmod(Path.c_str(), 0777);
  }
  ~OpenFolder() {
    std::vector<platform::DirEntry> e;
    platform::ListDirectory(Path, e);
    for (const auto& x : e)
      ::unlink((Path + "/" + x.name).c_str());
    ::rmdir(Path.c_str());
  }
};

// Runs the write in a child process as uid/gid 54321 (an unused account); its result.
bool WriteAsOtherAccount(const std::string& path, const std::string& data) {
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(54321) != 0 || ::setuid(54321) != 0) _exit(3);
    _exit(platform::WriteFileAtomic(path, data) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

TEST(Platform, AtomicWriteNeverChangesWhoseTheFileIs) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another account";
  OpenFolder dir;
  ASSERT_FALSE(dir.Path.empty());
  // Root replacing a file of another account gives the new file back to that account.
  const std::string mine = dir.Path + "/served";
  WriteFile(mine, "old");
  ASSERT_EQ(::chown(mine.c_str(), 54321, 54321), 0);
  ::chmod(mine.c_str(), 0640);
  ASSERT_TRUE(platform::WriteFileAtomic(mine, "new", 0600));
  struct stat st;
  ASSERT_EQ(::stat(mine.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 54321u);
  EXPECT_EQ(st.st_gid, 54321u);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadFile(mine), "new");

  // An account that may write a group-writable file of another owner: rewritten in place.
  const std::string shared = dir.Path + "/group-writable";
  WriteFile(shared, "a longer old text");
  ASSERT_EQ(::chown(shared.c_str(), 54322, 54321), 0);
  ::chmod(shared.c_str(), 0664);
  ASSERT_EQ(::stat(shared.c_str(), &st), 0);
  const ino_t inode = st.st_ino;
  EXPECT_TRUE(WriteAsOtherAccount(shared, "short"));
  ASSERT_EQ(::stat(shared.c_str(), &st), 0);
  EXPECT_EQ(st.st_ino, inode);
  EXPECT_EQ(st.st_uid, 54322u);
  EXPECT_EQ(st.st_gid, 54321u);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  EXPECT_EQ(ReadFile(shared), "short");

  // A file it may not write: refused, nothing changes and no temporary file is left.
  const std::string foreign = dir.Path + "/foreign";
  WriteFile(foreign, "kept");
  ASSERT_EQ(::chown(foreign.c_str(), 54322, 54322), 0);
  ::chmod(foreign.c_str(), 0644);
  EXPECT_FALSE(WriteAsOtherAccount(foreign, "lost"));
  EXPECT_EQ(ReadFile(foreign), "kept");
  ASSERT_EQ(::stat(foreign.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 54322u);
  std::vector<platform::DirEntry> e;
  platform::ListDirectory(dir.Path, e);
  EXPECT_EQ(e.size(), 3u);
}
