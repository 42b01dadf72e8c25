// Finding the svnserve processes this test process started, itself or through the program
// under test, for the tests that start and stop servers. An svnserve of anyone else on the
// machine is not seen, so that these tests run beside it.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

// Running (not ended) svnserve processes of this test, without the connection children of a
// server; waits a moment for a server that is still detaching itself.
std::vector<pid_t> ServerPids();
// The processes a server forked for its connections (svnserve processes in its session).
std::vector<pid_t> ConnectionPids(pid_t server);
// The value of one variable in a process's environment, "" when it has none.
std::string ProcessEnv(pid_t pid, const std::string& name);
// Polls up to about 5 s; true when the port stopped accepting connections.
bool WaitPortClosed(int port);
// Polls up to about 5 s; true once no svnserve of this test runs, connections included.
bool WaitNoServerRuns();

} // namespace testing_support
