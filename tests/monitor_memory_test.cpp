#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "monitor_block/layout.h"
#include "platform/exception.h"
#include "plugin/get_value.h"
#include "plugin/module_reset.h"
#include "readings/monitor_memory.h"
#include "readings/reading_formatter.h"
#include "state/module_state.h"
#include "support/monitor_lifecycle.h"
#include "support/plugin_host.h"
#include "zelvane-monitor/publisher.h"
#include "zelvane_info.h"

#ifdef _WIN32
#include <windows.h>

#include "support/process.h"
#endif

namespace {

using zv::monitor::Publisher;
using zv::readings::FormatReading;
using zv::readings::MapMonitorMemory;
using zv::readings::ReadingKind;
namespace readings = zv::readings;

constexpr const char* kName = zv::readings::kMonitorMemoryName;

class MonitorMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    zv::plugin::ResetModuleState();
    zv::monitor::RemoveStale(kName);
  }
  void TearDown() override { zv::plugin::ResetModuleState(); }

  static std::unique_ptr<Publisher> Publish(std::size_t size = zv::readings::kMonitorBlockSize) {
    auto publisher = Publisher::Create(kName, size);
    EXPECT_NE(publisher, nullptr);
    return publisher;
  }

  static std::string Read(ReadingKind kind, int index) {
    std::string text = "untouched";
    FormatReading(kind, index, text);
    return text;
  }

  // GetValue's text for index 0, as the host gets it.
  static std::string Get(std::int32_t code) {
    char* buffer = zv::plugin::GetValue(code, nullptr);
    std::string text = buffer;
    zv::test::ReleaseBuffer(buffer);
    return text;
  }
};

TEST_F(MonitorMemory, AbsentObjectIsLookedForAgainOnEveryCall) {
  EXPECT_FALSE(MapMonitorMemory());
  EXPECT_FALSE(MapMonitorMemory());
  EXPECT_EQ(zv::State().MappingHandle, nullptr);
  EXPECT_FALSE(zv::State().MonitorMapped);

  auto publisher = Publish();
  EXPECT_TRUE(MapMonitorMemory());
  EXPECT_TRUE(zv::State().MonitorMapped);
  EXPECT_NE(zv::State().MonitorView, nullptr);
}

// The block as the monitor publishes it, spelled out here apart from the
// shared layout: its name, and words at their byte offsets.
TEST_F(MonitorMemory, TheBlockIsReadWhereTheMonitorWritesIt) {
  auto publisher = Publisher::Create("ZVSharedMemory_KTX", 400);
  ASSERT_NE(publisher, nullptr);
  struct Case {
    std::size_t offset;
    std::int32_t word;
    ReadingKind kind;
    int index;
    const char* text;
  };
  const Case cases[] = {
      {16 + 4 * 2, 47 * 65536 * 100, ReadingKind::Temperature, 2, "47"},
      {144 + 4 * 31, -65536, ReadingKind::Fan, 31, "-1"},
      {272, 330 * 65536, ReadingKind::Voltage, 0, "3"},
      {396, 1250 * 65536, ReadingKind::Voltage, 31, "13"},
  };
  publisher->WriteWord(12, 99 * 65536 * 100);  // the monitor's own bytes
  for (const Case& c : cases) publisher->WriteWord(c.offset, c.word);
  for (const Case& c : cases) EXPECT_EQ(Read(c.kind, c.index), c.text) << "offset " << c.offset;
  EXPECT_EQ(Read(ReadingKind::Temperature, 0), "0");
}

TEST_F(MonitorMemory, ReadingsAreLiveFromTheView) {
  auto publisher = Publish();
  publisher->WriteWord(zv::readings::kTemperatureOffset, zv::readings::EncodeHundredths(4500));
  EXPECT_EQ(Read(ReadingKind::Temperature, 0), "45");
  publisher->WriteWord(zv::readings::kTemperatureOffset, zv::readings::EncodeHundredths(4649));
  EXPECT_EQ(Read(ReadingKind::Temperature, 0), "46");
}

