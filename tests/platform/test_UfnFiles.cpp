#include "platform/UfnEnvironment.h"
#include "platform/UfnFiles.h"
#include "platform/UfnSystemErrors.h"
#include "support/TestSupport.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
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
