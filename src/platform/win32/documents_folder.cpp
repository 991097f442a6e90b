#include "platform/documents_folder.h"

#include <windows.h>

// After <windows.h>, which it needs.
#include <shlobj.h>

#include <array>
#include <string>

#include "platform/win32/documents_folder_rules.h"

namespace zv::platform {

const char kPathSeparator = '\\';

std::string WithoutTrailingSeparator(std::string folder, unsigned code_page) {
  // Only a walk from the start tells a lead byte from a second byte.
  std::size_t last = std::string::npos;
  for (std::size_t i = 0; i < folder.size(); ++i) {
    last = i;
    if (IsDBCSLeadByteEx(code_page, static_cast<BYTE>(folder[i])) && i + 1 < folder.size()) ++i;
  }
  if (last != std::string::npos && last + 1 == folder.size() &&
      (folder[last] == '\\' || folder[last] == '/')) {
    folder.pop_back();
  }
  return folder;
}

bool IsFullPath(const std::string& folder) {
  const bool drive =
      folder.size() >= 3 &&
      ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z')) &&
      folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/');
  const bool share = folder.size() >= 3 && folder[0] == '\\' && folder[1] == '\\';
  return drive || share;
}

bool IsUnreachablePathError(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_REM_NOT_LIST:
    case ERROR_BAD_NETPATH:
    case ERROR_NETWORK_BUSY:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETNAME_DELETED:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_DEV_TYPE:  // Wine's answer for a share it cannot reach
    case ERROR_SEM_TIMEOUT:
    case ERROR_CONNECTION_UNAVAIL:
    case ERROR_NO_NET_OR_BAD_PATH:
    case ERROR_NO_NETWORK:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
    case ERROR_HOST_DOWN:
      return true;
    default:
      return false;
  }
}

// The shell's "My Documents" folder of the current user, in the system's
// ANSI code page, as the file functions take it.
NativePath DocumentsFolder() {
  std::array<char, MAX_PATH + 1> buffer{};  // 261 characters, as the shell expects
  LPITEMIDLIST items = nullptr;
  bool found = false;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &items)) && items != nullptr) {
    found = SHGetPathFromIDListA(items, buffer.data()) != FALSE && IsFullPath(buffer.data());
    CoTaskMemFree(items);
  }
  // The shell gives no item list for a folder it cannot reach (a drive that
  // is not ready, a share that is down, a folder since removed; Wine gives
  // one whose path is no path). The folder's path is still the user's
  // documents folder, where the profile functions would look and find no
  // file.
  if (!found) {
    buffer.fill('\0');
    found = SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_DONT_VERIFY, nullptr,
                                       SHGFP_TYPE_CURRENT, buffer.data()));
  }
  if (!found) return {};
  return {WithoutTrailingSeparator(buffer.data(), GetACP())};
}

}  // namespace zv::platform
