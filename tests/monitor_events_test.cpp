// What hosts show while the monitor comes and goes, with real processes:
// two host stand-ins draw a one-line screen every 100 ms while stand-in
// monitors start, stop, restart with other readings, are killed, paused and
// resumed, meet a second monitor that tries to replace them, and restart
// while a reader of another kind holds the block. For each event it prints
// how long each host took to show the new answer, and how many answers came
// after the event's bound (1 s; where only the heartbeat can tell, its
// bound) that still showed the earlier state. It fails when a
// host does not show the new answer within a generous bound, or shows the
// earlier state again after it did.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iomanip>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "monitor_block/layout.h"
#include "readings/monitor_memory.h"
#include "support/object_holder.h"
#include "support/process.h"
#include "zelvane-monitor/publisher.h"

namespace {

using zv::test::BackgroundProcess;
using zv::test::RunProcess;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kName = zv::readings::kMonitorMemoryName;
// The condition first, as on a host's real screens: nothing but Check is
// asked while the screen is skipped.
constexpr const char* kScreen = "$zvCheck$T $zvTemp[0]$ F $zvFan[0]$";
const std::string kSkipped = "screen skipped";
// The bound a user may expect; where only the heartbeat can tell (a pause;
// on Windows a stop while another reader holds the section), the
// heartbeat's: its periods of 100 ms and its slack, the plugin's check
// interval and the host's. The
// bound that fails the test on a busy machine, and how long each event's
// answers are watched once they came.
constexpr milliseconds kBound{1000};
constexpr milliseconds kHeartbeatBound{zv::readings::kHeartbeatPeriods * 100 +
                                       zv::readings::kHeartbeatSlackMs +
                                       zv::readings::kMonitorCheckIntervalMs + 100};
constexpr milliseconds kGenerousBound{3000};
constexpr milliseconds kWatch{300};

// One answer a host showed, and when the test read it.
struct Answer {
  Clock::time_point at;
  std::string text;
};

// A host stand-in drawing the screen every 100 ms into a pipe, whose box
// lines a thread of ours records as they arrive.
class WatchedHost {
 public:
  WatchedHost()
      : process_(BackgroundProcess::Start({ZV_HOST_PATH, "live", ZV_PLUGIN_PATH, "--no-init",
                                           "--interval-ms", "100", "--rows", "1", "--cols", "24",
                                           kScreen})),
        reader_([this] { Read(); }) {}
  WatchedHost(const WatchedHost&) = delete;
  WatchedHost& operator=(const WatchedHost&) = delete;
  WatchedHost(WatchedHost&&) = delete;
  WatchedHost& operator=(WatchedHost&&) = delete;
  ~WatchedHost() {
    stop_ = true;
    reader_.join();
  }

  // The answers that arrived from `since` on.
  std::vector<Answer> AnswersSince(Clock::time_point since) {
    const std::lock_guard<std::mutex> hold(mutex_);
    std::vector<Answer> recent;
    for (const Answer& answer : answers_) {
      if (answer.at >= since) {
        recent.push_back(answer);
      }
    }
    return recent;
  }

 private:
  void Read() {
    const std::string bar = "\u2502";  // the box's sides
    while (!stop_ && process_ != nullptr) {
      const std::string line = process_->ReadLine(milliseconds(100));
      if (line.size() >= 2 * bar.size() && line.rfind(bar, 0) == 0) {
        std::string text = line.substr(bar.size(), line.size() - 2 * bar.size());
        text.erase(text.find_last_not_of(' ') + 1);
        const std::lock_guard<std::mutex> hold(mutex_);
        answers_.push_back({Clock::now(), text});
      } else if (line.empty()) {
        std::this_thread::sleep_for(milliseconds(10));
      }
    }
  }

