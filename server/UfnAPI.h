// Running command lines through the system's command interpreter.
#pragma once

#include <string>

// Runs `commandLine` unchanged through the command interpreter, in the program's current
// folder, with no console and the standard handles on the null device; the child inherits
// the program's environment. The caller quotes paths (QuotedPath). Without `wait`, true as
// soon as the interpreter exists: nothing more is learnt of the command. With `wait`, blocks
// until the interpreter has ended and is true when it ended in an orderly way, whatever its
// exit code. Never raises and shows nothing.
bool RunCommand(const std::string& commandLine, bool wait);

// Runs `commandLine` as RunCommand does when waiting, and gives back in `output` what the
// command wrote to its standard output and standard error. The command's exit code; -1 when
// the interpreter could not run or did not end on its own. Never raises.
int RunCommandOutput(const std::string& commandLine, std::string& output);

// `path` between double quotes, as one word of the command interpreter: blanks stay inside
// the word, and characters the interpreter would expand there are escaped.
std::string QuotedPath(const std::string& path);
