// A stand-in monitor for the start-up tests: publishes the monitor's memory
// after a delay and stays alive for a while. Set through the environment,
// which it inherits from the test:
//   ZV_FAKE_MONITOR_DELAY_MS  delay before publishing; negative: never (300)
//   ZV_FAKE_MONITOR_LIFE_MS   how long to live (5000)
//   ZV_FAKE_MONITOR_REPORT    file to write what it saw at start, as lines
//                             key=value: pid, ppid, sid, argv0, fd0, fd1, fd2
#include <signal.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "monitor_block/layout.h"
#include "zelvane-monitor/publisher.h"

namespace {

namespace readings = zv::readings;
constexpr std::size_t kBlockSize = readings::kMonitorBlockSize;

volatile sig_atomic_t stop = 0;

long Setting(const char* name, long fallback) {
  const char* value = std::getenv(name);
  return value == nullptr ? fallback : std::strtol(value, nullptr, 10);
}

std::string Target(const char* link) {
  std::array<char, 4096> buffer{};
  const ssize_t n = readlink(link, buffer.data(), buffer.size());
  return n < 0 ? std::string("(closed)") : std::string(buffer.data(), static_cast<std::size_t>(n));
}

}  // namespace

int main(int /*argc*/, char** argv) {
  signal(SIGTERM, [](int) { stop = 1; });
  const long delay = Setting("ZV_FAKE_MONITOR_DELAY_MS", 300);
  const long life = Setting("ZV_FAKE_MONITOR_LIFE_MS", 5000);
  if (const char* report = std::getenv("ZV_FAKE_MONITOR_REPORT")) {
    // The standard descriptors are looked at before the report's own file
    // could take one that is closed.
    const std::string fd0 = Target("/proc/self/fd/0");
    const std::string fd1 = Target("/proc/self/fd/1");
    const std::string fd2 = Target("/proc/self/fd/2");
    std::ofstream out(report);
    out << "pid=" << getpid() << "\nppid=" << getppid() << "\nsid=" << getsid(0)
        << "\nargv0=" << argv[0] << "\nfd0=" << fd0 << "\nfd1=" << fd1 << "\nfd2=" << fd2 << "\n";
  }
  std::unique_ptr<zv::monitor::Publisher> publisher;
  const auto start = std::chrono::steady_clock::now();
  while (stop == 0) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    if (elapsed >= life) break;
    if (delay >= 0 && elapsed >= delay && publisher == nullptr) {
      publisher = zv::monitor::Publisher::Create(readings::kMonitorMemoryName, kBlockSize);
      if (publisher != nullptr) publisher->WriteWord(readings::kTemperatureOffset, 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}
