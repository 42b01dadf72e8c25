// The command line's own parts: the progress bar's line, the help's columns and the settings
// file it reads.
#include "admin/UfnAdminTool.h"
#include "admin/UfnProgressBar.h"
#include "platform/UfnPlatform.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

using namespace testing_support;

TEST(AdminProgressBar, TheLineFitsTheTerminalAndCountsHangulTwice) {
  EXPECT_EQ(ProgressLine("a", 50, 30), "a [##########..........]  50%");
  EXPECT_EQ(ProgressLine("a", 150, 30), "a [####################] 100%");
  EXPECT_EQ(ProgressLine("a", -3, 30), "a [....................]   0%");
  // "알파" takes four columns: the bar is two shorter than for a two-letter label.
  EXPECT_EQ(ProgressLine("알파", 0, 40).find('['), std::string("알파 ").size());
  const std::string ab = ProgressLine("ab", 0, 40), hangul = ProgressLine("알파", 0, 40);
  EXPECT_EQ(std::count(ab.begin(), ab.end(), '.') - std::count(hangul.begin(), hangul.end(), '.'),
            2);

  std::ostringstream terminal, pipe;
  TProgressBar shown(terminal, true, 40), hidden(pipe, false, 40);
  for (TProgressBar* b : {&shown, &hidden}) {
    b->Show("p", 10);
    b->Show("p", 10);
    b->Show("p", 60);
    b->Clear();
  }
  EXPECT_EQ(pipe.str(), "");
  const std::string s = terminal.str();
  EXPECT_EQ(std::count(s.begin(), s.end(), '%'), 2) << "a line drawn again only when it changes";
  EXPECT_EQ(s.back(), '\r');
}

// The builder reports 0 once more right before it writes the archive's directory; after 100%
// that frame is not drawn.
TEST(AdminProgressBar, NoFrameGoesBackAfterAHundredPercent) {
  std::ostringstream terminal;
  TProgressBar bar(terminal, true, 60);
  bar.Show("alpha 압축 중", 40);
  bar.Show("alpha 압축 중", 100);
  bar.Show("alpha 압축 중", 0);
  const std::string s = terminal.str();
  EXPECT_NE(s.find("100%"), std::string::npos);
  EXPECT_EQ(s.find("  0%", s.find("100%")), std::string::npos) << s;
  // Another label starts from its own beginning.
  bar.Show("beta 압축 중", 0);
  EXPECT_NE(terminal.str().find("beta 압축 중 [..."), std::string::npos);
}

// Each description of the commands begins at one terminal column, though the commands hold
// Hangul, which takes two.
TEST(AdminHelp, TheDescriptionsLineUpByDisplayWidth) {
  std::ostringstream out, err;
  ASSERT_EQ(AdminMain({"--help"}, out, err), AdminExitOk);
  std::istringstream lines(out.str());
  std::set<int> columns;
  std::string line;
  int commands = 0;
  while (std::getline(lines, line)) {
    for (const char* command :
         {"  list ", "  restore ", "  verify ", "      --all ", "      --to ", "      --keep "}) {
      if (line.rfind(command, 0) != 0) continue;
      ++commands;
      const size_t gap = line.find("  ", std::string(command).size() - 1);
      ASSERT_NE(gap, std::string::npos) << line;
      const size_t text = line.find_first_not_of(' ', gap);
      const int column = DisplayColumns(line.substr(0, text));
      columns.insert(line.rfind("      --", 0) == 0 ? column + 1000 : column);
    }
  }
  EXPECT_GE(commands, 5);
  // One column for the commands, one for the backup's options.
  EXPECT_EQ(columns.size(), 2u) << out.str();
}

TEST(AdminSettings, TheProgramsOwnSettingsFileNotOneNamedAfterTheTool) {
  EXPECT_EQ(ProgramSettingsFile(), platform::StateFolder() + "orlenway.ini");
}
