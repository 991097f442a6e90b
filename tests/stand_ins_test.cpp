// The monitor and host stand-ins run as programs against the real plugin
// module: what a user of the demo sees, and that the monitor cleans up.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "monitor_block/layout.h"
#include "plugin/module_reset.h"
#include "readings/monitor_memory.h"
#include "support/process.h"
#include "zelvane-monitor/publisher.h"

namespace {

using zv::test::BackgroundProcess;
using zv::test::OutputLines;
using zv::test::ProcessResult;
using zv::test::RunProcess;

constexpr const char* kName = zv::readings::kMonitorMemoryName;
const std::string kIndexError =
    "Значение Index должно быть в пределах 0 - 31 !!!";  // as the host shows it, in UTF-8

class StandIns : public ::testing::Test {
 protected:
  void SetUp() override {
    zv::plugin::ResetModuleState();
    zv::monitor::RemoveStale(kName);
  }
  void TearDown() override { zv::plugin::ResetModuleState(); }

  // Starts the monitor (or `program`, test_monitor with the options for
  // tests) and waits until its object exists.
  static std::unique_ptr<BackgroundProcess> StartMonitor(std::vector<std::string> args,
                                                         const char* program = ZV_MONITOR_PATH) {
    args.insert(args.begin(), program);
    auto monitor = BackgroundProcess::Start(args);
    EXPECT_NE(monitor, nullptr);
    if (monitor) {
      EXPECT_EQ(monitor->ReadLine().rfind("zelvane-monitor: publishing " + std::string(kName), 0),
                0U);
    }
    return monitor;
  }

  // Runs the host: args[0] is its command, the rest follows the module's path.
  static ProcessResult Host(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {ZV_HOST_PATH, args.at(0), ZV_PLUGIN_PATH};
    argv.insert(argv.end(), args.begin() + 1, args.end());
    return RunProcess(argv);
  }

  static bool ObjectRemoved() { return !zv::monitor::NameTaken(kName); }

