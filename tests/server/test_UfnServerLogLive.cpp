// The server's log as the real svnserve writes it for reads, commits, refusals and a broken
// rules file, read into events.
#include "server/UfnServerLog.h"

#include "support/SvnServe.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace testing_support;

TEST(ServerLogLive, WhatTheRealServerWrites) {
  TempDir root{"repos"}, work{"work"};
  const std::string repo = root / "p1";
  ASSERT_EQ(Shell("svnadmin create " + Quote(repo)).ExitCode, 0);
  WriteFile(repo + "/conf/svnserve.conf", "[general]\nanon-access = read\nauth-access = write\n"
                                          "password-db = passwd\nauthz-db = authz\n");
  WriteFile(repo + "/conf/passwd", "[users]\nkim = pw\nlee = pw2\n");
  WriteFile(repo + "/conf/authz", "[/]\nkim = rw\nlee = r\n* = r\n");
  const std::string log = work / "svnserve.log";
  {
    TSvnServe server(root.Path(), "", log);
    ASSERT_GT(server.Pid, 0);
    const std::string wc = work / "wc";
    ASSERT_EQ(Svn("co -q " + server.Url("p1") + " " + Quote(wc)).ExitCode, 0);
    WriteFile(wc + "/f.txt", "x\n");
    ASSERT_EQ(Svn("add -q " + Quote(wc + "/f.txt")).ExitCode, 0);
    ASSERT_EQ(Svn("ci -q -m one " + Quote(wc), "kim", "pw").ExitCode, 0);
    WriteFile(wc + "/f.txt", "y\n");
    EXPECT_NE(Svn("ci -q -m two " + Quote(wc), "lee", "pw2").ExitCode, 0);
    EXPECT_NE(Svn("ci -q -m two " + Quote(wc), "kim", "wrong").ExitCode, 0);
    WriteFile(repo + "/conf/authz", "[/]\nkim = rw\nbogus\n");
    EXPECT_NE(Svn("ls " + server.Url("p1")).ExitCode, 0);
  }
  auto ev = ReadServerLog(log);
  ASSERT_FALSE(ev.empty());
  int commits = 0, refusals = 0, badRules = 0;
  for (const auto& e : ev) {
    EXPECT_EQ(e.Ip, "127.0.0.1");
    EXPECT_NE(e.Seconds, 0);
    if (e.Kind == TServerEventKind::Commit) {
      ++commits;
      EXPECT_EQ(e.User, "kim");
      EXPECT_EQ(e.Revision, 1);
      EXPECT_EQ(e.Project, "p1");
    }
    if (e.Kind == TServerEventKind::Refusal && e.User == "lee") ++refusals;
    if (e.ErrorCode == 220003 && e.Project == "p1") {
      ++badRules;
      EXPECT_NE(e.Error.find("line 2"), std::string::npos) << e.Error;
    }
  }
  EXPECT_EQ(commits, 1);
  EXPECT_GE(refusals, 1);
  EXPECT_GE(badRules, 1);
  auto down = UnreachableProjects(ev);
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0].first, "p1");
  EXPECT_EQ(std::count_if(ev.begin(), ev.end(), [](const auto& e) { return e.Action == "open"; }),
            4); // the checkout, the two refused commits, and the listing
}
