// Init and the launcher: the start-up loop as the host sees it, with the
// prompt answered by the test and a stand-in monitor as the executable.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "monitor/publisher.h"
#include "platform/exception.h"
#include "platform/launch.h"
#include "plugin/get_value.h"
#include "readings/monitor_memory.h"
#include "settings/settings_store.h"
#include "settings/startup.h"
#include "support/temp_home.h"

namespace {

using zv::platform::Answer;
using zv::settings::Init;
using zv::settings::Startup;
using zv::test::ReadFile;
using zv::test::SetEnvironment;
using zv::test::TempHome;
using zv::test::WriteFile;

constexpr const char* kName = "ZVSharedMemory_KTX";

// Answers and counts of the replaced services.
int launches = 0;
std::vector<Answer> answers;  // given in order; No once used up
int prompts = 0;

void CountingLaunch(const std::string& path) {
  ++launches;
  zv::platform::LaunchExecutable(path);
}

Answer ScriptedAnswer() {
  const Answer answer = static_cast<std::size_t>(prompts) < answers.size()
                            ? answers[static_cast<std::size_t>(prompts)]
                            : Answer::kNo;
  ++prompts;
  return answer;
}

// What the stand-in monitor wrote about itself.
std::map<std::string, std::string> Report(const std::string& path) {
  std::map<std::string, std::string> fields;
  const std::string text = ReadFile(path);
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t end = text.find('\n', begin);
    const std::string line = text.substr(begin, end - begin);
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    begin = end == std::string::npos ? text.size() : end + 1;
  }
  return fields;
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zv::monitor::RemoveStale(kName);
    std::filesystem::create_directory(home_.path() + "/Documents");
    report_ = home_.path() + "/report.txt";
    SetEnvironment("ZV_FAKE_MONITOR_REPORT", report_.c_str());
    Startup = zv::settings::PlatformStartupServices();
    Startup.launch = CountingLaunch;
    Startup.ask_retry = ScriptedAnswer;
    Startup.wait_bound_ms = 2000;
    launches = 0;
    prompts = 0;
    answers.clear();
  }

  // Stops a stand-in monitor that is still running and waits until its
  // memory is gone, so the next test starts without it.
  void TearDown() override {
    const auto fields = Report(report_);
    if (const auto pid = fields.find("pid"); pid != fields.end()) {
      kill(static_cast<pid_t>(std::stol(pid->second)), SIGTERM);
    }
    const std::string object = std::string("/dev/shm/") + kName;
    for (int i = 0; i < 250 && std::filesystem::exists(object); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    zv::monitor::RemoveStale(kName);
  }

  void Settings(bool try_to_run, const std::string& path) {
    WriteFile(
        home_.path() + "/Documents/Lumora3.ini",
        std::string("[ZV4]\nTry to run=") + (try_to_run ? "1" : "0") + "\nPath=" + path + "\n");
  }

  // A copy of the stand-in monitor under a hostile path.
  std::string MonitorCopy() {
    const std::string folder = home_.path() + "/Zelvane 4; echo x";
    std::filesystem::create_directory(folder);
    std::string path = folder + "/zv4 $(monitor);'\"";
    std::filesystem::copy_file(ZV_FAKE_MONITOR_PATH, path);
    return path;
  }

  TempHome home_;
  std::string report_;
};

std::string Check() {
  char* text = zv::plugin::GetValue(0, nullptr);
  std::string result = text;
  std::free(text);  // NOLINT(cppcoreguidelines-no-malloc): released as a host does
  return result;
}

TEST_F(StartupTest, MemoryPresentReturnsAtOnceWithoutLaunching) {
  auto publisher = zv::monitor::Publisher::Create(kName, zv::monitor::kBlockSize);
  ASSERT_NE(publisher, nullptr);
  for (const bool try_to_run : {true, false}) {
    Settings(try_to_run, MonitorCopy());
    EXPECT_EQ(Init(), 0);
    std::filesystem::remove_all(home_.path() + "/Zelvane 4; echo x");
  }
  EXPECT_EQ(launches, 0);
  EXPECT_EQ(prompts, 0);
  EXPECT_EQ(Check(), "");
}

