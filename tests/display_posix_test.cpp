// The plugin's windows and the X display as a Linux host sees them: a
// display that accepts connections and never answers (a stopped server,
// or any socket that stays silent) must not hold Init or Config, and
// unloading the module must give back the display connection it opened.
// The module is loaded as a host loads it; an X server of the test's own
// (Xvfb) plays the real display where one is needed.
#include <FL/Fl_Window.H>
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>

#include "monitor_block/layout.h"
#include "settings/settings_file.h"
#include "support/display_socket.h"
#include "support/temp_home.h"
#include "zelvane-lcd/loader/plugin_loader.h"
#include "zelvane-monitor/publisher.h"
#include "zelvane_info.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zv::test::SetEnvironment;

const char* const kNoDisplayError = "Cannot show the settings dialog: no display is available";
// Longer than any bound of the plugin's: beyond it the call is taken as hung.
constexpr auto kHangGuard = std::chrono::seconds(30);

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A listening socket that never accepts and never answers: what a stopped
// X server looks like to a client, whose connection the kernel completes.
class SilentDisplay {
 public:
  // Over TCP (DISPLAY=127.0.0.1:N) or on the local socket of display N in
  // the abstract namespace (DISPLAY=:N), which Xlib tries first.
  static std::unique_ptr<SilentDisplay> Open(bool tcp) {
    for (int number = 170; number < 230; ++number) {
      // A real server on this display would hold its lock file.
      if (!tcp && fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) continue;
      const int fd = zv::test::ListenOnDisplay(
          tcp ? zv::test::DisplaySocket::kTcp : zv::test::DisplaySocket::kAbstract, number);
      if (fd >= 0) {
        return std::unique_ptr<SilentDisplay>(
            new SilentDisplay(fd, (tcp ? "127.0.0.1:" : ":") + std::to_string(number)));
      }
    }
    return nullptr;
  }
  SilentDisplay(const SilentDisplay&) = delete;
  SilentDisplay& operator=(const SilentDisplay&) = delete;
  SilentDisplay(SilentDisplay&&) = delete;
  SilentDisplay& operator=(SilentDisplay&&) = delete;
  ~SilentDisplay() { close(fd_); }

  [[nodiscard]] const std::string& name() const { return name_; }

