// Whether a path names an existing file.
#pragma once

#include <string>

namespace zv::platform {

// Returns true when `path` names an existing regular file (after following
// links); folders and missing paths give false.
bool FileExists(const std::string& path);

}  // namespace zv::platform
