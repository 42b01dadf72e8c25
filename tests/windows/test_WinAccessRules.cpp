// The access rules file on Windows: read as svnserve reads it (a Notepad file with CRLF too),
// refused with its line when it is not valid, and changed through the jobs, which replace the
// file through the system's rename and svnserve.conf through the system's profile functions.
#include "base/UfnJob.h"
#include "platform/UfnFiles.h"
#include "projects/UfnAccessJobs.h"
#include "projects/UfnAccessRules.h"
#include "server/UfnSubversion.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const std::string HandWritten = "# rules of app, kept by hand\r\n"
                                "[groups]\r\n"
                                "devs = alice, bob\r\n"
                                "\r\n"
                                "[/]\r\n"
                                "# everyone reads\r\n"
                                "* = r\r\n"
                                "@devs = rw\r\n";

TEST(WinAccessRules, FilesAreReadAndRefusedWithTheirLine) {
  TAuthzFile file = ParseAuthz(HandWritten);
  ASSERT_TRUE(file.Valid()) << file.Error;
  EXPECT_EQ(RulesAccess(file, "bob", "app", "/src").Rights, TRights::ReadWrite);
  EXPECT_EQ(RulesAccess(file, "carol", "app", "/").Rights, TRights::Read);
  EXPECT_EQ(RulesAccess(file, "", "app", "/").Rights, TRights::Read);

  TAuthzFile broken = ParseAuthz(HandWritten + "\r\n[/x]\r\n@ghosts = r\r\n");
  EXPECT_FALSE(broken.Valid());
  EXPECT_EQ(broken.ErrorLine, 11);
  EXPECT_NE(broken.Error.find("@ghosts"), std::string::npos) << broken.Error;
}

TEST(WinAccessRules, SetAndUnsetKeepWhatAPersonWroteAndReadBackAlike) {
  TempDir root("winauthz");
  const std::string conf = root / "app\\conf\\svnserve.conf", authz = root / "app\\conf\\authz";
  ASSERT_TRUE(platform::ForceDirectories(root / "app\\conf"));
  WriteFile(conf, "[general]\r\nanon-access = read\r\nauthz-db = authz\r\n");
  WriteFile(authz, HandWritten);
  // No svnauthz here: the program's own reader is the check.
  TSubversion svn(root / "no-subversion");

  TProjectRules before = ReadProjectRules(root.Path(), "app");
  ASSERT_TRUE(before.Enabled);
  ASSERT_TRUE(before.Rules.Valid()) << before.Rules.Error;
  ASSERT_TRUE(SetAccessRule(svn, root.Path(), "app", "/secret", "alice", TRights::ReadWrite,
                            SilentObserver())
                  .Done);
  ASSERT_TRUE(
      SetAccessRule(svn, root.Path(), "app", "/secret", "*", TRights::None, SilentObserver()).Done);
  const std::string written = ReadFile(authz);
  EXPECT_EQ(written.substr(0, HandWritten.size()), HandWritten);
  EXPECT_EQ(ReadFile(authz + ".orlenway-last-good"), written);

  // Read back: the reader gives what was set, and the file stays as it was written.
  TProjectRules after = ReadProjectRules(root.Path(), "app");
  ASSERT_TRUE(after.Rules.Valid()) << after.Rules.Error << "\n" << written;
  EXPECT_EQ(after.Text, written);
  EXPECT_EQ(RulesAccess(after.Rules, "alice", "app", "/secret/x").Rights, TRights::ReadWrite);
  EXPECT_EQ(RulesAccess(after.Rules, "bob", "app", "/secret").Rights, TRights::None);
  EXPECT_EQ(RulesAccess(after.Rules, "bob", "app", "/src").Rights, TRights::ReadWrite);

  // A change that would leave the file invalid writes nothing.
  EXPECT_TRUE(
      SetAccessRule(svn, root.Path(), "app", "/x", "@ghosts", TRights::Read, SilentObserver())
          .Refused);
  EXPECT_EQ(ReadFile(authz), written);

  ASSERT_TRUE(UnsetAccessRule(svn, root.Path(), "app", "/secret", "alice", SilentObserver()).Done);
  ASSERT_TRUE(UnsetAccessRule(svn, root.Path(), "app", "/secret", "*", SilentObserver()).Done);
  EXPECT_EQ(ReadFile(authz), HandWritten);

  // Rules turned on by the first rule go off with the last one, the CRLF file as it was.
  WriteFile(conf, "[general]\r\nanon-access = read\r\n");
  WriteFile(authz, "# none yet\r\n");
  ASSERT_TRUE(
      SetAccessRule(svn, root.Path(), "app", "/", "bob", TRights::ReadWrite, SilentObserver())
          .Done);
  EXPECT_TRUE(ReadProjectRules(root.Path(), "app").Enabled);
  ASSERT_TRUE(UnsetAccessRule(svn, root.Path(), "app", "/", "bob", SilentObserver()).Done);
  EXPECT_FALSE(ReadProjectRules(root.Path(), "app").Enabled);
  EXPECT_EQ(ReadFile(authz), "# none yet\r\n");
}

} // namespace
