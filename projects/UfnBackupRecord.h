// The record of the unattended backups: for each project, the last run's result and the
// newest good archive, kept in a small file in the state folder so that the window, the
// status command and a scheduled run that failed tell the same story.
#pragma once

#include "projects/UfnBackupJob.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

struct TBackupRecordEntry {
  std::string Name;
  std::string Result; // "done", "skipped" (nothing new) or "failed"
  std::time_t Start = 0;
  std::time_t End = 0;
  std::string Archive;   // the run's archive, or the one it found current when skipped
  std::string Revisions; // the revisions the run's archive added ("0:12", "13:15")
  std::string Revision;  // the newest revision of the archive
  std::uint64_t Bytes = 0;
  std::string Error; // failed: why
  std::string LastGoodArchive;
  std::time_t LastGoodTime = 0; // 0: none yet
};

// <state folder>/backup-record.json
std::string BackupRecordFile();

// No file is an empty record. False, with `error`, when the file cannot be read or is no
// record: it is then left as it is.
bool ReadBackupRecord(const std::string& file, std::vector<TBackupRecordEntry>& entries,
                      std::string& error);
// Replaces the file whole (a new file renamed over it), the folder made when missing.
bool WriteBackupRecord(const std::string& file, const std::vector<TBackupRecordEntry>& entries,
                       std::string& error);

// The project's entry brought up to date with one run: a failure keeps the last good archive.
void NoteBackupRun(std::vector<TBackupRecordEntry>& entries, const std::string& project,
                   const TBackupResult& result, std::time_t start, std::time_t end);

// The record as JSON for other programs: an array with an object a project, times as
// "yyyy-mm-ddThh:mm:ssZ" (UTC) or null.
std::string BackupRecordJson(const std::vector<TBackupRecordEntry>& entries);
// A time of the record as "yyyy-mm-dd hh:mm" of local time ("" for 0).
std::string BackupRecordLocalTime(std::time_t when);
