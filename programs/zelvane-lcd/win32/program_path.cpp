#include <windows.h>

#include <string>

#include "zelvane-lcd/program_path.h"

namespace zv::host {

// In the ANSI code page, as the loader's LoadLibraryA takes it.
std::string ProgramFolder() {
  std::string path(MAX_PATH * 4, '\0');
  const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) {
    return "";
  }
  path.resize(length);
  return path.substr(0, path.find_last_of("\\/") + 1);
}

}  // namespace zv::host
