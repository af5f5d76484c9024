#include "serial/system_library.h"

#include <string>

HMODULE LoadSystemLibrary(const char* name) {
  const std::string file(name);
  if (file.empty() || file.find_first_of("\\/:") != std::string::npos) return nullptr;
  char directory[MAX_PATH];
  const UINT length = GetSystemDirectoryA(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::string path = std::string(directory, length) + "\\" + file;
  // A full path loads that file and no other; the DLL's own dependencies are
  // then looked for beside it, in the system directory, first.
  return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
