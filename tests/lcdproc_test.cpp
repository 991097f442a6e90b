// zelvane-lcd lcdproc against a real LCDd with its text driver, which prints
// every frame of a 20x4 display on standard output: readings, errors in
// place, the screen hidden and shown again as the monitor stops and
// restarts, a restart of LCDd, and a clean stop. Skips
// where LCDd (Debian package lcdproc) is not installed. Then the client
// against servers of the test's own that break the protocol (no LCDd needed).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "monitor_block/layout.h"
#include "support/process.h"
#include "zelvane-lcd/lcdproc.h"
#include "zelvane-monitor/publisher.h"

namespace {

namespace fs = std::filesystem;
using zv::test::BackgroundProcess;

const std::string kIndexError = "Значение Index должно быть в пределах 0 - 31 !!!";

// A TCP port on the loopback address that nothing listens on right now.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the sockets API
  auto* generic = reinterpret_cast<sockaddr*>(&address);
  if (bind(fd, generic, length) != 0 || getsockname(fd, generic, &length) != 0) {
    close(fd);
    return -1;
  }
  close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the sockets API
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

// The folder of LCDd's driver modules, or "" without LCDd.
std::string DriverPath() {
  if (access("/usr/sbin/LCDd", X_OK) != 0) {
    return "";
  }
  std::vector<fs::path> candidates = {"/usr/lib/lcdproc"};
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/usr/lib", error)) {
    candidates.push_back(entry.path() / "lcdproc");
  }
  for (const fs::path& dir : candidates) {
    if (fs::exists(dir / "text.so", error)) {
      return dir.string() + "/";
    }
  }
  return "";
}

// One display frame: its four rows of 20 bytes, as the driver printed them.
using Frame = std::vector<std::string>;

class LcdprocHost : public ::testing::Test {
 protected:
  fs::path dir;
  int port = -1;
  std::unique_ptr<BackgroundProcess> lcdd;

