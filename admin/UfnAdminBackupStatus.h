// orlenway-admin backup-status [--json]: the record of the unattended backups, per project.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// `args` with the command's name first; the record read from `recordFile`.
int AdminBackupStatus(const std::vector<std::string>& args, const std::string& recordFile,
                      std::ostream& out, std::ostream& err);
