#include "common/stop_signal.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace zv::common {
namespace {

// Set once a stop is requested; null until InstallStopHandlers().
HANDLE stop_event = nullptr;

// Runs on a thread of its own that Windows starts for the console event.
BOOL WINAPI OnConsoleEvent(DWORD type) {
  SetEvent(stop_event);
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    // Windows ends the process as soon as this handler returns from these
    // events; waiting here lets the main thread finish its clean-up first,
    // and its exit ends this thread too. Windows cuts it short after a few
    // seconds in any case.
    Sleep(INFINITE);
  }
  return TRUE;
}

}  // namespace

// Windows has no termination signal for console programs. Besides Ctrl-C,
// Ctrl-Break and closing the console, a stop is requested by setting the
// named event "zv_tools_stop_<process id>", which this process creates: a
// controller needs no shared console for that (the tests use it).
void InstallStopHandlers() {
  const std::string name = "zv_tools_stop_" + std::to_string(GetCurrentProcessId());
  stop_event = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
  if (stop_event == nullptr) {
    // Without a name only the console events can stop the program.
    stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested() {
  return stop_event != nullptr && WaitForSingleObject(stop_event, 0) == WAIT_OBJECT_0;
}

void SleepUnlessStopped(std::chrono::milliseconds duration) {
  if (duration.count() <= 0) {
    return;
  }
  const auto ms = static_cast<DWORD>(std::min<long long>(duration.count(), INFINITE - 1));
  if (stop_event == nullptr) {
    Sleep(ms);
  } else {
    WaitForSingleObject(stop_event, ms);
  }
}

}  // namespace zv::common
