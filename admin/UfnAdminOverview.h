// orlenway-admin status and log: the projects' overview and the server's events, as a table
// or as JSON. The caller has loaded the settings (BasicSetting).
#pragma once

#include <ostream>
#include <string>
#include <vector>

// `args` with the command's name first. Complaints go to `err`; the exit status as the
// other commands give it.
int AdminStatus(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int AdminLog(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