 private:
  SilentDisplay(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  int fd_;
  std::string name_;
};

// An X server of the test's own (Xvfb on a display it picks itself),
// which the test can stop and resume as a debugger or a job-control stop
// would. Killed at the end.
class VirtualXServer {
 public:
  static std::unique_ptr<VirtualXServer> Start() {
    const char* program = "/usr/bin/Xvfb";
    if (access(program, X_OK) != 0) return nullptr;
    std::array<int, 2> ready{};
    if (pipe(ready.data()) != 0) return nullptr;
    const std::string fd = std::to_string(ready[1]);
    const pid_t pid = fork();
    if (pid == 0) {
      close(ready[0]);
      const int null_fd = open("/dev/null", O_RDWR);  // NOLINT(cppcoreguidelines-pro-type-vararg)
      dup2(null_fd, STDOUT_FILENO);
      dup2(null_fd, STDERR_FILENO);
      // -noreset: by default an X server resets itself when its last client
      // leaves, refusing connections meanwhile; a desktop always has
      // clients (its window manager), and so has this server from the test's
      // point of view, so that a window right after a probe's exit is not
      // refused by such a reset.
      // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): exec's own interface
      execl(program, program, "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", "-screen",
            "0", "800x600x24", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(ready[1]);
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    pollfd wait{ready[0], POLLIN, 0};
    std::array<char, 32> buffer{};
    while (number.find('\n') == std::string::npos && poll(&wait, 1, 20000) > 0) {
      const ssize_t n = read(ready[0], buffer.data(), buffer.size());
      if (n <= 0) break;
      number.append(buffer.data(), static_cast<std::size_t>(n));
    }
    close(ready[0]);
    auto server = std::unique_ptr<VirtualXServer>(new VirtualXServer(pid));
    if (number.find('\n') == std::string::npos) return nullptr;
    server->name_ = ":" + number.substr(0, number.find('\n'));
    return server;
  }
  VirtualXServer(const VirtualXServer&) = delete;
  VirtualXServer& operator=(const VirtualXServer&) = delete;
  VirtualXServer(VirtualXServer&&) = delete;
  VirtualXServer& operator=(VirtualXServer&&) = delete;
  ~VirtualXServer() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

  [[nodiscard]] const std::string& name() const { return name_; }
  void Stop() const { kill(pid_, SIGSTOP); }
  void Resume() const { kill(pid_, SIGCONT); }

 private:
  explicit VirtualXServer(pid_t pid) : pid_(pid) {}
  pid_t pid_;
  std::string name_;
};

// The module loaded as a host loads it, with its entry points called the
// host's way (errors are C++ exceptions on Linux).
class LoadedModule {
 public:
  static std::unique_ptr<LoadedModule> Load() {
    std::string error;
    auto module = zv::loader::PluginModule::Load(ZV_PLUGIN_PATH, error);
    if (module == nullptr) {
      ADD_FAILURE() << error;
      return nullptr;
    }
    return std::unique_ptr<LoadedModule>(new LoadedModule(std::move(module)));
  }

  // The result, or the error's message.
  [[nodiscard]] std::string Init() const { return module_->Init().text; }
  [[nodiscard]] std::string Config() const { return module_->Config().text; }

  // Closes the next modal window the module shows, as a user closing it
  // would (the prompt then answers No, the dialog Close), from a timer of
  // the module's own toolkit. Its FLTK is reached through the module's
  // handle, which adds no reference of ours that would keep it loaded.
  void CloseNextModalWindow() const {
    using AddTimeout = void (*)(double, void (*)(void*), void*);
    auto add_timeout = module_->Export<AddTimeout>("_ZN2Fl11add_timeoutEdPFvPvES0_");
    auto* modal = module_->Export<Fl_Window**>("_ZN2Fl6modal_E");
    ASSERT_TRUE(add_timeout != nullptr && modal != nullptr) << "no FLTK in the module";
    struct Closer {
      AddTimeout add_timeout;
      Fl_Window** modal;
      static void Run(void* self) {
        auto* closer = static_cast<Closer*>(self);
        if (Fl_Window* window = *closer->modal) {
          window->hide();
        } else {
          closer->add_timeout(0.05, Run, self);
        }
      }
    };
    static Closer closer;
    closer = {add_timeout, modal};
    add_timeout(0.1, Closer::Run, &closer);
  }

 private:
  explicit LoadedModule(std::unique_ptr<zv::loader::PluginModule> module)
      : module_(std::move(module)) {}
  std::unique_ptr<zv::loader::PluginModule> module_;
};

// Each case runs in a process of its own, with settings that make Init
// prompt: launching on, and no executable at the path.
class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A block left by an earlier run would make Init succeed without asking.
    zv::monitor::RemoveStale(zv::readings::kMonitorMemoryName);
    fs::create_directories(fs::path(home_.path()) / "Documents");
    std::ofstream(fs::path(home_.path()) / "Documents" / zv::settings::kIniFileName)
        << "[ZV4]\nTry to run=1\nPath=" << home_.path() << "/no such monitor\n";
    SetEnvironment("WAYLAND_DISPLAY", nullptr);
    SetEnvironment("XAUTHORITY", nullptr);
  }

  // Init and Config on a display that never answers: the prompt counts as
  // No and the dialog fails with its clear error, each within the bound.
  static void ExpectUnavailable(const LoadedModule& module, const std::string& display) {
    auto start = Clock::now();
    EXPECT_EQ(module.Init(), "-1");
    const double init_seconds = SecondsSince(start);
    start = Clock::now();
    EXPECT_EQ(module.Config(), kNoDisplayError);
    const double config_seconds = SecondsSince(start);
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): the figures for the logs
    std::printf("silent display %s: Init returned after %.2f s, Config after %.2f s\n",
                display.c_str(), init_seconds, config_seconds);
    EXPECT_LT(init_seconds, std::chrono::duration<double>(kHangGuard).count());
    EXPECT_LT(config_seconds, std::chrono::duration<double>(kHangGuard).count());
  }

  zv::test::TempHome home_;
};

