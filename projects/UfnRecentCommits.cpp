#include "projects/UfnRecentCommits.h"

#include "base/UfnText.h"
#include "projects/UfnOverview.h"
#include "server/UfnSubversion.h"

#include <cstdlib>

namespace {

// svnlook info: author, date, the message's size in bytes, then the message. The size tells
// where the message ends, whatever lines it holds.
bool ParseInfo(const std::string& out, TCommitInfo& commit) {
  size_t pos = 0;
  std::string head[3];
  for (std::string& h : head) {
    const size_t nl = out.find('\n', pos);
    if (nl == std::string::npos) return false;
    h = out.substr(pos, nl - pos);
    pos = nl + 1;
  }
  char* end = nullptr;
  const unsigned long long size = std::strtoull(head[2].c_str(), &end, 10);
  if (head[2].empty() || *end != '\0') return false;
  commit.Author = head[0];
  commit.Date = head[1];
  commit.Message = out.substr(pos, static_cast<size_t>(size));
  while (!commit.Message.empty() &&
         (commit.Message.back() == '\n' || commit.Message.back() == '\r'))
    commit.Message.pop_back();
  return true;
}

} // namespace

TRecentCommits ReadRecentCommits(const std::string& svnPath, const std::string& repository,
                                 int count, TJobObserver& observer) {
  TRecentCommits result;
  const TSubversion svn(svnPath);
  long long newest = YoungestRevision(repository);
  if (newest < 0) {
    const TSvnResult r = svn.Youngest(repository);
    if (!r.Ok()) {
      result.Error = r.Message;
      return result;
    }
    newest = std::atoll(r.Output.c_str());
  }
  for (long long rev = newest; rev >= 1 && count > 0; --rev, --count) {
    if (observer.Cancelled()) break;
    const std::string r = std::to_string(rev);
    TCommitInfo commit;
    commit.Revision = rev;
    const TSvnResult info = svn.Run("svnlook", {"info", "-r", r, repository});
    const TSvnResult changed = svn.Run("svnlook", {"changed", "-r", r, repository});
    if (!info.Ok() || !changed.Ok() || !ParseInfo(info.Output, commit)) {
      result.Error = "r" + r + ": " +
                     (!info.Ok()      ? info.Message
                      : !changed.Ok() ? changed.Message
                                      : std::string("svnlook info의 출력을 읽을 수 없습니다"));
      break;
    }
    commit.Changes = text::SplitLines(changed.Output);
    result.Commits.push_back(std::move(commit));
  }
  return result;
}
