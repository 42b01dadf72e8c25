// One profile file (svnserve.conf, passwd), bound to its path when made, read and written
// anew by every operation. Made for one use and released right after.
#pragma once

#include <string>
#include <vector>

class ProfileFile {
public:
  // `mode`: the permission bits of a file this makes; -1 gives 0644. A file that exists
  // keeps its own, but for a mode without bits for others (a file of passwords): then the
  // file loses the bits for others it had.
  explicit ProfileFile(const std::string& fileName, int mode = -1);
  ~ProfileFile();
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  const std::string& FileName() const { return FFileName; }

  // Reading is svnserve's on Linux (the value the server enforces) and the system's profile
  // functions' on Windows; see UfnProfileText.h for both.
  // The key's value; `def` when the file, the section or the key is missing.
  std::string ReadValue(const std::string& section, const std::string& key,
                        const std::string& def) const;
  // Sets the key, adding the section or the file (its folder must exist) when missing.
  // Raises EWriteError "Unable to write to <path>" when the file cannot be written, and
  // refuses, with the same text and the reason, what could not be read back as written.
  void WriteValue(const std::string& section, const std::string& key, const std::string& value);
  // Clears `list`, then key + "=" + value for each key of the section, each once, in the
  // order of first appearance.
  void ReadPairs(const std::string& section, std::vector<std::string>& list) const;
  // Removes the key's lines; a missing key, section or file changes nothing. Never raises.
  void DeleteValue(const std::string& section, const std::string& key);

private:
  bool Read(std::string& text) const;
  bool Store(const std::string& text);

  std::string FFileName;
  int FMode;
};
