// Windows recycle bin: the shell's file operation.
#include "platform/UfnTrash.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <cstring>
#include <vector>

namespace platform {

bool MoveToTrash(const std::string& path) {
  if (path.empty()) return false;
  // The shell keeps undo information only for full paths: a relative one would be deleted
  // for good instead of going to the recycle bin.
  std::string full = path;
  char buf[MAX_PATH + 1];
  DWORD n = ::GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  if (n > 0 && n < sizeof buf) full.assign(buf, n);
  // The source list: the path and two zero bytes, as long as the path needs.
  std::vector<char> from(full.begin(), full.end());
  from.push_back('\0');
  from.push_back('\0');
  SHFILEOPSTRUCTA op;
  std::memset(&op, 0, sizeof op);
  op.hwnd = nullptr;
  op.wFunc = FO_DELETE;
  op.pFrom = from.data();
  op.pTo = nullptr;
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT;
  op.lpszProgressTitle = nullptr;
  return ::SHFileOperationA(&op) == 0;
}

} // namespace platform
