// Error codes of the operating-system layer: the last failed call of each thread, the
// system's message for a code, and the classes of codes that callers tell apart.
#pragma once

#include <string>

namespace platform {

// The system's message for the last failed call of this thread (errno / GetLastError).
std::string LastErrorMessage();
int LastErrorCode();
std::string ErrorMessage(int code);

// Classes of error codes (LastErrorCode): no room left (full disk, quota, file size limit),
// and a file system that refuses every write.
bool IsDiskFullError(int code);
bool IsWriteProtectedError(int code);

namespace detail {

// For the layer's own files: keeps `code`, or the system's last error of this thread (errno;
// Windows: GetLastError()), as what LastErrorCode reports.
void Remember(int code);
void Remember();

} // namespace detail

} // namespace platform
