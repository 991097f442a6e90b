#include "platform/documents_folder.h"

#include <windows.h>

// After <windows.h>, which it needs.
#include <shlobj.h>

#include <array>
#include <string>

namespace zv::platform {

const char kPathSeparator = '\\';

// The shell's "My Documents" folder of the current user, in the system's
// ANSI code page, as the file functions take it.
std::string DocumentsFolder() {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &items)) || items == nullptr) {
    return {};
  }
  std::array<char, MAX_PATH + 1> buffer{};  // 261 characters, as the shell expects
  const BOOL found = SHGetPathFromIDListA(items, buffer.data());
  CoTaskMemFree(items);
  if (!found) return {};
  std::string folder(buffer.data());
  // A drive's root comes with its backslash ("D:\"); the caller adds one.
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

}  // namespace zv::platform