  std::unique_ptr<BackgroundProcess> process_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Answer> answers_;
  std::thread reader_;
};

// How one host took an event.
struct Outcome {
  std::optional<milliseconds> latency;  // until it showed the new answer
  int late = 0;                         // answers after the event's bound that were not the new one
  int relapse = 0;                      // answers after the first new one that were not new
};

struct Row {
  std::string event;
  milliseconds bound;
  std::vector<Outcome> hosts;
};

class MonitorEvents : public ::testing::Test {
 protected:
  std::vector<std::unique_ptr<WatchedHost>> hosts;
  std::vector<Row> table;

  void SetUp() override {
    zv::monitor::RemoveStale(kName);
    hosts.push_back(std::make_unique<WatchedHost>());
    hosts.push_back(std::make_unique<WatchedHost>());
  }

  void TearDown() override {
    hosts.clear();
    const auto ms = [](std::optional<milliseconds> time) {
      return time ? std::to_string(time->count()) + " ms" : std::string("never");
    };
    std::cout << "[ events   ] " << ZV_BUILD_NAME
              << ": time from each event until the host showed the new answer\n"
              << "[ events   ] " << std::left << std::setw(44) << "event" << std::right
              << std::setw(9) << "host 1" << std::setw(9) << "host 2" << std::setw(9) << "bound"
              << "  late answers\n";
    for (const Row& row : table) {
      std::cout << "[ events   ] " << std::left << std::setw(44) << row.event << std::right;
      int late = 0;
      for (const Outcome& outcome : row.hosts) {
        std::cout << std::setw(9) << ms(outcome.latency);
        late += outcome.late;
      }
      std::cout << std::setw(9) << ms(row.bound) << "  " << late << "\n";
    }
  }

  // Starts a monitor refreshing every 100 ms with fixed readings; `at` is
  // when it said it publishes.
  static std::unique_ptr<BackgroundProcess> StartMonitor(const std::vector<std::string>& readings,
                                                         Clock::time_point& at) {
    std::vector<std::string> argv = {ZV_MONITOR_PATH, "--no-simulation", "--interval-ms",
                                     "100",           "--seconds",       "120"};
    argv.insert(argv.end(), readings.begin(), readings.end());
    auto monitor = BackgroundProcess::Start(argv);
    EXPECT_EQ(monitor->ReadLine().rfind("zelvane-monitor: publishing", 0), 0U);
    at = Clock::now();
    return monitor;
  }