  // Runs the monitor for one short refresh with `args` after the fixed
  // readings' option.
  static ProcessResult MonitorOnce(std::vector<std::string> args) {
    args.insert(args.begin(),
                {ZV_MONITOR_PATH, "--no-simulation", "--count", "1", "--interval-ms", "10"});
    return RunProcess(args);
  }
};

TEST_F(StandIns, HostShowsTheMonitorsFixedReadings) {
  auto monitor = StartMonitor({"--no-simulation", "--temp", "0=45.25", "--fan", "1=1200", "--volt",
                               "2=12.05", "--temp", "31=-3", "--fan", "31=-1", "--seconds", "30"});
  const ProcessResult host = Host({"once", "T0 $zvTemp[0]$C F1 $zvFan[1]$", "V2 $zvVolt[2]$V",
                                   "$zvCheck$[$zvTemp[31]$|$zvFan[31]$|$zvTemp[5]$]"});
  EXPECT_EQ(host.exit_code, 0);
  EXPECT_EQ(OutputLines(host.out),
            (std::vector<std::string>{"T0 45C F1 1200", "V2 12V", "[-3|-1|0]"}));
  EXPECT_NE(host.err.find("Init returned 0"), std::string::npos);
}

TEST_F(StandIns, DefaultScreenIsSkippedWithoutMonitorAndShownWithIt) {
  const ProcessResult without = Host({"once"});
  EXPECT_EQ(without.exit_code, 0);
  EXPECT_EQ(without.out, "(screen skipped)\n");

  auto monitor = StartMonitor({"--simulate", "--seconds", "30"});
  const ProcessResult with = Host({"once"});
  const auto lines = OutputLines(with.out);
  ASSERT_EQ(lines.size(), 4U);
  EXPECT_EQ(lines[0], "Zelvane 4");
  EXPECT_EQ(lines[1].rfind("T0 ", 0), 0U);
  EXPECT_EQ(lines[1].find('$'), std::string::npos);
}

TEST_F(StandIns, PluginErrorShowsInPlaceAndOnStandardError) {
  auto monitor = StartMonitor({"--no-simulation", "--fan", "0=900", "--seconds", "30"});
  const ProcessResult host =
      Host({"once", "--no-init", "a$zvTemp[32]$b $zvFan[0]$", "<$zvVolt[x1]$>", "$zvUnknown[1]$"});
  EXPECT_EQ(host.exit_code, 0);
  EXPECT_EQ(OutputLines(host.out),
            (std::vector<std::string>{"a" + kIndexError + "b 900",
                                      "<'x1' is not a valid integer value>", "$zvUnknown[1]$"}));
  EXPECT_NE(host.err.find("plugin error: line 1, $zvTemp[32]$: " + kIndexError), std::string::npos);
  EXPECT_EQ(host.err.find("Init"), std::string::npos);
  // The screen's text, quoted in the report, has its control characters escaped.
  const ProcessResult escaped = Host({"once", "--no-init", "$zvTemp[\x1b[2J]$"});
  EXPECT_NE(escaped.err.find("plugin error: line 1, $zvTemp[\\x1b[2J]$: '\\x1b[2J' is not"),
            std::string::npos)
      << escaped.err;
}

// A host that runs as a service keeps its log small: an error that stays is
// reported once, not on every frame, while the screen keeps showing it.
TEST_F(StandIns, AnErrorOnEveryFrameIsReportedOnce) {
  const ProcessResult host = Host({"live", "--no-init", "--count", "100", "--interval-ms", "1",
                                   "$zvTemp[40]$", "$zvFan[-1]$", "$zvVolt[x]$"});
  EXPECT_EQ(host.exit_code, 0);
  const auto lines = OutputLines(host.err);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "zelvane-lcd: plugin error: line 1, $zvTemp[40]$: " + kIndexError,
                       "zelvane-lcd: plugin error: line 2, $zvFan[-1]$: " + kIndexError,
                       "zelvane-lcd: plugin error: line 3, $zvVolt[x]$: 'x' is not a valid integer "
                       "value"}));
  std::cout << "100 failing frames: " << lines.size() << " lines, " << host.err.size()
            << " bytes on standard error\n";
  // Every frame still shows the message in place.
  std::size_t shown = 0;
  for (std::size_t at = host.out.find("Значение"); at != std::string::npos;
       at = host.out.find("Значение", at + 1)) {
    ++shown;
  }
  EXPECT_EQ(shown, 200U);
}

// Screens from a configuration file; a file with a fault starts nothing.
TEST_F(StandIns, ScreensComeFromTheConfigurationFile) {
  const std::string path = ::testing::TempDir() + "zv_stand_ins_host.conf";
  const auto host = [&path](const std::string& text, std::vector<std::string> args) {
    std::ofstream(path, std::ios::binary) << text;
    args.insert(args.begin() + 1, {"--config", path, "--plugin", ZV_PLUGIN_PATH, "--no-init"});
    args.insert(args.begin(), ZV_HOST_PATH);
    return RunProcess(args);
  };
  auto monitor = StartMonitor({"--no-simulation", "--temp", "0=45", "--seconds", "30"});
  const std::string screens = "[screen cpu]\nline = T $zvTemp[0]$°C\n[screen b]\nline = 2\n";
  const ProcessResult both = host(screens, {"once"});
  EXPECT_EQ(both.exit_code, 0);
  EXPECT_EQ(both.out, "[screen cpu]\nT 45°C\n[screen b]\n2\n");
  // LINE arguments replace the file's screens.
  EXPECT_EQ(host(screens, {"once", "x $zvTemp[0]$"}).out, "x 45\n");
  const ProcessResult bad = host("[screen cpu]\nline = 1\nduration = 1 s\n", {"once"});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err, "zelvane-lcd: " + path +
                         ":3: duration must be seconds from 0.125 to 3600 (such as 4 or 2.5), "
                         "not \"1 s\"\n");
  std::remove(path.c_str());
}

TEST_F(StandIns, TooSmallObjectGivesEmptyReadingsAndSkips) {
  auto monitor =
      StartMonitor({"--no-simulation", "--size", "100", "--seconds", "30"}, ZV_TEST_MONITOR_PATH);
  EXPECT_EQ(Host({"once", "--no-init", "[$zvTemp[0]$]"}).out, "[]\n");
  EXPECT_EQ(Host({"once", "--no-init", "$zvCheck$x"}).out, "(screen skipped)\n");
}

