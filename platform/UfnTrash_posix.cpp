// POSIX (Linux) trash: the freedesktop.org Trash through GIO.
#include "platform/UfnTrash.h"

#include <gio/gio.h>

namespace platform {

bool MoveToTrash(const std::string& path) {
  if (path.empty()) return false;
  GFile* file = g_file_new_for_path(path.c_str());
  GError* error = nullptr;
  gboolean ok = g_file_trash(file, nullptr, &error);
  if (error) g_error_free(error);
  g_object_unref(file);
  return ok != FALSE;
}

} // namespace platform
