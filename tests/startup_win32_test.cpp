// Init on Windows as the host sees it: the monitor launched through the
// shell, and the retry prompt worked by a helper thread as a user would.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
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
#include "support/dialog_driver.h"
#include "support/plugin_host.h"
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

// The stand-in monitor, beside this program.
std::string FakeMonitorPath() {
  char self[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path = self;
  return path.substr(0, path.find_last_of("\\/") + 1) + ZV_FAKE_MONITOR_NAME;
}

int launches = 0;
std::vector<Answer> answers;  // given in order; No once used up
int prompts = 0;
std::string launch_error;  // the last launch's error, for failure reports

void CountingLaunch(const std::string& path) {
  ++launches;
  try {
    zv::platform::LaunchExecutable(path);
  } catch (const zv::Exception& error) {
    launch_error = error.what();
    throw;
  }
}

Answer ScriptedAnswer() {
  const Answer answer = static_cast<std::size_t>(prompts) < answers.size()
                            ? answers[static_cast<std::size_t>(prompts)]
                            : Answer::kNo;
  ++prompts;
  return answer;
}

std::wstring Wide1251(const std::string& text) {
  std::wstring out(text.size(), L'\0');
  out.resize(static_cast<std::size_t>(MultiByteToWideChar(1251, 0, text.data(),
                                                          static_cast<int>(text.size()), out.data(),
                                                          static_cast<int>(out.size()))));
  return out;
}

// What the user of the retry prompt saw and did.
struct PromptSeen {
  int boxes = 0;
  std::wstring caption;
  std::wstring text;
  LONG style = 0;
  bool owned = true;
};

// A helper thread that answers the retry prompt as a user would: it finds
// the box by its caption, reads it and presses the buttons in `presses`
// (IDYES, IDNO) one box after another.
class PromptAnswerer {
 public:
  explicit PromptAnswerer(std::vector<int> presses)
      : presses_(std::move(presses)), thread_([this] { Run(); }) {}
  PromptAnswerer(const PromptAnswerer&) = delete;
  PromptAnswerer& operator=(const PromptAnswerer&) = delete;
  PromptAnswerer(PromptAnswerer&&) = delete;
  PromptAnswerer& operator=(PromptAnswerer&&) = delete;
  ~PromptAnswerer() {
    if (thread_.joinable()) thread_.join();
  }
  // Waits for the thread and returns what it saw.
  PromptSeen Seen() {
    if (thread_.joinable()) thread_.join();
    return seen_;
  }

 private:
  void Run() {
    for (const int press : presses_) {
      HWND box = nullptr;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (box == nullptr && std::chrono::steady_clock::now() < deadline) {
        box = FindWindowW(L"#32770", L"Error");
        if (box == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      if (box == nullptr) return;
      ++seen_.boxes;
      wchar_t text[512] = {};
      GetWindowTextW(box, text, 512);
      seen_.caption = text;
      // A message box's text is its static control 0xFFFF.
      GetWindowTextW(GetDlgItem(box, 0xFFFF), text, 512);
      seen_.text = text;
      seen_.owned = GetWindow(box, GW_OWNER) != nullptr;
      // The icon is a static control showing the error icon.
      seen_.style = GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr &&
                            GetDlgItem(box, IDCANCEL) == nullptr
                        ? MB_YESNO
                        : -1;
      SendMessageW(GetDlgItem(box, press), BM_CLICK, 0, 0);
      // The next box is another window; wait until this one is gone.
      while (IsWindow(box) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
  }

  std::vector<int> presses_;
  PromptSeen seen_;
  std::thread thread_;
};

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(home_.path() + "\\Documents");
    report_ = home_.path() + "\\report.txt";
    stop_ = home_.path() + "\\stop";
    SetEnvironment("ZV_FAKE_MONITOR_REPORT", report_.c_str());
    SetEnvironment("ZV_FAKE_MONITOR_STOP", stop_.c_str());
    Startup = zv::settings::PlatformStartupServices();
    Startup.launch = CountingLaunch;
    Startup.ask_retry = ScriptedAnswer;
    Startup.wait_bound_ms = 5000;
    launches = 0;
    prompts = 0;
    answers.clear();
  }

  // Ends a stand-in monitor that is still running, so the next test starts
  // without its memory.
  void TearDown() override {
    WriteFile(stop_, "stop");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }

  void Settings(bool try_to_run, const std::string& path) {
    WriteFile(home_.path() + "\\Documents\\Lumora3.ini", std::string("[ZV4]\r\nTry to run=") +
                                                             (try_to_run ? "1" : "0") +
                                                             "\r\nPath=" + path + "\r\n");
  }

  // A copy of the stand-in monitor under a path with blanks, shell
  // characters and Cyrillic letters ("Зелване"). (Not "%": the shell
  // expands environment variables in the file name.)
  std::string MonitorCopy() {
    const std::string folder = home_.path() + "\\Zelvane 4; & echo x";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string path = folder + "\\\xC7\xE5\xEB\xE2\xE0\xED\xE5 (x86).exe";
    EXPECT_TRUE(CopyFileA(FakeMonitorPath().c_str(), path.c_str(), FALSE)) << GetLastError();
    return path;
  }

  TempHome home_;
  std::string report_;
  std::string stop_;
};

std::string Check() {
  char* text = zv::plugin::GetValue(0, nullptr);
  std::string result = text;
  HeapFree(GetProcessHeap(), 0, text);
  return result;
}

TEST_F(StartupTest, MemoryPresentReturnsAtOnceWithoutLaunching) {
  auto publisher = zv::monitor::Publisher::Create(kName, zv::monitor::kBlockSize);
  ASSERT_NE(publisher, nullptr);
  for (const bool try_to_run : {true, false}) {
    Settings(try_to_run, MonitorCopy());
    EXPECT_EQ(Init(), 0);
  }
  EXPECT_EQ(launches, 0);
  EXPECT_EQ(prompts, 0);
  EXPECT_EQ(Check(), "");
}

TEST_F(StartupTest, LaunchingOffTriesOnceAndReturnsZero) {
  Settings(false, FakeMonitorPath());
  EXPECT_EQ(Init(), 0);
  EXPECT_EQ(launches, 0);
  EXPECT_EQ(prompts, 0);
  EXPECT_FALSE(zv::readings::MonitorMapped);
  EXPECT_EQ(Check(), "#skip");
}

TEST_F(StartupTest, LaunchesTheMonitorThroughTheShellAndWaitsForItsMemory) {
  const std::string path = MonitorCopy();
  Settings(true, path);
  SetEnvironment("ZV_FAKE_MONITOR_DELAY_MS", "600");
  EXPECT_EQ(Init(), 0) << launch_error;
  EXPECT_EQ(launches, 1);
  EXPECT_EQ(prompts, 0);
  EXPECT_EQ(Check(), "");
  // The path reached the program as one path, not through a command line.
  const std::string report = ReadFile(report_);
  EXPECT_NE(report.find("argv0=" + path + "\n"), std::string::npos) << report;
}

TEST_F(StartupTest, MissingExecutableOrFolderPromptsAndYesRetries) {
  Settings(true, home_.path() + "\\no such monitor.exe");
  answers = {Answer::kYes, Answer::kYes, Answer::kNo};
  EXPECT_EQ(Init(), -1);
  EXPECT_EQ(prompts, 3);
  EXPECT_EQ(launches, 0);
  EXPECT_FALSE(zv::readings::MonitorMapped);

  Settings(true, home_.path());  // a folder is not an executable
  prompts = 0;
  answers.clear();
  EXPECT_EQ(Init(), -1);
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(launches, 0);
}

TEST_F(StartupTest, FileThatCannotStartIsAnErrorOfThePass) {
  const std::string path = home_.path() + "\\broken.exe";
  WriteFile(path, "not a program");
  Settings(true, path);
  EXPECT_EQ(Init(), -1);
  EXPECT_EQ(launches, 1);
  EXPECT_EQ(prompts, 1);
  try {
    zv::platform::LaunchExecutable(path);
    ADD_FAILURE() << "started a file that is no program";
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
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  EXPECT_EQ(launches, 2);
  EXPECT_EQ(prompts, 2);
  EXPECT_EQ(Check(), "#skip");
}

// The real prompt, through the loaded DLL as the host calls it.
class RetryPrompt : public StartupTest {
 protected:
  void SetUp() override {
    if (!zv::test::DisplayAvailable()) GTEST_SKIP() << "needs a display: run under xvfb-run";
    StartupTest::SetUp();
    module_ = zv::test::PluginModule::Load(ZV_PLUGIN_PATH);
    ASSERT_NE(module_, nullptr);
  }
  std::unique_ptr<zv::test::PluginModule> module_;
};

TEST_F(RetryPrompt, ShowsTheExactTextsAndNoEndsInitWithMinusOne) {
  Settings(true, home_.path() + "\\absent.exe");
  PromptAnswerer user({IDNO});
  const zv::test::HostCall call = module_->Init();
  const PromptSeen seen = user.Seen();
  EXPECT_FALSE(call.failed) << call.text;
  EXPECT_EQ(call.text, "-1");
  EXPECT_EQ(seen.boxes, 1);
  EXPECT_EQ(seen.caption, L"Error");
  EXPECT_EQ(seen.text, Wide1251(zv::settings::kRetryText));
  EXPECT_EQ(seen.style, MB_YESNO);
  EXPECT_FALSE(seen.owned);
  EXPECT_EQ(module_->GetValue(0, nullptr).text, "#skip");
}

TEST_F(RetryPrompt, YesLeadsToAnotherPassThatFindsTheMonitor) {
  // The executable is missing at first; the user starts the monitor
  // meanwhile and answers Yes.
  Settings(true, home_.path() + "\\absent.exe");
  std::unique_ptr<zv::monitor::Publisher> publisher;
  std::thread monitor([&] {
    while (FindWindowW(L"#32770", L"Error") == nullptr) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    publisher = zv::monitor::Publisher::Create(kName, zv::monitor::kBlockSize);
  });
  PromptAnswerer user({IDYES});
  const zv::test::HostCall call = module_->Init();
  monitor.join();
  EXPECT_EQ(user.Seen().boxes, 1);
  EXPECT_EQ(call.text, "0");
  EXPECT_EQ(module_->GetValue(0, nullptr).text, "");
}

// Without a display the prompt cannot be asked, which counts as No.
TEST_F(StartupTest, PromptWithoutADisplayCountsAsNo) {
  if (zv::test::DisplayAvailable()) GTEST_SKIP() << "runs in a Wine started without a display";
  Startup.ask_retry = zv::settings::PlatformStartupServices().ask_retry;
  Settings(true, home_.path() + "\\absent.exe");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Init(), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