TEST_F(StandIns, HostFindsAMonitorThatAppearsLater) {
  auto monitor = BackgroundProcess::Start(
      {ZV_TEST_MONITOR_PATH, "--simulate", "--delay", "1", "--seconds", "30"});
  EXPECT_EQ(Host({"once", "$zvCheck$x"}).out, "(screen skipped)\n");
  EXPECT_EQ(monitor->ReadLine().rfind("zelvane-monitor: publishing", 0), 0U);
  EXPECT_EQ(Host({"once", "$zvCheck$x"}).out, "x\n");
  // The condition alone connects, as a reading does.
  EXPECT_EQ(Host({"once", "--no-init", "$zvCheck$x"}).out, "x\n");
}

TEST_F(StandIns, MonitorRemovesItsObjectWhenStopped) {
  auto monitor = StartMonitor({"--no-simulation", "--seconds", "30"});
  EXPECT_FALSE(ObjectRemoved());
  EXPECT_EQ(monitor->Stop(), 0);
  EXPECT_TRUE(ObjectRemoved());
  auto counted = StartMonitor({"--no-simulation", "--count", "2", "--interval-ms", "50"});
  EXPECT_EQ(counted->Wait(), 0);
  EXPECT_TRUE(ObjectRemoved());
}

TEST_F(StandIns, MonitorRemovesItsObjectOnInterrupt) {
#ifdef _WIN32
  // Ctrl-Break needs a console shared with the monitor. Under Wine,
  // GenerateConsoleCtrlEvent fails (ERROR_INVALID_HANDLE) even after
  // AllocConsole, so only the stop event is tested here.
  GTEST_SKIP() << "no console events under Wine";
#else
  auto monitor = StartMonitor({"--no-simulation", "--seconds", "30"});
  EXPECT_FALSE(ObjectRemoved());
  EXPECT_EQ(monitor->Stop(true), 0);
  EXPECT_TRUE(ObjectRemoved());
#endif
}

// The monitor looks at least once a second (here between refreshes 5 s
// apart) whether its name still stands for its object. Once it does not,
// it says so and exits with status 1, so that its service starts a monitor
// that readers find; whatever stands under the name now is left alone.
TEST_F(StandIns, MonitorWhoseNameIsTakenAwayExitsWithFailure) {
#ifdef _WIN32
  GTEST_SKIP() << "a Windows name lives while its object does: no one takes it away";
#else
  const std::string path = "/dev/shm/" + std::string(kName);
  struct Case {
    bool replaced;  // by a file of someone else's, else removed
    std::string says;
  };
  const std::vector<Case> cases = {
      {false, path + " was removed"},
      {true, path + " now stands for another file, which is left alone"},
  };
  for (const Case& taken : cases) {
    auto monitor =
        BackgroundProcess::Start({"/bin/sh", "-c", "exec \"$@\" 2>&1", "sh", ZV_MONITOR_PATH,
                                  "--no-simulation", "--seconds", "30", "--interval-ms", "5000"});
    ASSERT_EQ(monitor->ReadLine().rfind("zelvane-monitor: publishing", 0), 0U);
    ASSERT_EQ(std::remove(path.c_str()), 0);
    if (taken.replaced) {
      std::ofstream(path) << "someone else's";
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(monitor->Wait(), 1) << taken.says;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took.count(), 3.0) << taken.says;
    EXPECT_EQ(monitor->ReadLine(), "zelvane-monitor: " + taken.says +
                                       "; readers no longer find this monitor's readings: exiting");
    EXPECT_EQ(monitor->ReadLine(), "");  // and no word of removing anything
    std::ifstream left(path);
    std::string text;
    std::getline(left, text);
    EXPECT_EQ(text, taken.replaced ? "someone else's" : "") << taken.says;
    std::remove(path.c_str());
  }
#endif
}

