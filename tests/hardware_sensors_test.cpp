// The monitor's map from the machine's sensors to the block's indexes,
// against a scripted sensor source: order, pins, the 32-index limit,
// clamping, and sensors or chips that fail, go and come back.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "monitor_block/clock.h"
#include "monitor_block/heartbeat.h"
#include "monitor_block/layout.h"
#include "zelvane-monitor/hardware_sensors.h"
#include "zelvane-monitor/progress_source.h"

namespace {

using zv::monitor::FoundSensor;
using zv::monitor::SensorKind;
using zv::monitor::SensorMap;
using zv::monitor::SensorPin;

// A machine whose sensors the test sets up and changes.
class ScriptedSource : public zv::monitor::SensorSource {
 public:
  struct Sensor {
    std::string chip;
    int instance;
    std::string feature;
    std::string label;
    std::optional<SensorKind> kind;
    double value;
    bool fails = false;
  };

  std::vector<Sensor> sensors;
  std::vector<std::string> unplugged;  // chips gone: their scan and reads fail
  int scans = 0;
  std::function<void()> on_read;  // called as each read begins

  std::vector<FoundSensor> Scan() override {
    ++scans;
    scanned_.clear();
    std::vector<FoundSensor> found;
    for (std::size_t i = 0; i < sensors.size(); ++i) {
      const Sensor& s = sensors[i];
      if (Unplugged(s.chip)) {
        continue;
      }
      found.push_back(
          {s.chip, s.instance, s.feature, s.label, s.kind, s.kind ? "" : "power", scanned_.size()});
      scanned_.push_back(i);
    }
    return found;
  }

  std::optional<double> Read(std::size_t handle, std::string& error) override {
    if (on_read) {
      on_read();
    }
    const Sensor& s = sensors.at(scanned_.at(handle));
    if (s.fails || Unplugged(s.chip)) {
      error = "Can't read";
      return std::nullopt;
    }
    return s.value;
  }

  [[nodiscard]] std::string name() const override { return "scripted"; }

 private:
  bool Unplugged(const std::string& chip) const {
    return std::find(unplugged.begin(), unplugged.end(), chip) != unplugged.end();
  }
  std::vector<std::size_t> scanned_;
};

constexpr auto kTemp = SensorKind::Temperature;
constexpr auto kFan = SensorKind::Fan;
constexpr auto kVolt = SensorKind::Voltage;

class SensorMapTest : public ::testing::Test {
 protected:
  ScriptedSource source;
  std::vector<std::string> reports;

  std::unique_ptr<SensorMap> Map(std::vector<SensorPin> pins = {}) {
    return std::make_unique<SensorMap>(source, std::move(pins),
                                       [this](const std::string& m) { reports.push_back(m); });
  }

