// The server's log read into events: hand-made odd and torn lines, filters, rotation.
#include "server/UfnServerLog.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(ServerLog, RequestsCommitsRefusalsAndErrorsWithTheirCauses) {
  const std::string text =
      "15458 2026-12-10T16:44:11.661205Z 127.0.0.1 - p1 open 2 cap=(edit-pipeline) /a%20b "
      "SVN/1.14.2%20(x86_64-pc-linux-gnu) -\n"
      "15458 2026-12-10T16:44:11.665175Z 127.0.0.1 - p1 check-path /@0\r\n"
      "15471 2026-12-10T16:44:11.997328Z ::1 kim p1 commit r12\n"
      "15508 2026-12-10T16:44:12.257920Z 127.0.0.1 - p1 log (/trunk%C3%A9 /b) r1:0 revprops=()\n"
      "15491 2026-12-10T16:44:12.074834Z 127.0.0.1 lee p1 Authorization Failed write /x\n"
      "15491 2026-12-10T16:44:12.074860Z 127.0.0.1 lee p1 ERR - 0 170001 Authorization failed\n"
      "garbage that is no line of the server\n"
      "\n"
      "15511 2026-12-10T16:44:12.297517Z 127.0.0.1 - p1 ERR - 0 220003 Invalid authz "
      "configuration\n"
      "15511 2026-12-10T16:44:12.297517Z 127.0.0.1 - p1 ERR- - 0 200002 line 2: Option must end\n"
      "15599 2026-12-10T16:44:13.1Z 127.0.0.1 - - ERR- - 0 1 a cause without its error\n"
      "15600 2026-12-10T16:44:1";
  auto ev = ParseServerLog(text);
  ASSERT_EQ(ev.size(), 8u);
  EXPECT_EQ(ev[0].Action, "open");
  EXPECT_EQ(ev[0].Path, "/a b");
  EXPECT_EQ(ev[0].User, "");
  EXPECT_EQ(ev[0].Revision, -1);
  EXPECT_EQ(ev[0].Seconds, 1796921051); // 2026-12-10T16:44:11Z
  EXPECT_EQ(ev[1].Path, "/");
  EXPECT_EQ(ev[1].Revision, 0);
  EXPECT_EQ(ev[2].Kind, TServerEventKind::Commit);
  EXPECT_EQ(ev[2].Revision, 12);
  EXPECT_EQ(ev[2].User, "kim");
  EXPECT_EQ(ev[2].Ip, "::1");
  EXPECT_EQ(ev[3].Path, "/trunk\xC3\xA9");
  EXPECT_EQ(ev[3].Revision, 1);
  EXPECT_EQ(ev[4].Kind, TServerEventKind::Refusal);
  EXPECT_EQ(ev[4].Path, "/x");
  EXPECT_EQ(ev[5].Kind, TServerEventKind::Refusal);
  EXPECT_EQ(ev[5].Error, "Authorization failed");
  EXPECT_EQ(ev[6].Kind, TServerEventKind::Error);
  EXPECT_EQ(ev[6].ErrorCode, 220003);
  EXPECT_EQ(ev[6].Error, "Invalid authz configuration; line 2: Option must end");
  EXPECT_EQ(ev[7].Action, "error"); // an orphaned cause stands on its own
  EXPECT_EQ(ev[7].Project, "");
}

TEST(ServerLog, AProjectIsUnreachableUntilARequestSucceedsAgain) {
  const std::string head = " 2026-12-10T16:44:12Z 127.0.0.1 - ";
  auto ev = ParseServerLog("1" + head + "a ERR - 0 220003 Invalid authz configuration\n" + "1" +
                           head + "a ERR- - 0 200002 line 2: Option must end\n" + "2" + head +
                           "b ERR - 0 160004 Corrupt node-revision\n" + "3" + head +
                           "c ERR - 0 210002 Network connection closed\n" + "4" + head +
                           "d ERR - 0 170001 Authorization failed\n" + "5" + head +
                           "b open 2 cap=() / SVN/1.14.2 -\n" + "6" + head +
                           "b ERR - 0 160004 Corrupt node-revision '1'\n" + "7" + head +
                           "e ERR - 0 165005 Expected repository format\n" + "7" + head +
                           "e open 2 cap=() / SVN/1.14.2 -\n");
  auto down = UnreachableProjects(ev);
  ASSERT_EQ(down.size(), 2u);
  EXPECT_EQ(down[0].first, "a");
  EXPECT_EQ(down[0].second, "Invalid authz configuration; line 2: Option must end");
  EXPECT_EQ(down[1].first, "b");
  EXPECT_EQ(down[1].second, "Corrupt node-revision '1'");
}

TEST(ServerLog, IsoTimesAndFilters) {
  std::time_t t = 0;
  EXPECT_TRUE(ParseIsoTime("1970-01-02", t));
  EXPECT_EQ(t, 86400);
  EXPECT_TRUE(ParseIsoTime("2000-03-01T00:00:01Z", t));
  EXPECT_EQ(t, 951868801);
  EXPECT_FALSE(ParseIsoTime("2000-13-01", t));
  EXPECT_FALSE(ParseIsoTime("2000-01-01T10", t));
  EXPECT_FALSE(ParseIsoTime("yesterday", t));
  TServerEvent e;
  ASSERT_TRUE(ParseServerLogLine("1 2000-03-01T00:00:01Z 1.2.3.4 kim p1 update / r3", e));
  EXPECT_TRUE(Matches({"p1", "kim", 951868801}, e));
  EXPECT_FALSE(Matches({"p2", "", 0}, e));
  EXPECT_FALSE(Matches({"", "lee", 0}, e));
  EXPECT_FALSE(Matches({"", "", 951868802}, e));
}

TEST(ServerLog, RotationKeepsEveryLineAndReadsOldestFirst) {
  TempDir t{"log"};
  const std::string log = t / "svnserve.log";
  auto line = [](int n) {
    return std::to_string(n) + " 2026-01-01T00:00:0" + std::to_string(n) +
           "Z 1.1.1.1 - p update / r" + std::to_string(n) + "\n";
  };
  WriteFile(log, line(1));
  EXPECT_TRUE(RotateServerLog(log, 1000, 2)); // small: stays
  EXPECT_FALSE(Exists(log + ".1"));
  for (int n = 2; n <= 4; ++n) {
    ASSERT_TRUE(RotateServerLog(log, 10, 2));
    WriteFile(log, line(n));
  }
  EXPECT_FALSE(Exists(log + ".3"));
  auto ev = ReadServerLog(log);
  ASSERT_EQ(ev.size(), 3u); // the oldest went beyond the two kept
  EXPECT_EQ(ev[0].Revision, 2);
  EXPECT_EQ(ev[2].Revision, 4);
  EXPECT_EQ(ReadServerLog(log, {"", "", ev[1].Seconds}).size(), 2u);
}