  // Watches the hosts from `at`, the event's moment, until each has shown
  // `expected` (at most kGenerousBound) and for kWatch after that and after
  // `bound`, and records how they took it.
  void Observe(const std::string& event, Clock::time_point at, const std::string& expected,
               milliseconds bound = kBound) {
    const auto shown = [&](WatchedHost& host) {
      for (const Answer& answer : host.AnswersSince(at)) {
        if (answer.text == expected) return true;
      }
      return false;
    };
    while (Clock::now() < at + kGenerousBound) {
      bool all = true;
      for (auto& host : hosts) all = all && shown(*host);
      if (all) break;
      std::this_thread::sleep_for(milliseconds(20));
    }
    std::this_thread::sleep_until(std::max(Clock::now() + kWatch, at + bound + kWatch));
    Row row{event, bound, {}};
    for (auto& host : hosts) {
      Outcome outcome;
      for (const Answer& answer : host->AnswersSince(at)) {
        const bool fresh = answer.text == expected;
        if (fresh && !outcome.latency) {
          outcome.latency = std::chrono::duration_cast<milliseconds>(answer.at - at);
        }
        outcome.late += !fresh && answer.at > at + bound ? 1 : 0;
        outcome.relapse += !fresh && outcome.latency ? 1 : 0;
      }
      const std::size_t number = row.hosts.size() + 1;
      EXPECT_TRUE(outcome.latency && *outcome.latency <= kGenerousBound)
          << event << ": host " << number << " did not show \"" << expected << "\" in time";
      EXPECT_EQ(outcome.relapse, 0) << event << ": host " << number << " went back";
      row.hosts.push_back(outcome);
    }
    table.push_back(row);
  }
};

TEST_F(MonitorEvents, HostsFollowEveryMonitorEvent) {
  Observe("no monitor", Clock::now(), kSkipped);
  Clock::time_point at;
  auto monitor = StartMonitor({"--temp", "0=41", "--fan", "0=900"}, at);
  Observe("start", at, "T 41 F 900");

  at = Clock::now();
  EXPECT_EQ(monitor->Stop(), 0);
  Observe("stop", at, kSkipped);

  monitor = StartMonitor({"--temp", "0=77"}, at);
  Observe("restart with other readings", at, "T 77 F 0");

  at = Clock::now();
  monitor->Kill();
  Observe("kill", at, kSkipped);

  monitor = StartMonitor({"--temp", "0=52"}, at);
  Observe(zv::monitor::kObjectOutlivesKilledPublisher ? "start, replacing the killed one's block"
                                                      : "start after a kill",
          at, "T 52 F 0");

  at = Clock::now();
  monitor->Pause();
  Observe("pause", at, kSkipped, kHeartbeatBound);

  monitor->Resume();
  at = Clock::now();
  Observe("resume", at, "T 52 F 0");

  at = Clock::now();
  EXPECT_EQ(RunProcess(
                {ZV_MONITOR_PATH, "--no-simulation", "--temp", "0=66", "--replace", "--count", "1"})
                .exit_code,
            1);
  Observe("second monitor with --replace (refused)", at, "T 52 F 0");

  at = Clock::now();
  EXPECT_EQ(monitor->Stop(), 0);
  Observe("stop", at, kSkipped);

  // A reader of another kind keeps the block from going with its monitor
  // (on Windows the section lives on, and the next monitor takes it over):
  // the hosts still see the monitor go, and no word of it come back.
  monitor = StartMonitor({"--temp", "0=41", "--fan", "0=900"}, at);
  Observe("start", at, "T 41 F 900");
  const zv::test::ObjectHolder reader(kName);
  ASSERT_TRUE(reader.holding());
  at = Clock::now();
  EXPECT_EQ(monitor->Stop(), 0);
  Observe("stop, another reader holding the block", at, kSkipped, kHeartbeatBound);
  monitor = StartMonitor({"--temp", "0=77"}, at);
  Observe("restart, another reader holding the block", at, "T 77 F 0");
  EXPECT_EQ(monitor->Stop(), 0);
}

#ifdef _WIN32
// Another program's objects under the name that readers might share beside
// the block's: an object of another kind there first, or one more handle
// held to an event of that name. The hosts still see a killed monitor go,
// and a running one stay. The monitor is one of another kind, which writes
// no heartbeat (only the system's sign tells): a program that makes the
// section and leaves its words 0.
TEST_F(MonitorEvents, OtherProgramsObjectsDecideNothing) {
  const std::string readers = std::string(kName) + ".readers";
  const auto hold = [](const char* kind, const std::string& name) {
    auto holder = BackgroundProcess::Start({ZV_NAME_HOLDER_PATH, kind, name});
    EXPECT_EQ(holder->ReadLine(), std::string("holding ") + kind + " " + name);
    return holder;
  };
  struct Case {
    const char* kind;  // of the other program's object (support/win32/name_holder.cpp)
    const char* event;
  };
  const std::vector<Case> cases = {
      {"mutex", "kill, a mutex under <name>.readers"},
      {"event", "kill, <name>.readers held elsewhere"},
  };
  for (const Case& c : cases) {
    // Hosts of their own, which have seen no earlier case.
    hosts.clear();
    hosts.push_back(std::make_unique<WatchedHost>());
    hosts.push_back(std::make_unique<WatchedHost>());
    const auto other = hold(c.kind, readers);
    auto monitor = hold("section", kName);
    const Clock::time_point at = Clock::now();
    Observe(std::string("start, ") + c.kind + " under <name>.readers", at, "T 0 F 0",
            kBound + kWatch);
    const Clock::time_point killed = Clock::now();
    monitor->Kill();
    Observe(c.event, killed, kSkipped);
  }
}
#endif

}  // namespace
