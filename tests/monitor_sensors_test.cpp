// zelvane-monitor against a fake hwmon tree of our own, read through the real
// libsensors: each run happens in a private mount namespace (unshare -m)
// where a tmpfs covers /sys/class, the fake tree is bind-mounted at
// /sys/class/hwmon and a sensors.conf of ours replaces the system's; and
// against a full /dev/shm, a small tmpfs in such a namespace. Needs root
// and unshare; without them the cases skip.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "monitor_block/layout.h"
#include "readings/monitor_memory.h"
#include "support/process.h"
#include "zelvane-monitor/publisher.h"

namespace {

namespace fs = std::filesystem;
using zv::test::BackgroundProcess;
using zv::test::OutputLines;
using zv::test::ProcessResult;
using zv::test::RunProcess;

// What the stand-in says when its block appears and when it goes.
const std::string kPublishingLine = std::string("zelvane-monitor: publishing ") +
                                    zv::readings::kMonitorMemoryName + " (" +
                                    std::to_string(zv::readings::kMonitorBlockSize) + " bytes)";
const std::string kRemovingLine =
    std::string("zelvane-monitor: removing ") + zv::readings::kMonitorMemoryName;

// Mounts the fake tree ($1) and configuration ($2), then runs the rest of
// the arguments with standard error joined to standard output.
constexpr const char* kNamespaceScript = R"(set -e
mount -t tmpfs zv-fake-sys-class /sys/class
mkdir /sys/class/hwmon
mount --bind "$1" /sys/class/hwmon
if [ -e /etc/sensors3.conf ]; then mount --bind "$2" /etc/sensors3.conf; fi
if [ -d /etc/sensors.d ]; then mount -t tmpfs zv-fake-sensors-d /etc/sensors.d; fi
shift 2
exec "$@" 2>&1
)";

std::string Unshare() {
  for (const char* path : {"/usr/bin/unshare", "/bin/unshare"}) {
    if (access(path, X_OK) == 0) {
      return path;
    }
  }
  return "";
}

// Why the namespace cannot be made here, or "" when it can.
std::string NamespaceUnavailable() {
  if (geteuid() != 0) {
    return "needs root (a private mount namespace with our own /sys/class/hwmon)";
  }
  if (Unshare().empty()) {
    return "needs unshare (Debian package util-linux)";
  }
  const ProcessResult probe =
      RunProcess({Unshare(), "-m", "/bin/sh", "-c", "mount -t tmpfs zv-probe /sys/class"});
  if (probe.exit_code != 0) {
    return "cannot mount in a private mount namespace here: " + probe.out + probe.err;
  }
  return "";
}

class MonitorSensors : public ::testing::Test {
 protected:
  fs::path root;
  fs::path tree;
  fs::path config;

  void SetUp() override {
    if (const std::string why = NamespaceUnavailable(); !why.empty()) {
      GTEST_SKIP() << why;
    }
    std::string pattern = (fs::temp_directory_path() / "zv-hwmon-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    tree = root / "hwmon";
    fs::create_directory(tree);
    config = root / "sensors3.conf";
    // A label and a correction of the kind sensors.conf holds.
    Write(config, "chip \"board-*\"\n  label in0 \"Vcore\"\n  compute in1 @*2, @/2\n");
    zv::monitor::RemoveStale(zv::readings::kMonitorMemoryName);
  }

  void TearDown() override {
    if (!root.empty()) {
      fs::remove_all(root);
    }
  }

  static void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text << "\n";
  }

  // Makes chip directory hwmonN with a name and attribute files.
  void Chip(int n, const std::string& name,
            const std::vector<std::pair<std::string, std::string>>& files) {
    const fs::path dir = tree / ("hwmon" + std::to_string(n));
    fs::create_directory(dir);
    Write(dir / "name", name);
    for (const auto& [file, text] : files) {
      Write(dir / file, text);
    }
  }

  [[nodiscard]] std::vector<std::string> InNamespace(std::vector<std::string> command) const {
    std::vector<std::string> argv = {Unshare(),        "-m", "/bin/sh",     "-c",
                                     kNamespaceScript, "sh", tree.string(), config.string()};
    argv.insert(argv.end(), command.begin(), command.end());
    return argv;
  }