// The monitor's numbers are decimal, leading zeros and all, and bounded
// where the clocks' arithmetic would overflow.
TEST_F(StandIns, MonitorNumbersAreDecimalAndBounded) {
  auto monitor =
      StartMonitor({"--no-simulation", "--temp", "010=45", "--temp", "08=33", "--seconds", "30.5"});
  EXPECT_EQ(Host({"once", "--no-init", "$zvTemp[10]$ $zvTemp[8]$"}).out, "45 33\n");
  monitor.reset();
  struct Refused {
    const char* program;
    std::string option, value;
  };
  const std::vector<Refused> refused = {
      {ZV_MONITOR_PATH, "--seconds", "1e10"},     {ZV_TEST_MONITOR_PATH, "--delay", "1e300"},
      {ZV_MONITOR_PATH, "--seconds", "inf"},      {ZV_TEST_MONITOR_PATH, "--delay", "-1"},
      {ZV_MONITOR_PATH, "--temp", "0x1=40"},      {ZV_MONITOR_PATH, "--temp", " 1=40"},
      {ZV_MONITOR_PATH, "--count", "0"},          {ZV_MONITOR_PATH, "--count", "1e3"},
      {ZV_TEST_MONITOR_PATH, "--word", "0x10=1"}, {ZV_MONITOR_PATH, "--interval-ms", "+5"},
      {ZV_TEST_MONITOR_PATH, "--word", "2=1"},    {ZV_TEST_MONITOR_PATH, "--size", "0"},
  };
  for (const auto& [program, option, value] : refused) {
    const ProcessResult result = RunProcess({program, "--no-simulation", option, value});
    EXPECT_EQ(result.exit_code, 2) << option << " " << value;
    std::string said = "zelvane-monitor: bad value for ";
    said.append(option).append(": ").append(value).append("\n");
    EXPECT_EQ(result.err.rfind(said, 0), 0U) << result.err;
  }
}

// The options for tests are test_monitor's alone: the shipped monitor
// neither takes nor lists them.
TEST_F(StandIns, ShippedMonitorHasNoOptionsForTests) {
  EXPECT_EQ(RunProcess({ZV_MONITOR_PATH, "--help"}).out.find("for tests"), std::string::npos);
  for (const std::string option : {"--word", "--size", "--delay"}) {
    const ProcessResult result = RunProcess({ZV_MONITOR_PATH, "--no-simulation", option, "0"});
    EXPECT_EQ(result.exit_code, 2) << option;
    EXPECT_EQ(result.err.rfind("zelvane-monitor: unknown option " + option + "\n", 0), 0U)
        << result.err;
  }
  EXPECT_NE(RunProcess({ZV_TEST_MONITOR_PATH, "--help"}).out.find("--delay S"), std::string::npos);
}

// A raw word over the heartbeat's magic makes another monitor's block:
// readers take its readings without a heartbeat to judge it by.
TEST_F(StandIns, TestMonitorsRawWordReplacesTheHeartbeatsMagic) {
  auto monitor =
      StartMonitor({"--no-simulation", "--word", "0=0", "--temp", "0=45", "--seconds", "30"},
                   ZV_TEST_MONITOR_PATH);
  EXPECT_EQ(Host({"once", "--no-init", "$zvCheck$T $zvTemp[0]$"}).out, "T 45\n");
  ASSERT_TRUE(zv::readings::MapMonitorMemory());
  std::int32_t magic = -1;
  EXPECT_TRUE(zv::readings::ReadMonitorWord(zv::readings::kHeartbeatMagicOffset, magic));
  EXPECT_EQ(magic, 0);
}

