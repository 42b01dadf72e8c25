// The desktop's trash.
#pragma once

#include <string>

namespace platform {

// Moves a file or folder (with its contents) to the desktop's trash / recycle bin.
bool MoveToTrash(const std::string& path);

} // namespace platform
