// What the archive builder tests share: a builder set up the way the backup sets it up,
// a record of its events, and a way to run a build in a child process with its own limits.
#pragma once

#include "archive/UZip.h"

#include <functional>
#include <string>
#include <vector>

namespace ziptest {

struct TErrorEvent {
  std::string FileName, ExtendedMsg, VolumeID;
  int ECode = 0;
};

struct TEvents {
  std::vector<std::pair<std::string, int>> Begins; // FileName, Count
  std::vector<std::pair<int, int>> Progress;       // ByFile, ByArchive
  std::vector<std::string> Ends;
  std::vector<TErrorEvent> Errors;
  std::function<void(const std::string& fileName, int count, bool& extract)> OnBegin;
  std::function<void(int byFile, int byArchive)> OnProgress;
  std::string ErrorCodes() const; // "25235 25268" and the like
};

// The builder as the backup configures it (ConfigureBackupZip; a delimiter is added to the
// source folder where it lacks one), its events recorded into `events`.
void ConfigureLikeBackup(TZip& zip, const std::string& sourceFolder, const std::string& archive,
                         TEvents& events);

// Names in a folder (no "." and ".."); empty when it does not exist.
std::vector<std::string> FolderNames(const std::string& folder);

// Runs `body` in a forked child and returns the text it returned; "child died ..." when it
// did not end normally.
std::string InChild(const std::function<std::string()>& body);

// A file of `size` bytes that costs no disk, with a few marker bytes at `markers`.
void MakeSparseFile(const std::string& path, uint64_t size, const std::vector<uint64_t>& markers);

} // namespace ziptest
