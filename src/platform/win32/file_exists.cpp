#include "platform/file_exists.h"

#include <windows.h>

namespace zv::platform {

// The A functions take the 1251 bytes in the ANSI code page, as the host's
// own runtime does.
bool FileExists(const Text1251& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace zv::platform