  static double At(const zv::monitor::SensorReadings& r, SensorKind kind, std::size_t i) {
    return r[static_cast<std::size_t>(kind)][i].value_or(-999);
  }
};

TEST_F(SensorMapTest, OrderIsByChipNameInstanceThenFeatureNumber) {
  // Scanned in a scrambled order, as sysfs may list them.
  source.sensors = {
      {"zcpu-isa-0000", 0, "temp10", "Core 9", kTemp, 60},
      {"nct6775-isa-0290", 0, "in1", "in1", kVolt, 1.8},
      {"zcpu-isa-0000", 0, "temp2", "Core 1", kTemp, 50},
      {"acpitz-acpi-0", 0, "temp1", "temp1", kTemp, 27.8},
      {"nct6775-isa-0290", 0, "in0", "Vcore", kVolt, 1.2},
      {"nct6775-isa-0290", 0, "fan2", "fan2", kFan, 900},
      {"nct6775-isa-0290", 0, "power1", "power1", std::nullopt, 5},
  };
  auto map = Map();
  EXPECT_FALSE(map->empty());
  const auto r = map->Refresh(0);
  EXPECT_EQ(At(r, kTemp, 0), 27.8);
  EXPECT_EQ(At(r, kTemp, 1), 50);
  EXPECT_EQ(At(r, kTemp, 2), 60);
  EXPECT_EQ(At(r, kTemp, 3), -999);  // no sensor: the block shows 0
  EXPECT_EQ(At(r, kVolt, 0), 1.2);
  EXPECT_EQ(At(r, kVolt, 1), 1.8);
  EXPECT_EQ(At(r, kFan, 0), 900);
  const auto list = map->Listing();
  ASSERT_EQ(list.size(), 8U);
  EXPECT_EQ(
      list[1].rfind("temp[0]   acpitz-acpi-0            temp1    \"temp1\"            27.80 C", 0),
      0U)
      << list[1];
  EXPECT_EQ(list[7],
            "left out: nct6775-isa-0290/power1: a power sensor: the block holds temperatures, "
            "fans and voltages only");
  EXPECT_TRUE(reports.empty());
}

TEST_F(SensorMapTest, PinsHoldTheirIndexWhenAnotherChipAppears) {
  source.sensors = {{"coretemp-isa-0000", 0, "temp1", "Package id 0", kTemp, 45},
                    {"coretemp-isa-0000", 0, "temp2", "Core 0", kTemp, 44}};
  // By label, with a wildcard; and a pin for a sensor that is not there yet.
  auto map = Map({*zv::monitor::ParseSensorPin("temp:0=coretemp-*/Package id 0"),
                  *zv::monitor::ParseSensorPin("fan:5=usbfan-*/fan1")});
  ASSERT_EQ(reports.size(), 1U);
  EXPECT_NE(reports[0].find("fan[5]: no sensor usbfan-*/fan1 yet"), std::string::npos);
  // A chip whose name sorts first appears, and so does the pinned fan.
  source.sensors.push_back({"acpitz-acpi-0", 0, "temp1", "temp1", kTemp, 30});
  source.sensors.push_back({"usbfan-hid-3-1", 0, "fan1", "fan1", kFan, 700});
  const auto r = map->Refresh(SensorMap::kRescanSeconds);
  EXPECT_EQ(At(r, kTemp, 0), 45);  // still the package
  EXPECT_EQ(At(r, kTemp, 1), 44);
  EXPECT_EQ(At(r, kTemp, 2), 30);  // the newcomer takes the next free index
  EXPECT_EQ(At(r, kFan, 5), 700);
  EXPECT_EQ(At(r, kFan, 0), -999);
  // A fresh start orders the newcomer by name, but the pin holds.
  reports.clear();
  auto fresh = Map({*zv::monitor::ParseSensorPin("temp:0=coretemp-*/temp1")});
  const auto f = fresh->Refresh(0);
  EXPECT_EQ(At(f, kTemp, 0), 45);
  EXPECT_EQ(At(f, kTemp, 1), 30);
  EXPECT_EQ(At(f, kTemp, 2), 44);
  EXPECT_TRUE(reports.empty());
}

TEST_F(SensorMapTest, MoreThan32OfAKindKeepsTheFirst32InOrder) {
  for (int i = 40; i >= 1; --i) {
    source.sensors.push_back(
        {"big-virtual-0", 0, "temp" + std::to_string(i), "t", kTemp, static_cast<double>(i)});
  }
  auto map = Map({*zv::monitor::ParseSensorPin("temp:31=big-*/temp40")});
  const auto r = map->Refresh(0);
  for (std::size_t i = 0; i < 31; ++i) {
    EXPECT_EQ(At(r, kTemp, i), static_cast<double>(i + 1));
  }
  EXPECT_EQ(At(r, kTemp, 31), 40);
  const auto list = map->Listing();
  EXPECT_EQ(list.back(), "left out: big-virtual-0/temp39 (t): all 32 temp indexes are taken");
  EXPECT_EQ(std::count_if(list.begin(), list.end(),
                          [](const std::string& l) { return l.rfind("left out:", 0) == 0; }),
            8);
}

TEST_F(SensorMapTest, FailingSensorReadsZeroAndIsReportedOnce) {
  source.sensors = {{"chip-virtual-0", 0, "temp1", "temp1", kTemp, 40},
                    {"chip-virtual-0", 0, "temp2", "CPU", kTemp, 41}};
  auto map = Map();
  source.sensors[1].fails = true;
  for (int i = 0; i < 5; ++i) {
    const auto r = map->Refresh(i);
    EXPECT_EQ(At(r, kTemp, 0), 40);
    EXPECT_EQ(At(r, kTemp, 1), 0);
  }
  ASSERT_EQ(reports.size(), 1U);
  EXPECT_EQ(reports[0], "temp[1] chip-virtual-0/temp2 (CPU): cannot read (Can't read); it shows 0");
  source.sensors[1].fails = false;
  EXPECT_EQ(At(map->Refresh(6), kTemp, 1), 41);
  ASSERT_EQ(reports.size(), 2U);
  EXPECT_EQ(reports[1], "temp[1] chip-virtual-0/temp2 (CPU) reads again");
}

TEST_F(SensorMapTest, ChipThatGoesAndReturnsIsReportedOnceAndPickedUp) {
  source.sensors = {{"board-isa-0290", 0, "fan1", "fan1", kFan, 1000},
                    {"usb-hid-3-1", 5, "temp1", "temp1", kTemp, 35},
                    {"usb-hid-3-1", 5, "fan1", "Pump", kFan, 2000}};
  auto map = Map();
  EXPECT_EQ(At(map->Refresh(0), kFan, 1), 2000);
  source.unplugged = {"usb-hid-3-1"};
  for (int i = 1; i < 4; ++i) {
    const auto r = map->Refresh(i);
    EXPECT_EQ(At(r, kFan, 0), 1000);
    EXPECT_EQ(At(r, kFan, 1), 0);
    EXPECT_EQ(At(r, kTemp, 0), 0);
  }
  EXPECT_EQ(reports, std::vector<std::string>{
                         "chip usb-hid-3-1 is gone; its sensors show 0 until it returns"});
  // Back under another hwmon number: same name, same indexes.
  source.unplugged.clear();
  source.sensors[1].instance = source.sensors[2].instance = 9;
  const auto r = map->Refresh(4);
  EXPECT_EQ(At(r, kFan, 1), 2000);
  EXPECT_EQ(At(r, kTemp, 0), 35);
  ASSERT_EQ(reports.size(), 2U);
  EXPECT_EQ(reports[1], "chip usb-hid-3-1 is back");
  // While all is well the source is scanned only every few seconds.
  const int scans = source.scans;
  map->Refresh(5);
  map->Refresh(6);
  EXPECT_EQ(source.scans, scans);
  map->Refresh(4 + SensorMap::kRescanSeconds);
  EXPECT_EQ(source.scans, scans + 1);
}

TEST_F(SensorMapTest, NoSensorsOfTheThreeKindsIsEmpty) {
  EXPECT_TRUE(Map()->empty());
  source.sensors = {{"meter-virtual-0", 0, "power1", "power1", std::nullopt, 5}};
  EXPECT_FALSE(Map()->empty());  // something to list, though nothing to publish
}

TEST(SensorEncoding, ReadingsAreClampedNeverWrapped) {
  using zv::monitor::ClampedUnits;
  EXPECT_EQ(ClampedUnits(kTemp, 45.255), 4526);
  EXPECT_EQ(ClampedUnits(kTemp, 327.67), 32767);
  EXPECT_EQ(ClampedUnits(kTemp, 400), 32767);
  EXPECT_EQ(ClampedUnits(kTemp, -1e9), -32767);
  EXPECT_EQ(ClampedUnits(kVolt, 12.05), 1205);
  EXPECT_EQ(ClampedUnits(kFan, 1234.9), 1234);
  EXPECT_EQ(ClampedUnits(kFan, 40000), 32767);
  EXPECT_EQ(ClampedUnits(kFan, std::numeric_limits<double>::infinity()), 32767);
  EXPECT_EQ(ClampedUnits(kTemp, std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(SensorPinText, FormsAndRefusals) {
  const auto pin = zv::monitor::ParseSensorPin("volt:31=nct6775-isa-*/Vcore");
  ASSERT_TRUE(pin);
  EXPECT_EQ(pin->kind, kVolt);
  EXPECT_EQ(pin->index, 31U);
  EXPECT_EQ(pin->chip_pattern, "nct6775-isa-*");
  EXPECT_EQ(pin->feature, "Vcore");
  EXPECT_EQ(zv::monitor::ParseSensorPin("temp:0=a/Core 0/x")->feature, "Core 0/x");
  for (const char* bad : {"temp:32=a/b", "temp:-1=a/b", "temp:=a/b", "temp0=a/b", "power:0=a/b",
                          "temp:0=a", "temp:0=/b", "temp:0=a/", "temp:1x=a/b"}) {
    EXPECT_FALSE(zv::monitor::ParseSensorPin(bad)) << bad;
  }
  using zv::monitor::MatchesChipPattern;
  EXPECT_TRUE(MatchesChipPattern("coretemp-*", "coretemp-isa-0000"));
  EXPECT_TRUE(MatchesChipPattern("*-isa-*", "nct6775-isa-0290"));
  EXPECT_TRUE(MatchesChipPattern("*", ""));
  EXPECT_FALSE(MatchesChipPattern("coretemp-*", "acpitz-acpi-0"));
  EXPECT_FALSE(MatchesChipPattern("core", "coretemp"));
}

// A refresh whose sensors answer slowly (8 reads of 70 ms against a period
// of 100 ms) renews the heartbeat's stamp as it goes; its counter moves only
// at the end, after the other words. A word fixed in the heartbeat's place
// is written instead of its own.
TEST(MonitorHeartbeat, SlowRefreshKeepsTheStampYoungAndTheCounterLast) {
  using zv::readings::kHeartbeatCounterOffset;
  using zv::readings::kHeartbeatStampOffset;
  std::uint64_t now = 5000;
  std::vector<std::pair<std::size_t, std::int32_t>> writes;
  std::vector<std::uint64_t> stamps;
  zv::readings::Heartbeat::Fixed fixed{};
  fixed[zv::readings::kHeartbeatPeriodOffset / 4] = 7;
  zv::readings::Heartbeat heartbeat(
      [&](std::size_t offset, std::int32_t word) {
        writes.emplace_back(offset, word);
        if (offset == kHeartbeatStampOffset) stamps.push_back(now);
      },
      [&] { return now; }, 100, fixed);
  auto scripted = std::make_unique<ScriptedSource>();
  for (int i = 1; i <= 8; ++i) {
    scripted->sensors.push_back({"slow-isa-0000", 0, "temp" + std::to_string(i), "", kTemp, 40});
  }
  scripted->on_read = [&] { now += 70; };
  zv::monitor::ProgressReportingSource slow(std::move(scripted), [&] { heartbeat.KeepAlive(); });
  SensorMap map(slow, {}, [](const std::string&) {});
  heartbeat.Beat(1);
  EXPECT_EQ(writes, (std::vector<std::pair<std::size_t, std::int32_t>>{
                        {0, zv::readings::kHeartbeatMagic}, {8, 7}, {12, 5000}, {4, 1}}));
  writes.clear();
  map.Refresh(1);
  heartbeat.Beat(2);
  ASSERT_EQ(stamps.size(), 1U + 8 + 1);
  for (std::size_t i = 1; i < stamps.size(); ++i) {
    EXPECT_LE(stamps[i] - stamps[i - 1], 70U) << i;
  }
  EXPECT_EQ(writes.back(), std::make_pair(kHeartbeatCounterOffset, 2));
  EXPECT_EQ(std::count_if(writes.begin(), writes.end(),
                          [&](const auto& w) { return w.first == kHeartbeatCounterOffset; }),
            1);
}

}  // namespace
