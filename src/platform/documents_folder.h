// The current user's documents folder.
#pragma once

#include "platform/text.h"

namespace zv::platform {

// Returns the user's documents folder without a trailing separator (a
// drive's root keeps none either: "C:"), or an empty path when it cannot be
// determined. Raises Exception when a file that says where it is exists but
// cannot be read as one (on POSIX, the user-dirs file).
NativePath DocumentsFolder();

// The separator put between a folder and a file name.
extern const char kPathSeparator;

}  // namespace zv::platform
