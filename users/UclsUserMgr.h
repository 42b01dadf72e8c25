// The one list of user accounts, kept in User.Dat: one "ID=password" line per account.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TclsUserMgr {
public:
  // One account per line, "ID=password", in file and insertion order. Lines without "="
  // and empty lines stay as they are.
  std::vector<std::string> Users;
  std::string FileName;

  int32_t Count() const;
  // Both cleared first; for a valid index the line's ID and the password of the first line
  // with an equal ID.
  void GetUser(int32_t index, std::string& id, std::string& password) const;
  bool Exists(const std::string& id) const;
  std::string GetPassword(const std::string& id) const;
  // Replaces the account in its place (ID in the new spelling) or appends it; an empty
  // password removes it. Saves either way. Raises EConvertError, changing nothing, for an ID
  // or password that would not come back from the file as given.
  void SetUser(const std::string& id, const std::string& password);
  // Removes one line without saving; EListError "List index out of bounds (%d)".
  void Delete(int32_t index);
  // EFOpenError "Cannot open file ..." when the file cannot be read.
  void Load();
  // After Load: the file held bytes the list cannot hold (everything from a NUL byte on),
  // which the next save would lose.
  bool LoadDropped() const { return FLoadDropped; }
  // Keeps the file as it was read beside it, as "User.Dat.bak" (or ".bak.1", ".bak.2", ...
  // where an earlier one holds other bytes: none is ever overwritten), owner-only. Returns
  // the copy's path; EFCreateError when it cannot be written.
  std::string KeepOriginal() const;
  // Replaces the file atomically, owner-only; EFCreateError "Cannot create file ..." leaves
  // the old file and the list as they were.
  void Save();

  // The file's lines: a line ends at CR LF, a lone CR or a lone LF; a NUL byte ends the text.
  static std::vector<std::string> SplitLines(const std::string& data);
  // Every line followed by CR LF; no lines give no bytes.
  static std::string JoinLines(const std::vector<std::string>& lines);

private:
  int IndexOf(const std::string& id) const;
  bool FLoadDropped = false;
  std::string FOriginal;
};

// Whether an ID and a password, both already trimmed, may become an account: Empty when
// either is empty, then the ID's check, then the password's. svnserve reads each ID as a key
// of passwd, so an ID it would split or take for a comment or a section is refused, and so
// is a password it would split.
// Whether two user IDs name the same user: without regard to the letter case of any cased
// letter, as the registry looks them up. The one comparison of user IDs: the registry, the
// project manager and orlenway-admin all ask it.
bool SameUserId(const std::string& a, const std::string& b);

enum class TUserCheck { Ok, Empty, BadID, BadPassword };
TUserCheck CheckUser(const std::string& id, const std::string& password);

extern TclsUserMgr* UserMgr;
// Creates UserMgr on User.Dat in the state folder and loads it when it exists. When the
// load fails, the object is freed again (so no later save overwrites the file) and the error
// goes on. A file that held more than the list can keep is copied aside first and the user is
// told once; when the copy cannot be made the load fails as above.
void InitUserMgr();
// Creates the file's folder, saves and frees UserMgr; a save error is raised after the
// object has been freed and the global cleared.
void DoneUserMgr();
