#include "users/UclsUserMgr.h"

#include "base/UfnDesktop.h"
#include "base/UfnErrors.h"
#include "base/UfnPaths.h"
#include "platform/UfnPlatform.h"

#include <exception>

TclsUserMgr* UserMgr = nullptr;

namespace {

// The ID of a line; false for a line without "=", which no lookup finds.
bool LineId(const std::string& line, std::string& id) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  id = line.substr(0, eq);
  return true;
}

bool HoldsLineBreak(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

} // namespace

bool SameUserId(const std::string& a, const std::string& b) {
  return platform::SameTextIgnoreCase(a, b);
}

TUserCheck CheckUser(const std::string& id, const std::string& password) {
  if (id.empty() || password.empty()) return TUserCheck::Empty;
  // A key ends at "=", ":" or a blank; "#", ";" and "[" begin comments and sections.
  if (id.find_first_of("= :") != std::string::npos || id[0] == '#' || id[0] == ';' || id[0] == '[')
    return TUserCheck::BadID;
  if (password.find_first_of("= ") != std::string::npos) return TUserCheck::BadPassword;
  return TUserCheck::Ok;
}

int TclsUserMgr::IndexOf(const std::string& id) const {
  std::string lineId;
  for (size_t i = 0; i < Users.size(); ++i)
    if (LineId(Users[i], lineId) && SameUserId(lineId, id)) return static_cast<int>(i);
  return -1;
}

int32_t TclsUserMgr::Count() const {
  return static_cast<int32_t>(Users.size());
}

void TclsUserMgr::GetUser(int32_t index, std::string& id, std::string& password) const {
  id.clear();
  password.clear();
  if (index < 0 || index >= Count()) return;
  const std::string& line = Users[static_cast<size_t>(index)];
  size_t eq = line.find('=');
  id = eq == std::string::npos ? "" : line.substr(0, eq);
  password = GetPassword(id);
}

bool TclsUserMgr::Exists(const std::string& id) const {
  return IndexOf(id) >= 0;
}

std::string TclsUserMgr::GetPassword(const std::string& id) const {
  int i = IndexOf(id);
  if (i < 0) return "";
  const std::string& line = Users[static_cast<size_t>(i)];
  return line.substr(line.find('=') + 1);
}

void TclsUserMgr::SetUser(const std::string& id, const std::string& password) {
  // Either would split the line or end the file early on the next load, and an "=" would
  // file the account under another ID.
  if (id.find('=') != std::string::npos || HoldsLineBreak(id))
    throw EConvertError("A user ID must not hold \"=\", a line break or a NUL byte");
  if (HoldsLineBreak(password))
    throw EConvertError("A password must not hold a line break or a NUL byte");
  int i = IndexOf(id);
  if (!password.empty()) {
    if (i >= 0)
      Users[static_cast<size_t>(i)] = id + "=" + password;
    else
      Users.push_back(id + "=" + password);
  } else if (i >= 0) {
    Users.erase(Users.begin() + i);
  }
  Save();
}

void TclsUserMgr::Delete(int32_t index) {
  if (index < 0 || index >= Count())
    throw EListError(Format("List index out of bounds (%d)", index));
  Users.erase(Users.begin() + index);
}

std::vector<std::string> TclsUserMgr::SplitLines(const std::string& data) {
  std::vector<std::string> lines;
  size_t end = data.find('\0');
  if (end == std::string::npos) end = data.size();
  size_t start = 0, i = 0;
  while (i < end) {
    char c = data[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(data.substr(start, i - start));
      i += (c == '\r' && i + 1 < end && data[i + 1] == '\n') ? 2u : 1u;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < end) lines.push_back(data.substr(start, end - start));
  return lines;
}

std::string TclsUserMgr::JoinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines)
    out += l + "\r\n";
  return out;
}

void TclsUserMgr::Load() {
  std::string data;
  if (!platform::ReadWholeFile(FileName, data))
    throw EFOpenError(Format("Cannot open file \"%s\". %s", FileName.c_str(),
                             platform::LastErrorMessage().c_str()));
  Users = SplitLines(data);
  FLoadDropped = data.find('\0') != std::string::npos;
  FOriginal = FLoadDropped ? data : std::string();
}

std::string TclsUserMgr::KeepOriginal() const {
  for (int n = 0;; ++n) {
    const std::string copy = FileName + ".bak" + (n == 0 ? "" : "." + std::to_string(n));
    std::string there;
    if (platform::FileExists(copy)) {
      // The same bytes kept at an earlier start need no second copy.
      if (platform::ReadWholeFile(copy, there) && there == FOriginal) return copy;
      continue;
    }
    if (!platform::WritePrivateFileAtomic(copy, FOriginal, 0600))
      throw EFCreateError(Format("Cannot create file \"%s\". %s", copy.c_str(),
                                 platform::LastErrorMessage().c_str()));
    return copy;
  }
}

void TclsUserMgr::Save() {
  // The state folder may not exist yet on a fresh account.
  const std::string folder = FolderOf(FileName);
  if (!folder.empty()) platform::ForceDirectories(folder);
  // The passwords are in clear text: owner-only.
  if (!platform::WritePrivateFileAtomic(FileName, JoinLines(Users), 0600))
    throw EFCreateError(Format("Cannot create file \"%s\". %s", FileName.c_str(),
                               platform::LastErrorMessage().c_str()));
}

void InitUserMgr() {
  UserMgr = new TclsUserMgr;
  UserMgr->FileName = platform::StateFolder() + "User.Dat";
  if (!platform::FileExists(UserMgr->FileName)) return;
  try {
    UserMgr->Load();
    if (UserMgr->LoadDropped()) {
      const std::string copy = UserMgr->KeepOriginal();
      Prompt().MessageDlg(
          Format("사용자 목록 파일 %s 에 읽을 수 없는 내용(NUL 문자)이 있어 그 뒤의 "
                 "계정은 읽지 못했습니다.\r\n\r\n원래 파일은 %s 에 "
                 "보관하였습니다.",
                 UserMgr->FileName.c_str(), copy.c_str()),
          TMsgIcon::Warning, mbOK);
    }
  } catch (...) {
    delete UserMgr;
    UserMgr = nullptr;
    throw;
  }
}

void DoneUserMgr() {
  TclsUserMgr* mgr = UserMgr;
  if (!mgr) return;
  std::exception_ptr failure;
  try {
    platform::ForceDirectories(FolderOf(mgr->FileName));
    mgr->Save();
  } catch (...) {
    failure = std::current_exception();
  }
  delete mgr;
  UserMgr = nullptr;
  if (failure) std::rethrow_exception(failure);
}
