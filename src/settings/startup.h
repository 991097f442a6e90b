// Init: prepares the plugin when the host starts it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/message_box.h"

namespace zv::settings {

// Connects to the monitor's memory, launching the monitor when that is
// switched on. Returns 0, or -1 when the user declined to retry a failed
// start (or no prompt could be shown to ask).
std::int32_t Init();

// What Init does outside the plugin, replaceable by tests (which answer the
// prompt, count launches and shorten the wait without a display).
struct StartupServices {
  void (*launch)(const std::string& path);
  platform::Answer (*ask_retry)();
  void (*sleep_ms)(unsigned milliseconds);
  // How long a launched monitor may take to publish its memory, and how
  // often to look for it meanwhile.
  unsigned wait_bound_ms;
  unsigned poll_interval_ms;
};

// How long a launched monitor may take to publish its memory, and how often
// Init looks for it meanwhile: the platform's services' bounds.
inline constexpr unsigned kMonitorWaitBoundMs = 15000;
inline constexpr unsigned kMonitorPollIntervalMs = 200;

// The services Init uses; initially the platform's.
extern StartupServices Startup;

// The platform's services, for tests that replace only some of them.
StartupServices PlatformStartupServices();

// The retry prompt's caption and text (Windows-1251).
extern const char* const kRetryCaption;
extern const char* const kRetryText;

}  // namespace zv::settings
