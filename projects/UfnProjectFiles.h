// The files of one project under a repository root that the program reads and writes: its
// svnserve.conf and the password file that svnserve.conf names. Everything takes the root it
// works under, so that a job needs no global object.
#pragma once

#include <string>
#include <vector>

class TProjectFiles {
public:
  TProjectFiles(std::string root, std::string project);

  // <root><project>
  std::string Folder() const;
  // <root><project>/conf/svnserve.conf
  std::string ConfigFile() const;
  // <root><project>/conf/passwd
  std::string PasswdFile() const;
  // The password file svnserve reads: password-db of [general], taken from the conf folder or,
  // when absolute, as it stands; PasswdFile() when the key is absent.
  std::string PasswordDbFile() const;

  // The users below live in PasswordDbFile(). Each raises EPasswordDbOutside, reading or
  // changing nothing, when that file lies outside the project's folder.

  // Clears `list`, then "ID=password" for each user, as svnserve reads the file, in file order.
  void ReadUsers(std::vector<std::string>& list) const;
  // Adds the user or replaces the password; EWriteError "Unable to write to <path>" when the
  // file cannot be written. A svnserve.conf without password-db then gets "passwd", or
  // svnserve would let nobody in.
  void WriteUser(const std::string& id, const std::string& password) const;
  // Removes the user's lines; a file that refuses is not reported (HasUser tells).
  void DeleteUser(const std::string& id) const;
  // Whether a user of the file is the same user as `id` (SameUserId).
  bool HasUser(const std::string& id) const;

private:
  std::string ConfPath(const std::string& name) const;
  std::string ManagedPasswordDb() const;
  std::string FRoot, FProject;
};
