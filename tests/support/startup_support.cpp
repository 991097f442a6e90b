
#include "support/startup_support.h"
#include <filesystem>
#include "platform/documents_folder.h"
#include "platform/exception.h"
#include "platform/launch.h"
#include "plugin/get_value.h"
#include "plugin/module_reset.h"
#include "settings/settings_file.h"
#include "settings/startup.h"
#include "support/files.h"
#include "support/plugin_host.h"

namespace zv::test {

void StartupTest::CountingLaunch(const std::string& path) {
  ++launches;
  try {
    platform::LaunchExecutable(path);
  } catch (const Exception& error) {
    launch_error = error.what();
    throw;
  }
}

platform::Answer StartupTest::ScriptedAnswer() {
  const auto index = static_cast<std::size_t>(prompts++);
  return index < answers.size() ? answers[index] : platform::Answer::kNo;
}

void StartupTest::SetUp() {
  plugin::ResetModuleState();
  SetEnvironment("ZV_FAKE_MONITOR_DELAY_MS", nullptr);
  PrepareFakeMonitor(home_.path());
  std::filesystem::create_directory(InHome("Documents"));
  report_ = InHome("report.txt");
  SetEnvironment("ZV_FAKE_MONITOR_REPORT", report_.c_str());
  settings::Startup = settings::PlatformStartupServices();
  settings::Startup.launch = CountingLaunch;
  settings::Startup.ask_retry = ScriptedAnswer;
  settings::Startup.wait_bound_ms = kLaunchWaitBound;
  launches = 0;
  prompts = 0;
  answers.clear();
  launch_error.clear();
}

// The connection goes first: on Windows a section that this process still
// holds would outlive the stand-in monitor.
void StartupTest::TearDown() {
  plugin::ResetModuleState();
  StopFakeMonitor(home_.path(), report_);
}

void StartupTest::Settings(bool try_to_run, const std::string& path) const {
  WriteFile(IniPath(),
            std::string("[ZV4]\nTry to run=") + (try_to_run ? "1" : "0") + "\nPath=" + path + "\n");
}

std::string StartupTest::InHome(const std::string& name) const {
  return home_.path() + platform::kPathSeparator + name;
}

std::string StartupTest::IniPath() const {
  return InHome("Documents") + platform::kPathSeparator + settings::kIniFileName;
}

std::string StartupTest::Check() {
  char* text = plugin::GetValue(0, nullptr);
  std::string result = text;
  ReleaseBuffer(text);
  return result;
}

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

}  // namespace zv::test
