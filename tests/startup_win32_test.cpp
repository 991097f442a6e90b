// The retry prompt on Windows as the host sees it: through the loaded DLL,
// worked by a helper thread as a user would.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "monitor_block/layout.h"
#include "settings/startup.h"
#include "support/dialog_driver.h"
#include "support/plugin_host.h"
#include "support/startup_support.h"
#include "zelvane-monitor/publisher.h"

namespace {

using zv::test::StartupTest;

constexpr const char* kName = zv::readings::kMonitorMemoryName;

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
      std::array<wchar_t, 512> text{};
      GetWindowTextW(box, text.data(), static_cast<int>(text.size()));
      seen_.caption = text.data();
      // A message box's text is its static control 0xFFFF.
      GetWindowTextW(GetDlgItem(box, 0xFFFF), text.data(), static_cast<int>(text.size()));
      seen_.text = text.data();
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
    publisher = zv::monitor::Publisher::Create(kName, zv::readings::kMonitorBlockSize);
  });
  PromptAnswerer user({IDYES});
  const zv::test::HostCall call = module_->Init();
  monitor.join();
  EXPECT_EQ(user.Seen().boxes, 1);
  EXPECT_EQ(call.text, "0");
  EXPECT_EQ(module_->GetValue(0, nullptr).text, "");
}

}  // namespace
