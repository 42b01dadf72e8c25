// Unpacking a backup archive into a new folder. The archive is read with libarchive; every
// entry is checked before anything is written, so that a hostile archive leaves nothing.
#pragma once

#include <cstddef>
#include <string>

class TJobObserver;

// Why an entry of that name must not be unpacked, or "" when it lands inside the folder:
// absolute names (a leading delimiter or a drive), ".." steps, empty names.
std::string EntryNameProblem(const std::string& name);

struct TUnpackResult {
  bool Ok = false;
  std::string Error; // one line: what is wrong, with the entry or the reader's reason
  size_t Files = 0;
  size_t Folders = 0;
  bool Cancelled = false; // the observer asked to stop between two entries
};

// Unpacks every entry of the ZIP archive below `folder`, which must exist and be empty.
// Only files and folders are taken; a link, a device or an entry that would land outside
// `folder` refuses the whole archive before anything is written. conf/passwd is made
// owner-only; files the archive marks read-only stay read-only. On failure `folder` may hold
// a part of the archive: the caller removes it. The observer, when given, hears the entries'
// progress (0..`progressShare` of the whole job) and is asked between entries whether to stop.
TUnpackResult UnpackArchive(const std::string& archivePath, const std::string& folder,
                            TJobObserver* observer = nullptr, int progressShare = 100);
