// The monitor's memory on POSIX, as a hostile local user or an unlucky
// moment would present it: /dev/shm is writable by every user, and another
// process may create, size, shrink or replace the object at any time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "monitor_block/layout.h"
#include "plugin/get_value.h"
#include "plugin/module_reset.h"
#include "readings/monitor_memory.h"
#include "settings/startup.h"
#include "state/module_state.h"
#include "support/monitor_lifecycle.h"
#include "support/posix/counts.h"
#include "support/temp_home.h"
#include "zelvane-monitor/publisher.h"
#include "zelvane_info.h"

namespace {

using zv::monitor::Publisher;
using zv::readings::MapMonitorMemory;
namespace readings = zv::readings;
namespace monitor = zv::monitor;
namespace readings = zv::readings;
using Clock = std::chrono::steady_clock;

constexpr const char* kName = zv::readings::kMonitorMemoryName;
// The object's POSIX name, and the file that stands for it.
const char* ObjectName() {
  static const std::string name = std::string("/") + kName;
  return name.c_str();
}
const char* ObjectFile() {
  static const std::string path = std::string("/dev/shm/") + kName;
  return path.c_str();
}

using zv::test::OpenDescriptors;
using zv::test::Setting;

// Removes whatever stands under the object's name.
void Clear() {
  std::error_code ignored;
  std::filesystem::remove_all(ObjectFile(), ignored);
}

// GetValue as the host sees it, the buffer released.
std::string Get(std::int32_t code, const char* param) {
  char* buffer = zv::plugin::GetValue(code, param);
  std::string text = buffer;
  std::free(buffer);  // NOLINT(cppcoreguidelines-no-malloc): released as a host does
  return text;
}

class MonitorMemoryPosix : public ::testing::Test {
 protected:
  void SetUp() override {
    zv::plugin::ResetModuleState();
    Clear();
  }
  void TearDown() override {
    zv::plugin::ResetModuleState();
    Clear();
  }

