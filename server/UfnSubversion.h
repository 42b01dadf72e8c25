// The Subversion installation of the configured folder (SVNPath): where its programs are, and
// running one of them by argument vector (no command interpreter), so that a project or folder
// name is always one argument. Children get the C.UTF-8 character type where this program runs
// in the C locale (platform::ChildEnvironment), or Subversion refuses every path beyond ASCII.
#pragma once

#include <string>
#include <vector>

struct TSvnResult {
  bool Started = false; // false when the program could not be run at all
  int ExitCode = -1;
  std::string Output;  // standard output and standard error together
  std::string Message; // when it failed: its last line of output, or why it could not run
  bool Ok() const { return Started && ExitCode == 0; }
};

class TSubversion {
public:
  explicit TSubversion(std::string svnPath);

  // <SVNPath>/bin, without a trailing delimiter.
  std::string BinFolder() const;
  // The full path of one of its programs: "svnadmin", "svnlook", "svnsync", "svnauthz",
  // "svnserve" (".exe" added on Windows).
  std::string Program(const std::string& name) const;
  // The program's image name, as the process list shows it ("svnserve.exe" on Windows).
  static std::string Image(const std::string& name);

  TSvnResult Run(const std::string& program, const std::vector<std::string>& arguments) const;

  // A consistent copy of a live repository into `target` (which must not exist unless
  // `incremental`); the server may go on serving and committing meanwhile.
  TSvnResult Hotcopy(const std::string& repository, const std::string& target,
                     bool incremental = false) const;
  // Checks every revision, or only `revision` ("12", "5:12") when given.
  TSvnResult Verify(const std::string& repository, const std::string& revision = "") const;
  // Writes the repository's dump stream to `file`.
  TSvnResult Dump(const std::string& repository, const std::string& file) const;
  // svnlook youngest / info / tree; the answer is in Output.
  TSvnResult Youngest(const std::string& repository) const;
  TSvnResult Info(const std::string& repository) const;
  TSvnResult Tree(const std::string& repository, const std::string& path = "") const;
  // svnauthz validate FILE; svnauthz accessof FILE for a user and a path of a repository.
  TSvnResult AuthzValidate(const std::string& rulesFile) const;
  TSvnResult AuthzAccessOf(const std::string& rulesFile, const std::string& user,
                           const std::string& repository, const std::string& path) const;
  // svnserve --version.
  TSvnResult ServerVersion() const;

private:
  std::string FSVNPath;
};
