// The last error of each thread, kept the same way on every system; the codes themselves are
// the system's own.
#include "platform/UfnSystemErrors.h"

namespace platform {

namespace {

thread_local int g_lastError = 0;

} // namespace

void detail::Remember(int code) {
  g_lastError = code;
}

int LastErrorCode() {
  return g_lastError;
}
std::string LastErrorMessage() {
  return ErrorMessage(g_lastError);
}

} // namespace platform
