// Finding the svnserve processes on the machine, for the tests that start and stop servers.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

// Running (not ended) processes whose executable is named svnserve, without the connection
// children of a server; waits a moment for a server that is still detaching itself.
std::vector<pid_t> ServerPids();
// The processes a server forked for its connections (svnserve processes in its session).
std::vector<pid_t> ConnectionPids(pid_t server);
// The value of one variable in a process's environment, "" when it has none.
std::string ProcessEnv(pid_t pid, const std::string& name);
// Polls up to about 5 s; true when the port stopped accepting connections.
bool WaitPortClosed(int port);
// Polls up to about 5 s; true once no svnserve runs, connection children included.
bool WaitNoServerRuns();

} // namespace testing_support
