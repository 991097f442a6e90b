// Starting another program.
#pragma once

#include "platform/text.h"

namespace zv::platform {

// Starts the executable at `path`, 1251 text as the settings hold it (taken
// as a path, never as a command line; the backend converts it to a native
// path), with no arguments, detached from this process so that it outlives
// it. Returns once it has started; raises Exception naming the path when it
// cannot be started.
void LaunchExecutable(const Text1251& path);

}  // namespace zv::platform
