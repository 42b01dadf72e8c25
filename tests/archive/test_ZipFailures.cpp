// Runs that fail midway: each ends with 0 and OnError, and leaves nothing at the archive
// path (an older archive there stays as it was) and no temporary file behind.
#include "archive/UZip.h"

#include "ArchiveTestKit.h"
#include "support/TestSupport.h"
#include "support/UfnScriptedPrompt.h"

#include <gtest/gtest.h>
#include <optional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace testing_support;
using namespace ziptest;

namespace {

std::string Listing(const std::string& folder) {
  return Joined(FolderNames(folder));
}

// The outcome of a run as one line, so that a child can hand it back.
std::string Outcome(TZip& zip, TEvents& ev, const std::string& tempFolder) {
  int n = zip.BuildArchive();
  std::string archive = "missing";
  if (Exists(zip.ArchiveFile()))
    archive = ReadFile(zip.ArchiveFile()) == "older archive" ? "older" : "replaced";
  std::string out = "result=" + std::to_string(n) + " errors=" + ev.ErrorCodes() +
                    " archive=" + archive + " temp=[" + Listing(tempFolder) + "]";
  size_t slash = zip.ArchiveFile().rfind('/');
  return out + " folder=[" + Listing(zip.ArchiveFile().substr(0, slash)) + "]";
}

struct TSetup {
  TempDir Src{"src"}, Out{"out"}, Tmp{"tmp"};
  TZip Zip;
  TEvents Events;
  TSetup() {
    WriteFile(Src / "a.txt", RandomBytes(700000, 1));
    WriteFile(Src / "b.bin", RandomBytes(300000, 2));
    WriteFile(Out / "backup.zip", "older archive");
    ConfigureLikeBackup(Zip, Src.Path(), Out / "backup.zip", Events);
    Zip.TempDir = Tmp.Path();
  }
};

} // namespace

TEST(ZipFailures, AWriteFailureWhileWritingEntriesLeavesNoArchive) {
  TSetup s;
  std::string got = InChild([&] {
    TFileSizeLimit limit(200000);
    return Outcome(s.Zip, s.Events, s.Tmp.Path());
  });
  EXPECT_EQ(got, "result=0 errors=25160 archive=older temp=[] folder=[backup.zip]");
}

TEST(ZipFailures, AWriteFailureInTheCentralDirectoryLeavesNoArchive) {
  TSetup s;
  // Enough files that the directory outgrows what is left below the limit.
  const size_t files = 302;
  for (size_t i = 2; i < files; ++i)
    WriteFile(s.Src / ("f" + std::to_string(i)), "x");
  std::string got = InChild([&] {
    std::optional<TFileSizeLimit> limit;
    s.Events.OnProgress = [&](int a, int b) {
      // A file's first report can be 0/0 as well, when no piece is done yet: only once every
      // entry is written does 0/0 announce the directory.
      if (a == 0 && b == 0 && !limit && s.Events.Ends.size() == files) {
        struct stat st;
        std::string temp = s.Tmp / FolderNames(s.Tmp.Path()).at(0);
        ::stat(temp.c_str(), &st);
        limit.emplace(static_cast<unsigned long long>(st.st_size) + 1000);
      }
    };
    return Outcome(s.Zip, s.Events, s.Tmp.Path());
  });
  EXPECT_EQ(got, "result=0 errors=25136 archive=older temp=[] folder=[backup.zip]");
}

TEST(ZipFailures, AFailedCopyIntoPlaceLeavesTheOlderArchiveAlone) {
  std::string shm = "/dev/shm/orlenway-test-" + std::to_string(::getpid());
  ASSERT_TRUE(platform::ForceDirectories(shm)) << "needs a second file system at /dev/shm";
  TSetup s;
  s.Zip.TempDir = shm;
  std::string got = InChild([&] {
    TScriptedPrompt prompt;
    bool placing = false;
    std::optional<TFileSizeLimit> limit;
    s.Events.OnProgress = [&](int a, int b) { placing = a == 0 && b == 0; };
    // The first pump after the directory is written comes right before the first copied chunk.
    prompt.OnProcessMessages = [&] {
      if (placing && !limit) limit.emplace(100000);
    };
    return Outcome(s.Zip, s.Events, shm);
  });
  RemoveTree(shm);
  EXPECT_EQ(got, "result=0 errors=25160 archive=older temp=[] folder=[backup.zip]");
}

// Mounts a small file system in a private mount namespace of a child.
std::string WithTmpfs(const std::string& where, const std::string& options,
                      const std::function<std::string()>& body) {
  return InChild([&]() -> std::string {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) != 0)
      return "no mounts";
    if (options.find("ro") == 0)
      ::mount(nullptr, where.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
    return body();
  });
}

TEST(ZipFailures, AFullDiskEndsTheRunAsDiskFull) {
  TSetup s;
  std::string got = WithTmpfs(s.Out.Path(), "size=256k", [&] {
    WriteFile(s.Out / "backup.zip", "older archive");
    s.Zip.TempDir = s.Out.Path(); // temporary file and archive on the full disk
    return Outcome(s.Zip, s.Events, s.Out.Path());
  });
  if (got == "no mounts") GTEST_SKIP() << "cannot mount a file system here";
  EXPECT_EQ(got, "result=0 errors=25160 archive=older temp=[backup.zip] folder=[backup.zip]");
}

TEST(ZipFailures, AReadOnlyFileSystemIsReportedBeforeAnythingIsPacked) {
  TSetup s;
  std::string got = WithTmpfs(s.Out.Path(), "ro,size=64k", [&] {
    return Outcome(s.Zip, s.Events, s.Tmp.Path()) +
           " begins=" + std::to_string(s.Events.Begins.size());
  });
  if (got == "no mounts") GTEST_SKIP() << "cannot mount a file system here";
  EXPECT_EQ(got, "result=0 errors=25171 archive=missing temp=[] folder=[] begins=0");
}

TEST(ZipFailures, AFolderThisUserMayNotWriteIsNoWriteProtectedDisk) {
  // Run as "nobody" in a child, since root writes everywhere.
  TempDir t;
  ::chmod(PrivateRoot().c_str(), 0711);
  ::chmod((PrivateRoot() + "/tmp").c_str(), 0711);
  ::chmod(t.Path().c_str(), 0755);
  MakeDirs(t / "src");
  MakeDirs(t / "out");
  MakeDirs(t / "tmp");
  ::chmod((t / "tmp").c_str(), 0777);
  WriteFile(t / "src/a.txt", "packed before the archive cannot be put in place");
  std::string got = InChild([&] {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) return std::string("no nobody");
    TZip zip;
    TEvents ev;
    ConfigureLikeBackup(zip, t / "src", t / "out/b.zip", ev);
    zip.TempDir = t / "tmp";
    return Outcome(zip, ev, t / "tmp");
  });
  ::chmod(PrivateRoot().c_str(), 0700);
  if (got == "no nobody") GTEST_SKIP() << "cannot become an ordinary user here";
  // The run goes on to pack, and fails where the archive is put in place, with that error.
  EXPECT_EQ(got, "result=0 errors=25136 archive=missing temp=[] folder=[]");
}