  // A block with temperature 0 = 45, temperature 31 = 31, fan 0 = 900 and
  // voltage 31 = 12.
  static std::unique_ptr<Publisher> Publish() {
    auto publisher = Publisher::Create(kName, readings::kMonitorBlockSize);
    EXPECT_NE(publisher, nullptr);
    if (publisher != nullptr) {
      publisher->WriteWord(readings::kTemperatureOffset, readings::EncodeHundredths(4500));
      publisher->WriteWord(readings::kTemperatureOffset + std::size_t{4} * 31,
                           readings::EncodeHundredths(3100));
      publisher->WriteWord(readings::kFanOffset, readings::EncodeRpm(900));
      publisher->WriteWord(readings::kVoltageOffset + std::size_t{4} * 31,
                           readings::EncodeHundredths(1200));
    }
    return publisher;
  }
};

TEST_F(MonitorMemoryPosix, ShrunkBlockGivesNoReadingsAndTheHostLives) {
  auto publisher = Publish();
  ASSERT_NE(publisher, nullptr);
  EXPECT_EQ(Get(ZV_MACRO_TEMP, "0"), "45");
  EXPECT_EQ(Get(ZV_MACRO_VOLT, "31"), "12");
  const int other = shm_open(ObjectName(), O_RDWR, 0);
  ASSERT_GE(other, 0);

  // 100 bytes: the words still inside stay live, the others give "".
  ASSERT_EQ(ftruncate(other, 100), 0);
  EXPECT_EQ(Get(ZV_MACRO_TEMP, "0"), "45");
  EXPECT_EQ(Get(ZV_MACRO_TEMP, "31"), "");
  EXPECT_EQ(Get(ZV_MACRO_FAN, "0"), "");
  EXPECT_EQ(Get(ZV_MACRO_VOLT, "31"), "");

  // Nothing left: a mapping's page would be gone and raise SIGBUS.
  ASSERT_EQ(ftruncate(other, 0), 0);
  for (const int code : {ZV_MACRO_TEMP, ZV_MACRO_FAN, ZV_MACRO_VOLT}) {
    EXPECT_EQ(Get(code, "0"), "") << code;
    EXPECT_EQ(Get(code, "31"), "") << code;
  }
  // Still the same connection: Check says so, and nothing reconnects.
  EXPECT_EQ(Get(ZV_MACRO_CHECK, nullptr), "");
  EXPECT_TRUE(MapMonitorMemory());

  // Grown back and written again: readings are live once more.
  ASSERT_EQ(ftruncate(other, readings::kMonitorBlockSize), 0);
  EXPECT_EQ(Get(ZV_MACRO_TEMP, "0"), "0");
  publisher->WriteWord(readings::kTemperatureOffset, readings::EncodeHundredths(5000));
  EXPECT_EQ(Get(ZV_MACRO_TEMP, "0"), "50");
  close(other);
}

// A monitor of ours holds a lock on its object while it runs: its block
// without one is a killed monitor's, however fresh its heartbeat, and a
// lock dropped (the kernel drops it with the process) ends the connection.
TEST_F(MonitorMemoryPosix, OurMonitorIsThereWhileItsLockIs) {
  const zv::test::Leftovers block;  // heartbeat fresh, temperature 0 = 66
  ASSERT_TRUE(block.made());
  EXPECT_EQ(Get(ZV_MACRO_CHECK, nullptr), "#skip");
  EXPECT_EQ(zv::State().MappingHandle, nullptr);
  {
    const zv::test::MonitorLock running;
    zv::State().NextMonitorCheckMs = 0;
    EXPECT_EQ(Get(ZV_MACRO_TEMP, "0"), "66");
    EXPECT_EQ(Get(ZV_MACRO_CHECK, nullptr), "");
  }
  zv::State().NextMonitorCheckMs = 0;
  EXPECT_EQ(Get(ZV_MACRO_CHECK, nullptr), "#skip");
  EXPECT_EQ(Get(ZV_MACRO_TEMP, "0"), "");
}

// Whatever takes the name from the object held ends the connection at the
// next check, and a block there is taken on the same call.
TEST_F(MonitorMemoryPosix, AnythingElseUnderTheNameEndsTheConnection) {
  struct Case {
    const char* what;
    bool (*take)();
    const char* temperature;
  };
  const std::vector<Case> cases = {
      {"removed", [] { return unlink(ObjectFile()) == 0; }, ""},
      {"a FIFO", [] { return unlink(ObjectFile()) == 0 && mkfifo(ObjectFile(), 0600) == 0; }, ""},
      {"another block",
       [] {
         const std::string aside = std::string(ObjectFile()) + ".new";
         const int fd = open(aside.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);  // NOLINT(*-vararg)
         const std::int32_t word = readings::EncodeHundredths(7700);
         const bool written = fd >= 0 && ftruncate(fd, readings::kMonitorBlockSize) == 0 &&
                              pwrite(fd, &word, sizeof word, readings::kTemperatureOffset) == 4;
         if (fd >= 0) close(fd);
         return written && rename(aside.c_str(), ObjectFile()) == 0;
       },
       "77"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zv::plugin::ResetModuleState();
    Clear();
    auto publisher = Publish();
    ASSERT_NE(publisher, nullptr);
    EXPECT_EQ(Get(ZV_MACRO_TEMP, "0"), "45");
    ASSERT_TRUE(c.take());
    zv::State().NextMonitorCheckMs = 0;
    EXPECT_EQ(Get(ZV_MACRO_TEMP, "0"), c.temperature);
    Clear();
  }
}

TEST_F(MonitorMemoryPosix, TooSmallObjectIsNotYetThere) {
  const int before = OpenDescriptors();
  const int fd = shm_open(ObjectName(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  const int created = OpenDescriptors();
  for (const off_t size : {0, 100, 399}) {
    ASSERT_EQ(ftruncate(fd, size), 0);
    EXPECT_FALSE(MapMonitorMemory()) << size;
    EXPECT_EQ(zv::State().MappingHandle, nullptr) << size;
    EXPECT_EQ(Get(ZV_MACRO_FAN, "0"), "") << size;
    EXPECT_EQ(OpenDescriptors(), created) << "the small object's descriptor was kept";
  }
  ASSERT_EQ(ftruncate(fd, readings::kMonitorBlockSize), 0);
  const std::int32_t word = readings::EncodeRpm(1234);
  ASSERT_EQ(pwrite(fd, &word, sizeof word, readings::kFanOffset), 4);
  EXPECT_EQ(Get(ZV_MACRO_FAN, "0"), "1234");
  EXPECT_TRUE(zv::State().MonitorMapped);
  close(fd);
  readings::ReleaseMonitorMemory();
  EXPECT_EQ(OpenDescriptors(), before);
}

// A publisher that creates its object and sizes it afterwards, in a tight
// loop against a plugin that looks for it in a tight loop: whenever the
// plugin catches the object before its sizing, it must still connect once
// the object is sized.
TEST_F(MonitorMemoryPosix, CreateThenSizeRaceEndsConnected) {
  const long rounds = Setting("ZV_CREATE_RACE_ROUNDS", 200);
  long caught = 0;
  long connected = 0;
  for (long round = 0; round < rounds; ++round) {
    readings::ReleaseMonitorMemory();
    std::atomic<bool> created{false};
    std::atomic<bool> sized{false};
    std::atomic<bool> done{false};
    std::thread publisher([&] {
      const int fd = shm_open(ObjectName(), O_RDWR | O_CREAT | O_EXCL, 0600);
      created = fd >= 0;
      // Give the reader a moment with the empty object now and then.
      std::this_thread::sleep_for(std::chrono::microseconds(round % 4 == 0 ? 0 : 200));
      if (fd >= 0 && ftruncate(fd, readings::kMonitorBlockSize) == 0) {
        sized = true;
      }
      while (!done) std::this_thread::yield();
      if (fd >= 0) close(fd);
      shm_unlink(ObjectName());
    });
    bool seen_unsized = false;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    bool mapped = false;
    while (!mapped && Clock::now() < deadline) {
      // Created before the look and still unsized after it: caught.
      const bool was_created = created;
      mapped = MapMonitorMemory();
      if (!mapped && was_created && !sized) seen_unsized = true;
    }
    caught += seen_unsized ? 1 : 0;
    connected += mapped ? 1 : 0;
    EXPECT_TRUE(mapped) << "round " << round;
    EXPECT_EQ(Get(ZV_MACRO_TEMP, "0"), "0") << "round " << round;
    done = true;
    publisher.join();
  }
  std::cout << "create-then-size race: " << rounds << " rounds, " << caught
            << " caught before sizing, " << connected << " connected\n";
  EXPECT_EQ(connected, rounds);
  EXPECT_GT(caught, 0) << "the race was never hit";
}

// The stand-in publisher never shows a block below its full size, however
// fast a reader looks.
TEST_F(MonitorMemoryPosix, PublisherShowsOnlyFullSizedBlocks) {
  const long rounds = Setting("ZV_PUBLISH_ROUNDS", 500);
  std::atomic<bool> stop{false};
  std::atomic<long> opened{0};
  std::atomic<long> undersized{0};
  std::thread reader([&] {
    while (!stop) {
      const int fd = open(ObjectFile(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // NOLINT(*-vararg)
      if (fd < 0) continue;
      struct stat info {};
      if (fstat(fd, &info) == 0) {
        ++opened;
        if (info.st_size < static_cast<off_t>(readings::kMonitorBlockSize)) ++undersized;
      }
      close(fd);
    }
  });
  long published = 0;
  for (long round = 0; round < rounds; ++round) {
    published += Publisher::Create(kName, readings::kMonitorBlockSize) != nullptr ? 1 : 0;
  }
  stop = true;
  reader.join();
  std::cout << "publisher: " << published << " blocks published, reader opened " << opened << ", "
            << undersized << " below full size\n";
  EXPECT_EQ(published, rounds);
  EXPECT_EQ(undersized, 0);
}

// What a publisher puts aside under the name: never a running publisher's
// object; a killed one's (no longer locked) always; anything else only
// when told to.
TEST_F(MonitorMemoryPosix, PublisherTakesOnlyWhatNoRunningPublisherHolds) {
  using monitor::CreateReport;
  using monitor::Takeover;
  const std::string target = std::string(kName) + ".target";
  struct Case {
    const char* what;
    std::function<std::unique_ptr<Publisher>()> make;  // returns what must keep running
    bool leftovers;                                    // created with Takeover::Leftovers
    bool anything;                                     // created with Takeover::Anything
  };
  const std::vector<Case> cases = {
      {"running publisher", [] { return Publish(); }, false, false},
      {"killed publisher's object",
       [] {
         const int fd = shm_open(ObjectName(), O_RDWR | O_CREAT | O_EXCL, 0644);
         EXPECT_EQ(ftruncate(fd, readings::kMonitorBlockSize), 0);
         close(fd);
         return nullptr;
       },
       true, true},
      {"FIFO",
       [] {
         EXPECT_EQ(mkfifo(ObjectFile(), 0666), 0);
         return nullptr;
       },
       false, true},
      {"folder",
       [] {
         EXPECT_EQ(mkdir(ObjectFile(), 0777), 0);
         return nullptr;
       },
       false, true},
      {"link to a running publisher's object",
       [&] {
         auto running = Publisher::Create(target.c_str(), readings::kMonitorBlockSize);
         EXPECT_EQ(symlink((ObjectFile() + std::string(".target")).c_str(), ObjectFile()), 0);
         return running;
       },
       false, true},
  };
  for (const Case& c : cases) {
    for (const Takeover takeover : {Takeover::Leftovers, Takeover::Anything}) {
      const bool expected = takeover == Takeover::Anything ? c.anything : c.leftovers;
      SCOPED_TRACE(std::string(c.what) + (takeover == Takeover::Anything ? ", anything" : ""));
      Clear();
      const auto holder = c.make();
      CreateReport report;
      const auto created = Publisher::Create(kName, readings::kMonitorBlockSize, &report, takeover);
      EXPECT_EQ(created != nullptr, expected) << report.error;
      EXPECT_EQ(report.error.empty(), expected) << report.error;
      EXPECT_EQ(!report.replaced.empty(), expected) << report.replaced;
      EXPECT_EQ(report.running, std::string(c.what) == "running publisher") << report.error;
      EXPECT_EQ(report.replaceable,
                !expected && takeover == Takeover::Leftovers && !report.running);
      // Only a running publisher's object is kept.
      EXPECT_EQ(monitor::RemoveStale(kName), created == nullptr && !report.running);
    }
  }
}

// A publisher ends by removing its own object, and only that: what stands
// under the name by then (another's object) stays.
TEST_F(MonitorMemoryPosix, PublisherRemovesOnlyItsOwnObject) {
  auto own = Publish();
  ASSERT_NE(own, nullptr);
  own.reset();
  EXPECT_FALSE(monitor::NameTaken(kName));

  auto replaced = Publish();
  const std::string other = std::string(ObjectFile()) + ".other";
  std::ofstream(other) << "another object";
  ASSERT_EQ(rename(other.c_str(), ObjectFile()), 0);
  replaced.reset();
  EXPECT_TRUE(monitor::NameTaken(kName));
  EXPECT_TRUE(monitor::RemoveStale(kName));
  EXPECT_FALSE(monitor::NameTaken(kName));
}

// Runs `call` on a thread of its own and gives it `seconds` to finish.
// A call stuck opening a FIFO is released by opening the FIFO's other end.
template <typename Call>
bool FinishesInTime(Call call, int seconds) {
  auto future = std::async(std::launch::async, call);
  if (future.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready) {
    future.get();
    return true;
  }
  const int writer = open(ObjectFile(), O_WRONLY | O_NONBLOCK);  // NOLINT(*-vararg)
  future.wait();
  if (writer >= 0) close(writer);
  return false;
}

// What a hostile user can put in the block's place. Each must read as no
// monitor at once: GetValue answers "", Init (launching off) returns 0.
TEST_F(MonitorMemoryPosix, SpecialFilesInTheBlocksPlaceAreAbsent) {
  const zv::test::TempHome home;
  auto target =
      Publisher::Create(std::string(kName).append(".target").c_str(), readings::kMonitorBlockSize);
  ASSERT_NE(target, nullptr);
  target->WriteWord(readings::kTemperatureOffset, readings::EncodeHundredths(4500));

  struct Case {
    const char* what;
    bool (*make)();
  };
  const std::vector<Case> cases = {
      {"FIFO", [] { return mkfifo(ObjectFile(), 0666) == 0; }},
      {"folder", [] { return mkdir(ObjectFile(), 0777) == 0; }},
      {"link to a full block",
       [] { return symlink((std::string(ObjectFile()) + ".target").c_str(), ObjectFile()) == 0; }},
      {"socket",
       [] {
         const int s = socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         std::strncpy(&address.sun_path[0], ObjectFile(), sizeof address.sun_path - 1);
         // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the socket API
         const bool bound = bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
         close(s);
         return bound;
       }},
      {"device (as root)",
       [] { return geteuid() == 0 && mknod(ObjectFile(), S_IFCHR | 0666, makedev(1, 3)) == 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    readings::ReleaseMonitorMemory();
    Clear();
    if (!c.make()) {
      std::cout << "special file: " << c.what << " not made here, skipped\n";
      continue;
    }
    const auto start = Clock::now();
    std::string text = "untouched";
    std::int32_t init = -2;
    EXPECT_TRUE(FinishesInTime([&] { text = Get(ZV_MACRO_TEMP, "0"); }, 5));
    EXPECT_TRUE(FinishesInTime([&] { init = zv::settings::Init(); }, 5));
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    EXPECT_EQ(text, "");
    EXPECT_EQ(init, 0);
    EXPECT_EQ(zv::State().MappingHandle, nullptr);
    EXPECT_FALSE(zv::State().MonitorMapped);
    std::cout << "special file: " << c.what << " read as absent, GetValue and Init in "
              << took.count() << " us\n";
  }
}

// Another user's object under the name would feed the display its
// readings: only ours, or root's, is taken.
TEST_F(MonitorMemoryPosix, ObjectOfAnotherUserIsAbsent) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to give the object to another user";
  }
  auto publisher = Publish();
  ASSERT_NE(publisher, nullptr);
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(chown(ObjectFile(), kNobody, kNobody), 0);
  EXPECT_FALSE(MapMonitorMemory());
  EXPECT_EQ(zv::State().MappingHandle, nullptr);
  EXPECT_EQ(Get(ZV_MACRO_TEMP, "0"), "");
  EXPECT_EQ(Get(ZV_MACRO_CHECK, nullptr), "#skip");
  // Given back to root: looked for again, and taken.
  ASSERT_EQ(chown(ObjectFile(), 0, 0), 0);
  EXPECT_EQ(Get(ZV_MACRO_TEMP, "0"), "45");
  EXPECT_EQ(Get(ZV_MACRO_CHECK, nullptr), "");
}

}  // namespace
