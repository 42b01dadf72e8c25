// Child processes that the caller waits for, started without a command interpreter so that
// no argument is ever read as shell syntax, and the console the tools write to.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct TProgramResult {
  bool Started = false; // false when the program could not be run at all
  int StartError = 0;   // then the system's error code (ErrorMessage tells it)
  int ExitCode = -1;    // -1 when it did not end on its own (a signal)
  std::string Output;   // standard output and standard error together, in order
};

// Runs `program` (a full path) with `arguments`, each handed over as one argument exactly,
// standard input on the null device, and waits for it to end.
TProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments);

// Runs `commandLine` unchanged through the command interpreter ("/bin/sh -c"; Windows
// "cmd.exe /c") in the current folder, standard input on the null device, and waits for it
// to end; what it wrote to standard output and standard error comes back in Output.
TProgramResult RunShellProgram(const std::string& commandLine);

// Whether standard output goes to a terminal (Windows: a console).
bool StdoutIsTerminal();
// The terminal's width in columns; 80 when it cannot be told.
int TerminalColumns();
// Lets the console show the UTF-8 texts as they are (Windows: its output code page).
void UseUtf8Console();
// Lets a write beyond the process's file size limit fail as a full disk would, rather than
// end the process (POSIX: SIGXFSZ ignored).
void WriteLimitFailsWrites();

} // namespace platform
