// orlenway-admin: the projects' list, backups while the server runs, restores and checks,
// from a terminal or a scheduler. It reads the program's settings and never writes them.
#pragma once

#include <ostream>
#include <string>
#include <vector>

constexpr int AdminExitOk = 0;      // everything asked was done
constexpr int AdminExitFailed = 1;  // at least one project or the archive failed
constexpr int AdminExitRefused = 2; // nothing was done: the command line, the settings or a
                                    // named project or folder is wrong

// The settings file the program itself reads: orlenway.ini beside the program's path (the
// state folder; on Windows the executable's folder), whatever this tool's own file name.
std::string ProgramSettingsFile();

// Runs one command; `args` without the program name. Results go to `out`, complaints about
// the command line and the settings to `err`. `terminal`: whether `out` is a terminal (the
// progress bar is drawn only there).
int AdminMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool terminal = false, int columns = 80);
