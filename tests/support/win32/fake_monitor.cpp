// A stand-in monitor for the start-up tests: publishes the monitor's memory
// after a delay and stays alive for a while. Set through the environment,
// which it inherits from the test:
//   ZV_FAKE_MONITOR_DELAY_MS  delay before publishing; negative: never (300)
//   ZV_FAKE_MONITOR_LIFE_MS   how long to live (5000)
//   ZV_FAKE_MONITOR_REPORT    file to write what it saw at start, as lines
//                             key=value: pid, ppid, argv0
//   ZV_FAKE_MONITOR_STOP      file whose existence ends it early
#include <windows.h>

// After <windows.h>, which it needs.
#include <tlhelp32.h>

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

long Setting(const char* name, long fallback) {
  const char* value = std::getenv(name);
  return value == nullptr ? fallback : std::strtol(value, nullptr, 10);
}

DWORD ParentProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  return parent;
}

}  // namespace

int main(int /*argc*/, char** argv) {
  const long delay = Setting("ZV_FAKE_MONITOR_DELAY_MS", 300);
  const long life = Setting("ZV_FAKE_MONITOR_LIFE_MS", 5000);
  const char* stop = std::getenv("ZV_FAKE_MONITOR_STOP");
  if (const char* report = std::getenv("ZV_FAKE_MONITOR_REPORT")) {
    std::ofstream out(report, std::ios::binary);
    out << "pid=" << GetCurrentProcessId() << "\nppid=" << ParentProcess() << "\nargv0=" << argv[0]
        << "\n";
  }
  std::unique_ptr<zv::monitor::Publisher> publisher;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    if (elapsed >= life) break;
    if (stop != nullptr && GetFileAttributesA(stop) != INVALID_FILE_ATTRIBUTES) break;
    if (delay >= 0 && elapsed >= delay && publisher == nullptr) {
      publisher = zv::monitor::Publisher::Create(readings::kMonitorMemoryName, kBlockSize);
      if (publisher != nullptr) publisher->WriteWord(readings::kTemperatureOffset, 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}
