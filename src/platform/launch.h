// Starting another program.
#pragma once

#include <string>

namespace zv::platform {

// Starts the executable at `path` (taken as a path, never as a command line)
// with no arguments, detached from this process so that it outlives it.
// Returns once it has started; raises Exception naming the path when it
// cannot be started.
void LaunchExecutable(const std::string& path);

}  // namespace zv::platform
