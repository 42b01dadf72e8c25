#include "platform/UfnFiles.h"
#include "platform/UfnProcesses.h"
#include "platform/UfnSystemErrors.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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
