// Init and the launcher: the start-up loop as the host sees it, with the
// prompt answered by the test and a stand-in monitor as the executable.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "monitor_block/layout.h"
#include "platform/exception.h"
#include "platform/launch.h"
#include "readings/monitor_memory.h"
#include "settings/settings_store.h"
#include "settings/startup.h"
#include "state/module_state.h"
#include "support/files.h"
#include "support/monitor_lifecycle.h"
#include "support/startup_support.h"
#include "zelvane-monitor/publisher.h"

namespace {

using zv::platform::Answer;
using zv::settings::Init;
using zv::settings::Startup;
using zv::test::FakeMonitorPath;
using zv::test::ReadFile;
using zv::test::SetEnvironment;
using zv::test::StartupTest;

constexpr const char* kName = zv::readings::kMonitorMemoryName;

TEST_F(StartupTest, MemoryPresentReturnsAtOnceWithoutLaunching) {
  auto publisher = zv::monitor::Publisher::Create(kName, zv::readings::kMonitorBlockSize);
  ASSERT_NE(publisher, nullptr);
  for (const bool try_to_run : {true, false}) {
    Settings(try_to_run, zv::test::CopyMonitorToHostilePath(home_.path()));
    EXPECT_EQ(Init(), 0);
  }
  EXPECT_EQ(launches, 0);
  EXPECT_EQ(prompts, 0);
  EXPECT_EQ(Check(), "");
}

// What a gone monitor left under the name is no monitor: Init launches one,
// which replaces it.
TEST_F(StartupTest, LeftoversOfAGoneMonitorAreNoMonitor) {
  const zv::test::Leftovers leftovers;
  ASSERT_TRUE(leftovers.made());
  Settings(true, FakeMonitorPath());
  static std::unique_ptr<zv::monitor::Publisher> started;
  Startup.launch = [](const std::string&) {
    ++launches;
    zv::monitor::RemoveStale(kName);
    started = zv::monitor::Publisher::Create(kName, zv::readings::kMonitorBlockSize);
  };
  EXPECT_EQ(Init(), 0);
  EXPECT_EQ(launches, 1);
  EXPECT_EQ(prompts, 0);
  EXPECT_EQ(Check(), "");
  zv::readings::ReleaseMonitorMemory();
  started.reset();
}

TEST_F(StartupTest, LaunchingOffTriesOnceAndReturnsZero) {
  Settings(false, FakeMonitorPath());
  EXPECT_EQ(Init(), 0);
  EXPECT_EQ(launches, 0);
  EXPECT_EQ(prompts, 0);
  EXPECT_FALSE(zv::State().MonitorMapped);
  EXPECT_EQ(Check(), "#skip");
  // Without any settings file as well.
  std::filesystem::remove(IniPath());
  EXPECT_EQ(Init(), 0);
}

TEST_F(StartupTest, LaunchesTheMonitorDetachedAndWaitsForItsMemory) {
  const std::string path = zv::test::CopyMonitorToHostilePath(home_.path());
  Settings(true, path);
  SetEnvironment("ZV_FAKE_MONITOR_DELAY_MS", "600");
  EXPECT_EQ(Init(), 0) << launch_error;
  EXPECT_EQ(launches, 1);
  EXPECT_EQ(prompts, 0);
  EXPECT_EQ(Check(), "");

  // The path reached the program as one path, not through a shell or a
  // command line.
  auto seen = zv::test::Report(report_);
  EXPECT_EQ(seen["argv0"], path) << ReadFile(report_);
  zv::test::ExpectLaunchedApart(seen);
}

TEST_F(StartupTest, MissingExecutablePromptsAndYesRetries) {
  Settings(true, InHome("no such monitor.exe"));
  answers = {Answer::kYes, Answer::kYes, Answer::kNo};
  EXPECT_EQ(Init(), -1);
  EXPECT_EQ(prompts, 3);
  EXPECT_EQ(launches, 0);
  EXPECT_FALSE(zv::State().MonitorMapped);

  // A folder is not an executable either.
  Settings(true, home_.path());
  prompts = 0;
  answers.clear();
  EXPECT_EQ(Init(), -1);
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(launches, 0);
}

TEST_F(StartupTest, FileThatCannotStartPrompts) {
  const std::string path = zv::test::WriteUnstartableFile(home_.path());
  Settings(true, path);
  EXPECT_EQ(Init(), -1);
  EXPECT_EQ(launches, 1);
  EXPECT_EQ(prompts, 1);
  try {
    zv::platform::LaunchExecutable(path);
    ADD_FAILURE() << "started a file that cannot start";
  } catch (const zv::Exception& error) {
    EXPECT_EQ(std::string(error.what()).rfind("Cannot start " + path + ": ", 0), 0U)
        << error.what();
  }
}

TEST_F(StartupTest, MonitorThatNeverPublishesEndsInThePromptAfterTheBound) {
  Settings(true, FakeMonitorPath());
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

// Any standard error of a pass, running out of memory included, brings up
// the prompt like the plugin's own errors: Yes retries, No gives -1. The
// errors are raised where a pass makes a launch.
TEST_F(StartupTest, EveryStandardErrorOfAPassPrompts) {
  struct Case {
    const char* name;
    void (*launch)(const std::string&);
  };
  const Case cases[] = {
      {"out of memory in the launch", [](const std::string&) { throw std::bad_alloc(); }},
      {"a standard error in the launch",
       [](const std::string&) { throw std::runtime_error("launcher broke"); }},
      {"the plugin's error in the launch",
       [](const std::string&) { throw zv::Exception("cannot start"); }},
  };
  Settings(true, FakeMonitorPath());
  for (const Case& c : cases) {
    Startup.launch = c.launch;
    prompts = 0;
    answers = {Answer::kYes, Answer::kNo};
    EXPECT_EQ(Init(), -1) << c.name;
    EXPECT_EQ(prompts, 2) << c.name;
  }
  EXPECT_FALSE(zv::State().MonitorMapped);
}

// Loading the settings is not part of a pass: its error leaves Init.
TEST_F(StartupTest, ErrorLoadingTheSettingsLeavesInit) {
  std::filesystem::remove(IniPath());
  std::filesystem::create_directory(IniPath());
  EXPECT_THROW(Init(), std::exception);
  EXPECT_EQ(prompts, 0);
}

// Without a display the prompt cannot be asked, which counts as No.
TEST_F(StartupTest, PromptWithoutADisplayCountsAsNo) {
  if (!zv::test::HideDisplay()) GTEST_SKIP() << "runs in a Wine started without a display";
  Startup.ask_retry = zv::settings::PlatformStartupServices().ask_retry;
  Settings(true, InHome("no such monitor.exe"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Init(), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(StartupTest, SettingsLoadedByInitReplaceEarlierValues) {
  zv::State().TryToRun = true;
  zv::State().MonitorPath = "/from/an/earlier/dialog";
  EXPECT_EQ(Init(), 0);  // no file: launching off
  EXPECT_FALSE(zv::State().TryToRun);
  EXPECT_EQ(zv::State().MonitorPath, "");
  EXPECT_EQ(launches, 0);
}

}  // namespace