  void SetUp() override {
    if (DriverPath().empty()) {
      GTEST_SKIP() << "needs LCDd and its text driver (Debian package lcdproc)";
    }
    std::string pattern = (fs::temp_directory_path() / "zv-lcdd-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    port = FreePort();
    ASSERT_GT(port, 0);
    zv::monitor::RemoveStale(zv::readings::kMonitorMemoryName);
    StartLcdd();
  }

  void TearDown() override {
    lcdd.reset();
    if (!dir.empty()) {
      fs::remove_all(dir);
    }
  }

  void StartLcdd() {
    const fs::path config = dir / "LCDd.conf";
    std::ofstream(config) << "[server]\nDriverPath=" << DriverPath()
                          << "\nDriver=text\nBind=127.0.0.1\nPort=" << port
                          << "\nReportToSyslog=no\nReportLevel=1\nForeground=yes\n"
                             "ServerScreen=blank\nWaitTime=5\n[text]\nSize=20x4\n";
    // Its banner and reports go to a log of its own. Its frames come line
    // by line (into a pipe its standard output would otherwise hold about
    // 30 frames, some 4 s, before passing them on).
    lcdd = BackgroundProcess::Start({"/bin/sh", "-c",
                                     "exec stdbuf -oL /usr/sbin/LCDd -c \"$0\" 2>>\"$1\"",
                                     config.string(), (dir / "LCDd.log").string()});
    ASSERT_NE(lcdd, nullptr);
    for (int i = 0; i < 100 && !Accepts(port); ++i) {
      usleep(50000);
    }
    ASSERT_TRUE(Accepts(port)) << "LCDd did not start on port " << port;
  }

  // Starts the host with standard error joined to its output; `args`
  // follow its options (the module's path first, unless they say where it
  // is).
  [[nodiscard]] std::unique_ptr<BackgroundProcess> StartHostWith(
      const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {"/bin/sh",
                                     "-c",
                                     "exec \"$@\" 2>&1",
                                     "sh",
                                     ZV_HOST_PATH,
                                     "lcdproc",
                                     "--no-init",
                                     "--server",
                                     "127.0.0.1:" + std::to_string(port),
                                     "--interval-ms",
                                     "100"};
    argv.insert(argv.end(), args.begin(), args.end());
    return BackgroundProcess::Start(argv);
  }

  // Starts the host showing one screen of `lines`.
  [[nodiscard]] std::unique_ptr<BackgroundProcess> StartHost(std::vector<std::string> lines) const {
    lines.insert(lines.begin(), ZV_PLUGIN_PATH);
    return StartHostWith(lines);
  }

  static std::unique_ptr<BackgroundProcess> StartMonitor(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {ZV_MONITOR_PATH, "--no-simulation", "--seconds", "60"};
    argv.insert(argv.end(), args.begin(), args.end());
    auto monitor = BackgroundProcess::Start(argv);
    EXPECT_EQ(monitor->ReadLine().rfind("zelvane-monitor: publishing", 0), 0U);
    return monitor;
  }

  // The next frame LCDd printed; empty at the end of its output.
  Frame NextFrame() {
    std::string line;
    do {
      line = lcdd->ReadLine();
    } while (!line.empty() && line.rfind("+-", 0) != 0);
    Frame frame;
    for (line = lcdd->ReadLine(); line.size() >= 2 && line.front() == '|';
         line = lcdd->ReadLine()) {
      frame.push_back(line.substr(1, line.size() - 2));
    }
    return frame;
  }

  // Reads frames until one satisfies `wanted` (returned) or `limit` frames
  // passed (empty frame returned). LCDd prints about 8 frames a second.
  template <typename Predicate>
  Frame FrameWhere(Predicate wanted, int limit = 80) {
    for (int i = 0; i < limit; ++i) {
      Frame frame = NextFrame();
      if (frame.empty()) {
        break;
      }
      if (wanted(frame)) {
        return frame;
      }
    }
    return {};
  }

  // A row as the 20-column driver prints it: `text` padded with blanks.
  static std::string Row(std::string_view text) {
    std::string row(20, ' ');
    row.replace(0, text.size(), text);
    return row;
  }

  // Reads the host's output until a line starting with `prefix`.
  static std::string LineStarting(BackgroundProcess& host, const std::string& prefix) {
    for (std::string line = host.ReadLine(); !line.empty(); line = host.ReadLine()) {
      if (line.rfind(prefix, 0) == 0) {
        return line;
      }
    }
    return "";
  }
};

TEST_F(LcdprocHost, ReadingsAndErrorsAppearInPlace) {
  auto monitor = StartMonitor({"--temp", "0=45.5", "--fan", "1=1200", "--volt", "2=12.05"});
  auto host = StartHost(
      {"T0 $zvTemp[0]$C F1 $zvFan[1]$", "E$zvTemp[40]$", R"(q"\{} V2 $zvVolt[2]$)", "$zvUnknown$"});
  EXPECT_EQ(LineStarting(*host, "zelvane-lcd: connected"),
            "zelvane-lcd: connected to LCDproc 0.5.9 protocol 0.3 at 127.0.0.1:" +
                std::to_string(port) + ", display 20x4");
  const Frame frame = FrameWhere([](const Frame& f) { return f.at(0).rfind("T0", 0) == 0; });
  ASSERT_EQ(frame.size(), 4U);
  EXPECT_EQ(frame[0], Row("T0 46C F1 1200"));
  // The plugin's message in Windows-1251, cut to the display's width.
  EXPECT_EQ(frame[1],
            "E" + zv::host::EncodeForDisplay(kIndexError, zv::host::DisplayCharset::Cp1251, 19));
  EXPECT_EQ(frame[2], Row(R"(q"\{} V2 12)"));
  EXPECT_EQ(frame[3], Row("$zvUnknown$"));
  EXPECT_EQ(host->Stop(), 0);  // SIGTERM ends it cleanly
}

// The screen's condition comes first, as on a real screen: the screen shows
// while a monitor publishes, goes within about a second of its stopping, and
// comes back with the next monitor's readings.
TEST_F(LcdprocHost, ScreenFollowsTheMonitorUnderItsCondition) {
  auto host = StartHost({"$zvCheck$T0 $zvTemp[0]$", "shown"});
  ASSERT_NE(LineStarting(*host, "zelvane-lcd: connected"), "");
  // While the condition answers "#skip" LCDd shows no screen of ours (here
  // its blank server screen).
  for (int i = 0; i < 12; ++i) {
    const Frame frame = NextFrame();
    ASSERT_EQ(frame.size(), 4U);
    EXPECT_EQ(frame[0], Row("")) << i;
  }
  const auto shows = [](const std::string& first) {
    return [first](const Frame& f) { return f.at(0) == Row(first); };
  };
  auto monitor = StartMonitor({"--temp", "0=30", "--interval-ms", "100"});
  const Frame shown = FrameWhere(shows("T0 30"));
  ASSERT_EQ(shown.size(), 4U);
  EXPECT_EQ(shown[1], Row("shown"));

  auto at = std::chrono::steady_clock::now();
  EXPECT_EQ(monitor->Stop(), 0);
  EXPECT_EQ(FrameWhere(shows("")).size(), 4U);
  const std::chrono::duration<double> hidden = std::chrono::steady_clock::now() - at;

  monitor = StartMonitor({"--temp", "0=31", "--interval-ms", "100"});
  at = std::chrono::steady_clock::now();
  EXPECT_EQ(FrameWhere(shows("T0 31")).size(), 4U);
  const std::chrono::duration<double> back = std::chrono::steady_clock::now() - at;
  std::cout << "LCDd: screen hidden " << hidden.count() << " s after the monitor stopped, back "
            << back.count() << " s after the next one published\n";
  EXPECT_LT(hidden.count(), 3.0);
  EXPECT_LT(back.count(), 3.0);
  EXPECT_EQ(host->Stop(true), 0);  // so does Ctrl-C
}

// The screens of a configuration file take turns on LCDd, each for its own
// duration; one whose condition fails leaves the rotation and comes back.
TEST_F(LcdprocHost, ScreensRotateForTheirDurationsAndASkippedOneStandsAside) {
  const fs::path config = dir / "screens.conf";
  std::ofstream(config) << "[screen one]\nduration = 1\nline = one $zvTemp[0]$°C\n"
                           "[screen two]\nduration = 2\nline = $zvTemp[0]$$zvCheck$two\n";
  auto host = StartHostWith({"--config", config.string(), "--plugin", ZV_PLUGIN_PATH});
  ASSERT_NE(LineStarting(*host, "zelvane-lcd: connected"), "");
  ASSERT_FALSE(FrameWhere([](const Frame& f) { return f.at(0) == Row("one \260C"); }).empty());
  // "\260" is Windows-1251's degree sign, 0xB0. Without the monitor "two"
  // is hidden, and "one" stays for 4 s and more.
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(NextFrame().at(0), Row("one \260C")) << i;
  }
  auto monitor = StartMonitor({"--temp", "0=45"});
  ASSERT_FALSE(FrameWhere([](const Frame& f) { return f.at(0) == Row("45two"); }).empty());
  // The runs of each screen after that, in LCDd's frames (eighths of a
  // second) and in time.
  using Clock = std::chrono::steady_clock;
  std::vector<std::pair<std::string, int>> runs;
  auto started = Clock::now();
  for (int i = 0; i < 80 && runs.size() < 5; ++i) {
    const std::string row = NextFrame().at(0);
    if (runs.empty() || runs.back().first != row) {
      if (!runs.empty()) {
        const std::chrono::duration<double> took = Clock::now() - started;
        std::cout << "\"" << runs.back().first.substr(0, 9) << "\" stayed " << runs.back().second
                  << " frames, " << std::fixed << std::setprecision(2) << took.count() << " s\n";
      }
      runs.emplace_back(row, 0);
      started = Clock::now();
    }
    ++runs.back().second;
  }
  ASSERT_EQ(runs.size(), 5U);
  for (std::size_t i = 1; i < 4; ++i) {  // the first and the last run are cut
    const bool one = runs[i].first == Row("one 45\260C");
    EXPECT_TRUE(one || runs[i].first == Row("45two")) << runs[i].first;
    EXPECT_NEAR(runs[i].second, one ? 8 : 16, 2) << runs[i].first;
  }
  EXPECT_EQ(host->Stop(), 0);
}

TEST_F(LcdprocHost, ReconnectsWithBackOffWhenLcddRestarts) {
  auto monitor = StartMonitor({"--temp", "0=51"});
  auto host = StartHost({"T0 $zvTemp[0]$"});
  ASSERT_NE(LineStarting(*host, "zelvane-lcd: connected"), "");
  ASSERT_FALSE(FrameWhere([](const Frame& f) { return f.at(0) == Row("T0 51"); }).empty());

  ASSERT_EQ(lcdd->Stop(), 0);
  const std::string server = "LCDd at 127.0.0.1:" + std::to_string(port);
  // How the loss shows (end of stream, reset) depends on timing; the wait does not.
  const std::string lost = LineStarting(*host, "zelvane-lcd: ");
  EXPECT_EQ(lost.rfind("zelvane-lcd: " + server + " went away (", 0), 0U) << lost;
  EXPECT_NE(lost.find("); retrying in 0.5 s"), std::string::npos) << lost;
  EXPECT_EQ(LineStarting(*host, "zelvane-lcd: "),
            "zelvane-lcd: " + server + " is not reachable (Connection refused); retrying in 1.0 s");
  EXPECT_EQ(LineStarting(*host, "zelvane-lcd: "),
            "zelvane-lcd: " + server + " is not reachable (Connection refused); retrying in 2.0 s");
  StartLcdd();
  EXPECT_NE(LineStarting(*host, "zelvane-lcd: connected"), "");
  const Frame again = FrameWhere([](const Frame& f) { return f.at(0) == Row("T0 51"); });
  EXPECT_EQ(again.size(), 4U);
  EXPECT_EQ(host->Stop(), 0);
}

TEST_F(LcdprocHost, StopsCleanlyWhileWaitingToReconnect) {
  ASSERT_EQ(lcdd->Stop(), 0);
  auto host = StartHost({"x"});
  EXPECT_NE(LineStarting(*host, "zelvane-lcd: LCDd at"), "");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(host->Stop(true), 0);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::cout << "stopped " << took.count() << " s after Ctrl-C while waiting to reconnect\n";
}

// A server on the loopback address that says what a case tells it to,
// instead of LCDd.
// The client's peak memory against such servers: a few MiB; the unbounded
// buffer this guards against took 1 GB in 4 s. AddressSanitizer keeps up to
// 256 MiB of freed blocks in quarantine, which a flood of lines churns
// through, so there the bound leaves room for that.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kClientMemoryBoundKib = 384L * 1024;
#else
constexpr long kClientMemoryBoundKib = 64L * 1024;
#endif

struct Hostile {
  const char* name;
  bool greets;        // answers hello as LCDd does first
  std::string sends;  // then this
  bool floods;        // again and again, as fast as the client takes it
  bool dropped;       // whether the client must drop the connection
};

void PrintTo(const Hostile& hostile, std::ostream* out) { *out << hostile.name; }

class LcdprocHostileServer : public ::testing::TestWithParam<Hostile> {
 protected:
  int listener = -1;
  int port = -1;

  void SetUp() override {
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the sockets API
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    ASSERT_EQ(bind(listener, generic, length), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(getsockname(listener, generic, &length), 0);
    port = ntohs(address.sin_port);
  }
  void TearDown() override { close(listener); }

  // The next connection of the client, or -1 after `within`.
  [[nodiscard]] int Accept(std::chrono::milliseconds within) const {
    pollfd wait{listener, POLLIN, 0};
    if (poll(&wait, 1, static_cast<int>(within.count())) != 1) {
      return -1;
    }
    return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  }

  // Plays the case on `fd` until the client closes it (true) or `within`
  // passes (false).
  static bool PlayUntilClosed(int fd, const Hostile& hostile, std::chrono::milliseconds within) {
    const std::string greeting =
        hostile.greets ? "connect LCDproc 0.5.9 protocol 0.3 lcd wid 20 hgt 4 cellwid 5 cellhgt 8\n"
                       : "";
    std::string pending = greeting + hostile.sends;
    const auto until = std::chrono::steady_clock::now() + within;
    std::array<char, 4096> scratch{};
    while (std::chrono::steady_clock::now() < until) {
      pollfd wait{fd, static_cast<short>(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0};
      poll(&wait, 1, 50);
      if ((wait.revents & POLLIN) != 0 && recv(fd, scratch.data(), scratch.size(), 0) == 0) {
        return true;  // the client's commands are read and dropped
      }
      if ((wait.revents & (POLLHUP | POLLERR)) != 0) {
        return true;
      }
      if ((wait.revents & POLLOUT) != 0) {
        const ssize_t sent = send(fd, pending.data(), pending.size(), MSG_NOSIGNAL);
        if (sent < 0 && (errno == EPIPE || errno == ECONNRESET)) {
          return true;
        }
        pending.erase(0, sent > 0 ? static_cast<std::size_t>(sent) : 0);
        if (pending.empty() && hostile.floods) {
          pending = hostile.sends;
        }
      }
    }
    return false;
  }
};

// The client drops a server that breaks the protocol within a bounded time
// and memory, says why, and comes back after its back-off. A flood within
// the protocol is no fault, but SIGTERM still ends the client at once, and
// its refusals are reported by kind, not one by one.
TEST_P(LcdprocHostileServer, ClientDropsItOrStopsWithBoundedMemory) {
  using Clock = std::chrono::steady_clock;
  const Hostile& hostile = GetParam();
  auto host = BackgroundProcess::Start({"/bin/sh", "-c", "exec \"$@\" 2>&1", "sh", ZV_HOST_PATH,
                                        "lcdproc", ZV_PLUGIN_PATH, "--no-init", "--server",
                                        "127.0.0.1:" + std::to_string(port), "x"});
  const int first = Accept(std::chrono::seconds(10));
  ASSERT_GE(first, 0);
  const auto start = Clock::now();
  bool closed = false;
  std::thread server([&] { closed = PlayUntilClosed(first, hostile, std::chrono::seconds(5)); });
  if (!hostile.dropped) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto asked = Clock::now();
    EXPECT_EQ(host->Stop(), 0);
    const std::chrono::duration<double> stop_took = Clock::now() - asked;
    std::cout << hostile.name << ": stopped " << stop_took.count() << " s after SIGTERM\n";
    EXPECT_LT(stop_took.count(), 1.0);
  }
  server.join();
  const std::chrono::duration<double> closed_after = Clock::now() - start;
  close(first);
  EXPECT_TRUE(closed);
  std::vector<std::string> said;
  for (std::string line = host->ReadLine(); !line.empty(); line = host->ReadLine()) {
    said.push_back(line);
    if (hostile.dropped && line.find("retrying") != std::string::npos) {
      break;
    }
  }
  ASSERT_EQ(said.size(), hostile.greets ? 2U : 1U) << said.back();
  if (hostile.greets) {
    EXPECT_EQ(said[0].rfind("zelvane-lcd: connected to LCDproc 0.5.9", 0), 0U) << said[0];
  }
  if (hostile.dropped) {
    EXPECT_LT(closed_after.count(), 2.0);
    EXPECT_NE(said.back().find("(it sent a line longer than 4096 bytes, which LCDd never does; "
                               "connection dropped); retrying in 0.5 s"),
              std::string::npos)
        << said.back();
    const int again = Accept(std::chrono::seconds(5));
    const std::chrono::duration<double> back_after = Clock::now() - start;
    EXPECT_GE(again, 0);
    close(again);
    std::cout << hostile.name << ": dropped after " << closed_after.count()
              << " s, connected again after " << back_after.count() << " s\n";
    EXPECT_EQ(host->Stop(), 0);
  } else {
    EXPECT_NE(said.back().find(": huh? "), std::string::npos) << said.back();  // once
  }
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const long peak_kib =
      usage.ru_maxrss;  // NOLINT(cppcoreguidelines-pro-type-union-access): glibc's
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::cout << hostile.name << ": the client's peak memory " << peak_kib / 1024 << " MiB, CPU "
            << cpu << " s\n";
  EXPECT_LT(peak_kib, kClientMemoryBoundKib);
}

// Refusals of one kind that differ in their details, many to a read.
std::string Refusals() {
  std::string text;
  for (int i = 0; i < 2000; ++i) {
    text += "huh? Invalid command \"" + std::to_string(i) + "\"\n";
  }
  return text;
}

const std::string kBound(4096, 'z');

INSTANTIATE_TEST_SUITE_P(
    Cases, LcdprocHostileServer,
    ::testing::Values(
        Hostile{"FloodWithoutNewline", false, std::string(65536, 'x'), true, true},
        Hostile{"FloodOfHugeLines", false, std::string(65535, 'y') + "\n", true, true},
        Hostile{"FloodAfterHello", true, std::string(65536, 'x'), true, true},
        Hostile{"OneLineOverTheBound", true, kBound + "z\n", false, true},
        Hostile{"OneLineAtTheBound", true, "huh? " + kBound.substr(5) + "\n", false, false},
        Hostile{"FloodOfRefusals", true, Refusals(), true, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
