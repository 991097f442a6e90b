#include "settings/startup.h"

#include <chrono>
#include <exception>
#include <string>

#include "platform/exception.h"
#include "platform/file_exists.h"
#include "platform/launch.h"
#include "platform/sleep.h"
#include "readings/monitor_memory.h"
#include "settings/settings_store.h"
#include "state/module_state.h"

namespace zv::settings {

// "Не удается запустить Zelvane!", two carriage returns, "Попробовать еще раз?".
const char* const kRetryCaption = "Error";
const char* const kRetryText =
    "\xCD\xE5 \xF3\xE4\xE0\xE5\xF2\xF1\xFF \xE7\xE0\xEF\xF3\xF1\xF2\xE8\xF2\xFC Zelvane!\r\r"
    "\xCF\xEE\xEF\xF0\xEE\xE1\xEE\xE2\xE0\xF2\xFC \xE5\xF9\xE5 \xF0\xE0\xE7?";

namespace {

platform::Answer AskRetry() { return platform::AskYesNoError(kRetryCaption, kRetryText); }

// Launches the monitor and waits, sleeping between looks, until its memory
// appears. Raises Exception when the file is missing, cannot be started, or
// publishes nothing within the bound.
void StartMonitor() {
  const std::string& path = State().MonitorPath;
  if (!platform::FileExists(path)) {
    throw Exception("The monitor's executable was not found: " + path);
  }
  Startup.launch(path);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(Startup.wait_bound_ms);
  for (;;) {
    Startup.sleep_ms(Startup.poll_interval_ms);
    if (readings::MapMonitorMemory(readings::CheckPace::kNow)) return;
    if (std::chrono::steady_clock::now() >= deadline) {
      throw Exception("The monitor " + path + " did not publish its memory in time");
    }
  }
}

}  // namespace

StartupServices PlatformStartupServices() {
  return {platform::LaunchExecutable, AskRetry, platform::SleepMilliseconds, kMonitorWaitBoundMs,
          kMonitorPollIntervalMs};
}

StartupServices Startup = PlatformStartupServices();

// Each pass either ends the loop (memory there, launching off, monitor
// started and published) or fails with an error and asks whether to retry.
// A launch is always followed by a bounded wait, so the loop never spins.
// Every standard error of a pass counts, running out of memory included, as
// the runtime's base error class covers them all; the prompt is shown once
// the error is gone, so that memory it held is free again.
std::int32_t Init() {
  std::int32_t result = -1;
  LoadSettings();
  while (result != 0) {
    // A gone monitor, its leftovers included, counts as absent: each pass
    // checks the connection in full.
    if (readings::MapMonitorMemory(readings::CheckPace::kNow)) {
      result = 0;
      break;
    }
    bool failed = false;
    try {
      if (State().TryToRun) StartMonitor();
      result = 0;
    } catch (const std::exception&) {
      failed = true;
    }
    // Only Yes retries: No, or a prompt that cannot be shown, gives up.
    if (failed && Startup.ask_retry() != platform::Answer::kYes) break;
  }
  return result;
}

}  // namespace zv::settings
