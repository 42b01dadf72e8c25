// orlenway-admin mirror ...: read-only mirrors of repositories elsewhere (add, sync, status,
// promote, remove), on the mirror jobs of the core.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

// `args` begins with "mirror". The settings and the project catalogue are loaded. Returns the
// tool's exit status; complaints about the command line go to `err`. `in` gives a password
// asked for with "-".
int AdminMirror(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                std::istream& in);
// The rows of --help for these commands.
std::string AdminMirrorHelp(int column);