TEST_F(StartupTest, LaunchingOffTriesOnceAndReturnsZero) {
  Settings(false, ZV_FAKE_MONITOR_PATH);
  EXPECT_EQ(Init(), 0);
  EXPECT_EQ(launches, 0);
  EXPECT_EQ(prompts, 0);
  EXPECT_FALSE(zv::readings::MonitorMapped);
  EXPECT_EQ(Check(), "#skip");
  // Without any settings file as well.
  std::filesystem::remove(home_.path() + "/Documents/Lumora3.ini");
  EXPECT_EQ(Init(), 0);
}

TEST_F(StartupTest, LaunchesTheMonitorDetachedAndWaitsForItsMemory) {
  const std::string path = MonitorCopy();
  Settings(true, path);
  SetEnvironment("ZV_FAKE_MONITOR_DELAY_MS", "600");
  EXPECT_EQ(Init(), 0);
  EXPECT_EQ(launches, 1);
  EXPECT_EQ(prompts, 0);
  EXPECT_EQ(Check(), "");

  // The path reached exec as one path, not through a shell; the monitor runs
  // in a session of its own, with no stream of ours, and is not our child.
  const auto seen = Report(report_);
  EXPECT_EQ(seen.at("argv0"), path);
  // (The session is the one the intermediate child started, so the monitor
  // can never take a controlling terminal.)
  EXPECT_NE(seen.at("sid"), std::to_string(getsid(0)));
  EXPECT_NE(seen.at("ppid"), std::to_string(getpid()));
  for (const char* fd : {"fd0", "fd1", "fd2"}) EXPECT_EQ(seen.at(fd), "/dev/null") << fd;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // no child left, so no zombie either
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(StartupTest, MissingExecutablePromptsAndYesRetries) {
  Settings(true, home_.path() + "/no such monitor");
  answers = {Answer::kYes, Answer::kYes, Answer::kNo};
  EXPECT_EQ(Init(), -1);
  EXPECT_EQ(prompts, 3);
  EXPECT_EQ(launches, 0);
  EXPECT_FALSE(zv::readings::MonitorMapped);

  // A folder is not an executable either.
  Settings(true, home_.path());
  prompts = 0;
  answers.clear();
  EXPECT_EQ(Init(), -1);
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(launches, 0);
}

TEST_F(StartupTest, FileThatCannotStartPrompts) {
  const std::string path = home_.path() + "/not executable";
  WriteFile(path, "#!/bin/sh\nexit 0\n");
  chmod(path.c_str(), 0644);
  Settings(true, path);
  EXPECT_EQ(Init(), -1);
  EXPECT_EQ(launches, 1);
  EXPECT_EQ(prompts, 1);
  try {
    zv::platform::LaunchExecutable(path);
    ADD_FAILURE() << "started a file without execute permission";
  } catch (const zv::Exception& error) {
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
  }
}

TEST_F(StartupTest, MonitorThatNeverPublishesEndsInThePromptAfterTheBound) {
  Settings(true, ZV_FAKE_MONITOR_PATH);
  SetEnvironment("ZV_FAKE_MONITOR_DELAY_MS", "-1");
  Startup.wait_bound_ms = 1000;
  answers = {Answer::kYes, Answer::kNo};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Init(), -1);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(launches, 2);  // Yes launches again
  EXPECT_EQ(prompts, 2);
  EXPECT_GE(elapsed, std::chrono::milliseconds(2000));
  EXPECT_EQ(Check(), "#skip");
}

TEST_F(StartupTest, PromptWithoutADisplayCountsAsNo) {
  Startup.ask_retry = zv::settings::PlatformStartupServices().ask_retry;
  SetEnvironment("DISPLAY", nullptr);
  SetEnvironment("WAYLAND_DISPLAY", nullptr);
  Settings(true, home_.path() + "/no such monitor");
  EXPECT_EQ(Init(), -1);
}

TEST_F(StartupTest, SettingsLoadedByInitReplaceEarlierValues) {
  zv::settings::TryToRun = true;
  zv::settings::MonitorPath = "/from/an/earlier/dialog";
  EXPECT_EQ(Init(), 0);  // no file: launching off
  EXPECT_FALSE(zv::settings::TryToRun);
  EXPECT_EQ(zv::settings::MonitorPath, "");
  EXPECT_EQ(launches, 0);
}

}  // namespace
