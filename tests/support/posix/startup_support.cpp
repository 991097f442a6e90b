#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "monitor_block/layout.h"
#include "support/files.h"
#include "support/startup_support.h"
#include "zelvane-monitor/publisher.h"

namespace zv::test {
namespace {

constexpr const char* kName = zv::readings::kMonitorMemoryName;

}  // namespace

const unsigned kLaunchWaitBound = 2000;

std::string FakeMonitorPath() { return ZV_FAKE_MONITOR_PATH; }

// Clears the memory a monitor of an earlier run left behind.
void PrepareFakeMonitor(const std::string& /*home*/) { monitor::RemoveStale(kName); }

// Ends it by its process id, which it reported.
void StopFakeMonitor(const std::string& /*home*/, const std::string& report) {
  const auto fields = Report(report);
  if (const auto pid = fields.find("pid"); pid != fields.end()) {
    kill(static_cast<pid_t>(std::stol(pid->second)), SIGTERM);
  }
  const std::string object = std::string("/dev/shm/") + kName;
  for (int i = 0; i < 250 && std::filesystem::exists(object); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  monitor::RemoveStale(kName);
}

std::string CopyMonitorToHostilePath(const std::string& home) {
  const std::string folder = home + "/Zelvane 4; echo x";
  std::filesystem::create_directory(folder);
  std::string path = folder + "/zv4 $(monitor);'\"";
  std::filesystem::copy_file(ZV_FAKE_MONITOR_PATH, path,
                             std::filesystem::copy_options::overwrite_existing);
  return path;
}

// A script without execute permission.
std::string WriteUnstartableFile(const std::string& home) {
  std::string path = home + "/not executable";
  WriteFile(path, "#!/bin/sh\nexit 0\n");
  chmod(path.c_str(), 0644);
  return path;
}

// The monitor runs in a session of its own, with no stream of ours, and is
// not our child.
void ExpectLaunchedApart(const std::map<std::string, std::string>& seen) {
  // (The session is the one the intermediate child started, so the monitor
  // can never take a controlling terminal.)
  EXPECT_NE(seen.at("sid"), std::to_string(getsid(0)));
  EXPECT_NE(seen.at("ppid"), std::to_string(getpid()));
  for (const char* fd : {"fd0", "fd1", "fd2"}) EXPECT_EQ(seen.at(fd), "/dev/null") << fd;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // no child left, so no zombie either
  EXPECT_EQ(errno, ECHILD);
}

// The prompt's toolkit looks for the display in the environment.
bool HideDisplay() {
  SetEnvironment("DISPLAY", nullptr);
  SetEnvironment("WAYLAND_DISPLAY", nullptr);
  return true;
}

}  // namespace zv::test
