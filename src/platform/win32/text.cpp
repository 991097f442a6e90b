#include "platform/text.h"

#include <windows.h>

#include <climits>
#include <string>

#include "platform/win32/wide_text.h"

namespace zv::platform {

// Paths are in the ANSI code page, as the A functions take them. Where that
// is 1251, as on the host's own systems, the bytes are the text already.
Text1251 PathText(const NativePath& path) {
  if (GetACP() == 1251 || path.bytes.empty() || path.bytes.size() > INT_MAX) return path.bytes;
  const int length = static_cast<int>(path.bytes.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, path.bytes.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.bytes.data(), length, wide.data(), size);
  return Windows1251FromWideLossy(wide);
}

}  // namespace zv::platform
