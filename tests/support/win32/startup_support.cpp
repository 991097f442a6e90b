#include <windows.h>

#include <array>
#include <chrono>
#include <thread>

#include "support/dialog_driver.h"
#include "support/files.h"
#include "support/startup_support.h"

namespace zv::test {
namespace {

// The file whose existence ends the stand-in monitor.
std::string StopFile(const std::string& home) { return home + "\\stop"; }

}  // namespace

// Wine starts programs slowly.
const unsigned kLaunchWaitBound = 5000;

// Beside this program.
std::string FakeMonitorPath() {
  std::array<char, MAX_PATH + 1> self{};
  GetModuleFileNameA(nullptr, self.data(), MAX_PATH);
  std::string path = self.data();
  return path.substr(0, path.find_last_of("\\/") + 1) + ZV_FAKE_MONITOR_NAME;
}

void PrepareFakeMonitor(const std::string& home) {
  SetEnvironment("ZV_FAKE_MONITOR_STOP", StopFile(home).c_str());
}

// Its memory goes with it.
void StopFakeMonitor(const std::string& home, const std::string& /*report*/) {
  WriteFile(StopFile(home), "stop");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

// Also with Cyrillic letters ("Зелване"). (Not "%": the shell expands
// environment variables in the file name.)
std::string CopyMonitorToHostilePath(const std::string& home) {
  const std::string folder = home + "\\Zelvane 4; & echo x";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string path = folder + "\\\xC7\xE5\xEB\xE2\xE0\xED\xE5 (x86).exe";
  EXPECT_TRUE(CopyFileA(FakeMonitorPath().c_str(), path.c_str(), FALSE)) << GetLastError();
  return path;
}

// A file that is no program.
std::string WriteUnstartableFile(const std::string& home) {
  std::string path = home + "\\broken.exe";
  WriteFile(path, "not a program");
  return path;
}

// The shell starts it; nothing of ours to see in it.
void ExpectLaunchedApart(const std::map<std::string, std::string>& /*seen*/) {}

// Wine settles on a display when it starts.
bool HideDisplay() { return !DisplayAvailable(); }

}  // namespace zv::test