TEST_F(DisplayTest, SilentDisplayOverTcpCountsAsNoDisplay) {
  const auto display = SilentDisplay::Open(true);
  ASSERT_NE(display, nullptr);
  SetEnvironment("DISPLAY", display->name().c_str());
  const auto module = LoadedModule::Load();
  ASSERT_NE(module, nullptr);
  ExpectUnavailable(*module, display->name());
}

TEST_F(DisplayTest, SilentLocalDisplayCountsAsNoDisplay) {
  const auto display = SilentDisplay::Open(false);
  ASSERT_NE(display, nullptr);
  SetEnvironment("DISPLAY", display->name().c_str());
  const auto module = LoadedModule::Load();
  ASSERT_NE(module, nullptr);
  ExpectUnavailable(*module, display->name());
}

// A real server stopped before the first window, and one stopped after a
// window was shown on it (the module's connection is open by then).
TEST_F(DisplayTest, StoppedXServerCountsAsNoDisplay) {
  const auto server = VirtualXServer::Start();
  if (server == nullptr) GTEST_SKIP() << "needs Xvfb";
  SetEnvironment("DISPLAY", server->name().c_str());
  {
    const auto module = LoadedModule::Load();
    ASSERT_NE(module, nullptr);
    server->Stop();
    ExpectUnavailable(*module, server->name() + " (stopped)");
    server->Resume();
  }
  const auto module = LoadedModule::Load();
  ASSERT_NE(module, nullptr);
  module->CloseNextModalWindow();
  EXPECT_EQ(module->Init(), "-1");  // shown, then closed: No
  server->Stop();
  ExpectUnavailable(*module, server->name() + " (stopped while connected)");
  server->Resume();
  // Once the server answers again, windows show again.
  module->CloseNextModalWindow();
  EXPECT_EQ(module->Config(), "0");
}

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// What each open descriptor names, for the message of a failed count.
std::string DescribeDescriptors() {
  std::string text;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    text += entry.path().filename().string() + " -> " +
            fs::read_symlink(entry.path(), error).string() + "\n";
  }
  return text;
}

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// A host that loads the module, has it show the prompt and unloads it
// again, many times: every load's display connection goes with it (or,
// where the host keeps the toolkit loaded, stays with the toolkit and is
// used again), so the count of open descriptors stays flat. A host that
// keeps the toolkit (the sanitized builds link it into the test) may find
// the toolkit's one connection kept from any load on, not always the first:
// one descriptor more, once, and then flat.
// ZV_RELOAD_COUNT sets the number of loads (default 40).
TEST_F(DisplayTest, ReloadingAfterAPromptKeepsDescriptorsFlat) {
  const auto server = VirtualXServer::Start();
  if (server == nullptr) GTEST_SKIP() << "needs Xvfb";
  SetEnvironment("DISPLAY", server->name().c_str());
  const char* setting = std::getenv("ZV_RELOAD_COUNT");
  const int loads = setting != nullptr ? std::atoi(setting) : 40;
  const int before = OpenDescriptors();
  int while_loaded = -1;
  int after_first = -1;
  int halfway = -1;
  long rss_first = -1;
  const auto start = Clock::now();
  for (int i = 0; i < loads; ++i) {
    {
      const auto module = LoadedModule::Load();
      ASSERT_NE(module, nullptr);
      module->CloseNextModalWindow();
      ASSERT_EQ(module->Init(), "-1") << "load " << i;
      if (i == 0) while_loaded = OpenDescriptors();
    }
    if (i == loads / 2) halfway = OpenDescriptors();
    if (i == 0) {
      after_first = OpenDescriptors();
      rss_first = ResidentKilobytes();
    }
  }
  const int after = OpenDescriptors();
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): the figures for the logs
  std::printf(
      "%d loads, each showing the prompt: open descriptors %d before, %d while the first was "
      "loaded, %d after it, %d after the last; resident %ld kB after the first, %ld kB after "
      "the last; %.1f s\n",
      loads, before, while_loaded, after_first, after, rss_first, ResidentKilobytes(),
      SecondsSince(start));
  EXPECT_LE(after, after_first + 1) << DescribeDescriptors();
  // A descriptor left per load would add loads / 2 over the second half.
  EXPECT_LE(after, halfway + 1) << "descriptors grew over the second half of the loads\n"
                                << DescribeDescriptors();
}

}  // namespace
