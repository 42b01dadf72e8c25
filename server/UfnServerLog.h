// The server's own log (svnserve --log-file): one line per request, "PID TIME HOST USER REPO
// what...", errors on "ERR" lines whose causes follow on "ERR-" lines. Read into events for
// the overview window and `orlenway-admin log`.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

enum class TServerEventKind { Request, Commit, Refusal, Error };

struct TServerEvent {
  std::string Time;        // as written: 2026-12-10T16:44:11.661205Z (UTC)
  std::time_t Seconds = 0; // the same, seconds since the epoch; 0 when unreadable
  long Pid = 0;
  std::string Ip;          // client address; "" when the server had none
  std::string User;        // "" for anonymous
  std::string Project;     // "" when the request named none (yet)
  std::string Action;      // the first word: open, commit, update...; "error" for ERR lines
  std::string Detail;      // the rest of the line after the action, as written
  long long Revision = -1; // -1 when the line names none
  std::string Path;        // decoded, "" when the line names none
  TServerEventKind Kind = TServerEventKind::Request;
  int ErrorCode = 0; // Subversion's error number on error lines
  std::string Error; // the message, with the causes' lines after it ("; " between)
};

// The log the started server writes: <state folder>/svnserve.log.
std::string ServerLogPath();

// One line (without its end); false for a line that is no event (empty, torn before the
// action). A continuation ("ERR-") comes back as an Error event with Action "error-cont".
bool ParseServerLogLine(const std::string& line, TServerEvent& event);

// Every event of `text` (a whole log), oldest first; continuation lines are joined to the
// error they belong to, a torn last line is taken for what it holds.
std::vector<TServerEvent> ParseServerLog(const std::string& text);

struct TServerLogFilter {
  std::string Project; // "" for all
  std::string User;    // "" for all
  std::time_t Since = 0;
};
bool Matches(const TServerLogFilter& filter, const TServerEvent& event);

// The events of the log at `path` and its rotated files (path.N ... path.1, then path),
// oldest first, those the filter lets through.
std::vector<TServerEvent> ReadServerLog(const std::string& path,
                                        const TServerLogFilter& filter = {});

// The projects whose newest logged event is an error that shuts every client out (an invalid
// rules file, a damaged repository), with svnserve's reason. Refusals and broken connections
// are a client's matter and do not count; a later successful request ends it.
std::vector<std::pair<std::string, std::string>>
UnreachableProjects(const std::vector<TServerEvent>& events);

// When the log at `path` has grown past `maxBytes`, it becomes path.1 (path.1 becomes
// path.2, ... and the one past `keep` goes). Done before a server is started, while none
// writes it. False when a rename failed (nothing is lost then: the log stays as it is).
bool RotateServerLog(const std::string& path, uint64_t maxBytes = 16ull << 20, int keep = 3);

// "2026-12-10T16:44:11.661205Z" or "2026-12-10T16:44:11Z" or "2026-12-10" (UTC) as seconds
// since the epoch; false when it is none of these.
bool ParseIsoTime(const std::string& text, std::time_t& seconds);
