// A project's backup archive: how the builder is set up to pack the project folder, and the
// name the archive gets.
#pragma once

#include "archive/UZip.h"

#include <ctime>
#include <string>

// Every setting of a backup run, events aside: `sourceFolder` (ending with the path delimiter)
// packed whole into a new ZIP archive at `archivePath`, with relative names, file dates,
// empty folders, and every kind of entry but the volume label; archives already compressed
// are stored as they are, and the temporary file goes to the system's temporary folder.
void ConfigureBackupZip(TZip& zip, const std::string& sourceFolder, const std::string& archivePath);

// `project` + "_" + the local date and time as yyyymmddThhnnssZ + ".zip", for example
// alpha_20240131T142501Z.zip.
std::string BackupArchiveName(const std::string& project, std::time_t when);
