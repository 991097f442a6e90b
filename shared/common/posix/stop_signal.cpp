#include "common/stop_signal.h"

#include <algorithm>
#include <csignal>
#include <ctime>

namespace zv::common {
namespace {

volatile std::sig_atomic_t stop_flag = 0;

void OnStopSignal(int /*signal*/) { stop_flag = 1; }

}  // namespace

void InstallStopHandlers() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a signal ends the current nanosleep early.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

bool StopRequested() { return stop_flag != 0; }

void SleepUnlessStopped(std::chrono::milliseconds duration) {
  // A signal landing between the flag check and nanosleep would not cut the
  // sleep short, so sleep in slices: a stop is honoured within one slice.
  constexpr std::chrono::milliseconds kSlice{200};
  auto left = duration;
  while (left.count() > 0 && !StopRequested()) {
    const auto step = std::min(left, kSlice);
    timespec request{static_cast<std::time_t>(step.count() / 1000),
                     static_cast<long>((step.count() % 1000) * 1000000)};
    timespec remaining{};
    if (nanosleep(&request, &remaining) != 0) {
      left -= step - std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::seconds(remaining.tv_sec) +
                         std::chrono::nanoseconds(remaining.tv_nsec));
    } else {
      left -= step;
    }
  }
}

}  // namespace zv::common
