// The C library's rename refuses an existing target on Windows, and
// removing the target first would leave no file if the rename then failed.
// The names are in the ANSI code page, as everywhere else in the program.
#include <windows.h>

#include <cerrno>

#include "image/rename_over.h"

namespace {

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_INVALID_NAME: return EINVAL;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    default: return EIO;
  }
}

}  // namespace

// No MOVEFILE_COPY_ALLOWED: a copy would not replace in one step, and a
// file beside its target never needs one.
int RenameOver(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  return ErrnoOf(GetLastError());
}