TEST_F(MonitorMemory, EachKindReadsItsOwnRegionAtBothEnds) {
  auto publisher = Publish();
  for (int i : {0, 31}) {
    const std::size_t at = 4 * static_cast<std::size_t>(i);
    publisher->WriteWord(zv::readings::kTemperatureOffset + at,
                         zv::readings::EncodeHundredths(100 + i * 100));
    publisher->WriteWord(zv::readings::kFanOffset + at, zv::readings::EncodeRpm(1000 + i));
    publisher->WriteWord(zv::readings::kVoltageOffset + at,
                         zv::readings::EncodeHundredths(330 + i * 100));
  }
  EXPECT_EQ(Read(ReadingKind::Temperature, 0), "1");
  EXPECT_EQ(Read(ReadingKind::Temperature, 31), "32");
  EXPECT_EQ(Read(ReadingKind::Fan, 0), "1000");
  EXPECT_EQ(Read(ReadingKind::Fan, 31), "1031");
  EXPECT_EQ(Read(ReadingKind::Voltage, 0), "3");
  EXPECT_EQ(Read(ReadingKind::Voltage, 31), "34");
}

TEST_F(MonitorMemory, TooSmallObjectGivesNoReadings) {
  auto small = Publisher::CreateExact(kName, 100);
  ASSERT_NE(small, nullptr);
  EXPECT_FALSE(MapMonitorMemory());
  EXPECT_FALSE(zv::State().MonitorMapped);
  EXPECT_EQ(zv::State().MonitorView, nullptr);
  EXPECT_EQ(Read(ReadingKind::Fan, 0), "untouched");
}

#ifdef _WIN32
// A section has its size from its creation, so a small one is no half-made
// block: the view it refused is not retried while its publisher is there.
// Once it has gone, the plugin lets go of it too, and a proper block can
// take the name. (POSIX looks again: monitor_memory_posix_test.cpp.)
TEST_F(MonitorMemory, TooSmallSectionIsHeldOnlyWhileItsPublisherIs) {
  auto small = Publisher::CreateExact(kName, 100);
  ASSERT_NE(small, nullptr);
  EXPECT_FALSE(MapMonitorMemory());
  EXPECT_NE(zv::State().MappingHandle, nullptr);
  EXPECT_EQ(zv::State().MonitorView, nullptr);
  EXPECT_EQ(Read(ReadingKind::Temperature, 3), "untouched");
  small.reset();
  zv::State().NextMonitorCheckMs = 0;
  EXPECT_EQ(Get(ZV_MACRO_CHECK), "#skip");
  EXPECT_EQ(zv::State().MappingHandle, nullptr);
  auto block = Publish();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(Get(ZV_MACRO_CHECK), "");
}

// A proper block that took the name between two checks is read at once.
TEST_F(MonitorMemory, ABlockReplacingATooSmallSectionIsReadAtTheNextCheck) {
  auto small = Publisher::CreateExact(kName, 100);
  ASSERT_NE(small, nullptr);
  EXPECT_FALSE(MapMonitorMemory());
  small.reset();
  auto block = Publish();
  ASSERT_NE(block, nullptr);
  block->WriteWord(readings::kTemperatureOffset, readings::EncodeHundredths(5200));
  zv::State().NextMonitorCheckMs = 0;
  EXPECT_EQ(Get(ZV_MACRO_CHECK), "");
  EXPECT_EQ(Get(ZV_MACRO_TEMP), "52");
}

