// The processes a test starts, and the guard that ends them whatever way the test ends.
//
// Windows: the test process and everything it starts are in a job that ends them all when the
// test process ends.
//
// POSIX: the test main marks the test process's environment with its private root, so every program
// it starts (and everything those start: the server the program under test runs, its
// connections) carries the mark. A watchdog outside the test's process tree waits for the test
// process to end, by a normal exit, a crash or ctest's kill at its timeout, then ends what
// still carries the mark and notes it in the file ORLENWAY_TEST_LEFTOVERS names.
#pragma once

#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/types.h>
#endif

namespace testing_support {

// Marks the environment and starts the watchdog (POSIX), or makes the job (Windows); called
// once by the test main.
void GuardTestProcesses();

#ifndef _WIN32

// The variable whose value is the private root of the test process that started a process.
extern const char* const OwnerVariable;

// True when the process carries this test process's mark.
bool StartedByThisTest(pid_t pid);
// The running processes (not zombies) that carry the mark `owner`, without the caller.
std::vector<pid_t> MarkedProcesses(const std::string& owner);
#endif

} // namespace testing_support
