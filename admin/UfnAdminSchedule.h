// orlenway-admin schedule ...: the unattended backup and mirror sync turned on, shown and
// turned off, through the same schedule job as the window.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// `args` begins with "schedule". The settings and the project catalogue are loaded. Returns
// the tool's exit status; complaints about the command line go to `err`.
int AdminSchedule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The rows of --help for these commands.
std::string AdminScheduleHelp(int column);