// A running monitor keeps its block against every other start; what a
// killed one leaves is replaced by the next plain start.
TEST_F(StandIns, RunningMonitorIsNeverReplacedAndAKilledOnesBlockIs) {
  auto first = StartMonitor({"--no-simulation", "--temp", "0=41", "--seconds", "30"});
  for (const bool replace : {false, true}) {
    std::vector<std::string> args = {"--temp", "0=77"};
    if (replace) {
      args.emplace_back("--replace");
    }
    const ProcessResult second = MonitorOnce(args);
    EXPECT_EQ(second.exit_code, 1) << replace;
    EXPECT_NE(
        second.err.find("cannot publish " + std::string(kName) + ": another monitor is running"),
        std::string::npos)
        << second.err;
  }
  EXPECT_EQ(Host({"once", "--no-init", "$zvTemp[0]$"}).out, "41\n");

  first->Kill();
  EXPECT_EQ(ObjectRemoved(), !zv::monitor::kObjectOutlivesKilledPublisher);
  const ProcessResult next = MonitorOnce({"--temp", "0=52"});
  EXPECT_EQ(next.exit_code, 0) << next.err;
  EXPECT_EQ(next.err.find("replaced") != std::string::npos,
            zv::monitor::kObjectOutlivesKilledPublisher)
      << next.err;
  EXPECT_TRUE(ObjectRemoved());

  // Where nothing outlives a monitor, --replace says it has nothing to do.
  const ProcessResult replace = MonitorOnce({"--replace"});
  EXPECT_EQ(replace.exit_code, 0);
  EXPECT_EQ(replace.err.find("--replace has nothing to do") != std::string::npos,
            !zv::monitor::kObjectOutlivesKilledPublisher)
      << replace.err;

  EXPECT_EQ(RunProcess({ZV_MONITOR_PATH, "--fan", "40=1"}).exit_code, 2);
  EXPECT_EQ(RunProcess({ZV_MONITOR_PATH, "--temp", "0=400"}).exit_code, 2);  // beyond the word
}

// Made-up readings are published only when asked for.
TEST_F(StandIns, WithoutSensorsTheMonitorNeedsSimulateOrFixedReadings) {
  if (RunProcess({ZV_MONITOR_PATH, "--list"}).exit_code == 0) {
    GTEST_SKIP() << "this machine has sensors";
  }
  const ProcessResult plain = RunProcess({ZV_MONITOR_PATH, "--temp", "0=41", "--count", "1"});
  EXPECT_EQ(plain.exit_code, 1);
  EXPECT_NE(plain.err.find("zelvane-monitor: no hardware sensors ("), std::string::npos)
      << plain.err;
  EXPECT_NE(plain.err.find("nothing to publish: --simulate publishes simulated readings, "
                           "--no-simulation only the fixed ones"),
            std::string::npos)
      << plain.err;
  EXPECT_EQ(plain.out, "");
  EXPECT_TRUE(ObjectRemoved());
  EXPECT_EQ(MonitorOnce({}).exit_code, 0);
}

// The heartbeat: magic, the refresh period, a counter that moves, and a
// stamp of the monotonic clock that every process of the machine reads.
TEST_F(StandIns, HeartbeatCarriesPeriodCounterAndMonotonicStamp) {
  auto monitor = StartMonitor({"--no-simulation", "--interval-ms", "100", "--seconds", "30"});
  ASSERT_TRUE(zv::readings::MapMonitorMemory());
  const auto word = [](std::size_t offset) {
    std::int32_t value = 0;
    EXPECT_TRUE(zv::readings::ReadMonitorWord(offset, value)) << offset;
    return static_cast<std::uint32_t>(value);
  };
  using zv::readings::kHeartbeatCounterOffset;
  using zv::readings::kHeartbeatStampOffset;
  EXPECT_EQ(word(zv::readings::kHeartbeatMagicOffset), 0x4248565AU);  // "ZVHB"
  EXPECT_EQ(word(zv::readings::kHeartbeatPeriodOffset), 100U);
  const std::uint32_t first = word(kHeartbeatCounterOffset);
  EXPECT_GE(first, 1U);
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  EXPECT_GE(word(kHeartbeatCounterOffset), first + 2);
  // At most one period and a little old (the clock's low 32 bits, modulo 2^32).
  const auto now =
      static_cast<std::uint32_t>(zv::monitor_block::MonotonicMilliseconds() & 0xFFFFFFFFU);
  const std::uint32_t age = now - word(kHeartbeatStampOffset);
  EXPECT_LE(age, 100U + 250U) << "stamp " << word(kHeartbeatStampOffset) << ", now " << now;
}

