// Init and the launcher as the host sees them, for tests: a private home
// folder with the settings file, a stand-in monitor as the executable, and
// the prompt answered and the launches counted by the test. The platform's
// part (support/<platform>/startup_support.cpp) places and stops the
// stand-in monitor.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "support/temp_home.h"

namespace zv::test {

class StartupTest : public ::testing::Test {
 protected:
  // Starts from a freshly loaded module's state and the platform's services.
  void SetUp() override;
  // Closes the connection and ends a stand-in monitor that is still running,
  // so the next test starts without its memory.
  void TearDown() override;

  // Writes the settings file.
  void Settings(bool try_to_run, const std::string& path) const;
  // A path in the home folder.
  [[nodiscard]] std::string InHome(const std::string& name) const;
  // The settings file.
  [[nodiscard]] std::string IniPath() const;
  // GetValue's text for the first reading, as the host gets it.
  static std::string Check();

  // Answers and counts of the replaced services.
  inline static int launches = 0;
  inline static std::vector<platform::Answer> answers;  // given in order; No once used up
  inline static int prompts = 0;
  inline static std::string launch_error;  // the last launch's error, for failure reports

  TempHome home_;
  std::string report_;  // what the stand-in monitor writes about itself

 private:
  // The launcher and the prompt as the test replaces them.
  static void CountingLaunch(const std::string& path);
  static platform::Answer ScriptedAnswer();
};

// What the stand-in monitor wrote about itself, by key.
std::map<std::string, std::string> Report(const std::string& path);

// The platform's part.

// How long a launched monitor may take to publish its memory.
extern const unsigned kLaunchWaitBound;
// The stand-in monitor's program.
std::string FakeMonitorPath();
// Readies the stand-in monitors of a test in `home`.
void PrepareFakeMonitor(const std::string& home);
// Stops a stand-in monitor of that test still running (it wrote `report`)
// and waits until its memory is gone.
void StopFakeMonitor(const std::string& home, const std::string& report);
// A copy of the stand-in monitor in `home` under a path with blanks and
// characters a shell or command line would take apart.
std::string CopyMonitorToHostilePath(const std::string& home);
// A file in `home` that the launcher finds but cannot start.
std::string WriteUnstartableFile(const std::string& home);
// Checks that a launched monitor (which wrote `seen`) runs apart from us.
void ExpectLaunchedApart(const std::map<std::string, std::string>& seen);
// Makes the retry prompt find no display; false when this process cannot.
bool HideDisplay();

}  // namespace zv::test
