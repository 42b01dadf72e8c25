// Windows error codes: GetLastError values, with the system's messages for them.
#include "platform/UfnSystemErrors.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace platform {

void detail::Remember() {
  Remember(static_cast<int>(::GetLastError()));
}

std::string ErrorMessage(int code) {
  char* text = nullptr;
  DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string s = n && text ? std::string(text, n) : "System error " + std::to_string(code);
  if (text) ::LocalFree(text);
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' '))
    s.pop_back();
  return s;
}

bool IsDiskFullError(int code) {
  return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL ||
         code == 1295 /* ERROR_DISK_QUOTA_EXCEEDED */ || code == ERROR_FILE_TOO_LARGE;
}

bool IsWriteProtectedError(int code) {
  return code == ERROR_WRITE_PROTECT;
}

} // namespace platform