TEST_F(StandIns, DescribeAndLiveFrames) {
  const ProcessResult describe = Host({"describe"});
  EXPECT_EQ(describe.exit_code, 0);
  for (const char* text : {"Zelvane 4.* info", "Информация из Zelvane 4.*", "1027 (0x403)",
                           "$zvTemp    $zvTemp[0]$   температура", "условие показа"}) {
    EXPECT_NE(describe.out.find(text), std::string::npos) << text;
  }

  auto monitor = StartMonitor({"--no-simulation", "--fan", "1=1500", "--seconds", "30"});
  const ProcessResult live = Host({"live", "--count", "2", "--interval-ms", "50", "--rows", "2",
                                   "--cols", "8", "F $zvFan[1]$ rpm"});
  EXPECT_EQ(live.exit_code, 0);
  const auto lines = OutputLines(live.out);
  ASSERT_EQ(lines.size(), 10U);
  EXPECT_EQ(lines[1], "│F 1500 r│");
  EXPECT_EQ(lines[6], "│F 1500 r│");
  EXPECT_EQ(live.out.find('\x1b'), std::string::npos);  // no cursor controls into a pipe
}

TEST_F(StandIns, ConfigWithoutDisplayShowsThePluginsError) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows always has a desktop to show the dialog on";
#else
  // Without a display the dialog cannot open: the host shows the plugin's
  // error and carries on.
  unsetenv("DISPLAY");  // NOLINT(concurrency-mt-unsafe): one thread here
  const ProcessResult config = Host({"config", "--no-init"});
  EXPECT_EQ(config.exit_code, 1);
  EXPECT_EQ(config.out,
            "Config failed: Cannot show the settings dialog: no display is available\n");
#endif
}

TEST_F(StandIns, HostReportsAModuleItCannotLoad) {
  const ProcessResult host = RunProcess({ZV_HOST_PATH, "once", "/nonexistent/zelvane_info.so"});
  EXPECT_EQ(host.exit_code, 1);
  EXPECT_NE(host.err.find("cannot load"), std::string::npos);
  EXPECT_EQ(RunProcess({ZV_HOST_PATH, "bogus", ZV_PLUGIN_PATH}).exit_code, 2);
}

#ifndef _WIN32
// Each file the host reads, or hands to dlopen, is refused at once with its
// reason unless it is a regular file of bounded size.
TEST_F(StandIns, HostRefusesFilesThatAreNotRegularAtOnce) {
  const std::string dir = "/tmp/zv-host-files-" + std::to_string(getpid());
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  const std::string fifo = dir + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string nul = dir + "/nul";
  std::ofstream(nul) << "fine\n" << std::string("$zvTemp[0\0junk]$\n", 17);
  struct Case {
    std::vector<std::string> args;  // after the command
    int exit_code;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{ZV_PLUGIN_PATH, "--screen-file", fifo}, 2, "cannot read " + fifo + ": it is a FIFO"},
      {{ZV_PLUGIN_PATH, "--screen-file", dir}, 2, "cannot read " + dir + ": it is a folder"},
      {{ZV_PLUGIN_PATH, "--screen-file", "/dev/zero"}, 2, "cannot read /dev/zero: it is a device"},
      {{ZV_PLUGIN_PATH, "--screen-file", dir + "/none"},
       2,
       "cannot read " + dir + "/none: No such file or directory"},
      {{ZV_PLUGIN_PATH, "--screen-file", nul}, 2, nul + ":2: the line holds a NUL byte"},
      {{"--config", fifo}, 2, "cannot read " + fifo + ": it is a FIFO"},
      {{"--plugin", fifo, "x"}, 1, "cannot load " + fifo + ": it is a FIFO, not a regular file"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv = {ZV_HOST_PATH, "once", "--no-init"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const ProcessResult host = RunProcess(argv);
    EXPECT_EQ(host.exit_code, c.exit_code) << c.says;
    EXPECT_EQ(host.err.rfind("zelvane-lcd: " + c.says, 0), 0U) << host.err;
  }
  std::remove(nul.c_str());
  std::remove(fifo.c_str());
  rmdir(dir.c_str());
}
#endif

}  // namespace