  [[nodiscard]] ProcessResult Monitor(std::vector<std::string> args) const {
    args.insert(args.begin(), ZV_MONITOR_PATH);
    return RunProcess(InNamespace(args));
  }

  // Waits for `refreshes` more refreshes of the block (its counter at byte 4).
  static void WaitRefreshes(int refreshes) {
    const auto counter = [] { return Word(4); };
    const std::int32_t target = counter() + refreshes;
    for (int i = 0; i < 200 && counter() < target; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_GE(counter(), target);
  }

  // The word at `offset` of the published block; 0 while there is none.
  static std::int32_t Word(std::size_t offset) {
    std::int32_t word = 0;
    if (!zv::readings::ReadMonitorWord(offset, word)) {
      return 0;
    }
    return word;
  }
};

// The three kinds in the order the sorted chips and features give, with
// what sensors.conf says, the other kinds and more than 32 left out.
TEST_F(MonitorSensors, ListShowsTheStableOrderAndWhatWasLeftOut) {
  // hwmon numbers in another order than the chip names.
  Chip(0, "zcpu",
       {{"temp1_input", "45000"},
        {"temp1_label", "Package id 0"},
        {"temp10_input", "61000"},
        {"temp2_input", "52500"}});
  Chip(1, "board",
       {{"fan1_input", "1200"},
        {"in0_input", "1224"},
        {"in1_input", "6025"},
        {"power1_input", "5000000"}});
  std::vector<std::pair<std::string, std::string>> many;
  for (int i = 1; i <= 30; ++i) {
    many.emplace_back("temp" + std::to_string(i) + "_input", std::to_string(20000 + i * 100));
  }
  Chip(2, "many", many);

  const ProcessResult list = Monitor({"--list"});
  EXPECT_EQ(list.exit_code, 0) << list.out;
  const auto lines = OutputLines(list.out);
  ASSERT_EQ(lines.size(), 1U + 32 + 1 + 2 + 2) << list.out;
  EXPECT_EQ(lines[0], "index     chip                     feature  label              reading");
  EXPECT_EQ(lines[1], "temp[0]   many-virtual-0           temp1    \"temp1\"            20.10 C");
  EXPECT_EQ(lines[30], "temp[29]  many-virtual-0           temp30   \"temp30\"           23.00 C");
  EXPECT_EQ(lines[31], "temp[30]  zcpu-virtual-0           temp1    \"Package id 0\"     45.00 C");
  EXPECT_EQ(lines[32], "temp[31]  zcpu-virtual-0           temp2    \"temp2\"            52.50 C");
  EXPECT_EQ(lines[33], "fan[0]    board-virtual-0          fan1     \"fan1\"             1200 RPM");
  EXPECT_EQ(lines[34], "volt[0]   board-virtual-0          in0      \"Vcore\"            1.22 V");
  EXPECT_EQ(lines[35], "volt[1]   board-virtual-0          in1      \"in1\"              12.05 V");
  EXPECT_EQ(lines[36],
            "left out: board-virtual-0/power1: a power sensor: the block holds "
            "temperatures, fans and voltages only");
  // More than 32: the first 32 in that order.
  EXPECT_EQ(lines[37], "left out: zcpu-virtual-0/temp10: all 32 temp indexes are taken");

  // libsensors sees the same values through the sensors command.
  if (access("/usr/bin/sensors", X_OK) == 0) {
    const ProcessResult sensors = RunProcess(InNamespace({"/usr/bin/sensors", "-u"}));
    EXPECT_NE(sensors.out.find("Package id 0:\n  temp1_input: 45.000"), std::string::npos)
        << sensors.out;
    EXPECT_NE(sensors.out.find("in1_input: 12.050"), std::string::npos) << sensors.out;
  }

  // The same order on the next start.
  EXPECT_EQ(Monitor({"--list"}).out, list.out);
}

// A label is the hardware's (or sensors.conf's) text: its control
// characters reach neither the terminal nor the journal.
TEST_F(MonitorSensors, LabelsArePrintedWithControlsEscaped) {
  Chip(0, "esc", {{"temp1_input", "45000"}, {"temp1_label", "Core\x1b[2J\x07"}});
  const ProcessResult list = Monitor({"--list"});
  EXPECT_EQ(list.exit_code, 0) << list.out;
  EXPECT_NE(list.out.find("\"Core\\x1b[2J\\x07\""), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find('\x1b'), std::string::npos) << list.out;
}

TEST_F(MonitorSensors, PinnedSensorKeepsItsIndex) {
  Chip(0, "zcpu", {{"temp1_input", "45000"}, {"temp1_label", "Package id 0"}});
  const std::string pin = "temp:0=zcpu-*/Package id 0";
  EXPECT_EQ(
      OutputLines(Monitor({"--list", "--map", pin}).out)[1].rfind("temp[0]   zcpu-virtual-0", 0),
      0U);
  // A chip that sorts first appears: unpinned it would take index 0.
  Chip(1, "acpitz", {{"temp1_input", "27800"}});
  EXPECT_EQ(OutputLines(Monitor({"--list"}).out)[1].rfind("temp[0]   acpitz-virtual-0", 0), 0U);
  const auto pinned = OutputLines(Monitor({"--list", "--map", pin}).out);
  EXPECT_EQ(pinned[1],
            "temp[0]   zcpu-virtual-0           temp1    \"Package id 0\"     45.00 C  [--map]");
  EXPECT_EQ(pinned[2].rfind("temp[1]   acpitz-virtual-0", 0), 0U);
  // Two pins on one index, or a malformed one, are refused.
  EXPECT_EQ(Monitor({"--list", "--map", pin, "--map", "temp:0=acpitz-*/temp1"}).exit_code, 2);
  EXPECT_EQ(Monitor({"--list", "--map", "temp:0=zcpu"}).exit_code, 2);
}

// The running monitor: clamped readings, a sensor that fails, a chip that
// goes and comes back, each reported once.
TEST_F(MonitorSensors, PublishesClampedReadingsAndSurvivesFailuresAndUnplugging) {
  Chip(0, "board",
       {{"temp1_input", "400000"},
        {"temp2_input", "-400000"},
        {"fan1_input", "40000"},
        {"in0_input", "12050"},
        {"temp3_input", "36000"}});
  Chip(1, "usbpump", {{"fan1_input", "2100"}});
  auto monitor = BackgroundProcess::Start(
      InNamespace({ZV_MONITOR_PATH, "--interval-ms", "50", "--seconds", "60"}));
  ASSERT_EQ(monitor->ReadLine(), kPublishingLine);
  ASSERT_TRUE(zv::readings::MapMonitorMemory());
  constexpr std::size_t kTemps = zv::readings::kTemperatureOffset;
  constexpr std::size_t kFans = zv::readings::kFanOffset;
  constexpr std::size_t kVolts = zv::readings::kVoltageOffset;
  EXPECT_EQ(Word(kTemps), 32767 * 65536);  // 400 C: at most 327.67
  EXPECT_EQ(Word(kTemps + 4), -32767 * 65536);
  EXPECT_EQ(Word(kTemps + 8), 3600 * 65536);
  EXPECT_EQ(Word(kFans), 32767 * 65536);  // 40000 RPM: at most 32767
  EXPECT_EQ(Word(kFans + 4), 2100 * 65536);
  EXPECT_EQ(Word(kVolts), 1205 * 65536);

  // A sensor that cannot be read shows 0, said once.
  Write(tree / "hwmon0" / "temp3_input", "garbage");
  WaitRefreshes(5);
  EXPECT_EQ(Word(kTemps + 8), 0);
  EXPECT_EQ(Word(kTemps), 32767 * 65536);

  // The pump is unplugged, then plugged in again under another number.
  fs::rename(tree / "hwmon1", root / "unplugged");
  WaitRefreshes(5);
  EXPECT_EQ(Word(kFans + 4), 0);
  EXPECT_EQ(Word(kFans), 32767 * 65536);
  fs::rename(root / "unplugged", tree / "hwmon7");
  Write(tree / "hwmon0" / "temp3_input", "37000");
  WaitRefreshes(5);
  EXPECT_EQ(Word(kFans + 4), 2100 * 65536);
  EXPECT_EQ(Word(kTemps + 8), 3700 * 65536);

  EXPECT_EQ(monitor->Stop(), 0);
  std::vector<std::string> said;
  for (std::string line = monitor->ReadLine(); !line.empty(); line = monitor->ReadLine()) {
    said.push_back(line);
  }
  const std::vector<std::string> expected = {
      std::string("zelvane-monitor: temp[2] board-virtual-0/temp3: cannot read (Can't read); ") +
          "it shows 0",
      std::string("zelvane-monitor: chip usbpump-virtual-0 is gone; ") +
          "its sensors show 0 until it returns",
      "zelvane-monitor: chip usbpump-virtual-0 is back",
      "zelvane-monitor: temp[2] board-virtual-0/temp3 reads again", kRemovingLine};
  EXPECT_EQ(said, expected);
}

TEST_F(MonitorSensors, NoSensorsMeansNoReadingsUnlessSimulatedOrFixed) {
  const ProcessResult list = Monitor({"--list"});
  EXPECT_EQ(list.exit_code, 1);
  EXPECT_EQ(list.out,
            "zelvane-monitor: no hardware sensors (libsensors finds no temperature, fan or voltage "
            "sensors)\n");

  // Nothing is published: simulated readings would pass for the machine's.
  const ProcessResult run = Monitor({"--count", "3", "--interval-ms", "50"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(
      OutputLines(run.out),
      (std::vector<std::string>{
          "zelvane-monitor: no hardware sensors (libsensors finds no temperature, fan or voltage "
          "sensors); nothing to publish: --simulate publishes simulated readings, "
          "--no-simulation only the fixed ones"}));
  EXPECT_FALSE(zv::monitor::NameTaken(zv::readings::kMonitorMemoryName));
  for (const char* source : {"--simulate", "--no-simulation"}) {
    const ProcessResult asked = Monitor({source, "--count", "1", "--interval-ms", "50"});
    EXPECT_EQ(asked.exit_code, 0) << source;
    EXPECT_EQ(OutputLines(asked.out), (std::vector<std::string>{kPublishingLine, kRemovingLine}))
        << source;
  }

  // With a sensor present, --simulate publishes simulated readings instead.
  Chip(0, "board", {{"temp1_input", "99000"}});
  auto monitor = BackgroundProcess::Start(
      InNamespace({ZV_MONITOR_PATH, "--simulate", "--interval-ms", "50", "--seconds", "60"}));
  ASSERT_EQ(monitor->ReadLine(), kPublishingLine);
  ASSERT_TRUE(zv::readings::MapMonitorMemory());
  const double temp0 = Word(zv::readings::kTemperatureOffset) / 65536.0 / 100;
  EXPECT_GT(temp0, 30);
  EXPECT_LT(temp0, 60);  // the simulated CPU, not the sensor's 99
  EXPECT_NE(Word(zv::readings::kTemperatureOffset + std::size_t{4} * 4), 0);  // simulated sensor 4
  EXPECT_EQ(monitor->Stop(), 0);
}

// With /dev/shm full (a tmpfs of two pages, filled, in a private mount
// namespace) the monitor says so and leaves nothing under the name: the
// object's pages are reserved before it is named, so it never dies of
// SIGBUS writing to them.
TEST_F(MonitorSensors, FullSharedMemoryFolderIsAClearErrorAndLeavesNothing) {
  constexpr const char* kFullScript = R"(set -e
mount -t tmpfs -o size=8k zv-full-shm /dev/shm
head -c 16384 /dev/zero >/dev/shm/filler 2>/dev/null || true
status=0
"$@" || status=$?
echo "exit $status"
ls -A /dev/shm
)";
  const ProcessResult full = RunProcess({Unshare(), "-m", "/bin/sh", "-c", kFullScript, "sh",
                                         ZV_MONITOR_PATH, "--no-simulation", "--count", "1"});
  EXPECT_EQ(OutputLines(full.out), (std::vector<std::string>{"exit 1", "filler"}));
  EXPECT_EQ(full.err, std::string("zelvane-monitor: cannot publish ") +
                          zv::readings::kMonitorMemoryName +
                          ": no room for its 400 bytes in /dev/shm (No space left on device)\n");
}

}  // namespace
