// The program body: single instance, the global objects, the main window, the message loop
// and the shutdown in reverse order.
#pragma once

#include <functional>

// Runs the program; returns the process exit code (always 0). `onRunning`, when given, is
// called once the main window is up, right before the message loop starts (tests use it to
// drive the running program).
int OrlenwayMain(int argc, char** argv, const std::function<void()>& onRunning = {});
