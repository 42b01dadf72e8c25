// Runs the real ZIP readers (unzip, 7z, bsdtar, Python's zipfile) over an archive and
// compares what each extracts with the tree that was packed.
#pragma once

#include <map>
#include <set>
#include <string>

namespace ziptest {

struct TTree {
  std::map<std::string, std::string> Files; // relative path -> contents
  std::set<std::string> Dirs;               // every folder, relative, no trailing "/"
  bool operator==(const TTree&) const = default;
};

// What packing `root` should give: every file not below a dot name, every folder holding one
// of them, and every empty folder (no files, no dot names, empty subfolders only) with its
// parents.
TTree ExpectedTree(const std::string& root);
// Everything below `root` as it is.
TTree ActualTree(const std::string& root);
// A readable account of how two trees differ ("" when they are the same).
std::string TreeDiff(const TTree& expected, const TTree& actual);

// Each of the four readers tests the archive and extracts it into a folder of its own below
// `work`; returns "" when all four accept it and extract exactly `expected`, else a report.
std::string CheckWithReaders(const std::string& archive, const TTree& expected,
                             const std::string& work);

// For archives too big to extract to disk four times: each reader tests the archive once and
// streams every member named in `members` (member -> source file) to a checksum, compared
// with that of its source.
std::string CheckMembersWithReaders(const std::string& archive,
                                    const std::map<std::string, std::string>& members);

} // namespace ziptest
