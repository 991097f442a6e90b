// Orderly stop of the programs on Ctrl-C or a termination request, and a
// sleep that such a request cuts short.
#pragma once

#include <chrono>

namespace zv::common {

// Routes Ctrl-C and termination requests to StopRequested() instead of
// ending the process, so that the caller can clean up first.
void InstallStopHandlers();

// Returns whether a stop was requested since InstallStopHandlers().
bool StopRequested();

// Sleeps for `duration`, returning early once a stop is requested.
void SleepUnlessStopped(std::chrono::milliseconds duration);

}  // namespace zv::common
