#include "platform/text.h"

#include "common/cp1251.h"

namespace zv::platform {

// Linux names are UTF-8 (what the desktop and FLTK assume as well).
Text1251 PathText(const NativePath& path) { return common::Utf8ToCp1251Lossy(path.bytes); }

}  // namespace zv::platform
