#include "platform/posix/codepage.h"

#include "common/cp1251.h"
#include "platform/text.h"

namespace zv::platform {

std::string Windows1251ToUtf8(std::string_view text) { return common::Cp1251ToUtf8(text); }

std::optional<std::string> Utf8ToWindows1251(std::string_view text) {
  return common::Utf8ToCp1251(text);
}

std::string Utf8ToWindows1251Lossy(std::string_view text) {
  return common::Utf8ToCp1251Lossy(text);
}

// Linux names are UTF-8 (what the desktop and FLTK assume as well).
Text1251 PathText(const NativePath& path) { return common::Utf8ToCp1251Lossy(path.bytes); }

}  // namespace zv::platform
