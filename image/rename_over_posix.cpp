#include <cerrno>
#include <cstdio>

#include "image/rename_over.h"

// rename(2) replaces the target in one step.
int RenameOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}
