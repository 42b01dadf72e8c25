// Processes: the command interpreter and its quoting, and ending processes by name or by the
// record of one that the program started.
#pragma once

#include <string>
#include <vector>

namespace platform {

void SleepMs(unsigned ms);

// Lets the program learn how its children end: a SIGCHLD that whoever started the program left
// ignored (or with SA_NOCLDWAIT), both inherited, goes back to the default, under which the
// system keeps a child's exit status for waitpid. Windows: nothing to do.
void KeepChildStatuses();
// Runs `commandLine` through the command interpreter ("/bin/sh -c"; Windows "cmd.exe /c") in
// the current folder, standard handles on /dev/null. Without waiting, true once the
// interpreter exists (no zombie is left); with waiting, true when it ended in an orderly way,
// whatever its exit code.
bool RunShellCommand(const std::string& commandLine, bool wait);
// Terminates every process whose image name equals `imageName` without regard to ASCII case;
// true when at least one matched.
bool KillProcessesByName(const std::string& imageName);

// A running process and its command line (argv[0] first).
struct RunningProcess {
  long pid = 0;
  std::vector<std::string> args; // empty where the system does not tell another's command line
};
// The running processes under `imageName` (ASCII case ignored), of every account, with their
// command lines where they can be read (Linux: /proc/<pid>/cmdline; Windows: not read, so a
// caller that needs them must take any such process as the one it looks for).
std::vector<RunningProcess> RunningProcessesNamed(const std::string& imageName);

// The image name of the running process `pid` (its executable's file name) and a mark of
// when it started that changes when the pid is reused (Linux: clock ticks since boot from
// /proc; Windows: its creation time). False when no such process runs (ended ones included).
bool ProcessIdentity(long pid, std::string& imageName, unsigned long long& startMark);
// Whether the running process `pid` belongs to this program's account (Linux: its real and
// effective user are the program's; Windows: its token's user is the program's).
bool ProcessOfThisAccount(long pid);
// Terminates `pid` only while it still runs under `imageName` (ASCII case ignored), belongs to
// this program's account and, unless startMark is 0, has that start mark; the check and the
// signal go to the same process, never to one that took its pid meanwhile. True when it was
// told to end.
bool TerminateProcessIf(long pid, const std::string& imageName, unsigned long long startMark);
// The running processes of this program's account under `imageName` (ASCII case ignored) in
// the session that `sessionId` leads, the leader left out: what a daemon forked for its
// connections, which outlive it. Windows: none (a server there serves its connections in threads).
std::vector<long> SessionMembers(long sessionId, const std::string& imageName);
// Terminates each of SessionMembers, checked again right before its signal; how many were told
// to end.
int TerminateSessionMembers(long sessionId, const std::string& imageName);

// `text` as one double-quoted word of the command interpreter. POSIX escapes the four
// characters that keep a meaning inside double quotes (\ " $ `); Windows paths hold none
// that cmd.exe reads there.
std::string InterpreterQuote(const std::string& text);

} // namespace platform
