// POSIX error codes: errno values.
#include "platform/UfnSystemErrors.h"

#include <cerrno>
#include <cstring>

namespace platform {

void detail::Remember() {
  Remember(errno);
}

std::string ErrorMessage(int code) {
  return std::strerror(code);
}

bool IsDiskFullError(int code) {
  return code == ENOSPC || code == EDQUOT || code == EFBIG;
}
bool IsWriteProtectedError(int code) {
  return code == EROFS;
}

} // namespace platform
