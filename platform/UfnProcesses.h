// Processes and their environment: the command interpreter, ending processes by name, and
// what server control needs besides (interpreter quoting, the loopback probe).
#pragma once

#include <string>
#include <vector>

namespace platform {

// ---- processes and environment -----------------------------------------------------------

std::string GetEnv(const std::string& name);
bool SetEnv(const std::string& name, const std::string& value);
// Whether the variable exists at all (GetEnv gives "" for both unset and empty).
bool HasEnv(const std::string& name);
bool UnsetEnv(const std::string& name);
// The search-path list separator (":" on POSIX, ";" on Windows).
char SearchPathSeparator();
void SleepMs(unsigned ms);

// Lets the program learn how its children end: a SIGCHLD that whoever started the program left
// ignored (or with SA_NOCLDWAIT), both inherited, goes back to the default, under which the
// system keeps a child's exit status for waitpid. Windows: nothing to do.
void KeepChildStatuses();
// The environment for the programs this one runs: its own, except that where it gives the
// C or POSIX character type, or none, the children get C.UTF-8; in a C locale Subversion's
// programs refuse every path beyond ASCII (a Korean project name, say). Windows: not used,
// children inherit the environment.
std::vector<std::string> ChildEnvironment();
// Runs `commandLine` through the command interpreter ("/bin/sh -c"; Windows "cmd.exe /c") in
// the current folder, standard handles on /dev/null. Without waiting, true once the
// interpreter exists (no zombie is left); with waiting, true when it ended in an orderly way,
// whatever its exit code.
bool RunShellCommand(const std::string& commandLine, bool wait);
// Terminates every process whose image name equals `imageName` without regard to ASCII case;
// true when at least one matched.
bool KillProcessesByName(const std::string& imageName);

// The image name of the running process `pid` (its executable's file name) and a mark of
// when it started that changes when the pid is reused (Linux: clock ticks since boot from
// /proc; Windows: its creation time). False when no such process runs (ended ones included).
bool ProcessIdentity(long pid, std::string& imageName, unsigned long long& startMark);
// Terminates `pid` only while it still runs under `imageName` (ASCII case ignored) and,
// unless startMark is 0, with that start mark; the check and the signal go to the same
// process, never to one that took its pid meanwhile. True when it was told to end.
bool TerminateProcessIf(long pid, const std::string& imageName, unsigned long long startMark);
// The running processes under `imageName` (ASCII case ignored) in the session that
// `sessionId` leads, the leader left out: what a daemon forked for its connections, which
// outlive it. Windows: none (a server there serves its connections in threads).
std::vector<long> SessionMembers(long sessionId, const std::string& imageName);
// Terminates each of SessionMembers, checked again right before its signal; how many were told
// to end.
int TerminateSessionMembers(long sessionId, const std::string& imageName);

// ---- server control: interpreter quoting and the loopback probe --------------------------

// `text` as one double-quoted word of the command interpreter. POSIX escapes the four
// characters that keep a meaning inside double quotes (\ " $ `); Windows paths hold none
// that cmd.exe reads there.
std::string InterpreterQuote(const std::string& text);
// True when something accepts a TCP connection on 127.0.0.1:port within timeoutMs.
bool LoopbackPortAccepts(int port, unsigned timeoutMs = 1000);

} // namespace platform
