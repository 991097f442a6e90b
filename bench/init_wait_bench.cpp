// The CPU cost of Init's wait for a monitor that never publishes its memory:
// the full default bound with launching on, the prompt answered No. A busy
// loop would burn about as much CPU as wall time; a sleeping one nearly none.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/message_box.h"
#include "settings/startup.h"

namespace {

int polls = 0;
void (*real_sleep)(unsigned) = nullptr;

void CountingSleep(unsigned milliseconds) {
  ++polls;
  real_sleep(milliseconds);
}

}  // namespace

int main(int argc, char** argv) {
  // Any executable that starts and publishes nothing will do.
  const std::string monitor = argc > 1 ? argv[1] : "/bin/true";
  const auto home = std::filesystem::temp_directory_path() / "zv-init-wait-bench";
  std::filesystem::create_directories(home / "Documents");
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  std::ofstream(home / "Documents" / "Lumora3.ini")
      << "[ZV4]\nTry to run=1\nPath=" << monitor << "\n";

  auto& startup = zv::settings::Startup;
  real_sleep = startup.sleep_ms;
  startup.sleep_ms = CountingSleep;
  startup.ask_retry = [] { return zv::platform::Answer::kNo; };

  const std::clock_t cpu_start = std::clock();
  const auto wall_start = std::chrono::steady_clock::now();
  const int result = zv::settings::Init();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  const double cpu = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  std::filesystem::remove_all(home);

  // NOLINTBEGIN(cppcoreguidelines-pro-type-vararg): a printf-style report
  std::printf("Init with a monitor that never publishes (%s), bound %u ms, poll %u ms:\n",
              monitor.c_str(), startup.wait_bound_ms, startup.poll_interval_ms);
  std::printf("  result %d, wall %.3f s, CPU %.4f s (%.3f%% of wall), %d sleeps\n", result, wall,
              cpu, 100.0 * cpu / wall, polls);
  // NOLINTEND(cppcoreguidelines-pro-type-vararg)
  return result == -1 ? 0 : 1;
}
