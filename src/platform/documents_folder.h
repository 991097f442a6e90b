// The current user's documents folder.
#pragma once

#include <string>

namespace zv::platform {

// Returns the user's documents folder without a trailing separator, or ""
// when it cannot be determined.
std::string DocumentsFolder();

// The separator put between a folder and a file name.
extern const char kPathSeparator;

}  // namespace zv::platform
