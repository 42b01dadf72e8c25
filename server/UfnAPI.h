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

// `path` between double quotes, as one word of the command interpreter: blanks stay inside
// the word, and characters the interpreter would expand there are escaped.
std::string QuotedPath(const std::string& path);