// Each check makes the view again in its place. Should another thread of the
// host have taken that address meanwhile, the connection is made anew
// elsewhere on the same request, and what that thread put there stays.
TEST_F(MonitorMemory, AViewWhosePlaceWasTakenIsMadeAnewElsewhere) {
  auto block = Publish();
  block->WriteWord(readings::kTemperatureOffset, readings::EncodeHundredths(4100));
  EXPECT_EQ(Read(ReadingKind::Temperature, 0), "41");
  const void* place = zv::State().MonitorView;
  ASSERT_NE(UnmapViewOfFile(place), 0);
  auto* taken = static_cast<volatile char*>(
      // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): the address, for VirtualAlloc
      VirtualAlloc(const_cast<void*>(place), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_EQ(taken, place);
  taken[0] = 'x';
  zv::State().NextMonitorCheckMs = 0;
  EXPECT_EQ(Get(ZV_MACRO_CHECK), "");
  EXPECT_NE(zv::State().MonitorView, place);
  EXPECT_EQ(Get(ZV_MACRO_TEMP), "41");
  EXPECT_EQ(taken[0], 'x');
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): VirtualFree's pointer
  VirtualFree(const_cast<char*>(taken), 0, MEM_RELEASE);
}
#endif

// What a host sees at the connection's next check after each event, having
// read 41 from a monitor that publishes (with its lock, on POSIX) before it.
TEST_F(MonitorMemory, TheConnectionFollowsTheMonitor) {
  struct Case {
    const char* event;
    void (*happen)(std::unique_ptr<Publisher>& block);
    const char* check;
    const char* reading;
  };
  const std::vector<Case> cases = {
      {"nothing", [](std::unique_ptr<Publisher>&) {}, "", "41"},
      {"the monitor ends", [](std::unique_ptr<Publisher>& block) { block.reset(); }, "#skip", ""},
      {"a new monitor replaces it",
       [](std::unique_ptr<Publisher>& block) {
         block.reset();
         block = Publish();
         block->WriteWord(readings::kTemperatureOffset, readings::EncodeHundredths(7700));
       },
       "", "77"},
      {"its heartbeat is fresh",
       [](std::unique_ptr<Publisher>& block) { zv::test::WriteHeartbeat(*block, 1000, 0); }, "",
       "41"},
      {"its heartbeat stopped 3.6 s ago",
       [](std::unique_ptr<Publisher>& block) { zv::test::WriteHeartbeat(*block, 1000, 3600); },
       "#skip", ""},
      {"a block without the magic has an old stamp",
       [](std::unique_ptr<Publisher>& block) {
         zv::test::WriteHeartbeat(*block, 1000, 3600);
         block->WriteWord(readings::kHeartbeatMagicOffset, 0x12345678);
       },
       "", "41"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    zv::plugin::ResetModuleState();
    auto block = Publish();
    ASSERT_NE(block, nullptr);
    block->WriteWord(readings::kTemperatureOffset, readings::EncodeHundredths(4100));
    EXPECT_EQ(Read(ReadingKind::Temperature, 0), "41");
    c.happen(block);
    zv::State().NextMonitorCheckMs = 0;  // the check is due
    EXPECT_EQ(Get(ZV_MACRO_CHECK), c.check);
    EXPECT_EQ(Get(ZV_MACRO_TEMP), c.reading);
  }
}

#ifdef _WIN32
// What another program can do with the names around the block: make an
// object of another kind under a name that readers might share (the name a
// readers' sign would take, or the block's own once its monitor is gone), or
// hold one more handle to such an object. None of it decides whether the
// monitor is there: a monitor that ends is gone at the next check, one that
// runs is read on. A host that read 41 before sees this at the next check.
TEST_F(MonitorMemory, OtherProgramsObjectsNeitherHideNorEndTheMonitor) {
  enum class When { kFirst, kAfterTheEvent };
  struct Case {
    const char* kind;    // of the other program's object (support/win32/name_holder.cpp)
    const char* suffix;  // to the block's name
    When when;           // the program takes the name before the monitor publishes, or after
    bool monitor_ends;
    const char* check;
  };
  const std::vector<Case> cases = {
      {"mutex", ".readers", When::kFirst, true, "#skip"},
      {"mutex", ".readers", When::kFirst, false, ""},
      {"semaphore", ".readers", When::kFirst, true, "#skip"},
      {"section", ".readers", When::kFirst, true, "#skip"},
      {"event", ".readers", When::kFirst, false, ""},
      {"event", ".readers", When::kFirst, true, "#skip"},
      {"event", ".readers", When::kAfterTheEvent, false, ""},
      {"mutex", "", When::kAfterTheEvent, true, "#skip"},
      {"event", "", When::kAfterTheEvent, true, "#skip"},
      {"locked-section", "", When::kAfterTheEvent, true, "#skip"},
      {"section", "", When::kAfterTheEvent, false, ""},  // a reader of another kind
  };
  for (const Case& c : cases) {
    const std::string name = std::string(kName) + c.suffix;
    SCOPED_TRACE(std::string(c.kind) + " " + name + (c.when == When::kFirst ? " first" : " after") +
                 (c.monitor_ends ? ", the monitor ends" : ", the monitor runs"));
    zv::plugin::ResetModuleState();
    std::unique_ptr<zv::test::BackgroundProcess> other;
    const auto take_the_name = [&] {
      other = zv::test::BackgroundProcess::Start({ZV_NAME_HOLDER_PATH, c.kind, name});
      ASSERT_EQ(other->ReadLine(), "holding " + std::string(c.kind) + " " + name);
    };
    if (c.when == When::kFirst) take_the_name();
    auto block = Publish();
    ASSERT_NE(block, nullptr);
    block->WriteWord(readings::kTemperatureOffset, readings::EncodeHundredths(4100));
    EXPECT_EQ(Read(ReadingKind::Temperature, 0), "41");
    if (c.monitor_ends) block.reset();
    if (c.when == When::kAfterTheEvent) take_the_name();
    zv::State().NextMonitorCheckMs = 0;  // the check is due
    EXPECT_EQ(Get(ZV_MACRO_CHECK), c.check);
    EXPECT_EQ(Get(ZV_MACRO_TEMP), c.monitor_ends ? "" : "41");
    zv::State().NextMonitorCheckMs = 0;
    EXPECT_EQ(Get(ZV_MACRO_CHECK), c.check) << "at the check after";
  }
}
#endif

// Check connects on demand, as a reading does.
TEST_F(MonitorMemory, CheckConnects) {
  auto block = Publish();
  EXPECT_EQ(Get(ZV_MACRO_CHECK), "");
  EXPECT_TRUE(zv::State().MonitorMapped);
  block.reset();
  zv::State().NextMonitorCheckMs = 0;
  EXPECT_EQ(Get(ZV_MACRO_CHECK), "#skip");
  EXPECT_EQ(zv::State().MappingHandle, nullptr);
}

// Stamps and now in milliseconds; the limit is 3 periods plus 500 ms.
TEST(Heartbeat, StopsWhenTheStampIsTooFarFromNow) {
  struct Case {
    std::int32_t counter;
    std::int32_t period;
    std::uint32_t stamp;
    std::uint32_t now;
    bool stopped;
  };
  constexpr std::uint32_t kNow = 5'000'000;
  const Case cases[] = {
      {1, 1000, kNow, kNow, false},
      {1, 1000, kNow - 3500, kNow, false},
      {1, 1000, kNow - 3501, kNow, true},
      {1, 1000, kNow + 3500, kNow, false},  // a coarse clock lagging the monitor's
      {1, 1000, kNow + 3501, kNow, true},
      {0, 1000, 0, kNow, false},  // no refresh ended yet
      {-7, 100, kNow - 801, kNow, true},
      {1, 0, kNow - 500, kNow, false},
      {1, 0, kNow - 501, kNow, true},
      {1, -1000, kNow - 501, kNow, true},
      {1, INT32_MIN, kNow - 501, kNow, true},
      {1, INT32_MAX, kNow - 180'500, kNow, false},  // a minute at most
      {1, INT32_MAX, kNow - 180'501, kNow, true},
      {1, 1000, 0xFFFFFF00U, 0x00000100U, false},  // the stamps wrapped
      {1, 1000, 0x00000100U, 0x80000100U, true},
      {1, 1000, 0x80000100U, 0x00000100U, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        readings::HeartbeatStopped(c.counter, c.period, static_cast<std::int32_t>(c.stamp), c.now),
        c.stopped)
        << c.counter << " " << c.period << " " << c.stamp << " " << c.now;
  }
}

TEST_F(MonitorMemory, BadIndexIsRefusedBeforeConnecting) {
  for (int index : {-1, 32, INT32_MIN, INT32_MAX}) {
    try {
      Read(ReadingKind::Voltage, index);
      ADD_FAILURE() << "no error for index " << index;
    } catch (const zv::Exception& error) {
      EXPECT_STREQ(error.what(), zv::readings::kIndexErrorMessage);
    }
  }
  EXPECT_EQ(zv::State().MappingHandle, nullptr);
}

TEST_F(MonitorMemory, AbsentMonitorLeavesTheTextAsItCame) {
  EXPECT_EQ(Read(ReadingKind::Temperature, 0), "untouched");
  EXPECT_EQ(Read(ReadingKind::Fan, 31), "untouched");
  EXPECT_EQ(Read(ReadingKind::Voltage, 5), "untouched");
}

}  // namespace
