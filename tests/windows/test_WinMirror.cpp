// The mirror's hooks on Windows: batch files that Subversion runs there, checked (not run).
#include "projects/UfnMirrorJob.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(WinMirror, TheHooksAreBatchFilesThatAdmitOnlyTheSync) {
  TempDir root("mirror");
  MakeDirs(root / "mir\\hooks");
  ASSERT_TRUE(WriteMirrorHooks(root.Path(), "mir", "svn://primary/main"));
  for (const char* hook : {"start-commit", "pre-revprop-change"}) {
    const std::string file = root / ("mir\\hooks\\" + std::string(hook));
    EXPECT_FALSE(Exists(file)) << hook;
    const std::string text = ReadFile(file + ".bat");
    EXPECT_EQ(text.rfind("@echo off\r\n", 0), 0u) << text;
    EXPECT_NE(text.find(std::string("\"") + MirrorSyncUser + "\" exit 0"), std::string::npos);
    EXPECT_NE(text.find("svn://primary/main"), std::string::npos);
    EXPECT_NE(text.find("exit 1\r\n"), std::string::npos);
  }
}
