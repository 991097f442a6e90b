// Whether a path names an existing file.
#pragma once

#include "platform/text.h"

namespace zv::platform {

// Returns true when `path`, 1251 text as the settings hold it, names an
// existing regular file (after following links); folders and missing paths
// give false.
bool FileExists(const Text1251& path);

}  // namespace zv::platform
